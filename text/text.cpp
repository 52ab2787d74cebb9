// Text helpers: hex, upper case, trimming, UTF-8, bytes shown safely.
#include "text/text.h"

#include <charconv>
#include <string>

namespace {

bool IsPrintable(char c) {
  return c >= ' ' && c <= '~';
}

}  // namespace

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string Count(int count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

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

long DecodeUtf8(const std::string& text, size_t& at) {
  size_t length = Utf8Length(text, at);
  unsigned char lead = text[at++];
  if (length < 2) return length == 1 && lead < 0x80 ? lead : -1;
  long code = lead & (0x7F >> length);
  for (size_t k = 1; k < length; k++) code = code << 6 | (text[at++] & 0x3F);
  return code;
}

void AppendUtf8(std::string& text, char32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | code >> 6);
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | code >> 12);
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | code >> 18);
    text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsControlChar(const std::string& text, size_t i, size_t length) {
  unsigned char c = text[i];
  if (length == 1) return c < 0x20 || (c >= 0x7F && c <= 0x9F);
  return length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}

// What reaches a terminal must not be taken as a control sequence: a byte
// 9B is an 8-bit CSI on many terminals, and U+009B one on some UTF-8 ones.
std::string Displayed(const std::string& text, bool utf8) {
  std::string shown;
  for (size_t i = 0; i < text.size();) {
    size_t length = utf8 ? Utf8Length(text, i) : 1;
    if (length == 0) length = 1;  // a sequence cut off by the end: stray bytes
    if (IsControlChar(text, i, length)) {
      for (size_t k = 0; k < length; k++)
        shown += "\\x" + Hex2(static_cast<unsigned char>(text[i + k]));
    } else {
      shown.append(text, i, length);
    }
    i += length;
  }
  return shown;
}

bool WholeNumber(const std::string& text, long lowest, long highest, long& value) {
  const char* end = text.data() + text.size();
  long number = 0;
  auto [stop, error] = std::from_chars(text.data(), end, number);
  if (error != std::errc() || stop != end || text.empty() || number < lowest || number > highest)
    return false;
  value = number;
  return true;
}

bool HexBytes(const std::string& text, std::string& bytes) {
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high * 16 + low);
  }
  return true;
}
