// The line editor behind both prompts. Its whole state is one LineState;
// each key changes the state, and then RefreshLine draws the whole line
// again from it. A line taller than the screen shows the part around the
// cursor: the screen scrolls to it.
#include "console/line_editor.h"

#include <algorithm>
#include <string>

#include "console/characters.h"
#include "console/console.h"
#include "console/keys.h"
#include "console/screen.h"
#include "console/terminal.h"
#include "console/typed_answers.h"

namespace {

constexpr int kEditPauseMs = 25;

LineState edited;  // the line being edited; written by EditFrom and the keys

// The screen row of the line's first row now; above the screen when < 1.
long TopRow(const LineState& s) {
  return s.top - scrolled_rows;
}

// Where the characters go: a count of cells from column 1 of the first row,
// each row `columns` long, following PutBytes (a wide character that does
// not fit in the last column starts the next row).
long CellOf(const LineState& s, long offset, size_t i) {
  if (CharCells(s.line, i) == 2 && columns > 1 && offset % columns == columns - 1) offset++;
  return offset;
}

long OffsetOf(const LineState& s, size_t end) {
  long offset = s.left - 1;
  for (size_t i = 0; i < end; i += CharLength(s.line, i))
    offset = CellOf(s, offset, i) + CharCells(s.line, i);
  return offset;
}

// The first character whose cell is not before `target`; the end if none.
size_t IndexFrom(const LineState& s, long target) {
  long offset = s.left - 1;
  size_t i = 0;
  for (; i < s.line.size(); i += CharLength(s.line, i)) {
    if (CellOf(s, offset, i) >= target) break;
    offset = CellOf(s, offset, i) + CharCells(s.line, i);
  }
  return i;
}

// The last typed position whose cell is not beyond `target`.
size_t PositionAt(const LineState& s, long target) {
  long offset = s.left - 1;
  size_t found = s.typed_from;
  for (size_t i = 0; i < s.line.size();) {
    offset = CellOf(s, offset, i) + CharCells(s.line, i);
    i += CharLength(s.line, i);
    if (offset > target) break;
    if (i > s.typed_from) found = i;
  }
  return found;
}

// The screen row of the line's last character (of its first cell when empty).
long LastRow(const LineState& s) {
  long end = OffsetOf(s, s.line.size());
  return TopRow(s) + (end > 0 ? (end - 1) / columns : 0);
}

long CursorRow(const LineState& s) {
  return TopRow(s) + OffsetOf(s, s.position) / columns;
}

// Scrolls the cursor's row onto the screen, to its nearer edge; see
// RefreshLine for `follow_end`.
void KeepInSight(const LineState& s, bool follow_end) {
  long row = CursorRow(s);
  if (row > rows) ScrollScreen(static_cast<int>(row - rows));
  if (row < 1) ScrollScreen(static_cast<int>(row - 1));
  if (!follow_end) return;
  long count = std::min(LastRow(s) - rows, CursorRow(s) - 1);
  if (count > 0) ScrollScreen(static_cast<int>(count));
}

// Puts `bytes` in place of line[from, to) and the cursor at `to_position`.
// Stray bytes that now make a character with their neighbours are stepped
// over as that one character.
void Change(size_t from, size_t to, const std::string& bytes, size_t to_position) {
  std::string& line = edited.line;
  line.replace(from, to - from, bytes);
  edited.position = CharStart(line, to_position);
  if (edited.position < to_position) edited.position += CharLength(line, edited.position);
}

// A key of one byte; false for the line's end.
bool TakeByteKey(unsigned char c, const std::string& key) {
  size_t position = edited.position;
  if (c == '\r' || c == '\n') return false;
  if (c >= 32) {
    Change(position, position, key, position + 1);
  } else if (c == 8) {
    if (position > edited.typed_from) {
      size_t before = CharStart(edited.line, position - 1);
      Change(before, position, "", before);
    }
  } else if (c == 9) {
    size_t count = 0;  // characters before the position
    for (size_t i = edited.typed_from; i < position; i += CharLength(edited.line, i)) count++;
    std::string blanks(8 - count % 8, ' ');
    Change(position, position, blanks, position + blanks.size());
  } else if (c == 27) {
    Change(edited.typed_from, edited.line.size(), "", edited.typed_from);
  }
  return true;
}

// The keys that move the cursor, and Delete.
void TakeSpecialKey(char special) {
  const std::string& line = edited.line;
  long here = OffsetOf(edited, edited.position);
  size_t& to = edited.position;
  switch (special) {
    case kDelete:
      if (to < line.size()) {
        Change(to, to + CharLength(line, to), "", to);
      } else {
        Flush();
        TerminalBeep();
      }
      break;
    // Left and Right step over a character with its combining marks.
    case kLeft:
      if (to > edited.typed_from) to = CharStart(line, to - 1);
      while (to > edited.typed_from && CharCells(line, to) == 0) to = CharStart(line, to - 1);
      break;
    case kRight:
      if (to < line.size()) to += CharLength(line, to);
      while (to < line.size() && CharCells(line, to) == 0) to += CharLength(line, to);
      break;
    case kHome:
      to = edited.typed_from;
      break;
    case kEnd:
      to = line.size();
      break;
    // A screen row up or down, where the text reaches that far.
    case kUp:
      if (here - columns >= OffsetOf(edited, edited.typed_from))
        to = PositionAt(edited, here - columns);
      break;
    case kDown:
      if (here + columns <= OffsetOf(edited, line.size())) to = PositionAt(edited, here + columns);
      break;
  }
}

// A key of any kind; false for the line's end.
bool TakeKey(const std::string& key) {
  unsigned char c = key[0];
  if (c != 0 && key.size() > 1) {
    // A UTF-8 character; the control characters 80-9F are ignored like
    // those below 32.
    if (c != 0xC2 || static_cast<unsigned char>(key[1]) >= 0xA0)
      Change(edited.position, edited.position, key, edited.position + key.size());
  } else if (key.size() == 1) {
    return TakeByteKey(c, key);
  } else if (key.size() == 2) {
    TakeSpecialKey(key[1]);
  }
  return true;
}

// A key, and the line drawn again; false for the line's end, when the
// cursor goes to the end of the line. Without a terminal on the output there
// is no screen to draw on: text typed at the end of the line is written as it
// comes, and nothing else is.
bool TakeKeyAndShow(const std::string& key) {
  bool end_shown = LastRow(edited) <= rows;
  size_t old_size = edited.line.size();
  bool at_end = edited.position == old_size;
  bool more = TakeKey(key);
  if (!more) edited.position = edited.line.size();
  RefreshLine(edited, end_shown);
  if (!output_is_terminal && at_end && edited.line.size() > old_size &&
      edited.line.size() == edited.position)
    PutBytes(edited.line.substr(old_size));
  Flush();
  return more;
}

// Edits a line that starts with `prompt`, which stands on the screen from
// column `left` of row `top` (as LineState counts it) on. After a redraw of
// the screen (a new size, a continue after a stop) the line starts where the
// redraw put the marked cell: the prompt's.
std::string EditFrom(const std::string& prompt, int left, long top) {
  ConsoleStart();
  EscapeSequence("\x1b[?25h");  // the typed line's cursor is always shown
  edited = LineState{prompt, prompt.size(), prompt.size(), left, top};
  for (;;) {
    std::string key = PollKey();
    if (key.empty()) {
      if (ScreenRedrawn() && output_is_terminal) {
        edited.left = mark_column;
        edited.top = mark_row + mark_scrolled;
        RefreshLine(edited, false);
      }
      Flush();
      WaitForKeys(kEditPauseMs);
      continue;
    }
    if (!TakeKeyAndShow(key)) break;
  }
  return edited.line.substr(edited.typed_from);
}

std::string ReadAnswerLine(const std::string& prompt) {
  ConsoleStart();
  if (!input_is_terminal) {
    Flush();
    return ReadStreamLine();
  }
  if (!ScreenRedrawn()) MeasureScreen();  // the size the user sees now, whatever happened before
  MarkScreen();
  int left = cursor_column;
  long top = cursor_row + scrolled_rows;
  PrintText(prompt, false);
  std::string line = EditFrom(prompt, left, top);
  RecordDrawn(line);
  PrintText("", true);
  return line;
}

}  // namespace

void RefreshLine(const LineState& s, bool follow_end) {
  if (!output_is_terminal) return;
  KeepInSight(s, follow_end);
  long top = TopRow(s);
  long end = OffsetOf(s, s.line.size());
  size_t from = top >= 1 ? 0 : IndexFrom(s, (1 - top) * columns);
  long from_cell = from < s.line.size() ? CellOf(s, OffsetOf(s, from), from) : end;
  PlaceCursor(static_cast<int>(top + from_cell / columns),
              static_cast<int>(from_cell % columns) + 1);
  PutClipped(s.line.substr(from));
  // Clearing to the screen's end takes only what the line no longer reaches:
  // the prompt is the last thing the console wrote, so nothing stands below
  // it. A line that reaches past the screen's last cell has nothing after it
  // to clear, and a clear there would take that cell's character with it.
  if (top + end / columns <= rows) ClearBelow();
  long cursor = OffsetOf(s, s.position);
  PlaceCursor(static_cast<int>(top + cursor / columns), static_cast<int>(cursor % columns) + 1);
}

bool TakeFieldKey(std::string& text, size_t& position, const std::string& key) {
  edited = LineState{text, 0, position, 1, 1};
  bool more = TakeKey(key);
  text = edited.line;
  position = edited.position;
  return more;
}

std::string typed_line;

int16_t PromptNumber(const std::string& prompt) {
  typed_line = ReadAnswerLine(prompt);
  return ItemToNumber(FirstItem(typed_line, true));
}

std::string PromptText(const std::string& prompt) {
  typed_line = ReadAnswerLine(prompt);
  return FirstItem(typed_line, false);
}
