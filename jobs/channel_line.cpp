// The channel line: built and taken apart.
#include "jobs/channel_line.h"

#include <algorithm>
#include <string>
#include <vector>

#include "link/civ_frame.h"
#include "text/text.h"

int16_t current_mode = 0;
int16_t current_filter = 0;

const std::string ModeNames[9] = {"LSB ", "USB ", "AM  ", "CW  ", "FSK ",
                                  "FM  ", "AMLS", "AMUS", ""};
const std::string FilterNames[11] = {"", "6.0", "2.4", "1.8", ".50", ".25", "", "", "", "", ""};

const std::string kUtf8Separator = "\xE2\x94\x82";

std::string Columns(const std::string& line, size_t first, size_t width) {
  if (line.size() < first) return "";
  return line.substr(first - 1, width);
}

std::string ChannelLabel(int channel) {
  std::string label = " " + std::to_string(channel);
  if (label.size() < 3) label = " " + label;
  return label;
}

std::string FormatChannelLine(int channel, bool filled, const std::string& frequency,
                              const std::string& name, int mode, int filter) {
  const std::string bar(1, kColumnSeparator);
  if (!filled) {
    return ChannelLabel(channel) + bar + "  .     " + bar + "       " + bar + "    " + bar + "   ";
  }
  std::string column =
      frequency.substr(0, kMegahertzWidth) + "." +
      frequency.substr(std::min(kMegahertzWidth, frequency.size()), kDecimalsWidth);
  // Seven name bytes, whatever came. LF, CR and Ctrl-Z would split the line or
  // end the file when it is read back, so they are written as blanks.
  std::string seven = name.substr(0, kNameLength);
  seven.resize(kNameLength, ' ');
  for (char& c : seven) {
    if (c == '\n' || c == '\r' || c == kEndOfFile) c = ' ';
  }
  // A mode without a name (8 and above) still takes its four columns.
  std::string mode_text = ValidMode(mode) ? ModeNames[mode] : std::string(kModeWidth, ' ');
  if (!ValidFilter(filter)) filter = 2;
  return ChannelLabel(channel) + bar + column + bar + seven + bar + mode_text + bar +
         FilterNames[filter];
}

int ModeNumber(const std::string& text) {
  for (int i = 0; ValidMode(i); i++) {
    if (text == ModeNames[i]) return i;
  }
  return -1;
}

int FilterNumber(const std::string& text) {
  for (int i = kFirstFilter; ValidFilter(i); i++) {
    if (text == FilterNames[i]) return i;
  }
  return -1;
}

bool ValidMode(int mode) {
  return mode >= 0 && mode <= kLastMode;
}

bool ValidFilter(int filter) {
  return filter >= kFirstFilter && filter <= kLastFilter;
}

bool ParseChannelLine(const std::string& line, ChannelFields& fields) {
  std::string frequency = Columns(line, kFrequencyColumn, kMegahertzWidth) +
                          Columns(line, kDecimalsColumn, kDecimalsWidth);
  if (frequency.compare(0, kMegahertzWidth, "  ") == 0) return false;  // an empty channel
  // A digit where the point belongs: the frequency has slipped out of its
  // columns (1423450 typed without the point), so the line loads nothing.
  char point = line.size() >= kPointColumn ? line[kPointColumn - 1] : ' ';
  if (IsDigit(point)) return false;
  if (!frequency.empty() && frequency[0] == ' ') frequency[0] = '0';
  // Blanks at the end of the decimals are zeros: 7.05 and blanks is 7.05000.
  for (size_t i = frequency.size(); i > kMegahertzWidth && frequency[i - 1] == ' '; i--) {
    frequency[i - 1] = '0';
  }
  // Without seven digits there is nothing sound to send: such a line loads
  // nothing, like an empty channel, and its other columns are not looked at.
  if (frequency.size() != kMegahertzWidth + kDecimalsWidth) return false;
  for (char c : frequency) {
    if (!IsDigit(c)) return false;
  }
  fields.frequency = frequency;
  fields.name = Columns(line, kNameColumn, kNameLength);
  int mode = ModeNumber(Columns(line, kModeColumn, kModeWidth));
  if (mode >= 0) current_mode = static_cast<int16_t>(mode);
  int filter = FilterNumber(Columns(line, kFilterColumn, kFilterWidth));
  if (filter >= 0) current_filter = static_cast<int16_t>(filter);
  fields.mode = current_mode;
  fields.filter = current_filter;
  return true;
}

// A line saved by this program has B3 in column 4 and is read byte for byte:
// a name holding E2 94 82 keeps those three bytes. A line without it may come
// from a UTF-8 editor, which holds the separator as U+2502, three bytes; they
// stand for the one byte B3 so that such a file loads like the original.
// Columns are then counted with the separator as one byte.
std::string SeparatorsAsB3(const std::string& line, std::vector<size_t>* utf8_columns) {
  if (utf8_columns) utf8_columns->clear();
  if (line.size() >= 4 && line[3] == kColumnSeparator) return line;
  size_t found = line.find(kUtf8Separator);
  if (found == std::string::npos) return line;
  std::string taken;
  size_t from = 0;
  for (; found != std::string::npos; found = line.find(kUtf8Separator, from)) {
    taken.append(line, from, found - from);
    taken += kColumnSeparator;
    if (utf8_columns) utf8_columns->push_back(taken.size());
    from = found + kUtf8Separator.size();
  }
  taken.append(line, from, std::string::npos);
  return taken;
}
