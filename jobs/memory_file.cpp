// The memory file's lines: building, taking apart, writing and reading them.
#include "jobs/memory_file.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/fatal.h"

int16_t current_mode = 0;
int16_t current_filter = 0;

const std::string ModeNames[9] = {"LSB ", "USB ", "AM  ", "CW  ", "FSK ",
                                  "FM  ", "AMLS", "AMUS", ""};
const std::string FilterNames[11] = {"", "6.0", "2.4", "1.8", ".50", ".25", "", "", "", "", ""};

const std::string utf8_separator = "\xE2\x94\x82";
std::vector<size_t> utf8_separator_columns;

namespace {

constexpr size_t kWriteBufferSize = 8192;
constexpr size_t kReadBufferSize = 8192;
constexpr char kEndOfFile = 0x1A;  // Ctrl-Z

std::string write_buffer;
bool write_failed = false;
bool writing = false;

bool reading = false;
bool read_ended = false;
char read_buffer[kReadBufferSize];
long read_length = 0;
long read_position = 0;

// A file saved from a UTF-8 editor holds the separator as U+2502, three
// bytes; it stands for the one byte B3 so that such a file loads like the
// original. Columns are then counted with the separator as one byte.
std::string SeparatorsAsB3(const std::string& line) {
  utf8_separator_columns.clear();
  size_t found = line.find(utf8_separator);
  if (found == std::string::npos) return line;
  std::string taken;
  size_t from = 0;
  for (; found != std::string::npos; found = line.find(utf8_separator, from)) {
    taken.append(line, from, found - from);
    taken += column_separator;
    utf8_separator_columns.push_back(taken.size());
    from = found + utf8_separator.size();
  }
  taken.append(line, from, std::string::npos);
  return taken;
}

bool FlushWriteBuffer() {
  if (write_buffer.empty()) return true;
  bool ok = FileWrite(write_buffer) == 0;
  write_buffer.clear();
  return ok;
}

}  // namespace

std::string Columns(const std::string& line, size_t first, size_t width) {
  if (line.size() < first) return "";
  return line.substr(first - 1, width);
}

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string ChannelLabel(int channel) {
  std::string label = " " + std::to_string(channel);
  if (label.size() < 3) label = " " + label;
  return label;
}

std::string FormatChannelLine(int channel, bool filled, const std::string& frequency,
                              const std::string& name, int mode, int filter) {
  const std::string bar(1, column_separator);
  if (!filled) {
    return ChannelLabel(channel) + bar + "  .     " + bar + "       " + bar + "    " + bar + "   ";
  }
  std::string column =
      frequency.substr(0, 2) + "." + frequency.substr(std::min<size_t>(2, frequency.size()), 5);
  // Seven name bytes, whatever came. LF, CR and Ctrl-Z would split the line or
  // end the file when it is read back, so they are written as blanks.
  std::string seven = name.substr(0, 7);
  seven.resize(7, ' ');
  for (char& c : seven) {
    if (c == '\n' || c == '\r' || c == kEndOfFile) c = ' ';
  }
  // A mode without a name (8 and above) still takes its four columns.
  std::string mode_text = (mode >= 0 && mode <= 7) ? ModeNames[mode] : "    ";
  if (filter < 1 || filter > 5) filter = 2;
  return ChannelLabel(channel) + bar + column + bar + seven + bar + mode_text + bar +
         FilterNames[filter];
}

int ModeNumber(const std::string& text) {
  for (int i = 0; i <= 7; i++) {
    if (text == ModeNames[i]) return i;
  }
  return -1;
}

int FilterNumber(const std::string& text) {
  for (int i = 1; i <= 5; i++) {
    if (text == FilterNames[i]) return i;
  }
  return -1;
}

bool ParseChannelLine(const std::string& line, ChannelFields& fields) {
  std::string frequency = Columns(line, 5, 2) + Columns(line, 8, 5);
  if (frequency.compare(0, 2, "  ") == 0) return false;  // an empty channel
  // A digit where the point belongs: the frequency has slipped out of its
  // columns (1423450 typed without the point), so the line loads nothing.
  if (line.size() >= 7 && line[6] >= '0' && line[6] <= '9') return false;
  if (!frequency.empty() && frequency[0] == ' ') frequency[0] = '0';
  // Blanks at the end of the decimals are zeros: 7.05 and blanks is 7.05000.
  for (size_t i = frequency.size(); i > 2 && frequency[i - 1] == ' '; i--) frequency[i - 1] = '0';
  // Without seven digits there is nothing sound to send: such a line loads
  // nothing, like an empty channel, and its other columns are not looked at.
  if (frequency.size() != 7) return false;
  for (char c : frequency) {
    if (c < '0' || c > '9') return false;
  }
  fields.frequency = frequency;
  fields.name = Columns(line, kNameColumn, 7);
  int mode = ModeNumber(Columns(line, kModeColumn, 4));
  if (mode >= 0) current_mode = static_cast<int16_t>(mode);
  int filter = FilterNumber(Columns(line, kFilterColumn, 3));
  if (filter >= 0) current_filter = static_cast<int16_t>(filter);
  fields.mode = current_mode;
  fields.filter = current_filter;
  return true;
}

void OpenMemoryFileForWriting(const std::string& name) {
  write_buffer.clear();
  write_failed = false;
  last_error = name.empty() ? 1 : FileCreate(name);
  writing = last_error == 0;
}

void WriteChannelLine(const std::string& line) {
  write_buffer += line;
  write_buffer += "\r\n";
  if (write_buffer.size() >= kWriteBufferSize && !FlushWriteBuffer()) write_failed = true;
}

void CloseMemoryFileAfterWriting() {
  if (!writing) return;
  if (!FlushWriteBuffer()) write_failed = true;
  writing = false;
  last_error = FileCommit(write_failed);
}

void AbandonMemoryFileWriting() {
  if (!writing) return;
  writing = false;
  write_buffer.clear();
  FileAbandonWrite();
}

void OpenMemoryFileForReading(const std::string& name) {
  read_length = read_position = 0;
  read_ended = false;
  last_error = name.empty() ? 1 : FileOpenForReading(name);
  reading = last_error == 0;
}

std::string ReadChannelLine() {
  std::string line;
  if (!reading || read_ended) return SeparatorsAsB3(line);
  for (;;) {
    if (read_position == read_length) {
      read_length = FileRead(read_buffer, sizeof read_buffer);
      read_position = 0;
      if (read_length <= 0) {  // the end, or a read error, which counts as the end
        read_length = 0;
        read_ended = true;
        break;
      }
    }
    // Take everything up to the next LF, Ctrl-Z, the end of the buffer or the
    // line's limit at once.
    long room = static_cast<long>(kLineLimit - line.size());
    long limit = std::min(read_length, read_position + room);
    long stop = read_position;
    while (stop < limit && read_buffer[stop] != '\n' && read_buffer[stop] != kEndOfFile) stop++;
    line.append(read_buffer + read_position, stop - read_position);
    read_position = stop;
    if (line.size() == kLineLimit) return SeparatorsAsB3(line);  // the rest is the next line
    if (stop == read_length) continue;
    char ender = read_buffer[read_position++];
    if (ender == kEndOfFile) {
      read_ended = true;
      break;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return SeparatorsAsB3(line);
  }
  // A CR as the very last byte of the file is dropped.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return SeparatorsAsB3(line);
}

bool MoreLinesToRead() {
  if (!reading || read_ended) return false;
  if (read_position == read_length) {
    read_length = FileRead(read_buffer, sizeof read_buffer);
    read_position = 0;
    if (read_length <= 0) {
      read_length = 0;
      read_ended = true;
      return false;
    }
  }
  return read_buffer[read_position] != kEndOfFile;
}

void CloseMemoryFileAfterReading() {
  if (!reading) return;
  reading = false;
  FileCloseForReading();
  last_error = 0;
}
