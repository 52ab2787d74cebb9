// The channel editor's fields: each edited in place with the line editor's
// keys, and taken only when the radio can hold what was typed: a frequency in
// MHz in 10 Hz steps up to 99.99999, a mode or a filter of the radio's tables
// (typed in any case, or stepped through with Space), a name of up to seven
// characters that the file can hold. A changed channel's line is written as
// a save from the radio writes it.
#include <string>

#include "app/channel_editor.h"
#include "console/line_editor.h"
#include "console/terminal.h"
#include "jobs/channel_line.h"
#include "jobs/csv_file.h"
#include "jobs/list_channels.h"
#include "link/civ_frame.h"
#include "text/text.h"

namespace {

constexpr int kNewChannelMode = 1;    // USB
constexpr int kNewChannelFilter = 2;  // 2.4

// The first and last number of a field's table, and its texts.
const std::string* TableOf(int field, int& first, int& last) {
  first = field == kModeField ? 0 : kFirstFilter;
  last = field == kModeField ? kLastMode : kLastFilter;
  return field == kModeField ? ModeNames : FilterNames;
}

// The number whose text a typed text is (blanks around it and case aside), or -1.
int TableNumber(int field, const std::string& typed) {
  int first = 0, last = 0;
  const std::string* names = TableOf(field, first, last);
  for (int number = first; number <= last; number++) {
    if (UpperCase(Trimmed(typed)) == Trimmed(names[number])) return number;
  }
  return -1;
}

// The text a field's edit starts with: what the row shows, without blanks.
std::string EditStart(const EditorChannel& channel, int field) {
  if (!channel.loads) return "";
  const ChannelFields& fields = channel.fields;
  if (field == kFrequencyField) return Trimmed(FrequencyShown(fields.frequency));
  if (field == kNameField) {
    std::string name = fields.name;
    name.erase(name.find_last_not_of(' ') + 1);
    if (!utf8_text) return name;
    int lost = 0;
    return NameToUtf8(name, lost);
  }
  int number = field == kModeField ? fields.mode : fields.filter;
  int first = 0, last = 0;
  const std::string* names = TableOf(field, first, last);
  return number >= first && number <= last ? Trimmed(names[number]) : "";
}

// The seven digits of a frequency typed in MHz, or "" and why not.
std::string FrequencyDigits(const std::string& typed, std::string& why) {
  std::string text = Trimmed(typed);
  size_t point = text.find('.');
  std::string whole = text.substr(0, point);
  std::string decimals = point == std::string::npos ? "" : text.substr(point + 1);
  for (char c : whole + decimals) {
    if (!IsDigit(c)) {
      why = "\"" + Displayed(text) + "\" is no frequency: type it in MHz with digits and one " +
            "point, as 7.05 or 14.2345";
      return "";
    }
  }
  if (whole.empty() && decimals.empty())
    why = "type the frequency in MHz, as 7.05 or 14.2345 (Delete empties the channel)";
  else if (whole.size() > 2)
    why = text + " MHz is more than the radio holds: 00.00000 to 99.99999 MHz";
  else if (decimals.size() > kDecimalsWidth)
    why = text + " has more than five decimals: the radio holds the frequency in 10 Hz steps";
  if (!why.empty()) return "";
  return std::string(2 - whole.size(), '0') + whole + decimals +
         std::string(kDecimalsWidth - decimals.size(), '0');
}

// The seven name bytes of a typed name, or "" and why not.
std::string NameBytes(const std::string& typed, std::string& why) {
  int changed = 0;
  std::string bytes = utf8_text ? NameFromUtf8(typed, changed) : typed;
  for (char c : bytes) {
    unsigned char byte = static_cast<unsigned char>(c);
    // CR, LF and Ctrl-Z would end the line; FD and FE a load sends as blanks.
    if (byte < 0x20 || byte == 0x7F || byte == 0xFD || byte == 0xFE || (!utf8_text && byte > 0x7E))
      changed++;
  }
  if (changed > 0)
    why = "the name holds a character the file cannot hold: letters, digits and signs only";
  else if (bytes.size() > kNameLength)
    why = "\"" + Displayed(typed) + "\" is longer than the seven characters a name has";
  if (!why.empty()) return "";
  bytes.resize(kNameLength, ' ');
  return bytes;
}

// The typed text into the channel under the cursor; "" when taken, else why not.
std::string TakeTyped(const std::string& typed) {
  EditorChannel& channel = editor.channels[editor.current];
  ChannelFields fields = channel.fields;
  if (!channel.loads)
    fields = {"", std::string(kNameLength, ' '), kNewChannelMode, kNewChannelFilter};
  fields.name.resize(kNameLength, ' ');
  std::string why;
  if (editor.field == kFrequencyField) fields.frequency = FrequencyDigits(typed, why);
  if (editor.field == kNameField) fields.name = NameBytes(typed, why);
  if (editor.field == kModeField || editor.field == kFilterField) {
    int number = TableNumber(editor.field, typed);
    if (number < 0)
      why = "\"" + Displayed(Trimmed(typed)) + "\" is none of " +
            (editor.field == kModeField ? "LSB, USB, AM, CW, FSK, FM, AMLS, AMUS"
                                        : "6.0, 2.4, 1.8, .50, .25") +
            " (Space steps through them)";
    (editor.field == kModeField ? fields.mode : fields.filter) = static_cast<int16_t>(number);
  }
  if (!why.empty()) return why;
  channel.text = FormatChannelLine(editor.current, true, fields.frequency, fields.name, fields.mode,
                                   fields.filter);
  channel.changed = channel.unsent = true;
  channel.marked = false;
  ReadLines();
  return "";
}

// The next text of a mode or filter table after the one given (the first
// after a text of none).
std::string NextInTable(int field, const std::string& text) {
  int first = 0, last = 0;
  const std::string* names = TableOf(field, first, last);
  int number = TableNumber(field, text);
  number = number < 0 || number == last ? first : number + 1;
  return Trimmed(names[number]);
}

}  // namespace

bool EditField(const std::string& first_key) {
  EditorChannel& channel = editor.channels[editor.current];
  if (!channel.loads) editor.field = kFrequencyField;  // an empty channel needs its frequency first
  editor.editing = true;
  editor.edit_text = EditStart(channel, editor.field);
  editor.edit_position = editor.edit_text.size();
  if (!first_key.empty()) {
    editor.edit_text.clear();
    editor.edit_position = 0;
    TakeFieldKey(editor.edit_text, editor.edit_position, first_key);
  }
  Say(channel.loads ? "Enter takes the field, Escape drops the edit"
                    : "the frequency in MHz: the channel gets USB, 2.4 and no name until changed");
  for (;;) {
    DrawStatus();
    DrawRows();
    std::string key = NextEditorKey();
    if (key == "\x1b") break;
    bool tables = editor.field == kModeField || editor.field == kFilterField;
    if (key == " " && tables) {
      editor.edit_text = NextInTable(editor.field, editor.edit_text);
      editor.edit_position = editor.edit_text.size();
      continue;
    }
    if (key == "\t") continue;  // the line editor's blanks belong in no field
    if (TakeFieldKey(editor.edit_text, editor.edit_position, key)) continue;
    std::string why = TakeTyped(editor.edit_text);
    if (why.empty()) {
      editor.editing = false;
      Say("");
      return true;
    }
    Say(why, true);
  }
  editor.editing = false;
  Say("");
  return false;
}

void StepField() {
  EditorChannel& channel = editor.channels[editor.current];
  if (editor.field != kModeField && editor.field != kFilterField) return;
  if (!channel.loads) {
    Say("channel " + std::to_string(editor.current) + " is empty: Enter types its frequency", true);
    return;
  }
  TakeTyped(NextInTable(editor.field, EditStart(channel, editor.field)));
}

void EmptyChannel() {
  EditorChannel& channel = editor.channels[editor.current];
  channel.text = FormatChannelLine(editor.current, false, "", "", 0, 0);
  channel.changed = channel.unsent = true;
  channel.marked = false;
  ReadLines();
  Say("channel " + std::to_string(editor.current) +
      " emptied: a load leaves it as the radio has it, F5 too");
}
