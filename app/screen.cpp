// The screen: cells in colours, the cursor the program keeps for itself so
// that wrapping, scrolling and the bounds of MoveCursor behave the same on
// every terminal, and the one output buffer. Escape sequences are the
// VT/ANSI ones; the terminal underneath is reached through terminal.h.
#include "app/screen.h"

#include <cstdio>
#include <string>

#include "app/characters.h"
#include "app/console.h"
#include "app/terminal.h"
#include "app/typed_answers.h"

int rows = 25;
int columns = 80;
int cursor_row = 1;
int cursor_column = 1;
long scrolled_rows = 0;

namespace {

constexpr int kUnmeasuredRows = 25;
constexpr int kUnmeasuredColumns = 80;

bool started = false;
std::string output;         // bytes not yet handed to the terminal
size_t progress_shown = 0;  // length of the progress line on the error stream

void LineDown() {
  if (++cursor_row > rows) {
    cursor_row = rows;
    scrolled_rows++;
  }
}

void Advance(int cells) {
  cursor_column += cells;
  if (cursor_column > columns) {
    cursor_column = 1;
    LineDown();
    EscapeSequence("\r\n");
  }
}

// Writes bytes at the cursor. A character that reaches the last column moves
// the cursor to the start of the next row at once (terminals defer that wrap,
// so it is made explicit), scrolling at the bottom, so the terminal always
// agrees with us. On a UTF-8 terminal a character takes the cells of its
// width; a wide one that would start in the last column leaves a blank there
// and starts the next row, as terminals place it. Unless `may_scroll`, the
// writing ends in the bottom right cell: the terminal's cursor waits there
// for a wrap that never comes, and ours stays in that cell.
void Write(const std::string& bytes, bool may_scroll) {
  bool corner_filled = false;
  for (size_t i = 0; i < bytes.size();) {
    char c = bytes[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r')
        cursor_column = 1;
      else
        LineDown();
      output += c;
      i++;
      continue;
    }
    size_t length = CharLength(bytes, i);
    int cells = CharCells(bytes, i);
    bool last_row = !may_scroll && cursor_row == rows;
    if (corner_filled && cells > 0) break;
    if (last_row && cursor_column + cells - 1 > columns) break;
    if (cells == 2 && cursor_column == columns && columns > 1) {
      output += ' ';
      Advance(1);
    }
    output.append(bytes, i, length);
    if (last_row && cursor_column + cells > columns) {
      cursor_column = columns;
      corner_filled = true;
    } else {
      Advance(cells);
    }
    if (utf8_text && length == 1 && static_cast<unsigned char>(c) >= 0x80) {
      // A stray byte: placing the cursor ends it on the terminal too, so that
      // the next byte can't join it into a character the editor never saw.
      EscapeSequence("\x1b[" + std::to_string(cursor_row) + ";" + std::to_string(cursor_column) +
                     "H");
    }
    i += length;
  }
}

int SgrColour(int colour, int base) {
  int ansi = ((colour & 4) ? 1 : 0) | ((colour & 2) ? 2 : 0) | ((colour & 1) ? 4 : 0);
  return ((colour & 8) ? base + 60 : base) + ansi;
}

}  // namespace

void Flush() {
  if (output.empty()) return;
  TerminalWrite(output);
  output.clear();
}

// Escape sequences go only to a terminal; piped output gets the plain text.
void EscapeSequence(const std::string& sequence) {
  if (output_is_terminal) output += sequence;
}

void PutBytes(const std::string& bytes) {
  Write(bytes, true);
}

void PutClipped(const std::string& bytes) {
  Write(bytes, false);
}

void PlaceCursor(int row, int column) {
  cursor_row = row;
  cursor_column = column;
  EscapeSequence("\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "H");
}

void ClearBelow() {
  EscapeSequence("\x1b[J");
}

// Up by line feeds in the bottom row, down by reverse index in the top row;
// a whole screen or more by clearing it.
void ScrollScreen(int count) {
  int column = cursor_column;
  if (count >= rows || -count >= rows) {
    EscapeSequence("\x1b[2J");
  } else if (count > 0) {
    PlaceCursor(rows, column);
    for (int k = 0; k < count; k++) EscapeSequence("\n");
  } else if (count < 0) {
    PlaceCursor(1, column);
    for (int k = 0; k < -count; k++) EscapeSequence("\x1bM");
  }
  scrolled_rows += count;
}

// A terminal made smaller keeps the cursor's row in sight: what was above it
// moves up, as if scrolled.
void MeasureScreen() {
  TerminalSizeChanged();  // this measurement answers any report so far
  if (!TerminalSize(rows, columns)) {
    rows = kUnmeasuredRows;
    columns = kUnmeasuredColumns;
  }
  if (cursor_row > rows) {
    scrolled_rows += cursor_row - rows;
    cursor_row = rows;
  }
  if (cursor_column > columns) cursor_column = columns;
}

bool ScreenResized() {
  if (!started || !TerminalSizeChanged()) return false;
  MeasureScreen();
  return true;
}

void ConsoleStart() {
  if (started) return;
  started = true;
  TerminalOpen();
  MeasureScreen();
}

void SetColours(int foreground, int background) {
  ConsoleStart();
  EscapeSequence("\x1b[0;" + std::to_string(SgrColour(foreground & 15, 30)) + ";" +
                 std::to_string(SgrColour(background & 15, 40)) + "m");
  Flush();
}

void ClearScreen() {
  ConsoleStart();
  ScreenResized();
  EscapeSequence("\x1b[2J");
  PlaceCursor(1, 1);
  Flush();
}

void MoveCursor(int row, int column) {
  ConsoleStart();
  ScreenResized();
  if (row < 1 || row > rows || column < 1 || column > columns) return;
  PlaceCursor(row, column);
  Flush();
}

void PrintText(const std::string& text, bool end_line) {
  ConsoleStart();
  ScreenResized();
  PutBytes(text);
  if (end_line) PutBytes("\r\n");
  Flush();
}

void PrintNumber(int16_t number, bool end_line) {
  PrintText(NumberText(number), end_line);
}

void PrintProgress(const std::string& text) {
  static const bool error_is_terminal = ErrorIsTerminal();
  if (!error_is_terminal || (text.empty() && progress_shown == 0)) return;
  // Blanks over what a longer line left, then the cursor back at its end.
  std::string line = "\r" + text;
  if (progress_shown > text.size()) {
    line += std::string(progress_shown - text.size(), ' ') + "\r" + text;
  }
  progress_shown = text.size();
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}
