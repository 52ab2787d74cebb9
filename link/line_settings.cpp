// The device text "COMn:options" and the option text's line settings.
#include "link/line_settings.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "text/text.h"

namespace {

// A decimal number and nothing else; an empty text is 0 when allowed.
bool DecimalField(const std::string& text, bool empty_is_zero, uint32_t& value) {
  if (text.empty()) {
    value = 0;
    return empty_is_zero;
  }
  uint64_t number = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    number = number * 10 + (c - '0');
    if (number > 0xFFFFFFFFull) return false;
  }
  value = static_cast<uint32_t>(number);
  return true;
}

// Digits with at most one decimal point, and nothing else.
bool PlainDecimal(const std::string& text, double& value) {
  bool digits = false, point = false;
  for (char c : text) {
    if (IsDigit(c))
      digits = true;
    else if (c == '.' && !point)
      point = true;
    else
      return false;
  }
  if (!digits) return false;
  value = std::strtod(text.c_str(), nullptr);
  return true;
}

bool Keyword(const std::string& field, LineSettings& settings) {
  std::string word = UpperCase(field);
  std::string head = word.substr(0, 2);
  std::string rest = word.size() > 2 ? word.substr(2) : "";
  uint32_t* number = nullptr;
  // OPn, FE and ME are accepted (OP's number checked) and change nothing here.
  uint32_t unused_number = 0;
  if (head == "CS") number = &settings.cts_time;
  if (head == "DS") number = &settings.dsr_time;
  if (head == "CD") number = &settings.cd_time;
  if (head == "OP") number = &unused_number;
  if (head == "TB") number = &settings.transmit_queue;
  if (head == "RB") number = &settings.receive_queue;
  if (head == "IR") number = &settings.ir_number;
  if (number) return DecimalField(rest, true, *number);
  if (word == "RS")
    settings.suppress_rts = true;
  else if (word == "LF" || word == "ASC")
    settings.text_mode = true;
  else if (word == "BIN")
    settings.text_mode = false;
  else if (word == "PE")
    settings.check_parity = true;
  else if (word == "DT")
    settings.keep_dtr = true;
  else if (word != "FE" && word != "ME")
    return false;
  return true;
}

// The fields between the commas, blanks and tabs around each dropped; an
// empty field still holds its position.
std::vector<std::string> Fields(const std::string& options) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t comma = options.find(',', start);
    fields.push_back(Trimmed(options.substr(start, comma - start), " \t"));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

bool ParityField(const std::string& field, LineSettings& settings) {
  std::string parity = UpperCase(field);
  if (parity == "N")
    settings.parity = Parity::None;
  else if (parity == "E")
    settings.parity = Parity::Even;
  else if (parity == "O")
    settings.parity = Parity::Odd;
  else if (parity == "S")
    settings.parity = Parity::Space;
  else if (parity == "M")
    settings.parity = Parity::Mark;
  else if (parity == "PE")
    settings.parity = Parity::Even, settings.check_parity = true;
  else
    return false;
  return true;
}

bool StopBitsField(const std::string& field, LineSettings& settings) {
  double stop_bits = 0;
  if (!PlainDecimal(field, stop_bits)) return false;
  if (stop_bits == 1.0)
    settings.stop_bits = StopBits::One;
  else if (stop_bits == 1.5)
    settings.stop_bits = StopBits::OneAndHalf;
  else if (stop_bits == 2.0)
    settings.stop_bits = StopBits::Two;
  else
    return false;
  return true;
}

// A field at its position: speed, parity, data bits and stop bits first,
// then keywords.
bool Field(size_t position, const std::string& field, LineSettings& settings) {
  if (position == 1) return DecimalField(field, false, settings.speed);
  if (position == 2) return ParityField(field, settings);
  if (position == 3) return DecimalField(field, false, settings.data_bits);
  if (position == 4) return StopBitsField(field, settings);
  return Keyword(field, settings);
}

// The stop bits when none are given: 1 above 110 bit/s, else 1.5 with 5
// data bits and 2 with more.
StopBits DefaultStopBits(const LineSettings& settings) {
  if (settings.speed > 110) return StopBits::One;
  return settings.data_bits == 5 ? StopBits::OneAndHalf : StopBits::Two;
}

}  // namespace

int ParseLineSettings(const std::string& options, LineSettings& settings) {
  settings = LineSettings{};
  std::vector<std::string> fields = Fields(options);
  for (size_t i = 0; i < fields.size(); i++) {
    if (!fields[i].empty() && !Field(i + 1, fields[i], settings)) return 1;
  }
  if (fields.size() < 4 || fields[3].empty()) settings.stop_bits = DefaultStopBits(settings);
  return 0;
}

int ParseDeviceText(const std::string& device_text, unsigned& port, LineSettings& settings) {
  if (device_text.size() < 4 || UpperCase(device_text.substr(0, 3)) != "COM") return 2;
  size_t i = 3;
  uint64_t number = 0;
  while (i < device_text.size() && IsDigit(device_text[i])) {
    number = number * 10 + (device_text[i] - '0');
    if (number > 0xFFFFFFFFull) return 2;
    i++;
  }
  if (i >= device_text.size() || device_text[i] != ':') return 2;
  port = number == 0 ? 1 : static_cast<unsigned>(number);
  return ParseLineSettings(device_text.substr(i + 1), settings);
}
