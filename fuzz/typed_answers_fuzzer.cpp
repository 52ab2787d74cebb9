// Fuzz target: how a typed line becomes an answer. The input is a typed line;
// its first two bytes also make a number. Properties, none of which reads a
// line a second way:
// - FirstItem in both modes: at most 67 or 4096 bytes; without a quoted
//   stretch no comma, and in number mode no blank or tab; blanks and tabs in
//   front do not count, nor anything after a comma; the same answer twice;
// - ItemToNumber and TextToNumber give the same answer twice;
// - a number written in decimal reads back as itself, through FirstItem and
//   ItemToNumber (also with a fraction under a half, and with a D exponent),
//   through TextToNumber, and as NumberText prints it (" 5 ", "-5 ").
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/typed_answers.h"
#include "fuzz/fuzz_check.h"

namespace {

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
  if (FirstItem(line, number_mode) != item) Fail(about() + " gave two answers");
  if (FirstItem(" \t " + line, number_mode) != item) {
    Fail(about() + " changed with blanks and tabs in front: " +
         Shown(FirstItem(" \t " + line, number_mode)) + " instead of " + Shown(item));
  }
  if (line.find_first_of("\",") == std::string::npos &&
      FirstItem(line + "," + line, number_mode) != item) {
    Fail(about() + " changed with a comma and more after it");
  }
}

void CheckNumber(const std::string& item) {
  auto about = [&] { return "ItemToNumber(" + Shown(item) + ")"; };
  int16_t number = ItemToNumber(item);
  int16_t again = ItemToNumber(item);
  if (again != number) {
    Fail(about() + " gave " + std::to_string(number) + ", then " + std::to_string(again));
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
}

// A number written in decimal, as a user would type it.
void CheckWritten(int16_t number) {
  const std::string written = std::to_string(number);
  const struct {
    std::string typed;
    const char* how;
  } forms[] = {{written, "plainly"},
               {"  " + written + ",9", "between blanks and a comma"},
               {written + ".25", "with a quarter"},
               {written + "d0", "with a D exponent"}};
  for (const auto& form : forms) {
    int16_t read = ItemToNumber(FirstItem(form.typed, true));
    if (read != number) {
      Fail(std::to_string(number) + " typed " + form.how + " as " + Shown(form.typed) +
           " reads as " + std::to_string(read));
    }
  }
  if (TextToNumber(written) != number) {
    Fail("TextToNumber(" + Shown(written) + ") gave " + Number(TextToNumber(written)));
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
  if (size >= 2) CheckWritten(static_cast<int16_t>(data[0] | data[1] << 8));
  if (size > 0) {
    std::string digit(1, static_cast<char>('0' + data[0] % 10));
    if (TextToNumber(digit) != data[0] % 10) Fail("TextToNumber(\"" + digit + "\") is wrong");
  }
  return 0;
}
