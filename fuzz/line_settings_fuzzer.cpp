// Fuzz target: the device text "COMn:options" and the option text's line
// settings, on any bytes. The parsers must not crash or throw, must answer 0,
// 1 or 2 (0 or 1 for an option text alone), must give the same settings
// every time for the same text whatever the settings held before, and when
// they accept a text its settings must be the ones its fields name.
//
// The fields are checked against a reading of the option text written here:
// split at commas, blanks and tabs trimmed, positions 1 to 4 speed, parity,
// data bits, stop bits, then keywords in any order, case not counting.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "link/line_settings.h"

namespace {

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string Trim(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && (text[first] == ' ' || text[first] == '\t')) first++;
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) last--;
  return text.substr(first, last - first);
}

bool AllDigits(const std::string& text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The value of decimal digits, or false when it does not fit in 32 bits (how
// such a number is taken is the parser's own business: such texts are only
// checked for determinism).
bool Number(const std::string& digits, uint32_t& value) {
  uint64_t number = 0;
  for (char c : digits) {
    number = number * 10 + static_cast<unsigned>(c - '0');
    if (number > 0xFFFFFFFFull) return false;
  }
  value = static_cast<uint32_t>(number);
  return true;
}

// Stop bits: digits with at most one point, exactly 1, 1.5 or 2 in value.
// Returns 0 for a value outside the list, -1 for no decimal number, 1 for a
// text too long to judge here (its value depends on rounding).
int StopBitsValue(const std::string& text, StopBits& stop_bits) {
  size_t point = text.find('.');
  std::string whole = text.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
  if (!AllDigits(whole) || !AllDigits(fraction) || (whole.empty() && fraction.empty())) return -1;
  if (text.size() > 15) return 1;
  while (!whole.empty() && whole[0] == '0') whole.erase(0, 1);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (whole == "1" && fraction.empty())
    stop_bits = StopBits::One;
  else if (whole == "1" && fraction == "5")
    stop_bits = StopBits::OneAndHalf;
  else if (whole == "2" && fraction.empty())
    stop_bits = StopBits::Two;
  else
    return 0;
  return 2;
}

enum class Verdict { Accepted, Refused, Unjudged };

// The settings an option text names, read field by field.
Verdict ExpectedSettings(const std::string& options, LineSettings& settings) {
  settings = LineSettings{};
  std::vector<std::string> fields;
  std::string field;
  for (char c : options) {
    if (c == ',') {
      fields.push_back(Trim(field));
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(Trim(field));

  bool stop_bits_given = false;
  for (size_t i = 0; i < fields.size(); i++) {
    const std::string& text = fields[i];
    if (text.empty()) continue;
    if (i == 0 || i == 2) {
      uint32_t value = 0;
      if (!AllDigits(text)) return Verdict::Refused;
      if (!Number(text, value)) return Verdict::Unjudged;
      (i == 0 ? settings.speed : settings.data_bits) = value;
    } else if (i == 1) {
      std::string parity = Upper(text);
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
        return Verdict::Refused;
    } else if (i == 3) {
      int judged = StopBitsValue(text, settings.stop_bits);
      if (judged <= 0) return Verdict::Refused;
      if (judged == 1) return Verdict::Unjudged;
      stop_bits_given = true;
    } else {
      std::string word = Upper(text);
      std::string head = word.substr(0, 2);
      uint32_t unused_number = 0;
      uint32_t* number = head == "CS"   ? &settings.cts_time
                         : head == "DS" ? &settings.dsr_time
                         : head == "CD" ? &settings.cd_time
                         : head == "TB" ? &settings.transmit_queue
                         : head == "RB" ? &settings.receive_queue
                         : head == "IR" ? &settings.ir_number
                         : head == "OP" ? &unused_number
                                        : nullptr;
      if (number) {
        std::string rest = word.substr(2);
        if (!AllDigits(rest)) return Verdict::Refused;
        if (!Number(rest, *number)) return Verdict::Unjudged;
      } else if (word == "RS") {
        settings.suppress_rts = true;
      } else if (word == "LF" || word == "ASC") {
        settings.text_mode = true;
      } else if (word == "BIN") {
        settings.text_mode = false;
      } else if (word == "PE") {
        settings.check_parity = true;
      } else if (word == "DT") {
        settings.keep_dtr = true;
      } else if (word == "FE" || word == "ME") {
      } else {
        return Verdict::Refused;
      }
    }
  }
  if (!stop_bits_given) {
    if (settings.speed > 110)
      settings.stop_bits = StopBits::One;
    else if (settings.data_bits == 5)
      settings.stop_bits = StopBits::OneAndHalf;
    else
      settings.stop_bits = StopBits::Two;
  }
  return Verdict::Accepted;
}

std::string Describe(const LineSettings& s) {
  return "speed " + std::to_string(s.speed) + ", parity " +
         std::to_string(static_cast<int>(s.parity)) + ", data bits " + std::to_string(s.data_bits) +
         ", stop bits " + std::to_string(static_cast<int>(s.stop_bits)) + ", CS " +
         std::to_string(s.cts_time) + ", DS " + std::to_string(s.dsr_time) + ", CD " +
         std::to_string(s.cd_time) + ", RS " + std::to_string(s.suppress_rts) + ", text " +
         std::to_string(s.text_mode) + ", PE " + std::to_string(s.check_parity) + ", DT " +
         std::to_string(s.keep_dtr) + ", TB " + std::to_string(s.transmit_queue) + ", RB " +
         std::to_string(s.receive_queue) + ", IR " + std::to_string(s.ir_number);
}

bool Same(const LineSettings& a, const LineSettings& b) {
  return a.speed == b.speed && a.parity == b.parity && a.data_bits == b.data_bits &&
         a.stop_bits == b.stop_bits && a.cts_time == b.cts_time && a.dsr_time == b.dsr_time &&
         a.cd_time == b.cd_time && a.suppress_rts == b.suppress_rts && a.text_mode == b.text_mode &&
         a.check_parity == b.check_parity && a.keep_dtr == b.keep_dtr &&
         a.transmit_queue == b.transmit_queue && a.receive_queue == b.receive_queue &&
         a.ir_number == b.ir_number;
}

// Settings full of values no parse would leave, to show a field left unset.
LineSettings Garbage(const uint8_t* data, size_t size) {
  LineSettings s;
  uint32_t seed = 0x9E3779B9u;
  for (size_t i = 0; i < size && i < 8; i++) seed = seed * 31 + data[i];
  s.speed = seed;
  s.parity = Parity::Mark;
  s.data_bits = seed ^ 0xFFFF;
  s.stop_bits = StopBits::OneAndHalf;
  s.cts_time = s.dsr_time = s.cd_time = seed + 1;
  s.suppress_rts = s.text_mode = s.check_parity = s.keep_dtr = true;
  s.transmit_queue = s.receive_queue = s.ir_number = seed + 2;
  return s;
}

template <typename About>
void CheckSane(const LineSettings& s, About about) {
  int parity = static_cast<int>(s.parity);
  int stop_bits = static_cast<int>(s.stop_bits);
  if (parity < static_cast<int>(Parity::None) || parity > static_cast<int>(Parity::Mark)) {
    Fail(about() + ": parity outside its enum: " + std::to_string(parity));
  }
  if (stop_bits < static_cast<int>(StopBits::One) || stop_bits > static_cast<int>(StopBits::Two)) {
    Fail(about() + ": stop bits outside its enum: " + std::to_string(stop_bits));
  }
}

void CheckOptions(const std::string& options, const uint8_t* data, size_t size) {
  auto about = [&] { return "ParseLineSettings(" + Shown(options) + ")"; };
  LineSettings first, second = Garbage(data, size);
  int result = 0, again = 0;
  try {
    result = ParseLineSettings(options, first);
    again = ParseLineSettings(options, second);
  } catch (const std::exception& e) {
    Fail(about() + " threw: " + e.what());
  } catch (...) {
    Fail(about() + " threw");
  }
  if (result != 0 && result != 1) Fail(about() + " returned " + std::to_string(result));
  if (again != result) {
    Fail(about() + " returned " + std::to_string(result) + ", then " + std::to_string(again));
  }
  if (result != 0) {
    LineSettings expected;
    if (ExpectedSettings(options, expected) == Verdict::Accepted) {
      Fail(about() + " refused a valid option text; expected " + Describe(expected));
    }
    return;
  }
  CheckSane(first, about);
  if (!Same(first, second)) {
    Fail(about() + " gave different settings into fresh and into used settings: " +
         Describe(first) + " / " + Describe(second));
  }
  LineSettings expected;
  Verdict verdict = ExpectedSettings(options, expected);
  if (verdict == Verdict::Refused) {
    Fail(about() + " accepted an option text with a bad field, giving " + Describe(first));
  }
  if (verdict == Verdict::Accepted && !Same(first, expected)) {
    Fail(about() + " gave " + Describe(first) + "; expected " + Describe(expected));
  }
}

void CheckDevice(const std::string& text, const std::string& options, unsigned port_expected,
                 int result_expected, const uint8_t* data, size_t size) {
  auto about = [&] { return "ParseDeviceText(" + Shown(text) + ")"; };
  unsigned port = 12345;
  LineSettings settings = Garbage(data, size);
  int result = 0;
  try {
    result = ParseDeviceText(text, port, settings);
  } catch (const std::exception& e) {
    Fail(about() + " threw: " + e.what());
  } catch (...) {
    Fail(about() + " threw");
  }
  if (result != 0 && result != 1 && result != 2) {
    Fail(about() + " returned " + std::to_string(result));
  }
  if (result_expected == 2) {
    if (result != 2) {
      Fail(about() + " returned " + std::to_string(result) + " for a text that names no port");
    }
    return;
  }
  if (result_expected >= 0 && result != result_expected) {
    Fail(about() + " returned " + std::to_string(result) + ", ParseLineSettings of its options " +
         Shown(options) + " returned " + std::to_string(result_expected));
  }
  if (result == 0) {
    CheckSane(settings, about);
    LineSettings alone;
    ParseLineSettings(options, alone);
    if (!Same(settings, alone)) {
      Fail(about() + " gave " + Describe(settings) + ", its options alone " + Describe(alone));
    }
    if (port_expected != 0 && port != port_expected) {
      Fail(about() + " gave port " + std::to_string(port) + ", expected " +
           std::to_string(port_expected));
    }
  }
}

// What a device text names: -1 when it is "COMn:" with a port number that
// fits (and `port`, `options` are set), 2 when it names no port, -2 when its
// number does not fit in 32 bits.
int Recognise(const std::string& text, unsigned& port, std::string& options) {
  if (text.size() < 4 || Upper(text.substr(0, 3)) != "COM") return 2;
  size_t colon = 3;
  while (colon < text.size() && text[colon] >= '0' && text[colon] <= '9') colon++;
  if (colon == text.size() || text[colon] != ':') return 2;
  uint32_t number = 0;
  if (!Number(text.substr(3, colon - 3), number)) return -2;
  port = number == 0 ? 1 : number;
  options = text.substr(colon + 1);
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  // The bytes as an option text.
  CheckOptions(text, data, size);
  LineSettings scratch;
  const int options_result = ParseLineSettings(text, scratch);

  // The bytes as a device text, whatever they hold.
  unsigned port = 0;
  std::string options;
  int recognised = Recognise(text, port, options);
  if (recognised == -1) {
    LineSettings alone;
    CheckDevice(text, options, port, ParseLineSettings(options, alone), data, size);
  } else if (recognised == 2) {
    CheckDevice(text, "", 0, 2, data, size);
  } else {
    CheckDevice(text, "", 0, -1, data, size);
  }

  // The bytes as the option text of a device text, as start-up builds it.
  const char* prefixes[] = {"COM1:", "com:", "Com0:", "COM12:"};
  const unsigned ports[] = {1, 1, 1, 12};
  for (int i = 0; i < 4; i++) {
    CheckDevice(prefixes[i] + text, text, ports[i], options_result, data, size);
  }
  return 0;
}
