// The line editor behind both prompts. It draws the prompt and the typed
// text as one line that wraps at the screen's width, keeps the cursor where
// the screen shows the editing position, and when the line is taller than
// the screen shows the part around the cursor: the screen scrolls to it,
// and only the rows that come in are drawn.
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

// The prompt in front of the line, and the cell it starts in, as
// ReadAnswerLine wrote it; EditLine redraws it with the line when the view
// moves back to it or the size changes.
bool prompt_recorded = false;
std::string prompt_shown;
int prompt_row = 1;
int prompt_column = 1;
long prompt_scrolled = 0;

std::string ReadAnswerLine(const std::string& prompt) {
  ConsoleStart();
  if (!input_is_terminal) {
    Flush();
    return ReadStreamLine();
  }
  if (!ScreenRedrawn()) MeasureScreen();  // the size the user sees now, whatever happened before
  MarkScreen();
  prompt_recorded = true;
  prompt_shown = prompt;
  prompt_row = cursor_row;
  prompt_column = cursor_column;
  prompt_scrolled = scrolled_rows;
  PrintText(prompt, false);
  std::string line = EditLine();
  prompt_recorded = false;
  RecordDrawn(line);
  PrintText("", true);
  return line;
}

// The line being edited, as the screen shows it: the prompt, then the typed
// text from `typed_from` on. Its first cell is column `left` of row `top_row`
// as the screen stood when `top_scrolled` rows had scrolled away.
struct EditedLine {
  std::string line;
  size_t typed_from = 0;
  long top_row = 1;
  long top_scrolled = 0;
  int left = 1;
  size_t position = 0;  // in bytes, always at the start of a character
};
EditedLine edit;

// The screen row of the line's first row now; above the screen when < 1.
long Top() {
  return edit.top_row - (scrolled_rows - edit.top_scrolled);
}

// Where the characters go: a count of cells from column 1 of the first row,
// each row `columns` long, following PutBytes (a wide character that does
// not fit in the last column starts the next row).
long CellOf(long offset, size_t i) {
  if (CharCells(edit.line, i) == 2 && columns > 1 && offset % columns == columns - 1) offset++;
  return offset;
}

long OffsetOf(size_t end) {
  long offset = edit.left - 1;
  for (size_t i = 0; i < end; i += CharLength(edit.line, i))
    offset = CellOf(offset, i) + CharCells(edit.line, i);
  return offset;
}

// The first character whose cell is not before `target`; the end if none.
size_t IndexFrom(long target) {
  long offset = edit.left - 1;
  size_t i = 0;
  for (; i < edit.line.size(); i += CharLength(edit.line, i)) {
    if (CellOf(offset, i) >= target) break;
    offset = CellOf(offset, i) + CharCells(edit.line, i);
  }
  return i;
}

// The last typed position whose cell is not beyond `target`.
size_t PositionAt(long target) {
  long offset = edit.left - 1;
  size_t found = edit.typed_from;
  for (size_t i = 0; i < edit.line.size();) {
    offset = CellOf(offset, i) + CharCells(edit.line, i);
    i += CharLength(edit.line, i);
    if (offset > target) break;
    if (i > edit.typed_from) found = i;
  }
  return found;
}

bool HasMark(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); i += CharLength(bytes, i))
    if (CharCells(bytes, i) == 0) return true;
  return false;
}

// When the cursor's row is off the screen, the screen scrolls to it and the
// rows that come in are drawn too: `first` and `until` widen to them.
void ScrollToCursor(long target, size_t& first, size_t& until) {
  long row = Top() + target / columns;
  if (row >= 1 && row <= rows) return;
  long count = row > rows ? row - rows : row - 1;
  bool moved_only = first == edit.line.size();
  ScrollScreen(static_cast<int>(count));
  long first_new_row = count > 0 ? std::max(1L, rows - count + 1) : 1;
  first = std::min(first, IndexFrom((first_new_row - Top()) * columns));
  // Down: the rows below the new ones still show what they showed.
  if (moved_only && count < 0 && -count < rows) until = IndexFrom((1 - count - Top()) * columns);
}

// Brings the screen up to date from line[first] on: the characters from
// there, and blanks over the cells up to `old_end` that the line no longer
// reaches, on the rows the screen has; then the cursor to `position`. With
// `follow_end` a line that grows past the bottom row scrolls up with it, as
// far as the cursor stays in sight.
void Show(size_t first, long old_end, bool follow_end) {
  const std::string& line = edit.line;
  long target = OffsetOf(edit.position);
  size_t until = line.size();  // the characters to draw end before this one
  ScrollToCursor(target, first, until);
  long end = OffsetOf(line.size());
  long last_row = Top() + (end > 0 ? (end - 1) / columns : 0);
  if (follow_end && last_row > rows) {
    long count = std::min(last_row - rows, Top() + target / columns - 1);
    if (count > 0) {
      ScrollScreen(static_cast<int>(count));
      first = std::min(first, IndexFrom((std::max(1L, rows - count + 1) - Top()) * columns));
    }
  }
  long visible_from = (1 - Top()) * columns;  // the first cell on the screen
  size_t from = std::max(first, IndexFrom(visible_from));
  long from_offset = from < line.size() ? CellOf(OffsetOf(from), from) : end;
  long blanks_from = std::max(end, visible_from);
  std::string bytes = line.substr(from, until > from ? until - from : 0);
  if (until == line.size() && old_end > blanks_from)
    bytes += std::string(old_end - blanks_from, ' ');
  if (from == line.size()) from_offset = blanks_from;
  long from_row = Top() + from_offset / columns;
  if (!bytes.empty() && from_row >= 1 && from_row <= rows) {
    PlaceCursor(static_cast<int>(from_row), static_cast<int>(from_offset % columns) + 1);
    PutClipped(bytes);
  }
  PlaceCursor(static_cast<int>(Top() + target / columns), static_cast<int>(target % columns) + 1);
}

// After a redraw of the screen (a new size, a continue after a stop) the
// line starts where the redraw put the marked cell: the prompt's.
void RedrawAll() {
  edit.top_row = mark_row;
  edit.top_scrolled = mark_scrolled;
  edit.left = mark_column;
  Show(0, 0, false);
}

// Puts `bytes` in place of line[from, to) and moves to `to_position`.
void Change(size_t from, size_t to, const std::string& bytes, size_t to_position) {
  std::string& line = edit.line;
  long old_end = OffsetOf(line.size());
  bool end_was_shown = Top() + (old_end > 0 ? (old_end - 1) / columns : 0) <= rows;
  bool marks = HasMark(line.substr(from, to - from)) || HasMark(bytes);
  bool typing_at_end = from == to && to == line.size();
  line.replace(from, to - from, bytes);
  // Stray bytes that now make a character with their neighbours are
  // redrawn and stepped over as that one character.
  size_t first = CharStart(line, from);
  edit.position = CharStart(line, to_position);
  if (edit.position < to_position) edit.position += CharLength(line, edit.position);
  // A combining mark shows in the cell of the letter before it: a change
  // next to a mark starts at that letter.
  if (marks || (first < line.size() && CharCells(line, first) == 0)) {
    while (first > edit.typed_from) {
      first = CharStart(line, first - 1);
      if (CharCells(line, first) > 0) break;
    }
  }
  if (typing_at_end && first == from && !marks) {
    PutBytes(bytes);
    return;
  }
  Show(first, old_end, end_was_shown);
}

void MoveTo(size_t to) {
  edit.position = to;
  Show(edit.line.size(), 0, false);
}

// A key of one byte; false for the line's end.
bool TakeByteKey(unsigned char c, const std::string& key) {
  size_t position = edit.position;
  if (c == '\r' || c == '\n') return false;
  if (c >= 32) {
    Change(position, position, key, position + 1);
  } else if (c == 8) {
    if (position > edit.typed_from) {
      size_t before = CharStart(edit.line, position - 1);
      Change(before, position, "", before);
    }
  } else if (c == 9) {
    size_t count = 0;  // characters before the position
    for (size_t i = edit.typed_from; i < position; i += CharLength(edit.line, i)) count++;
    std::string blanks(8 - count % 8, ' ');
    Change(position, position, blanks, position + blanks.size());
  } else if (c == 27) {
    Change(edit.typed_from, edit.line.size(), "", edit.typed_from);
  }
  return true;
}

void TakeSpecialKey(char special) {
  const std::string& line = edit.line;
  long here = OffsetOf(edit.position);
  size_t to = edit.position;
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
      if (to > edit.typed_from) to = CharStart(line, to - 1);
      while (to > edit.typed_from && CharCells(line, to) == 0) to = CharStart(line, to - 1);
      MoveTo(to);
      break;
    case kRight:
      if (to < line.size()) to += CharLength(line, to);
      while (to < line.size() && CharCells(line, to) == 0) to += CharLength(line, to);
      MoveTo(to);
      break;
    case kHome:
      MoveTo(edit.typed_from);
      break;
    case kEnd:
      MoveTo(line.size());
      break;
    // A screen row up or down, where the text reaches that far.
    case kUp:
      if (here - columns >= OffsetOf(edit.typed_from)) MoveTo(PositionAt(here - columns));
      break;
    case kDown:
      if (here + columns <= OffsetOf(line.size())) MoveTo(PositionAt(here + columns));
      break;
  }
}

}  // namespace

std::string EditLine() {
  ConsoleStart();
  EscapeSequence("\x1b[?25h");  // the typed line's cursor is always shown
  if (!prompt_recorded) MarkScreen();
  edit.line = prompt_recorded ? prompt_shown : "";
  edit.typed_from = edit.line.size();
  edit.top_row = prompt_recorded ? prompt_row : cursor_row;
  edit.top_scrolled = prompt_recorded ? prompt_scrolled : scrolled_rows;
  edit.left = prompt_recorded ? prompt_column : cursor_column;
  edit.position = edit.typed_from;
  for (;;) {
    std::string key = PollKey();
    if (key.empty()) {
      if (ScreenRedrawn() && output_is_terminal) RedrawAll();
      Flush();
      WaitForKeys(kEditPauseMs);
      continue;
    }
    unsigned char c = key[0];
    if (c != 0 && key.size() > 1) {
      // A UTF-8 character; the control characters 80-9F are ignored like
      // those below 32.
      if (c != 0xC2 || static_cast<unsigned char>(key[1]) >= 0xA0)
        Change(edit.position, edit.position, key, edit.position + key.size());
    } else if (key.size() == 1) {
      if (!TakeByteKey(c, key)) break;
    } else if (key.size() == 2) {
      TakeSpecialKey(key[1]);
    }
    Flush();
  }
  MoveTo(edit.line.size());
  Flush();
  return edit.line.substr(edit.typed_from);
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
