// Characters by the terminal's character set (utf8_text, learned when the
// terminal is opened) and by their width on its screen.
#include "app/characters.h"

#include "app/terminal.h"

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

// On a UTF-8 terminal a stray byte is a character of its own.
size_t CharLength(const std::string& text, size_t i) {
  if (!utf8_text) return 1;
  size_t length = Utf8Length(text, i);
  return length == 0 ? 1 : length;
}

// A stray byte shows as one replacement sign.
int CharCells(const std::string& text, size_t i) {
  size_t length = CharLength(text, i);
  if (length == 1) return 1;
  char32_t code = static_cast<unsigned char>(text[i]) & (0xFF >> (length + 1));
  for (size_t k = 1; k < length; k++) code = code << 6 | (text[i + k] & 0x3F);
  return TerminalCharWidth(code);
}

// The end of the text stays where it is.
size_t CharStart(const std::string& text, size_t i) {
  if (!utf8_text) return i;
  size_t start = 0;
  while (start < i && start + CharLength(text, start) <= i) start += CharLength(text, start);
  return start;
}
