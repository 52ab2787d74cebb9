// The keys: the bytes a terminal sends become keys in the queue, oldest
// first; PollKey hands them out and WaitForKey waits for one. Terminals send
// special keys as escape sequences: CSI (ESC [) and SS3 (ESC O) with the
// xterm modifier parameter, the Linux console's ESC [ [ A to E for F1 to F5,
// rxvt's endings $, ^ and @ for Shift, Ctrl and both, and ESC before a key
// for Alt. Each sequence is one key, whole, and never text.
#include "console/keys.h"

#include <deque>
#include <string>
#include <utility>

#include "console/characters.h"
#include "console/console.h"
#include "console/screen.h"
#include "console/terminal.h"
#include "ending/signal_reports.h"

namespace {

constexpr size_t kKeyQueueLimit = 511;
// The rest of an escape sequence arrives within this pause; after it, an
// Escape with nothing behind it is the Escape key.
constexpr int kSequencePauseMs = 30;

std::deque<std::string> key_buffer;  // typed keys not yet read, oldest first
std::string typed_bytes;             // bytes of a key not yet complete
std::string stream_input;            // input that is not a terminal, read and not yet used
bool stream_ended = false;

std::string Special(char code) {
  return std::string(1, '\0') + code;
}

void AddKey(const std::string& key) {
  key_buffer.push_back(key);
  if (key_buffer.size() > kKeyQueueLimit) key_buffer.pop_front();
}

// The keys of unmodified CSI and SS3 sequences by their final byte, and of
// CSI n ~ by its number n, as PC scan codes: P to S are F1 to F4, Z is
// Shift-Tab; the
// numbers 1 and 7 are Home, 4 and 8 End, 2 Insert, 3 Delete, 5 and 6 Page Up
// and Down, 11 to 15 F1 to F5, 17 to 21 F6 to F10, 23 and 24 F11 and F12.
struct KeyOfByte {
  char final_byte;
  char code;
};
constexpr KeyOfByte kKeysByFinalByte[] = {{'A', kUp},   {'B', kDown}, {'C', kRight},   {'D', kLeft},
                                          {'H', kHome}, {'F', kEnd},  {'P', 0x3B},     {'Q', 0x3C},
                                          {'R', 0x3D},  {'S', 0x3E},  {'Z', kShiftTab}};
struct KeyOfNumber {
  int number;
  char code;
};
constexpr char kF11 = static_cast<char>(0x85), kF12 = static_cast<char>(0x86);
constexpr KeyOfNumber kKeysByNumber[] = {
    {1, kHome}, {7, kHome}, {4, kEnd},  {8, kEnd},  {2, 0x52},  {3, kDelete}, {5, 0x49},
    {6, 0x51},  {11, 0x3B}, {12, 0x3C}, {13, 0x3D}, {14, 0x3E}, {15, 0x3F},   {17, 0x40},
    {18, 0x41}, {19, 0x42}, {20, 0x43}, {21, 0x44}, {23, kF11}, {24, kF12}};

// The key of an unmodified CSI or SS3 sequence: its final byte and its first
// number.
char SpecialKeyCode(char final_byte, int number) {
  if (final_byte == '~') {
    for (const KeyOfNumber& key : kKeysByNumber)
      if (key.number == number) return key.code;
    return kOtherKey;
  }
  for (const KeyOfByte& key : kKeysByFinalByte)
    if (key.final_byte == final_byte) return key.code;
  return kOtherKey;
}

bool ParseSequence(const std::string& s, size_t i, size_t& length, char& code);

// ESC ESC: Alt with a special key (rxvt's ESC ESC [ D), or Alt+Escape.
bool ParseAltSequence(const std::string& s, size_t i, size_t& length, char& code) {
  if (i + 2 >= s.size()) return false;
  if (s[i + 2] != '[' && s[i + 2] != 'O') {
    length = 2;
    return true;
  }
  if (!ParseSequence(s, i + 1, length, code)) return false;
  length += 1;
  code = kOtherKey;
  return true;
}

// Alt with a key: ESC and one whole character (Alt+B, Alt+Backspace).
bool ParseAltKey(const std::string& s, size_t i, size_t& length) {
  unsigned char key = s[i + 1];
  size_t character = utf8_text && key >= 0x80 ? Utf8Length(s, i + 1) : 1;
  if (character == 0) return false;
  length = 1 + character;
  return true;
}

// The Linux console's F1 to F5: ESC [ [ A to E.
bool ParseLinuxFunctionKey(const std::string& s, size_t i, size_t& length, char& code) {
  if (i + 3 >= s.size()) return false;
  char letter = s[i + 3];
  if (letter >= 'A' && letter <= 'E') code = static_cast<char>(0x3B + letter - 'A');
  length = 4;
  return true;
}

// The parameters of a CSI or SS3 sequence: the first number names a ~ key;
// any other number is a modifier (xterm's 1;5C for Ctrl, old ones' 5C), and
// so are private markers and intermediates.
struct Parameters {
  int numbers[2] = {0, 0};
  int field = 0;
  bool modified = false;
};

// Reads the parameters and intermediates from s[j] on; the index of the
// byte after them, the final byte if the sequence is whole.
size_t ReadParameters(const std::string& s, size_t j, unsigned char kind, Parameters& p) {
  for (; j < s.size(); j++) {
    unsigned char b = s[j];
    if (b >= '0' && b <= '9') {
      if (p.field < 2 && p.numbers[p.field] < 1000)
        p.numbers[p.field] = p.numbers[p.field] * 10 + (b - '0');
    } else if (b == ';' || b == ':') {
      p.field++;
    } else if (b == '$' && kind == '[') {
      break;  // rxvt's Shift: a final byte here
    } else if (b < 0x20 || b > 0x3F) {
      break;
    } else {
      p.modified = true;
    }
  }
  return j;
}

// A CSI (ESC [) or SS3 (ESC O) sequence. rxvt's final $, ^ and @ are
// modifiers too.
bool ParseControlSequence(const std::string& s, size_t i, size_t& length, char& code) {
  unsigned char kind = s[i + 1];
  Parameters p;
  size_t j = ReadParameters(s, i + 2, kind, p);
  if (j >= s.size()) return false;
  unsigned char final_byte = s[j];
  if (final_byte != '$' && (final_byte < 0x40 || final_byte > 0x7E)) {
    // A byte no sequence ends with: the sequence so far is one ignored key,
    // and the byte is read on its own.
    length = j - i;
    return true;
  }
  length = j + 1 - i;
  bool modified = p.modified || p.field > 1 || p.numbers[1] > 1;
  if (final_byte != '~' && p.numbers[0] > 1) modified = true;
  if (kind == 'O' && (p.numbers[0] > 0 || p.field > 0)) modified = true;
  if (!modified && final_byte != '$') code = SpecialKeyCode(final_byte, p.numbers[0]);
  return true;
}

// The escape sequence at s[i] (an ESC): false while it may not be complete,
// else its length and its key in `length` and `code`.
bool ParseSequence(const std::string& s, size_t i, size_t& length, char& code) {
  code = kOtherKey;
  if (i + 1 >= s.size()) return false;
  unsigned char kind = s[i + 1];
  if (kind == 0x1b) return ParseAltSequence(s, i, length, code);
  if (kind != '[' && kind != 'O') return ParseAltKey(s, i, length);
  if (kind == '[' && i + 2 < s.size() && s[i + 2] == '[')
    return ParseLinuxFunctionKey(s, i, length, code);
  return ParseControlSequence(s, i, length, code);
}

// A terminal that hung up ends the program as a hang-up signal does, as a
// termination request: no key can come any more, and a wait for one would
// never end.
void EndIfHungUp() {
  if (input_hung_up) EndWithSignalReport(SignalKind::kTerminationRequest);
}

// Reads what the terminal has sent and queues it as keys. An Escape that may
// start a sequence gets a moment for the rest to arrive.
void ReadTypedKeys() {
  if (!input_is_terminal) return;
  EndIfHungUp();
  typed_bytes += TerminalReadBytes();
  if (!typed_bytes.empty()) DecodeKeys(typed_bytes, false);
  if (!typed_bytes.empty() && TerminalWaitInput(kSequencePauseMs))
    typed_bytes += TerminalReadBytes();
  EndIfHungUp();
  if (!typed_bytes.empty()) DecodeKeys(typed_bytes, true);
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
    size_t length = 0;
    char code = kOtherKey;
    if (!ParseSequence(pending, i, length, code)) {
      if (!input_idle) break;  // the rest of a sequence may still come
      // Nothing more came: a lone ESC is the Escape key, the start of a
      // sequence that never finished one ignored key.
      AddKey(i + 1 == pending.size() ? "\x1b" : Special(kOtherKey));
      i = pending.size();
      break;
    }
    AddKey(Special(code));
    i += length;
  }
  pending.erase(0, i);
}

std::string PollKey() {
  ConsoleStart();
  ReadTypedKeys();
  if (key_buffer.empty()) return "";
  std::string key = key_buffer.front();
  key_buffer.pop_front();
  return key;
}

void WaitForKeys(int ms) {
  TerminalWaitInput(ms);
  EndIfHungUp();
}

void WaitForKey() {
  PrintText("", true);
  PrintText("Press any key to continue", true);
  if (!input_is_terminal) return;  // nobody there to press a key
  while (PollKey().empty()) {
    if (ScreenRedrawn()) Flush();
    WaitForKeys(1000);
  }
}

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
