// Characters by the terminal's character set (utf8_text, learned when the
// terminal is opened) and by their width on its screen.
#include "console/characters.h"

#include "console/terminal.h"
#include "text/text.h"

// On a UTF-8 terminal a stray byte is a character of its own.
size_t CharLength(const std::string& text, size_t i) {
  if (!utf8_text) return 1;
  size_t length = Utf8Length(text, i);
  return length == 0 ? 1 : length;
}

// A stray byte shows as one replacement sign, a control character as the
// four cells of its escape for each of its bytes (Displayed).
int CharCells(const std::string& text, size_t i) {
  size_t length = CharLength(text, i);
  if (IsControlChar(text, i, length)) return 4 * static_cast<int>(length);
  if (length == 1) return 1;
  size_t at = i;
  return TerminalCharWidth(static_cast<char32_t>(DecodeUtf8(text, at)));
}

// The end of the text stays where it is.
size_t CharStart(const std::string& text, size_t i) {
  if (!utf8_text) return i;
  size_t start = 0;
  while (start < i && start + CharLength(text, start) <= i) start += CharLength(text, start);
  return start;
}
