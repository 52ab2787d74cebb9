// Fuzz target: the memory file as a load reads it, and the channel lines a
// save builds. The input is the contents of a memory file; its bytes also
// choose channels to build lines from.
//
// Reading: the file is opened, read with 62 ReadChannelLine calls like a
// load does, and closed. Properties, none of which reads the file a second
// way: no line holds an LF or a Ctrl-Z or is longer than 4096 bytes; the
// same file gives the same lines twice; a Ctrl-Z and anything after it, a CR
// as the last byte, or a byte-order mark in front change nothing; lines
// without line-end bytes, Ctrl-Z or UTF-8 lead bytes, written with CR LF,
// read back as written, then empty lines. ParseChannelLine must take each
// line apart by its columns.
//
// Building: FormatChannelLine of any channel is 29 bytes, and a filled line
// with a mode and filter that have texts reads back as the same channel,
// through ParseChannelLine and through a file.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ending/fatal.h"
#include "fuzz/fuzz_check.h"
#include "jobs/channel_line.h"
#include "jobs/memory_file.h"

namespace {

constexpr int kLinesRead = 62;
constexpr size_t kLineBytes = 4096;
constexpr char kCtrlZ = 0x1A;
const std::string bar = "\xB3";
const std::string empty_tail = bar + "  .     " + bar + "       " + bar + "    " + bar + "   ";

// The texts of the mode and filter columns, written out here rather than taken
// from the program's tables, so that a wrong table shows.
const char* const kModeTexts[8] = {"LSB ", "USB ", "AM  ", "CW  ", "FSK ", "FM  ", "AMLS", "AMUS"};
const char* const kFilterTexts[6] = {"", "6.0", "2.4", "1.8", ".50", ".25"};

int scratch_fd = -1;       // an in-memory file, rewritten for every input
std::string scratch_name;  // its name in /proc, which the program opens

void WriteScratchFile(const std::string& contents) {
  if (ftruncate(scratch_fd, 0) != 0) Fail("cannot empty the scratch file");
  size_t done = 0;
  while (done < contents.size()) {
    ssize_t n = pwrite(scratch_fd, contents.data() + done, contents.size() - done, done);
    if (n <= 0) Fail("cannot write the scratch file");
    done += static_cast<size_t>(n);
  }
}

std::vector<std::string> ReadScratchFile() {
  last_error = -1;
  FileReader file;
  OpenMemoryFileForReading(scratch_name, file);
  if (last_error != 0) {
    Fail("OpenMemoryFileForReading of an existing file left last_error " +
         std::to_string(last_error));
  }
  std::vector<std::string> lines;
  for (int i = 0; i < kLinesRead; i++) lines.push_back(ReadChannelLine(file));
  CloseMemoryFileAfterReading(file);
  if (last_error != 0) {
    Fail("CloseMemoryFileAfterReading left last_error " + std::to_string(last_error));
  }
  return lines;
}

std::string Columns(const std::string& line, size_t first, size_t width) {
  if (line.size() < first) return "";
  return line.substr(first - 1, width);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// ParseChannelLine on one line, against what the columns of the line say.
// `where` names the line for a message; it is only called when one is needed.
template <typename Where>
void CheckParse(const std::string& line, Where where) {
  const int16_t mode_before = current_mode;
  const int16_t filter_before = current_filter;
  ChannelFields fields;
  fields.frequency = "unset";
  bool filled = ParseChannelLine(line, fields);
  auto about = [&] { return where() + " " + Shown(line); };

  const std::string frequency_columns = Columns(line, 5, 2) + Columns(line, 8, 5);
  if (Columns(line, 5, 2) == "  " && filled) {
    Fail(
        "a line with blanks in columns 5-6 is an empty channel, but ParseChannelLine returned "
        "true: " +
        about());
  }
  const bool digit_in_column_7 = line.size() >= 7 && IsDigit(line[6]);
  bool seven_digits = frequency_columns.size() == 7 && !digit_in_column_7;
  for (char c : frequency_columns) seven_digits = seven_digits && IsDigit(c);
  if (filled && digit_in_column_7) {
    Fail("a line with a digit in column 7 loads nothing, but ParseChannelLine returned true: " +
         about());
  }
  if (seven_digits && !filled) {
    Fail("a line with seven digits in columns 5-6 and 8-12 was not taken as a filled channel: " +
         about());
  }
  if (!filled) {
    if (current_mode != mode_before || current_filter != filter_before) {
      Fail("ParseChannelLine returned false but changed current_mode " +
           std::to_string(mode_before) + " -> " + std::to_string(current_mode) +
           " or current_filter " + std::to_string(filter_before) + " -> " +
           std::to_string(current_filter) + ": " + about());
    }
    return;
  }

  // The frequency: seven decimal digits, each the byte in its column or, for
  // a blank there, a 0.
  if (fields.frequency.size() != 7) {
    Fail("frequency text is not 7 bytes: " + Shown(fields.frequency) + " from " + about());
  }
  for (char c : fields.frequency) {
    if (!IsDigit(c)) {
      Fail("frequency text has a byte that is not a digit: " + Shown(fields.frequency) + " from " +
           about());
    }
  }
  if (frequency_columns.size() != 7) {
    Fail("a line too short for seven frequency columns gave " + Shown(fields.frequency) + " from " +
         about());
  }
  for (size_t i = 0; i < 7; i++) {
    char in_line = frequency_columns[i];
    char taken = fields.frequency[i];
    if (taken != in_line && !(in_line == ' ' && taken == '0')) {
      Fail("frequency " + Shown(fields.frequency) + " does not come from columns 5-6, 8-12 " +
           Shown(frequency_columns) + " of " + about());
    }
  }

  // The name: columns 14-20 as they stand.
  if (fields.name.size() > 7) Fail("name longer than 7 bytes: " + Shown(fields.name));
  if (fields.name != Columns(line, 14, 7)) {
    Fail("name " + Shown(fields.name) + " is not columns 14-20 " + Shown(Columns(line, 14, 7)) +
         " of " + about());
  }

  // Mode and filter: set when the column holds a known text, else kept.
  int16_t mode_expected = mode_before;
  for (int i = 0; i < 8; i++) {
    if (Columns(line, 22, 4) == kModeTexts[i]) mode_expected = static_cast<int16_t>(i);
  }
  int16_t filter_expected = filter_before;
  for (int i = 1; i <= 5; i++) {
    if (Columns(line, 27, 3) == kFilterTexts[i]) filter_expected = static_cast<int16_t>(i);
  }
  if (current_mode < 0 || current_mode > 7) {
    Fail("current_mode out of 0..7: " + std::to_string(current_mode) + " after " + about());
  }
  if (current_filter < 0 || current_filter > 5) {
    Fail("current_filter out of 0..5: " + std::to_string(current_filter) + " after " + about());
  }
  if (current_mode != mode_expected || current_filter != filter_expected) {
    Fail("mode/filter expected " + std::to_string(mode_expected) + "/" +
         std::to_string(filter_expected) + ", current_mode/current_filter are " +
         std::to_string(current_mode) + "/" + std::to_string(current_filter) + " after " + about());
  }
  if (fields.mode != current_mode || fields.filter != current_filter) {
    Fail("fields give mode/filter " + std::to_string(fields.mode) + "/" +
         std::to_string(fields.filter) + " but current_mode/current_filter are " +
         std::to_string(current_mode) + "/" + std::to_string(current_filter) + " for " + about());
  }
}

std::vector<std::string> ReadBack(const std::string& contents) {
  WriteScratchFile(contents);
  return ReadScratchFile();
}

void CheckSameLines(const std::vector<std::string>& lines, const std::string& contents,
                    const std::string& what) {
  std::vector<std::string> other = ReadBack(contents);
  for (int i = 0; i < kLinesRead; i++) {
    if (other[i] != lines[i]) {
      Fail(what + ": read " + std::to_string(i + 1) + " gave " + Shown(other[i]) + ", not " +
           Shown(lines[i]));
    }
  }
}

void CheckReading(const std::string& contents) {
  const std::vector<std::string> lines = ReadBack(contents);
  for (int i = 0; i < kLinesRead; i++) {
    const std::string& line = lines[i];
    auto read = [&] {
      return "read " + std::to_string(i + 1) + " of " + std::to_string(kLinesRead);
    };
    if (line.find('\n') != std::string::npos) {
      Fail(read() + " returned a line with an LF: " + Shown(line));
    }
    if (line.find(kCtrlZ) != std::string::npos) {
      Fail(read() + " returned a line with a Ctrl-Z, which ends the file: " + Shown(line));
    }
    if (line.size() > kLineBytes) {
      Fail(read() + " returned a line of " + std::to_string(line.size()) + " bytes");
    }
  }
  CheckSameLines(lines, contents, "the same file read again");
  CheckSameLines(lines, contents + kCtrlZ + "more\r\n", "the file with a Ctrl-Z and more after it");
  if (contents.empty() || contents.back() != '\r') {
    CheckSameLines(lines, contents + "\r", "the file with a CR as its last byte");
  }
  if (contents.compare(0, 3, "\xEF\xBB\xBF") != 0) {
    CheckSameLines(lines, "\xEF\xBB\xBF" + contents, "the file behind a byte-order mark");
  }
  for (int i = 0; i < kLinesRead; i++) {
    CheckParse(lines[i], [i] { return "line " + std::to_string(i + 1); });
  }

  // The input's pieces between LFs as plain lines: without CR, Ctrl-Z and
  // the lead bytes of a UTF-8 separator or byte-order mark, and short
  // enough that with their CR they end before the 4096-byte cut.
  std::vector<std::string> plain;
  std::string file;
  size_t start = 0;
  while (start <= contents.size() && plain.size() < static_cast<size_t>(kLinesRead) + 2) {
    size_t end = std::min(contents.find('\n', start), contents.size());
    std::string line;
    for (size_t i = start; i < end && line.size() < kLineBytes - 2; i++) {
      char c = contents[i];
      if (c != '\r' && c != kCtrlZ && c != '\xE2' && c != '\xEF') line += c;
    }
    plain.push_back(line);
    file += line + "\r\n";
    start = end + 1;
  }
  std::vector<std::string> read = ReadBack(file);
  for (int i = 0; i < kLinesRead; i++) {
    const std::string expected = i < static_cast<int>(plain.size()) ? plain[i] : "";
    if (read[i] != expected) {
      Fail("plain line " + std::to_string(i + 1) + " written with CR LF reads back as " +
           Shown(read[i]) + ", not " + Shown(expected));
    }
  }
}

// Bytes of the input, taken in turn and from the start again when used up.
struct ByteSource {
  const uint8_t* data;
  size_t size;
  size_t next = 0;
  uint8_t Take() {
    if (size == 0) return 0;
    uint8_t byte = data[next % size];
    next++;
    return byte;
  }
};

std::string Label(int channel) {
  std::string digits = std::to_string(channel);
  return std::string(3 - digits.size(), ' ') + digits;
}

template <typename About>
void CheckLayout(const std::string& line, int channel, About about) {
  if (line.size() != 29) {
    Fail(about() + ": line is " + std::to_string(line.size()) + " bytes, not 29: " + Shown(line));
  }
  if (line.compare(0, 3, Label(channel)) != 0) {
    Fail(about() + ": columns 1-3 are not the channel label " + Shown(Label(channel)) + ": " +
         Shown(line));
  }
  for (size_t column : {4, 13, 21, 26}) {
    if (line[column - 1] != bar[0]) {
      Fail(about() + ": column " + std::to_string(column) + " is not B3: " + Shown(line));
    }
  }
  for (char c : line) {
    if (c == '\n' || c == '\r' || c == kCtrlZ) {
      Fail(about() + ": line holds a byte that would split it or end the file: " + Shown(line));
    }
  }
}

// The name as it reads back: seven bytes, cut or filled with blanks, with LF,
// CR and Ctrl-Z written as blanks so that the line stays one line.
std::string NameReadBack(const std::string& name) {
  std::string seven = name.substr(0, 7);
  seven.resize(7, ' ');
  for (char& c : seven) {
    if (c == '\n' || c == '\r' || c == kCtrlZ) c = ' ';
  }
  return seven;
}

// Lines built from the input's bytes: checked for their layout, parsed back,
// and read back through a file written as a save writes it.
void CheckBuilding(const uint8_t* data, size_t size) {
  ByteSource source{data, size};
  std::string file;
  std::vector<std::string> built;
  const int rounds = 1 + static_cast<int>(size / 32 % 8);
  for (int round = 0; round < rounds; round++) {
    const int channel = source.Take() % 62;
    std::string digits;
    for (int i = 0; i < 7; i++) digits += static_cast<char>('0' + source.Take() % 10);
    std::string name;
    for (int i = 0; i < 7; i++) name += static_cast<char>(source.Take());
    const int mode = source.Take() % 8;
    const int filter = 1 + source.Take() % 5;

    // A channel as the radio reports it: seven digits, seven name bytes, a
    // mode and a filter that have texts. It must come back unchanged.
    std::string line = FormatChannelLine(channel, true, digits, name, mode, filter);
    auto about = [&] {
      return "FormatChannelLine(" + std::to_string(channel) + ", filled, " + digits + ", " +
             Shown(name) + ", " + std::to_string(mode) + ", " + std::to_string(filter) + ")";
    };
    CheckLayout(line, channel, about);
    current_mode = static_cast<int16_t>(source.Take() % 8);
    current_filter = static_cast<int16_t>(source.Take() % 6);
    ChannelFields fields;
    if (!ParseChannelLine(line, fields)) Fail(about() + " does not parse back: " + Shown(line));
    if (fields.frequency != digits || fields.name != NameReadBack(name) || fields.mode != mode ||
        fields.filter != filter) {
      Fail(about() + " parses back as frequency " + Shown(fields.frequency) + ", name " +
           Shown(fields.name) + ", mode " + std::to_string(fields.mode) + ", filter " +
           std::to_string(fields.filter) + "; expected name " + Shown(NameReadBack(name)));
    }
    CheckParse(line, about);
    file += line + "\r\n";
    built.push_back(line);

    // Any mode and filter number, a name of any length, and the frequency
    // text of an unanswered request: still 29 bytes, and what reads back is
    // the mode if it has a text (else the mode kept), the filter if it has a
    // text (else 2, the filter written for it).
    const int any_mode = source.Take();
    const int any_filter = source.Take();
    std::string any_name;
    for (int length = source.Take() % 11; length > 0; length--) {
      any_name += static_cast<char>(source.Take());
    }
    const bool unanswered = source.Take() % 4 == 0;
    const std::string frequency = unanswered ? "000000000" : digits;
    line = FormatChannelLine(channel, true, frequency, any_name, any_mode, any_filter);
    auto any_about = [&] {
      return "FormatChannelLine(" + std::to_string(channel) + ", filled, " + frequency + ", " +
             Shown(any_name) + ", " + std::to_string(any_mode) + ", " + std::to_string(any_filter) +
             ")";
    };
    CheckLayout(line, channel, any_about);
    const int16_t mode_kept = current_mode;
    if (!ParseChannelLine(line, fields)) {
      Fail(any_about() + " does not parse back: " + Shown(line));
    }
    const int16_t mode_expected = any_mode <= 7 ? static_cast<int16_t>(any_mode) : mode_kept;
    const int16_t filter_expected =
        static_cast<int16_t>(any_filter >= 1 && any_filter <= 5 ? any_filter : 2);
    const std::string frequency_expected = unanswered ? "0000000" : digits;
    if (fields.frequency != frequency_expected || fields.name != NameReadBack(any_name) ||
        fields.mode != mode_expected || fields.filter != filter_expected) {
      Fail(any_about() + " parses back as frequency " + Shown(fields.frequency) + ", name " +
           Shown(fields.name) + ", mode " + std::to_string(fields.mode) + ", filter " +
           std::to_string(fields.filter) + "; expected " + frequency_expected + ", " +
           Shown(NameReadBack(any_name)) + ", " + std::to_string(mode_expected) + ", " +
           std::to_string(filter_expected));
    }
    file += line + "\r\n";
    built.push_back(line);

    // An empty channel: 29 bytes, read back as empty, mode and filter kept.
    line = FormatChannelLine(channel, false, digits, any_name, any_mode, any_filter);
    auto empty_about = [&] { return "FormatChannelLine(" + std::to_string(channel) + ", empty)"; };
    CheckLayout(line, channel, empty_about);
    if (line.compare(3, std::string::npos, empty_tail) != 0) {
      Fail(empty_about() + ": not the empty-channel line: " + Shown(line));
    }
    const int16_t filter_kept = current_filter;
    if (ParseChannelLine(line, fields)) Fail(empty_about() + " parses as a filled channel");
    if (current_mode != mode_expected || current_filter != filter_kept) {
      Fail(empty_about() + " changed current_mode or current_filter");
    }
    file += line + "\r\n";
    built.push_back(line);
  }

  // A file made of built lines reads back line for line.
  WriteScratchFile(file);
  std::vector<std::string> lines = ReadScratchFile();
  for (size_t i = 0; i < lines.size(); i++) {
    // A saved line has its separator in column 4, so UTF-8 separators in its
    // name stay as they are.
    const std::string expected = i < built.size() ? built[i] : "";
    if (lines[i] != expected) {
      Fail("built line " + std::to_string(i + 1) + " written with CR LF reads back as " +
           Shown(lines[i]) + ", expected " + Shown(expected));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratch_fd = memfd_create("quenmar-memory-file", 0);
  if (scratch_fd < 0) Fail("memfd_create failed");
  scratch_name = "/proc/self/fd/" + std::to_string(scratch_fd);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  current_mode = 0;
  current_filter = 0;
  std::string contents(reinterpret_cast<const char*>(data), size);
  // A first byte F0 to FF puts the rest of the input behind 8176 to 8191 bytes
  // of x, so that the line ends that follow fall across a refill of a reader
  // that reads the file in blocks of 8 KiB.
  if (size > 0 && data[0] >= 0xF0) {
    contents = std::string(8192 - 16 + (data[0] & 15), 'x') + contents.substr(1);
  }
  CheckReading(contents);
  CheckBuilding(data, size);
  return 0;
}
