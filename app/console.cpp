// The console dialogue: the screen model with its own cursor, colours, the
// key queue, the line editor and the two prompts. Escape sequences are the
// VT/ANSI ones; the terminal underneath is reached through terminal.h.
#include "app/console.h"

#include <cstdio>
#include <deque>
#include <string>
#include <utility>

#include "app/terminal.h"
#include "app/typed_answers.h"

int rows = 25;
int columns = 80;

namespace {

constexpr size_t kKeyQueueLimit = 511;
constexpr int kEditPauseMs = 25;

// Scan codes of the special keys the editor knows.
constexpr char kUp = 0x48, kDown = 0x50, kLeft = 0x4B, kRight = 0x4D;
constexpr char kHome = 0x47, kEnd = 0x4F, kDelete = 0x53;

bool started = false;
int cursor_row = 1;
int cursor_column = 1;
long scrolled_rows = 0;  // rows the screen has moved up so far
bool cursor_visible = true;
std::string output;                  // bytes not yet handed to the terminal
std::deque<std::string> key_buffer;  // typed keys not yet read, oldest first
std::string typed_bytes;             // bytes of a key sequence not yet complete
std::string stream_input;            // input that is not a terminal, read and not yet used
bool stream_ended = false;
size_t progress_shown = 0;  // length of the progress line on the error stream

void Flush() {
  if (output.empty()) return;
  TerminalWrite(output);
  output.clear();
}

// Escape sequences go only to a terminal; piped output gets the plain text.
void EscapeSequence(const std::string& sequence) {
  if (output_is_terminal) output += sequence;
}

void LineDown() {
  if (++cursor_row > rows) {
    cursor_row = rows;
    scrolled_rows++;
  }
}

// The length of the UTF-8 sequence that starts at bytes[i]: all of it when
// it is complete and well formed, 0 when the bytes end inside one that may
// still be, 1 for a byte that starts no sequence (a stray byte).
size_t Utf8Length(const std::string& bytes, size_t i) {
  unsigned char lead = bytes[i];
  size_t length = 1;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  }
  for (size_t k = 1; k < length; k++) {
    if (i + k >= bytes.size()) return 0;
    unsigned char c = bytes[i + k];
    if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return 1;
  }
  return length;
}

// The bytes of the character at text[i]: one, or a whole UTF-8 sequence on
// a UTF-8 terminal, where a stray byte is a character of its own.
size_t CharLength(const std::string& text, size_t i) {
  if (!utf8_text) return 1;
  size_t length = Utf8Length(text, i);
  return length == 0 ? 1 : length;
}

// The cells the character at text[i] takes. A stray byte shows as one
// replacement sign.
int CharCells(const std::string& text, size_t i, size_t length) {
  if (length == 1) return 1;
  char32_t code = static_cast<unsigned char>(text[i]) & (0xFF >> (length + 1));
  for (size_t k = 1; k < length; k++) code = code << 6 | (text[i + k] & 0x3F);
  return TerminalCharWidth(code);
}

// The start of the character that holds text[i]; the end of the text stays.
size_t CharStart(const std::string& text, size_t i) {
  if (!utf8_text) return i;
  size_t start = 0;
  while (start < i && start + CharLength(text, start) <= i) start += CharLength(text, start);
  return start;
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
// and starts the next row, as terminals place it.
void PutBytes(const std::string& bytes) {
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
    int cells = CharCells(bytes, i, length);
    if (cells == 2 && cursor_column == columns && columns > 1) {
      output += ' ';
      Advance(1);
    }
    output.append(bytes, i, length);
    Advance(cells);
    if (utf8_text && length == 1 && static_cast<unsigned char>(c) >= 0x80) {
      // A stray byte: placing the cursor ends it on the terminal too, so that
      // the next byte can't join it into a character the editor never saw.
      EscapeSequence("\x1b[" + std::to_string(cursor_row) + ";" + std::to_string(cursor_column) +
                     "H");
    }
    i += length;
  }
}

void PlaceCursor(int row, int column) {
  cursor_row = row;
  cursor_column = column;
  EscapeSequence("\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "H");
}

int SgrColour(int colour, int base) {
  int ansi = ((colour & 4) ? 1 : 0) | ((colour & 2) ? 2 : 0) | ((colour & 1) ? 4 : 0);
  return ((colour & 8) ? base + 60 : base) + ansi;
}

void AddKey(const std::string& key) {
  key_buffer.push_back(key);
  if (key_buffer.size() > kKeyQueueLimit) key_buffer.pop_front();
}

// The key of a CSI or SS3 sequence: its final byte and its first number.
char SpecialKeyCode(char final_byte, int number) {
  switch (final_byte) {
    case 'A':
      return kUp;
    case 'B':
      return kDown;
    case 'C':
      return kRight;
    case 'D':
      return kLeft;
    case 'H':
      return kHome;
    case 'F':
      return kEnd;
    case 'P':
      return 0x3B;  // F1..F4
    case 'Q':
      return 0x3C;
    case 'R':
      return 0x3D;
    case 'S':
      return 0x3E;
    case '~':
      switch (number) {
        case 1:
        case 7:
          return kHome;
        case 4:
        case 8:
          return kEnd;
        case 2:
          return 0x52;  // Insert
        case 3:
          return kDelete;
        case 5:
          return 0x49;  // Page Up
        case 6:
          return 0x51;  // Page Down
        case 11:
        case 12:
        case 13:
        case 14:
        case 15:
          return static_cast<char>(0x3B + number - 11);
        case 17:
        case 18:
        case 19:
        case 20:
        case 21:
          return static_cast<char>(0x40 + number - 17);
        case 23:
          return static_cast<char>(0x85);
        case 24:
          return static_cast<char>(0x86);
      }
  }
  return 0;  // a key the program has no use for
}

// Reads what the terminal has sent and queues it as keys. An Escape that may
// start a sequence gets a moment for the rest to arrive.
void ReadTypedKeys() {
  if (!input_is_terminal) return;
  typed_bytes += TerminalReadBytes();
  if (!typed_bytes.empty()) DecodeKeys(typed_bytes, false);
  if (!typed_bytes.empty() && TerminalWaitInput(30)) typed_bytes += TerminalReadBytes();
  if (!typed_bytes.empty()) DecodeKeys(typed_bytes, true);
}

std::string NextKey() {
  for (;;) {
    std::string key = PollKey();
    if (!key.empty()) return key;
    Flush();
    TerminalWaitInput(kEditPauseMs);
  }
}

// The next line of an input that is not a terminal, without its line end.
std::string ReadStreamLine() {
  for (;;) {
    size_t end = stream_input.find('\n');
    if (end != std::string::npos) {
      std::string line = stream_input.substr(0, end);
      stream_input.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (stream_ended) return std::exchange(stream_input, "");
    char buffer[4096];
    long n = TerminalReadStream(buffer, sizeof buffer);
    if (n <= 0)
      stream_ended = true;
    else
      stream_input.append(buffer, n);
  }
}

std::string ReadAnswerLine(const std::string& prompt) {
  ConsoleStart();
  if (!input_is_terminal) {
    Flush();
    return ReadStreamLine();
  }
  PrintText(prompt, false);
  std::string line = EditLine();
  PrintText("", true);
  return line;
}

}  // namespace

void DecodeKeys(std::string& pending, bool input_idle) {
  size_t i = 0;
  while (i < pending.size()) {
    unsigned char c = pending[i];
    if (c != 0x1b) {
      // On a UTF-8 terminal a character's whole sequence is one key.
      size_t length = utf8_text && c >= 0x80 ? Utf8Length(pending, i) : 1;
      if (length == 0) {
        if (!input_idle) break;  // the rest of the character may still come
        length = 1;              // it won't: a stray byte, a key of its own
      }
      AddKey(c == 0x7f ? "\b" : pending.substr(i, length));
      i += length;
      continue;
    }
    if (i + 1 >= pending.size()) {
      if (!input_idle) break;  // the rest of a sequence may still come
      AddKey("\x1b");
      i++;
      continue;
    }
    char kind = pending[i + 1];
    if (kind != '[' && kind != 'O') {
      AddKey("\x1b");  // Escape on its own, then whatever followed it
      i++;
      continue;
    }
    // CSI: parameters and intermediates, then a final byte 40-7E. SS3: one byte.
    size_t j = i + 2;
    int number = 0;
    bool have_number = false;
    if (kind == '[') {
      while (j < pending.size() && static_cast<unsigned char>(pending[j]) >= 0x20 &&
             static_cast<unsigned char>(pending[j]) <= 0x3f) {
        if (pending[j] >= '0' && pending[j] <= '9' && !have_number) {
          number = number * 10 + (pending[j] - '0');
          if (number > 1000) number = 1000;
        } else if (pending[j] == ';') {
          have_number = true;  // only the first number names the key
        }
        j++;
      }
    }
    if (j >= pending.size()) {
      if (!input_idle) break;
      AddKey("\x1b");  // a sequence that never finished: Escape and its bytes
      i++;
      continue;
    }
    char code = SpecialKeyCode(pending[j], number);
    AddKey(std::string(1, '\0') + code);
    i = j + 1;
  }
  pending.erase(0, i);
}

void ConsoleStart() {
  if (started) return;
  started = true;
  TerminalOpen(rows, columns);
}

void SetColours(int foreground, int background) {
  ConsoleStart();
  EscapeSequence("\x1b[0;" + std::to_string(SgrColour(foreground & 15, 30)) + ";" +
                 std::to_string(SgrColour(background & 15, 40)) + "m");
  Flush();
}

void ClearScreen() {
  ConsoleStart();
  EscapeSequence("\x1b[2J");
  PlaceCursor(1, 1);
  Flush();
}

void MoveCursor(int row, int column) {
  ConsoleStart();
  if (row < 1 || row > rows || column < 1 || column > columns) return;
  PlaceCursor(row, column);
  Flush();
}

void PrintText(const std::string& text, bool end_line) {
  ConsoleStart();
  PutBytes(text);
  if (end_line) PutBytes("\r\n");
  Flush();
}

void PrintNumber(int16_t number, bool end_line) {
  PrintText(NumberText(number), end_line);
}

std::string PollKey() {
  ConsoleStart();
  ReadTypedKeys();
  if (key_buffer.empty()) return "";
  std::string key = key_buffer.front();
  key_buffer.pop_front();
  return key;
}

void WaitForKey() {
  PrintText("", true);
  PrintText("Press any key to continue", true);
  if (!input_is_terminal) return;  // nobody there to press a key
  while (PollKey().empty()) TerminalWaitInput(1000);
}

std::string EditLine() {
  ConsoleStart();
  bool was_visible = cursor_visible;
  EscapeSequence("\x1b[?25h");
  cursor_visible = true;
  const int start_row = cursor_row;
  const int start_column = cursor_column;
  const long start_scrolled = scrolled_rows;
  std::string text;
  size_t position = 0;  // in bytes, always at the start of a character

  // Where the characters go: a count of cells from column 1 of the first row,
  // each row `columns` long, following PutBytes (a wide character that does
  // not fit in the last column starts the next row).
  auto step = [&](long offset, size_t i) {
    int cells = CharCells(text, i, CharLength(text, i));
    if (cells == 2 && columns > 1 && offset % columns == columns - 1) offset++;
    return offset + cells;
  };
  auto offset_of = [&](size_t end) {
    long offset = start_column - 1;
    for (size_t i = 0; i < end; i += CharLength(text, i)) offset = step(offset, i);
    return offset;
  };
  // The last position whose cell is not beyond `target`.
  auto position_at = [&](long target) {
    long offset = start_column - 1;
    size_t found = 0;
    for (size_t i = 0; i < text.size();) {
      offset = step(offset, i);
      i += CharLength(text, i);
      if (offset > target) break;
      found = i;
    }
    return found;
  };
  // The cursor to position i of the text, following any scrolling.
  auto place = [&](size_t i) {
    long offset = offset_of(i);
    long row = start_row - (scrolled_rows - start_scrolled) + offset / columns;
    int column = static_cast<int>(offset % columns) + 1;
    if (row >= 1 && row <= rows) PlaceCursor(static_cast<int>(row), column);
  };
  // Puts `bytes` in place of text[from, to), moves to `to_position` and
  // brings the screen up to date: what follows is redrawn, and the cells the
  // text no longer reaches are blanked.
  auto change = [&](size_t from, size_t to, const std::string& bytes, size_t to_position) {
    long old_end = offset_of(text.size());
    bool typing_at_end = from == to && to == text.size();
    text.replace(from, to - from, bytes);
    // Stray bytes that now make a character with their neighbours are
    // redrawn and stepped over as that one character.
    size_t first = CharStart(text, from);
    position = CharStart(text, to_position);
    if (position < to_position) position += CharLength(text, position);
    if (typing_at_end && first == from) {
      PutBytes(bytes);
      return;
    }
    long new_end = offset_of(text.size());
    place(first);
    PutBytes(text.substr(first) + std::string(old_end > new_end ? old_end - new_end : 0, ' '));
    place(position);
  };

  for (;;) {
    std::string key = NextKey();
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
        if (position > 0) {
          size_t before = CharStart(text, position - 1);
          change(before, position, "", before);
        }
      } else if (c == 9) {
        size_t count = 0;  // characters before the position
        for (size_t i = 0; i < position; i += CharLength(text, i)) count++;
        std::string blanks(8 - count % 8, ' ');
        change(position, position, blanks, position + blanks.size());
      } else if (c == 27) {
        change(0, text.size(), "", 0);
      }
    } else if (key.size() == 2) {
      long here = offset_of(position);
      switch (key[1]) {
        case kDelete:
          if (position < text.size()) {
            change(position, position + CharLength(text, position), "", position);
          } else {
            Flush();
            TerminalBeep();
          }
          break;
        case kLeft:
          if (position > 0) place(position = CharStart(text, position - 1));
          break;
        case kRight:
          if (position < text.size()) place(position += CharLength(text, position));
          break;
        case kHome:
          position = 0;
          place(position);
          break;
        case kEnd:
          position = text.size();
          place(position);
          break;
        // A screen row up or down, where the text reaches that far.
        case kUp:
          if (here - columns >= start_column - 1) place(position = position_at(here - columns));
          break;
        case kDown:
          if (here + columns <= offset_of(text.size()))
            place(position = position_at(here + columns));
          break;
      }
    }
    Flush();
  }
  position = text.size();
  place(position);
  if (!was_visible) EscapeSequence("\x1b[?25l");
  cursor_visible = was_visible;
  Flush();
  return text;
}

int16_t PromptNumber(const std::string& prompt) {
  return ItemToNumber(FirstItem(ReadAnswerLine(prompt), true));
}

std::string PromptText(const std::string& prompt) {
  return FirstItem(ReadAnswerLine(prompt), false);
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
