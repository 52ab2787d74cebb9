// The channel editor's screen: a heading row, one row per channel in the
// file's order (scrolled to keep the cursor's channel in sight), two message
// rows and the status row; the terminal's cursor in the field under it.
#include <string>

#include "app/channel_editor.h"
#include "console/characters.h"
#include "console/console.h"
#include "console/screen.h"
#include "console/terminal.h"
#include "jobs/csv_file.h"
#include "jobs/list_channels.h"
#include "text/text.h"

namespace {

// Where each field stands in a row (from column 1) and how wide it is.
struct FieldPlace {
  int column;
  size_t width;
};
constexpr FieldPlace kFieldPlaces[kFieldCount] = {{7, 8}, {17, 7}, {26, 4}, {32, 3}};
constexpr int kFirstRow = 2;   // the first channel's row; row 1 names the columns
constexpr int kLowerRows = 3;  // two message rows and the status row

const char kHeading[] = "  Ch  MHz       Name     Mode  Filter";
const char kKeys[] = "F1 keys  F2 save  F5 send  F10 quit";

// The channel rows the screen has room for.
int ChannelRows() {
  int room = rows - kFirstRow + 1 - kLowerRows;
  return room < 1 ? 1 : room;
}

// As much of a text as fits in `cells` cells, padded with blanks to them.
std::string Fitted(const std::string& text, int cells) {
  std::string fitted;
  int used = 0;
  for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
    int width = CharCells(text, i);
    if (used + width > cells) break;
    fitted.append(text, i, CharLength(text, i));
    used += width;
  }
  return fitted + std::string(cells - used, ' ');
}

// A name's bytes as the terminal shows them: the characters of code page
// 437 on a UTF-8 terminal, else the printable ASCII ones and "?" for others.
std::string NameShown(const std::string& name) {
  std::string seven = name;
  seven.resize(kNameLength, ' ');
  if (utf8_text) {
    int lost = 0;
    return NameToUtf8(seven, lost);
  }
  for (char& c : seven) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  }
  return seven;
}

std::string FieldShown(const EditorChannel& channel, int field) {
  if (!channel.loads) return "";
  const ChannelFields& fields = channel.fields;
  switch (field) {
    case kFrequencyField:
      return FrequencyShown(fields.frequency);
    case kNameField:
      return NameShown(fields.name);
    case kModeField:
      return TableText(ModeNames, ValidMode(fields.mode), fields.mode);
    default:
      return TableText(FilterNames, ValidFilter(fields.filter), fields.filter);
  }
}

void DrawRow(int channel, int row) {
  const EditorChannel& shown = editor.channels[channel];
  PlaceCursor(row, 1);
  std::string line = std::string(shown.marked ? "!" : " ") + ChannelLabel(channel);
  for (int field = 0; field < kFieldCount; field++) {
    line = Fitted(line, kFieldPlaces[field].column - 1);
    line += Fitted(FieldShown(shown, field), static_cast<int>(kFieldPlaces[field].width));
  }
  line += shown.changed ? "  *" : "   ";
  PutClipped(Fitted(line, columns));
}

// The rows scrolled so that the cursor's channel is in sight.
void KeepCurrentInSight() {
  int shown = ChannelRows();
  if (editor.current < editor.top) editor.top = editor.current;
  if (editor.current >= editor.top + shown) editor.top = editor.current - shown + 1;
  if (editor.top > kChannels - shown) editor.top = kChannels - shown > 0 ? kChannels - shown : 0;
}

// The cursor in the field under it, or at the edit's position in it.
void PlaceFieldCursor() {
  KeepCurrentInSight();
  int row = kFirstRow + editor.current - editor.top;
  if (row > rows) row = rows;
  const FieldPlace& place = kFieldPlaces[editor.field];
  if (!editor.editing) {
    PlaceCursor(row, place.column <= columns ? place.column : columns);
    return;
  }
  const std::string& text = editor.edit_text;
  int column = place.column;
  for (size_t i = 0; i < editor.edit_position; i += CharLength(text, i))
    column += CharCells(text, i);
  PlaceCursor(row, column <= columns ? column : columns);
}

// The text of the field being edited, over the field and on to the row's end.
void DrawEdit() {
  const FieldPlace& place = kFieldPlaces[editor.field];
  if (place.column > columns) return;
  PlaceCursor(kFirstRow + editor.current - editor.top, place.column);
  SetColours(0, 7);
  int room = columns - place.column + 1;
  int width = static_cast<int>(place.width) + 1;
  PutClipped(Fitted(editor.edit_text, width < room ? width : room));
  SetColours(15, 1);
}

}  // namespace

void DrawRows() {
  int shown = ChannelRows();
  KeepCurrentInSight();
  for (int k = 0; k < shown && editor.top + k < kChannels; k++) {
    if (kFirstRow + k > rows) break;
    DrawRow(editor.top + k, kFirstRow + k);
  }
  if (editor.editing) DrawEdit();
  PlaceFieldCursor();
  Flush();
}

void DrawStatus() {
  int message_row = rows - kLowerRows + 1;
  if (message_row > kFirstRow) {
    // Two rows for the message; the rest of a longer one is cut off.
    SetColours(14, 1);
    PlaceCursor(message_row, 1);
    PutClipped(Fitted(editor.message, columns));
    PlaceCursor(message_row + 1, 1);
    std::string rest = Fitted(editor.message, columns);
    PutClipped(Fitted(editor.message.size() > rest.size() ? editor.message.substr(rest.size()) : "",
                      columns));
  }
  const bool changed = Changed();
  SetColours(0, 7);
  PlaceCursor(rows, 1);
  PutClipped(
      Fitted(" " + Displayed(editor.name) + (changed ? "  (changed)  " : "  ") + kKeys, columns));
  SetColours(15, 1);
  PlaceFieldCursor();
  Flush();
}

void DrawEditor() {
  SetColours(15, 1);
  ClearScreen();
  EscapeSequence("\x1b[?25h");  // the cursor shows the field
  PlaceCursor(1, 1);
  PutClipped(Fitted(kHeading, columns));
  DrawRows();
  DrawStatus();
}

void Say(const std::string& text, bool beep) {
  editor.message = text;
  if (beep) TerminalBeep();
}

void ShowKeys() {
  static const char* const kKeyLines[] = {
      "Keys of the channel editor",
      "",
      "  Up, Down, PgUp, PgDn  another channel; Home, End the first, the last",
      "  Tab, Shift-Tab        another field (Left and Right too)",
      "  Enter, or a character edit the field in place; Enter takes the edit,",
      "                        Escape drops it",
      "  Space                 the next mode or filter",
      "  Delete                empty the channel",
      "  Ctrl-S or F2          save the file",
      "  F5                    send the channels changed since the start or",
      "                        the last F5 to the radio",
      "  Ctrl-Q or F10         quit (asks when there are unsaved changes)",
      "",
      "A frequency is typed in MHz (7.05, 14.2345), up to 99.99999 in 10 Hz",
      "steps; a mode is LSB, USB, AM, CW, FSK, FM, AMLS or AMUS; a filter 6.0,",
      "2.4, 1.8, .50 or .25; a name up to seven characters. Rows marked ! load",
      "otherwise than they show (quenmar-setup --check FILE says why); * marks",
      "unsaved changes."};
  ClearScreen();
  for (const char* line : kKeyLines) PrintText(line, true);
  WaitForKey();
  DrawEditor();
}
