// How a typed line becomes an answer: the first item of the line, the number
// made from it, the value of a short text, and the printed form of a number.
#include "console/typed_answers.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/text.h"

namespace {

constexpr size_t kNumberItemLimit = 67;
constexpr size_t kTextItemLimit = 4096;

// Length of the longest leading part of `text` (from `start`) that forms a
// decimal number: sign, digits with an optional point, optional exponent.
size_t DecimalPrefix(const std::string& text, size_t start) {
  size_t i = start;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) i++;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) i++, digits++;
  if (i < text.size() && text[i] == '.') {
    i++;
    while (i < text.size() && IsDigit(text[i])) i++, digits++;
  }
  if (digits == 0) return 0;
  size_t mantissa_end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) j++;
    size_t exponent_digits = 0;
    while (j < text.size() && IsDigit(text[j])) j++, exponent_digits++;
    if (exponent_digits > 0) return j - start;
  }
  return mantissa_end - start;
}

// The letters d and D read as e and E, the old form of an exponent.
std::string DAsExponent(std::string text) {
  for (char& c : text) {
    if (c == 'd') c = 'e';
    if (c == 'D') c = 'E';
  }
  return text;
}

double DecimalValue(const std::string& text, size_t start) {
  size_t length = DecimalPrefix(text, start);
  if (length == 0) return 0.0;
  return std::strtod(text.substr(start, length).c_str(), nullptr);
}

// The digits after "&" (with its H, O or B letter), accumulated with the
// overflow dropped. `i` stands on the "&".
uint64_t AmpersandValue(const std::string& text, size_t i) {
  unsigned base = 8;
  i++;
  if (i < text.size()) {
    char letter = text[i];
    if (letter == 'H' || letter == 'h')
      base = 16, i++;
    else if (letter == 'O' || letter == 'o')
      base = 8, i++;
    else if (letter == 'B' || letter == 'b')
      base = 2, i++;
  }
  uint64_t value = 0;
  for (; i < text.size(); i++) {
    char c = text[i];
    unsigned digit;
    if (IsDigit(c))
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      break;
    if (digit >= base) break;
    value = value * base + digit;
  }
  return value;
}

}  // namespace

std::string FirstItem(const std::string& line, bool number_mode) {
  size_t limit = number_mode ? kNumberItemLimit : kTextItemLimit;
  size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
  std::string item;
  bool ampersand_seen = false;
  auto take = [&](char c) {
    if (item.size() >= limit) return;
    if (c == '&') ampersand_seen = true;
    if (number_mode && !ampersand_seen && (c == 'd' || c == 'D')) c = (c == 'd') ? 'e' : 'E';
    item += c;
  };
  if (i < line.size() && line[i] == '"') {
    for (i++; i < line.size() && line[i] != '"'; i++) take(line[i]);
    if (!number_mode) return item;
    if (i < line.size()) i++;  // the closing quote
  }
  for (; i < line.size(); i++) {
    char c = line[i];
    if (c == ',') break;
    if (number_mode && (c == ' ' || c == '\t')) break;
    take(c);
  }
  return item;
}

int16_t ItemToNumber(const std::string& item) {
  size_t start = 0;
  while (start < item.size() && item[start] == ' ') start++;
  size_t ampersand = item.find('&');
  size_t floating = item.find_first_of(".eEdD");
  if (floating != std::string::npos && floating < ampersand) {
    double rounded = std::nearbyint(DecimalValue(DAsExponent(item), start));  // halves to even
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) return -32768;
    return static_cast<int16_t>(rounded);
  }
  uint32_t value = 0;
  if (start < item.size() && item[start] == '&') {
    value = static_cast<uint32_t>(AmpersandValue(item, start));
  } else {
    size_t i = start;
    bool negative = false;
    if (i < item.size() && (item[i] == '+' || item[i] == '-')) negative = item[i++] == '-';
    uint64_t magnitude = 0;
    for (; i < item.size() && IsDigit(item[i]); i++) {
      magnitude = magnitude * 10 + (item[i] - '0');
      if (magnitude > 0xFFFFFFFFull) magnitude = 0xFFFFFFFFull;
    }
    value = static_cast<uint32_t>(magnitude);
    if (negative) value = 0u - value;
  }
  return static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF));
}

double TextToNumber(const std::string& text) {
  size_t start = 0;
  while (start < text.size() && text[start] == ' ') start++;
  if (start == text.size()) return 0.0;
  if (text.size() - start >= 2 && text[start] == '&') {
    return static_cast<double>(AmpersandValue(text, start));
  }
  return DecimalValue(DAsExponent(text), start);
}

std::string NumberText(int16_t number) {
  std::string digits = std::to_string(std::abs(static_cast<int>(number)));
  return (number < 0 ? "-" : " ") + digits + " ";
}

std::string ItemNote(const std::string& line) {
  std::string item = FirstItem(line, false);
  if (item == line) return "";
  std::string note;
  auto add = [&](const std::string& reason) {
    if (!note.empty()) note += ", ";
    note += reason;
  };
  size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos) return "the line holds only blanks";
  if (start > 0) add("the blanks before the name go");
  if (line[start] == '"') {
    add("double quotes mark the name");
  } else if (line.find(',', start) != std::string::npos) {
    add("a comma ends the name");
  }
  if (item.size() == kTextItemLimit)
    add("a name holds at most " + std::to_string(kTextItemLimit) + " bytes");
  return note;
}
