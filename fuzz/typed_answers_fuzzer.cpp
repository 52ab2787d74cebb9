// Fuzz target: how a typed line becomes an answer. The input is a typed line.
//
// FirstItem in both modes against the item rules (blanks and tabs skipped, a
// quoted stretch, the end at a comma, in number mode also at a blank or tab,
// at most 67 or 4096 bytes, d/D read as e/E in number mode before any &);
// ItemToNumber and TextToNumber against the number rules, and the same
// answer twice; the digits "0" to "9"; and a number printed by NumberText
// reads back as the same number.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/typed_answers.h"
#include "fuzz/fuzz_check.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The first item of a line by the item rules, written out here.
std::string ExpectedItem(const std::string& line, bool number_mode) {
  const size_t limit = number_mode ? 67 : 4096;
  std::string item;
  bool ampersand = false;
  auto take = [&](char c) {
    if (item.size() == limit) return;
    if (c == '&') ampersand = true;
    if (number_mode && !ampersand && c == 'd') c = 'e';
    if (number_mode && !ampersand && c == 'D') c = 'E';
    item.push_back(c);
  };
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos) return "";
  if (line[i] == '"') {
    size_t close = line.find('"', i + 1);
    size_t end = close == std::string::npos ? line.size() : close;
    for (size_t j = i + 1; j < end; j++) take(line[j]);
    if (!number_mode) return item;
    i = close == std::string::npos ? line.size() : close + 1;
  }
  for (; i < line.size(); i++) {
    char c = line[i];
    if (c == ',' || (number_mode && (c == ' ' || c == '\t'))) break;
    take(c);
  }
  return item;
}

// The longest leading decimal number of `text` from `start`: sign, digits
// with a point, an exponent with its own sign and digits. Its length, 0 when
// there is none.
size_t DecimalLength(const std::string& text, size_t start) {
  size_t i = start;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) i++;
  size_t whole = 0, fraction = 0;
  while (i + whole < text.size() && IsDigit(text[i + whole])) whole++;
  i += whole;
  if (i < text.size() && text[i] == '.') {
    while (i + 1 + fraction < text.size() && IsDigit(text[i + 1 + fraction])) fraction++;
    i += 1 + fraction;
  }
  if (whole + fraction == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) j++;
    size_t exponent = 0;
    while (j + exponent < text.size() && IsDigit(text[j + exponent])) exponent++;
    if (exponent > 0) i = j + exponent;
  }
  return i - start;
}

double Decimal(std::string text, size_t start) {
  for (char& c : text) {
    if (c == 'd') c = 'e';
    if (c == 'D') c = 'E';
  }
  size_t length = DecimalLength(text, start);
  if (length == 0) return 0.0;
  return std::strtod(text.substr(start, length).c_str(), nullptr);
}

// The digits after "&" and its letter, in 64 bits with the overflow dropped.
uint64_t Prefixed(const std::string& text, size_t ampersand) {
  size_t i = ampersand + 1;
  unsigned base = 8;
  if (i < text.size()) {
    char letter = static_cast<char>(text[i] | 0x20);
    if (letter == 'h')
      base = 16, i++;
    else if (letter == 'o')
      base = 8, i++;
    else if (letter == 'b')
      base = 2, i++;
  }
  uint64_t value = 0;
  for (; i < text.size(); i++) {
    const char* digits = "0123456789abcdef";
    char c = text[i];
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    const char* found = c ? std::strchr(digits, c) : nullptr;
    if (!found || static_cast<unsigned>(found - digits) >= base) break;
    value = value * base + static_cast<unsigned>(found - digits);
  }
  return value;
}

// The number made from an item by the number rules.
int16_t ExpectedNumber(const std::string& item) {
  size_t start = item.find_first_not_of(' ');
  if (start == std::string::npos) return 0;
  size_t ampersand = item.find('&');
  size_t floating = item.find_first_of(".eEdD");
  if (floating != std::string::npos && (ampersand == std::string::npos || floating < ampersand)) {
    double value = Decimal(item, start);
    double below = std::floor(value);
    double rounded = below;
    if (value - below > 0.5) rounded = below + 1;
    if (value - below == 0.5 && std::fmod(below, 2.0) != 0.0) rounded = below + 1;
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) return -32768;
    return static_cast<int16_t>(rounded);
  }
  uint32_t value = 0;
  if (item[start] == '&') {
    value = static_cast<uint32_t>(Prefixed(item, start));
  } else {
    size_t i = start;
    bool negative = item[i] == '-';
    if (item[i] == '+' || item[i] == '-') i++;
    uint64_t magnitude = 0;
    for (; i < item.size() && IsDigit(item[i]); i++) {
      magnitude = magnitude * 10 + static_cast<unsigned>(item[i] - '0');
      if (magnitude > 0xFFFFFFFFull) magnitude = 0xFFFFFFFFull;
    }
    value = static_cast<uint32_t>(magnitude);
    if (negative) value = ~value + 1;
  }
  return static_cast<int16_t>(static_cast<uint16_t>(value));
}

// The value of a text by the rules of TextToNumber.
double ExpectedValue(const std::string& text) {
  size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return 0.0;
  if (text.size() - start >= 2 && text[start] == '&') {
    return static_cast<double>(Prefixed(text, start));
  }
  return Decimal(text, start);
}

std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

void CheckItem(const std::string& line, bool number_mode) {
  const std::string mode = number_mode ? "number" : "text";
  auto about = [&] { return "FirstItem(" + Shown(line) + ", " + mode + " mode)"; };
  std::string item = FirstItem(line, number_mode);
  if (item.size() > (number_mode ? 67u : 4096u)) {
    Fail(about() + " is " + std::to_string(item.size()) + " bytes long");
  }
  size_t first = line.find_first_not_of(" \t");
  bool quoted = first != std::string::npos && line[first] == '"';
  if (!number_mode && !quoted && item.find(',') != std::string::npos) {
    Fail(about() + " holds a comma without a quoted stretch: " + Shown(item));
  }
  if (number_mode && !quoted && item.find_first_of(" \t") != std::string::npos) {
    Fail(about() + " holds a blank or tab without a quoted stretch: " + Shown(item));
  }
  std::string expected = ExpectedItem(line, number_mode);
  if (item != expected) Fail(about() + " gave " + Shown(item) + ", expected " + Shown(expected));
}

void CheckNumber(const std::string& item) {
  auto about = [&] { return "ItemToNumber(" + Shown(item) + ")"; };
  int16_t number = ItemToNumber(item);
  int16_t again = ItemToNumber(item);
  if (again != number) {
    Fail(about() + " gave " + std::to_string(number) + ", then " + std::to_string(again));
  }
  int16_t expected = ExpectedNumber(item);
  if (number != expected) {
    Fail(about() + " gave " + std::to_string(number) + ", expected " + std::to_string(expected));
  }

  // The printed form: " 5 " or "-5 ", which the number reader reads back.
  std::string printed = NumberText(number);
  char wanted[16];
  std::snprintf(wanted, sizeof wanted, "%s%d ", number < 0 ? "-" : " ", std::abs(number));
  if (printed != wanted) {
    Fail("NumberText(" + std::to_string(number) + ") gave " + Shown(printed) + ", expected " +
         Shown(wanted));
  }
  int16_t back = ItemToNumber(FirstItem(printed, true));
  if (back != number) {
    Fail("NumberText(" + std::to_string(number) + ") = " + Shown(printed) + " reads back as " +
         std::to_string(back));
  }
}

void CheckValue(const std::string& text) {
  auto about = [&] { return "TextToNumber(" + Shown(text) + ")"; };
  double value = TextToNumber(text);
  double again = TextToNumber(text);
  if (!(value == again) && !(std::isnan(value) && std::isnan(again))) {
    Fail(about() + " gave " + Number(value) + ", then " + Number(again));
  }
  double expected = ExpectedValue(text);
  if (!(value == expected)) {
    Fail(about() + " gave " + Number(value) + ", expected " + Number(expected));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool digits_checked = false;
  if (!digits_checked) {
    for (int digit = 0; digit <= 9; digit++) {
      double value = TextToNumber(std::string(1, static_cast<char>('0' + digit)));
      if (value != digit) {
        Fail("TextToNumber(\"" + std::to_string(digit) + "\") gave " + Number(value));
      }
    }
    digits_checked = true;
  }

  const std::string line(reinterpret_cast<const char*>(data), size);
  CheckItem(line, true);
  CheckItem(line, false);
  // What PromptNumber does with the line, and the reader on the raw bytes.
  CheckNumber(FirstItem(line, true));
  CheckNumber(line);
  CheckValue(line);
  if (size > 0) {
    std::string digit(1, static_cast<char>('0' + data[0] % 10));
    if (TextToNumber(digit) != data[0] % 10) Fail("TextToNumber(\"" + digit + "\") is wrong");
  }
  return 0;
}
