// Fuzz target: the device text "COMn:options" and the option text's line
// settings, on any bytes. Properties, none of which reads the text a second
// way:
// - the parsers do not crash or throw and answer 0 or 1 (ParseDeviceText also
//   2, and always 2 for a text that does not begin with "COM");
// - the same text gives the same answer and the same settings every time,
//   whatever the settings held before;
// - accepted settings hold a parity and stop bits of their lists;
// - case does not count, nor do blanks and tabs around a field, nor an empty
//   field at the end; a field that is no keyword refuses the whole text;
// - "COMn:" before a text gives what the text gives alone, and port n;
// - round trip: accepted settings written out as an option text read back as
//   the same settings.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "fuzz/fuzz_check.h"
#include "link/line_settings.h"
#include "text/text.h"

namespace {

// The settings the program acts on, one per field, for messages and for
// comparing.
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

struct Parsed {
  int result = 0;
  LineSettings settings;
};

Parsed Options(const std::string& options, LineSettings settings = {}) {
  Parsed parsed;
  parsed.settings = settings;
  try {
    parsed.result = ParseLineSettings(options, parsed.settings);
  } catch (const std::exception& e) {
    Fail("ParseLineSettings(" + Shown(options) + ") threw: " + e.what());
  } catch (...) {
    Fail("ParseLineSettings(" + Shown(options) + ") threw");
  }
  if (parsed.result != 0 && parsed.result != 1) {
    Fail("ParseLineSettings(" + Shown(options) + ") returned " + std::to_string(parsed.result));
  }
  return parsed;
}

// Two parses agree: the same answer, and the same settings when accepted.
void CheckSame(const Parsed& a, const Parsed& b, const std::string& about) {
  if (a.result != b.result) {
    Fail(about + ": returned " + std::to_string(a.result) + ", then " + std::to_string(b.result));
  }
  if (a.result == 0 && Describe(a.settings) != Describe(b.settings)) {
    Fail(about + ": gave " + Describe(a.settings) + ", then " + Describe(b.settings));
  }
}

// The text as a user could write the settings; numbers and words in the
// order of the option text.
std::string Written(const LineSettings& s) {
  static const char* const parities[] = {"N", "E", "O", "S", "M"};
  static const char* const stop_bits[] = {"1", "1.5", "2"};
  std::string text = std::to_string(s.speed) + "," + parities[static_cast<int>(s.parity)] + "," +
                     std::to_string(s.data_bits) + "," + stop_bits[static_cast<int>(s.stop_bits)] +
                     ",CS" + std::to_string(s.cts_time) + ",DS" + std::to_string(s.dsr_time) +
                     ",CD" + std::to_string(s.cd_time) + ",TB" + std::to_string(s.transmit_queue) +
                     ",RB" + std::to_string(s.receive_queue) + ",IR" + std::to_string(s.ir_number);
  if (s.suppress_rts) text += ",RS";
  text += s.text_mode ? ",LF" : ",BIN";
  if (s.check_parity) text += ",PE";
  if (s.keep_dtr) text += ",DT";
  return text;
}

std::string LowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Blanks and tabs on both sides of every field.
std::string Padded(const std::string& text) {
  std::string padded = " \t";
  for (char c : text) padded += c == ',' ? std::string(" \t, ") : std::string(1, c);
  return padded + "\t ";
}

void CheckOptions(const std::string& text, const uint8_t* data, size_t size) {
  const std::string about = "ParseLineSettings(" + Shown(text) + ")";
  const Parsed first = Options(text);
  CheckSame(first, Options(text, Garbage(data, size)), about + " into used settings");
  CheckSame(first, Options(UpperCase(text)), about + " and its upper case");
  CheckSame(first, Options(LowerCase(text)), about + " and its lower case");
  CheckSame(first, Options(Padded(text)), about + " and its fields padded with blanks");
  CheckSame(first, Options(text + ","), about + " and an empty field after it");
  if (Options(text + ",ZZ").result != 1) Fail(about + " accepted a field \"ZZ\" after it");
  if (first.result != 0) return;

  const LineSettings& s = first.settings;
  int parity = static_cast<int>(s.parity);
  int stop_bits = static_cast<int>(s.stop_bits);
  if (parity < static_cast<int>(Parity::None) || parity > static_cast<int>(Parity::Mark)) {
    Fail(about + ": parity outside its list: " + std::to_string(parity));
  }
  if (stop_bits < static_cast<int>(StopBits::One) || stop_bits > static_cast<int>(StopBits::Two)) {
    Fail(about + ": stop bits outside their list: " + std::to_string(stop_bits));
  }
  const std::string written = Written(s);
  const Parsed again = Options(written);
  if (again.result != 0) Fail(about + ": its settings written as " + Shown(written) + " refused");
  CheckSame(first, again, about + " and its settings written as " + Shown(written));
}

void CheckDevice(const std::string& text, const uint8_t* data, size_t size) {
  const std::string about = "ParseDeviceText(" + Shown(text) + ")";
  unsigned port = 12345;
  LineSettings settings = Garbage(data, size);
  int result = 0;
  try {
    result = ParseDeviceText(text, port, settings);
  } catch (const std::exception& e) {
    Fail(about + " threw: " + e.what());
  } catch (...) {
    Fail(about + " threw");
  }
  if (result != 0 && result != 1 && result != 2)
    Fail(about + " returned " + std::to_string(result));
  if (UpperCase(text.substr(0, 3)) != "COM" && result != 2) {
    Fail(about + " returned " + std::to_string(result) + " for a text that names no port");
  }
}

// "COMn:" and the text: what the text gives alone, and port n (0 is port 1).
void CheckDeviceAround(const std::string& prefix, unsigned port_named, const std::string& text,
                       const Parsed& alone) {
  const std::string about = "ParseDeviceText(" + Shown(prefix + text) + ")";
  Parsed device;
  unsigned port = 12345;
  device.result = ParseDeviceText(prefix + text, port, device.settings);
  CheckSame(alone, device, "ParseLineSettings(" + Shown(text) + ") and " + about);
  if (device.result == 0 && port != port_named) {
    Fail(about + " gave port " + std::to_string(port) + ", not " + std::to_string(port_named));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckOptions(text, data, size);
  CheckDevice(text, data, size);
  const Parsed alone = Options(text);
  CheckDeviceAround("COM1:", 1, text, alone);
  CheckDeviceAround("com:", 1, text, alone);
  CheckDeviceAround("Com0:", 1, text, alone);
  CheckDeviceAround("COM12:", 12, text, alone);
  CheckDeviceAround("COM4294967295:", 4294967295u, text, alone);
  return 0;
}
