// The terminal on Windows: the console with virtual-terminal sequences
// switched on in both directions, so that the console speaks the same
// escape sequences and sends the same key sequences as a terminal on other
// systems. Standard input or output that is no console (a pipe, a file) is
// used as plain bytes. A console whose code page is UTF-8 (65001) gets the
// UTF-8 rules of the line editor: its keys are read as UTF-16 and handed on
// as UTF-8. A new size comes as the console's buffer-size event.
#include <windows.h>

#include <string>

#include "console/terminal.h"

bool output_is_terminal = false;
bool input_is_terminal = false;
bool utf8_text = false;
const char* const kSystemHelpOption = "/?";
bool input_hung_up = false;

namespace {

HANDLE input_handle = INVALID_HANDLE_VALUE;
HANDLE output_handle = INVALID_HANDLE_VALUE;
DWORD saved_input_mode = 0;
DWORD saved_output_mode = 0;
volatile LONG input_mode_changed = 0;
volatile LONG output_mode_changed = 0;
bool wide_input = false;     // the input code page is UTF-8: read UTF-16, hand on UTF-8
bool size_reported = false;  // a buffer-size event has come and not yet been asked about

bool IsSizeEvent(const INPUT_RECORD& record) {
  return record.EventType == WINDOW_BUFFER_SIZE_EVENT;
}

// The sequence a terminal sends for a special key. A console that honours
// ENABLE_VIRTUAL_TERMINAL_INPUT sends these itself, as characters; one that
// does not (older consoles, some emulations) reports the bare key, and the
// console dialogue still gets what it expects.
const char* KeySequence(WORD virtual_key) {
  switch (virtual_key) {
    case VK_ESCAPE:
      return "\x1b";  // some consoles give Escape no character
    case VK_UP:
      return "\x1b[A";
    case VK_DOWN:
      return "\x1b[B";
    case VK_RIGHT:
      return "\x1b[C";
    case VK_LEFT:
      return "\x1b[D";
    case VK_HOME:
      return "\x1b[H";
    case VK_END:
      return "\x1b[F";
    case VK_INSERT:
      return "\x1b[2~";
    case VK_DELETE:
      return "\x1b[3~";
    case VK_PRIOR:
      return "\x1b[5~";
    case VK_NEXT:
      return "\x1b[6~";
    case VK_F1:
      return "\x1bOP";
    case VK_F2:
      return "\x1bOQ";
    case VK_F3:
      return "\x1bOR";
    case VK_F4:
      return "\x1bOS";
    case VK_F5:
      return "\x1b[15~";
    case VK_F6:
      return "\x1b[17~";
    case VK_F7:
      return "\x1b[18~";
    case VK_F8:
      return "\x1b[19~";
    case VK_F9:
      return "\x1b[20~";
    case VK_F10:
      return "\x1b[21~";
    case VK_F11:
      return "\x1b[23~";
    case VK_F12:
      return "\x1b[24~";
  }
  return nullptr;
}

// A special key held with Shift, Alt or Ctrl, as a terminal sends it: the
// modifier parameter 1 + Shift 1 + Alt 2 + Ctrl 4 (ESC [ 1 ; 5 D for
// Ctrl+Left, ESC [ 3 ; 5 ~ for Ctrl+Delete).
std::string WithModifiers(const std::string& sequence, DWORD state) {
  int modifier = 1 + ((state & SHIFT_PRESSED) ? 1 : 0) +
                 ((state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) ? 2 : 0) +
                 ((state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) ? 4 : 0);
  if (modifier == 1 || sequence.size() < 3) return sequence;
  std::string parameter = ";" + std::to_string(modifier);
  if (sequence.back() == '~') return sequence.substr(0, sequence.size() - 1) + parameter + "~";
  return "\x1b[1" + parameter + sequence.back();
}

// A key press that gives typed text: a character or a special key. Key
// releases, Shift or Ctrl alone, focus, mouse and window events give none.
bool IsTypedKey(const INPUT_RECORD& record) {
  if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return false;
  const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
  bool character = wide_input ? key.uChar.UnicodeChar != 0 : key.uChar.AsciiChar != 0;
  return character || KeySequence(key.wVirtualKeyCode) != nullptr;
}

// The bytes typed in some input events: characters, and special keys'
// sequences.
std::string TypedBytes(const INPUT_RECORD* records, DWORD count) {
  std::string bytes;
  std::wstring units;  // wide_input: the UTF-16 of everything, made UTF-8 at the end
  for (DWORD i = 0; i < count; i++) {
    if (IsSizeEvent(records[i])) size_reported = true;
    if (!IsTypedKey(records[i])) continue;
    const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
    std::string one;
    std::wstring one_wide;
    if (wide_input && key.uChar.UnicodeChar != 0) {
      one_wide.assign(1, key.uChar.UnicodeChar);
    } else if (!wide_input && key.uChar.AsciiChar != 0) {
      one.assign(1, key.uChar.AsciiChar);
    } else {
      one = WithModifiers(KeySequence(key.wVirtualKeyCode), key.dwControlKeyState);
      if (wide_input) one_wide.assign(one.begin(), one.end());
    }
    for (WORD n = 0; n < (key.wRepeatCount > 0 ? key.wRepeatCount : 1); n++) {
      if (wide_input)
        units += one_wide;
      else
        bytes += one;
    }
  }
  if (!units.empty()) {
    // A surrogate pair of one character comes as two events: converting the
    // whole keeps it one character.
    int size = WideCharToMultiByte(CP_UTF8, 0, units.data(), static_cast<int>(units.size()),
                                   nullptr, 0, nullptr, nullptr);
    if (size > 0) {
      std::string utf8(size, '\0');
      WideCharToMultiByte(CP_UTF8, 0, units.data(), static_cast<int>(units.size()), utf8.data(),
                          size, nullptr, nullptr);
      bytes += utf8;
    }
  }
  return bytes;
}

BOOL ReadInput(INPUT_RECORD* records, DWORD size, DWORD* count) {
  return wide_input ? ReadConsoleInputW(input_handle, records, size, count)
                    : ReadConsoleInputA(input_handle, records, size, count);
}

BOOL PeekInput(INPUT_RECORD* records, DWORD size, DWORD* count) {
  return wide_input ? PeekConsoleInputW(input_handle, records, size, count)
                    : PeekConsoleInputA(input_handle, records, size, count);
}

}  // namespace

void TerminalOpen() {
  input_handle = GetStdHandle(STD_INPUT_HANDLE);
  output_handle = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  output_is_terminal = GetConsoleMode(output_handle, &mode) != 0;
  input_is_terminal = GetConsoleMode(input_handle, &mode) != 0;
  utf8_text = output_is_terminal && GetConsoleOutputCP() == CP_UTF8;
  wide_input = input_is_terminal && GetConsoleCP() == CP_UTF8;
  if (output_is_terminal && GetConsoleMode(output_handle, &saved_output_mode)) {
    // DISABLE_NEWLINE_AUTO_RETURN makes a character in the last column wait
    // for the next one before wrapping, as terminals do; the console's own
    // line ends rely on that.
    DWORD wanted = saved_output_mode | ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT |
                   ENABLE_VIRTUAL_TERMINAL_PROCESSING | DISABLE_NEWLINE_AUTO_RETURN;
    // Marked before the change, so that an ending in between (the control
    // handler runs on a thread of its own) still puts the saved mode back.
    output_mode_changed = 1;
    if (!SetConsoleMode(output_handle, wanted)) {
      output_mode_changed = 0;
      // A console too old for escape sequences would print them as text:
      // give it the plain bytes instead.
      output_is_terminal = false;
    }
  }
  if (input_is_terminal && GetConsoleMode(input_handle, &saved_input_mode)) {
    // Keys one by one without echo, special keys as escape sequences, and
    // the buffer-size events of a resized window. Processed input stays, so
    // that Ctrl-C is a control event for the handler, never a key.
    DWORD wanted = (saved_input_mode | ENABLE_VIRTUAL_TERMINAL_INPUT | ENABLE_PROCESSED_INPUT |
                    ENABLE_WINDOW_INPUT) &
                   ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT);
    // A console without virtual-terminal input refuses the whole mode; the
    // bare special keys are then turned into sequences here (KeySequence).
    input_mode_changed = 1;
    if (!SetConsoleMode(input_handle, wanted) &&
        !SetConsoleMode(input_handle, wanted & ~ENABLE_VIRTUAL_TERMINAL_INPUT))
      input_mode_changed = 0;
  }
}

void TerminalRestore() {
  if (input_mode_changed) SetConsoleMode(input_handle, saved_input_mode);
  if (output_mode_changed) SetConsoleMode(output_handle, saved_output_mode);
}

bool TerminalSize(int& rows, int& columns) {
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (!output_is_terminal || !GetConsoleScreenBufferInfo(output_handle, &screen)) return false;
  int visible_rows = screen.srWindow.Bottom - screen.srWindow.Top + 1;
  if (visible_rows <= 0 || screen.dwSize.X <= 0) return false;
  rows = visible_rows;
  columns = screen.dwSize.X;
  return true;
}

bool TerminalSizeChanged() {
  bool changed = size_reported;
  size_reported = false;
  return changed;
}

// A Windows console program is never stopped and continued.
bool TerminalContinued() {
  return false;
}

void TerminalWrite(const std::string& bytes) {
  // Whatever standard output is now, as write(1, ...) would on POSIX: the C
  // runtime's dup2 on descriptor 1 changes it.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr) ||
        written == 0)
      return;  // the screen is gone; nothing to tell anyone
    done += written;
  }
}

std::string TerminalReadBytes() {
  std::string bytes;
  if (!input_is_terminal) return bytes;
  for (;;) {
    DWORD waiting = 0;
    if (!GetNumberOfConsoleInputEvents(input_handle, &waiting) || waiting == 0) return bytes;
    INPUT_RECORD records[64];
    DWORD count = 0;
    if (!ReadInput(records, waiting < 64 ? waiting : 64, &count) || count == 0) return bytes;
    bytes += TypedBytes(records, count);
  }
}

bool TerminalWaitInput(int ms) {
  if (!input_is_terminal) {
    Sleep(ms > 0 ? ms : 0);
    return false;
  }
  ULONGLONG deadline = GetTickCount64() + (ms > 0 ? ms : 0);
  for (;;) {
    ULONGLONG now = GetTickCount64();
    DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    DWORD waited = WaitForSingleObject(input_handle, left);
    if (waited == WAIT_TIMEOUT) return false;
    if (waited != WAIT_OBJECT_0) {
      input_hung_up = true;  // the console has gone away: no key can come
      return true;
    }
    // The handle is signalled for any event. Only a typed key and a new size
    // count; the others (key releases, focus changes) are taken out of the
    // way so that the next wait does not end at once on them.
    INPUT_RECORD records[64];
    DWORD count = 0;
    if (!PeekInput(records, 64, &count)) return false;
    bool resized = false;
    for (DWORD i = 0; i < count; i++) {
      if (IsTypedKey(records[i])) return true;
      if (IsSizeEvent(records[i])) resized = true;
    }
    if (count > 0) ReadInput(records, count, &count);
    if (resized) {
      size_reported = true;
      return true;
    }
    if (left == 0) return false;
  }
}

long TerminalReadStream(char* buffer, unsigned long size) {
  DWORD n = 0;
  // A pipe whose writer has gone fails with ERROR_BROKEN_PIPE: the end.
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, size, &n, nullptr)) return 0;
  return static_cast<long>(n);
}

// A console program on Windows is not stopped and continued.
void TerminalStop() {}

void TerminalBeep() {
  if (output_is_terminal) Beep(1000, 250);
}

int TerminalCharWidth(char32_t code) {
  // The console's own character tables: marks that combine take no cell,
  // the ideographs and full-width forms of East Asian scripts take two.
  if (code >= 0x10000) {
    bool wide = (code >= 0x1F300 && code <= 0x1FAFF) || (code >= 0x20000 && code <= 0x3FFFD);
    return wide ? 2 : 1;
  }
  if ((code >= 0x1100 && code <= 0x115F) || (code >= 0xAC00 && code <= 0xD7A3)) return 2;  // Hangul
  WCHAR unit = static_cast<WCHAR>(code);
  WORD type = 0;
  if (!GetStringTypeW(CT_CTYPE3, &unit, 1, &type)) return 1;
  if (type & C3_NONSPACING) return 0;
  if (type & C3_HALFWIDTH) return 1;
  return (type & (C3_FULLWIDTH | C3_IDEOGRAPH | C3_HIRAGANA | C3_KATAKANA)) ? 2 : 1;
}

bool ErrorIsTerminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
