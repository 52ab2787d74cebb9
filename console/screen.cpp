// The screen: cells in colours, the cursor the program keeps for itself so
// that wrapping, scrolling and the bounds of MoveCursor behave the same on
// every terminal, and the one output buffer. Escape sequences are the
// VT/ANSI ones; the terminal underneath is reached through terminal.h.
#include "console/screen.h"

#include <cstdio>
#include <string>
#include <vector>

#include "console/characters.h"
#include "console/console.h"
#include "console/terminal.h"
#include "console/typed_answers.h"
#include "ending/fatal.h"
#include "text/text.h"

int rows = 25;
int columns = 80;
int cursor_row = 1;
int cursor_column = 1;
long scrolled_rows = 0;
int mark_row = 1;
int mark_column = 1;
long mark_scrolled = 0;

namespace {

constexpr int kUnmeasuredRows = 25;
constexpr int kUnmeasuredColumns = 80;

bool started = false;
std::string output;         // bytes not yet handed to the terminal
size_t progress_shown = 0;  // length of the progress line on the error stream

// What the console has put on the screen since it was last cleared, in
// order: a cursor move (row > 0) or bytes written at the cursor. A redraw
// writes it all again at the size the screen has then. Every clear empties
// it; between two clears the program writes a screenful or two.
struct Drawn {
  int row;
  int column;
  std::string bytes;
  bool may_scroll;
};
std::vector<Drawn> drawn;
size_t mark = 0;  // the entry of `drawn` at which the marked cell lies

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
// A control character in the bytes shows as its escape (Displayed); only
// the line ends stay what they are.
void Write(const std::string& text, bool may_scroll) {
  std::string bytes;
  for (size_t i = 0; i < text.size();) {
    size_t length = CharLength(text, i);
    if (output_is_terminal && text[i] != '\r' && text[i] != '\n' && IsControlChar(text, i, length))
      bytes += Displayed(text.substr(i, length), utf8_text);
    else
      bytes.append(text, i, length);
    i += length;
  }
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

// A text as the screen shows it: piped output gets the bytes as they are.
std::string Shown(const std::string& text) {
  return output_is_terminal ? Displayed(text, utf8_text) : text;
}

// MoveCursor's rule: a position off the screen is ignored. Without a
// terminal a move can't happen, and a line end keeps what follows apart
// from a row that is not ended.
void GoTo(int row, int column) {
  if (!output_is_terminal) {
    if (cursor_column != 1) PutBytes("\r\n");
    return;
  }
  if (row < 1 || row > rows || column < 1 || column > columns) return;
  PlaceCursor(row, column);
}

// Everything the console has drawn since the last clear, again, at the
// screen's size now. The editor's line is drawn by the editor.
void Redraw() {
  EscapeSequence("\x1b[2J");
  PlaceCursor(1, 1);
  scrolled_rows = 0;
  for (size_t k = 0; k <= drawn.size(); k++) {
    if (k == mark) {
      mark_row = cursor_row;
      mark_column = cursor_column;
      mark_scrolled = scrolled_rows;
    }
    if (k == drawn.size()) break;
    const Drawn& entry = drawn[k];
    if (entry.row > 0)
      GoTo(entry.row, entry.column);
    else
      Write(entry.bytes, entry.may_scroll);
  }
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

void MarkScreen() {
  mark = drawn.size();
}

void RecordDrawn(const std::string& bytes) {
  drawn.push_back({0, 0, bytes, true});
}

bool ScreenRedrawn() {
  if (!started) return false;
  bool continued = TerminalContinued();
  if (!TerminalSizeChanged() && !continued) return false;
  MeasureScreen();
  if (output_is_terminal) Redraw();
  return true;
}

void ConsoleStart() {
  if (started) return;
  started = true;
  AddCloser(TerminalRestore);
  TerminalOpen();
  MeasureScreen();
}

void SetColours(int foreground, int background) {
  ConsoleStart();
  EscapeSequence("\x1b[0;" + std::to_string(SgrColour(foreground & 15, 30)) + ";" +
                 std::to_string(SgrColour(background & 15, 40)) + "m");
  // Goes out with what is drawn in these colours, in the same write.
}

void ClearScreen() {
  ConsoleStart();
  TerminalContinued();  // nothing to draw again: the screen is cleared
  MeasureScreen();
  drawn.clear();
  mark = 0;
  EscapeSequence("\x1b[2J");
  PlaceCursor(1, 1);
  Flush();
}

void MoveCursor(int row, int column) {
  ConsoleStart();
  ScreenRedrawn();
  drawn.push_back({row, column, "", true});
  GoTo(row, column);
  Flush();
}

void PrintText(const std::string& text, bool end_line) {
  ConsoleStart();
  ScreenRedrawn();
  std::string bytes = Shown(text) + (end_line ? "\r\n" : "");
  drawn.push_back({0, 0, bytes, true});
  PutBytes(bytes);
  Flush();
}

void PrintInRow(const std::string& text) {
  ConsoleStart();
  ScreenRedrawn();
  std::string bytes = Shown(text);
  drawn.push_back({0, 0, bytes, false});
  PutClipped(bytes);
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

void PrintProblem(const std::string& text) {
  // The console's terminal takes raw keys: its lines end in CR LF, as the
  // screen's do. A stream that is not the console's gets plain lines.
  static const bool error_is_terminal = ErrorIsTerminal();
  // Names and bytes from files are in it: their control characters are
  // shown, never sent to the terminal.
  std::string line = "quenmar-setup: " + Displayed(text, utf8_text) +
                     (started && error_is_terminal ? "\r\n" : "\n");
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

// The terminal types that stand for no cursor control at all: the dumb
// terminal, one that is not known, and an editor's shell buffer. An unset
// TERM says nothing, and the console is then taken as it is.
bool PlainTerminalType(const char* term) {
  if (!term) return false;
  std::string type = term;
  return type.empty() || type == "dumb" || type == "unknown" || type == "emacs";
}
