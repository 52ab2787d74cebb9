// --list and --list-radio: the channels of a file or of the radio, a line each.
#include "jobs/list_channels.h"

#include <cstdio>
#include <string>
#include <vector>

#include "jobs/channel_line.h"
#include "jobs/csv_conversion.h"
#include "jobs/csv_file.h"
#include "jobs/jobs.h"

namespace {

// What a load sends for a line, as a save would have read it from the radio.
RadioChannel AsRead(bool loads, const ChannelFields& fields) {
  RadioChannel read;
  read.filled = loads;
  if (!loads) return read;
  read.frequency = fields.frequency;
  read.name = NameAsSent(fields.name);
  read.mode = fields.mode;
  read.filter = fields.filter;
  return read;
}

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

}  // namespace

std::string TableText(const std::string* names, bool valid, int number) {
  if (!valid) return "#" + std::to_string(number);
  std::string text = names[number];
  return text.erase(text.find_last_not_of(' ') + 1);
}

std::string FrequencyShown(const std::string& digits) {
  std::string text = digits.substr(0, 2) + "." + digits.substr(2);
  if (text[0] == '0') text[0] = ' ';
  return text;
}

std::string ChannelListLine(int channel, const RadioChannel& read, bool marked) {
  std::string line = std::string(marked ? "!" : " ") + ChannelLabel(channel) + "  ";
  if (!read.filled) return line + (marked ? "loads nothing" : "empty");
  std::string frequency = FrequencyShown(read.frequency);
  int lost = 0;
  std::string name = NameToUtf8(read.name, lost);
  name.erase(name.find_last_not_of(' ') + 1);
  return line + frequency + "  " +
         Padded(TableText(ModeNames, ValidMode(read.mode), read.mode), 4) + "  " +
         Padded(TableText(FilterNames, ValidFilter(read.filter), read.filter), 3) + "  " + name;
}

ChannelList ListedFile(const std::string& name, std::FILE* findings) {
  ChannelList list;
  if (KindOfFile(name) == FileKind::kCsv) {
    int channels = 0;
    std::vector<std::string> lines =
        CsvChannelLines(name, "nothing is listed", channels, list.file_warnings);
    for (size_t channel = 0; channel < lines.size(); channel++) {
      ChannelFields fields;
      bool loads = ParseChannelLine(lines[channel], fields);
      list.channels[channel] = AsRead(loads, fields);
    }
    return list;
  }
  CheckedFile checked = ReadCheckedMemoryFile(name, findings);
  list.file_warnings = checked.warnings;
  for (int channel = 0; channel < kChannels; channel++) {
    list.channels[channel] = AsRead(checked.loads[channel], checked.fields[channel]);
    list.marked[channel] = checked.line_warnings[channel] > 0;
    list.file_warnings -= checked.line_warnings[channel];
  }
  return list;
}
