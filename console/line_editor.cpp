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

}  // namespace

std::string EditLine() {
  ConsoleStart();
  EscapeSequence("\x1b[?25h");  // the typed line's cursor is always shown
  if (!prompt_recorded) MarkScreen();
  // The line as the screen shows it: the prompt, then the typed text from
  // `typed_from` on. Its first cell is column `left` of row `top_row` as the
  // screen stood when `top_scrolled` rows had scrolled away.
  std::string line = prompt_recorded ? prompt_shown : "";
  const size_t typed_from = line.size();
  long top_row = prompt_recorded ? prompt_row : cursor_row;
  long top_scrolled = prompt_recorded ? prompt_scrolled : scrolled_rows;
  int left = prompt_recorded ? prompt_column : cursor_column;
  size_t position = typed_from;  // in bytes, always at the start of a character

  // The screen row of the line's first row now; above the screen when < 1.
  auto top = [&] { return top_row - (scrolled_rows - top_scrolled); };
  // Where the characters go: a count of cells from column 1 of the first row,
  // each row `columns` long, following PutBytes (a wide character that does
  // not fit in the last column starts the next row).
  auto cell_of = [&](long offset, size_t i) {
    if (CharCells(line, i) == 2 && columns > 1 && offset % columns == columns - 1) offset++;
    return offset;
  };
  auto offset_of = [&](size_t end) {
    long offset = left - 1;
    for (size_t i = 0; i < end; i += CharLength(line, i))
      offset = cell_of(offset, i) + CharCells(line, i);
    return offset;
  };
  // The first character whose cell is not before `target`; the end if none.
  auto index_from = [&](long target) {
    long offset = left - 1;
    size_t i = 0;
    for (; i < line.size(); i += CharLength(line, i)) {
      if (cell_of(offset, i) >= target) break;
      offset = cell_of(offset, i) + CharCells(line, i);
    }
    return i;
  };
  // The last typed position whose cell is not beyond `target`.
  auto position_at = [&](long target) {
    long offset = left - 1;
    size_t found = typed_from;
    for (size_t i = 0; i < line.size();) {
      offset = cell_of(offset, i) + CharCells(line, i);
      i += CharLength(line, i);
      if (offset > target) break;
      if (i > typed_from) found = i;
    }
    return found;
  };
  auto has_mark = [&](const std::string& bytes) {
    for (size_t i = 0; i < bytes.size(); i += CharLength(bytes, i))
      if (CharCells(bytes, i) == 0) return true;
    return false;
  };
  // Brings the screen up to date from line[first] on: the characters from
  // there, and blanks over the cells up to `old_end` that the line no longer
  // reaches, on the rows the screen has; then the cursor to `position`. When
  // the cursor's row is off the screen, the screen scrolls to it first and
  // the rows that come in are drawn too. With `follow_end` a line that grows
  // past the bottom row scrolls up with it, as far as the cursor stays in
  // sight.
  auto show = [&](size_t first, long old_end, bool follow_end) {
    long target = offset_of(position);
    long row = top() + target / columns;
    size_t until = line.size();  // the characters to draw end before this one
    if (row < 1 || row > rows) {
      long count = row > rows ? row - rows : row - 1;
      bool moved_only = first == line.size();
      ScrollScreen(static_cast<int>(count));
      long first_new_row = count > 0 ? std::max(1L, rows - count + 1) : 1;
      first = std::min(first, index_from((first_new_row - top()) * columns));
      // Down: the rows below the new ones still show what they showed.
      if (moved_only && count < 0 && -count < rows)
        until = index_from((1 - count - top()) * columns);
    }
    long end = offset_of(line.size());
    long last_row = top() + (end > 0 ? (end - 1) / columns : 0);
    if (follow_end && last_row > rows) {
      long count = std::min(last_row - rows, top() + target / columns - 1);
      if (count > 0) {
        ScrollScreen(static_cast<int>(count));
        first = std::min(first, index_from((std::max(1L, rows - count + 1) - top()) * columns));
      }
    }
    long visible_from = (1 - top()) * columns;  // the first cell on the screen
    size_t from = std::max(first, index_from(visible_from));
    long from_offset = from < line.size() ? cell_of(offset_of(from), from) : end;
    long blanks_from = std::max(end, visible_from);
    std::string bytes = line.substr(from, until > from ? until - from : 0);
    if (until == line.size() && old_end > blanks_from)
      bytes += std::string(old_end - blanks_from, ' ');
    if (from == line.size()) from_offset = blanks_from;
    long from_row = top() + from_offset / columns;
    if (!bytes.empty() && from_row >= 1 && from_row <= rows) {
      PlaceCursor(static_cast<int>(from_row), static_cast<int>(from_offset % columns) + 1);
      PutClipped(bytes);
    }
    PlaceCursor(static_cast<int>(top() + target / columns), static_cast<int>(target % columns) + 1);
  };
  // After a redraw of the screen (a new size, a continue after a stop) the
  // line starts where the redraw put the marked cell: the prompt's.
  auto redraw_all = [&] {
    top_row = mark_row;
    top_scrolled = mark_scrolled;
    left = mark_column;
    show(0, 0, false);
  };
  // Puts `bytes` in place of line[from, to) and moves to `to_position`.
  auto change = [&](size_t from, size_t to, const std::string& bytes, size_t to_position) {
    long old_end = offset_of(line.size());
    bool end_was_shown = top() + (old_end > 0 ? (old_end - 1) / columns : 0) <= rows;
    bool marks = has_mark(line.substr(from, to - from)) || has_mark(bytes);
    bool typing_at_end = from == to && to == line.size();
    line.replace(from, to - from, bytes);
    // Stray bytes that now make a character with their neighbours are
    // redrawn and stepped over as that one character.
    size_t first = CharStart(line, from);
    position = CharStart(line, to_position);
    if (position < to_position) position += CharLength(line, position);
    // A combining mark shows in the cell of the letter before it: a change
    // next to a mark starts at that letter.
    if (marks || (first < line.size() && CharCells(line, first) == 0)) {
      while (first > typed_from) {
        first = CharStart(line, first - 1);
        if (CharCells(line, first) > 0) break;
      }
    }
    if (typing_at_end && first == from && !marks) {
      PutBytes(bytes);
      return;
    }
    show(first, old_end, end_was_shown);
  };
  auto move_to = [&](size_t to) {
    position = to;
    show(line.size(), 0, false);
  };

  for (;;) {
    std::string key = PollKey();
    if (key.empty()) {
      if (ScreenRedrawn() && output_is_terminal) redraw_all();
      Flush();
      WaitForKeys(kEditPauseMs);
      continue;
    }
    unsigned char c = key[0];
    if (c != 0 && key.size() > 1) {
      // A UTF-8 character; the control characters 80-9F are ignored like
      // those below 32.
      if (c != 0xC2 || static_cast<unsigned char>(key[1]) >= 0xA0)
        change(position, position, key, position + key.size());
    } else if (key.size() == 1) {
      if (c == '\r' || c == '\n') break;
      if (c >= 32) {
        change(position, position, key, position + 1);
      } else if (c == 8) {
        if (position > typed_from) {
          size_t before = CharStart(line, position - 1);
          change(before, position, "", before);
        }
      } else if (c == 9) {
        size_t count = 0;  // characters before the position
        for (size_t i = typed_from; i < position; i += CharLength(line, i)) count++;
        std::string blanks(8 - count % 8, ' ');
        change(position, position, blanks, position + blanks.size());
      } else if (c == 27) {
        change(typed_from, line.size(), "", typed_from);
      }
    } else if (key.size() == 2) {
      long here = offset_of(position);
      size_t to = position;
      switch (key[1]) {
        case kDelete:
          if (position < line.size()) {
            change(position, position + CharLength(line, position), "", position);
          } else {
            Flush();
            TerminalBeep();
          }
          break;
        // Left and Right step over a character with its combining marks.
        case kLeft:
          if (to > typed_from) to = CharStart(line, to - 1);
          while (to > typed_from && CharCells(line, to) == 0) to = CharStart(line, to - 1);
          move_to(to);
          break;
        case kRight:
          if (to < line.size()) to += CharLength(line, to);
          while (to < line.size() && CharCells(line, to) == 0) to += CharLength(line, to);
          move_to(to);
          break;
        case kHome:
          move_to(typed_from);
          break;
        case kEnd:
          move_to(line.size());
          break;
        // A screen row up or down, where the text reaches that far.
        case kUp:
          if (here - columns >= offset_of(typed_from)) move_to(position_at(here - columns));
          break;
        case kDown:
          if (here + columns <= offset_of(line.size())) move_to(position_at(here + columns));
          break;
      }
    }
    Flush();
  }
  move_to(line.size());
  Flush();
  return line.substr(typed_from);
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
