// Text helpers: hex, upper case, trimming, bytes shown safely.
#include "text/text.h"

#include <string>

namespace {

bool IsPrintable(char c) {
  return c >= ' ' && c <= '~';
}

}  // namespace

std::string Hex2(unsigned char byte) {
  const char* digits = "0123456789ABCDEF";
  return {digits[byte >> 4], digits[byte & 15]};
}

std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string Trimmed(const std::string& text, const char* blanks) {
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// What a file or the radio holds must not reach the terminal as a control
// sequence.
std::string Printable(const std::string& text) {
  std::string shown;
  for (char c : text) {
    if (IsPrintable(c)) {
      shown += c;
    } else {
      shown += "\\x" + Hex2(static_cast<unsigned char>(c));
    }
  }
  return shown;
}

std::string Quoted(const std::string& text) {
  std::string shown = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') shown += '\\';
    shown += IsPrintable(c) ? std::string(1, c) : "\\x" + Hex2(static_cast<unsigned char>(c));
  }
  return shown + "\"";
}
