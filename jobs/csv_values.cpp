// CHIRP's values and the memory file's, one field at a time.
#include "jobs/csv_values.h"

#include <algorithm>
#include <string>
#include <vector>

#include "jobs/channel_line.h"
#include "jobs/csv_dialect.h"
#include "jobs/jobs.h"
#include "text/text.h"

std::string MegahertzText(const std::string& digits) {
  std::string whole = digits.substr(0, 2);
  if (whole[0] == '0') whole.erase(0, 1);
  return whole + "." + digits.substr(2) + "0";
}

Frequency MegahertzDigits(const std::string& text, std::string& digits) {
  std::string number = Trimmed(text);
  bool negative = !number.empty() && number[0] == '-';
  if (!number.empty() && (number[0] == '-' || number[0] == '+')) number.erase(0, 1);
  size_t point = number.find('.');
  std::string whole = number.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : number.substr(point + 1);
  if (whole.empty() && fraction.empty()) return Frequency::kNotANumber;
  if ((whole + fraction).find_first_not_of("0123456789") != std::string::npos)
    return Frequency::kNotANumber;
  whole.erase(0, whole.find_first_not_of('0'));
  bool zero = whole.empty() && fraction.find_first_not_of('0') == std::string::npos;
  if (negative && !zero) return Frequency::kNegative;
  if (whole.size() > 2) return Frequency::kTooHigh;
  fraction.resize(std::max<size_t>(fraction.size(), 6), '0');
  long steps = std::stol("0" + whole) * 100000 + std::stol(fraction.substr(0, 5));
  bool finer = fraction.find_first_not_of('0', 5) != std::string::npos;
  if (fraction[5] >= '5') steps++;
  if (steps >= 10000000) return Frequency::kTooHigh;
  digits = std::to_string(steps);
  digits.insert(0, 7 - digits.size(), '0');
  return finer ? Frequency::kRounded : Frequency::kGood;
}

// NFM is taken as FM, DIG as USB, the reversed CW and FSK as CW and FSK.
// Auto names no mode.
int ChirpModeNumber(const std::string& word, bool& near) {
  const char* const exact[6] = {"LSB", "USB", "AM", "CW", "FSK", "FM"};
  near = false;
  std::string mode = UpperCase(Trimmed(word));
  if (mode.empty()) return 5;  // CHIRP's own default
  for (int i = 0; i < 6; i++) {
    if (mode == exact[i]) return i;
  }
  near = true;
  if (mode == "NFM" || mode == "WFM") return 5;
  if (mode == "DIG") return 1;
  if (mode == "NAM") return 2;
  if (mode == "CWR" || mode == "NCW") return 3;
  if (mode == "RTTY" || mode == "RTTYR" || mode == "FSKR") return 4;
  return -1;
}

// Leading zeros are taken ("007"), and so is "0" itself.
int ChirpLocation(const std::string& location) {
  std::string significant = location.substr(
      std::min(location.find_first_not_of('0'), location.empty() ? 0 : location.size() - 1));
  int channel = -1;
  if (!location.empty() && significant.size() <= 2 &&
      location.find_first_not_of("0123456789") == std::string::npos) {
    channel = std::stoi(significant);
  }
  return channel < kChannels ? channel : -1;
}

int ChirpFilter(const std::string& word, char separator) {
  int named = 0;
  for (int f = kFirstFilter; ValidFilter(f); f++) {
    if (CsvDecimalPoint(word, separator) == FilterNames[f]) named = f;
  }
  return named;
}

std::vector<std::string> CommentWords(const std::string& text) {
  std::vector<std::string> words;
  size_t at = 0;
  while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
    size_t end = text.find(' ', at);
    words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}
