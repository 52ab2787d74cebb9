// The memory file's lines: building, taking apart, writing and reading them;
// and, for every file the program writes, the one policy of how: replaced by
// a complete new file or written in place, the old contents kept as a backup.
#include "jobs/memory_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/fatal.h"
#include "link/civ_frame.h"
#include "text/text.h"

int16_t current_mode = 0;
int16_t current_filter = 0;

const std::string ModeNames[9] = {"LSB ", "USB ", "AM  ", "CW  ", "FSK ",
                                  "FM  ", "AMLS", "AMUS", ""};
const std::string FilterNames[11] = {"", "6.0", "2.4", "1.8", ".50", ".25", "", "", "", "", ""};

const std::string utf8_separator = "\xE2\x94\x82";
std::vector<size_t> utf8_separator_columns;
const std::string standard_stream_name = "-";
std::string file_problem;
std::string file_reason;
bool file_had_byte_order_mark = false;

namespace {

constexpr size_t kReadBufferSize = 8192;
constexpr char kEndOfFile = 0x1A;  // Ctrl-Z
const std::string kByteOrderMark = "\xEF\xBB\xBF";

// How a file being written reaches its place.
enum class Writing {
  kNone,
  kReplace,  // a new file beside the old one, put in its place when complete
  kInPlace,  // the existing file itself: other hard links, or an owner we cannot keep
  kStream,   // a device, a FIFO, the standard output: the bytes in order, nothing kept
};

Writing writing = Writing::kNone;
std::string write_name;    // as typed
std::string write_buffer;  // the whole new contents, written at the close
FileFacts target;

bool reading = false;
bool read_ended = false;
bool read_failed = false;
std::string read_name;
char read_buffer[kReadBufferSize];
long read_length = 0;
long read_position = 0;

void Problem(const char* what, const std::string& name) {
  file_problem = std::string(what) + " \"" + name + "\": " + file_reason;
}

// A line saved by this program has B3 in column 4 and is read byte for byte:
// a name holding E2 94 82 keeps those three bytes. A line without it may come
// from a UTF-8 editor, which holds the separator as U+2502, three bytes; they
// stand for the one byte B3 so that such a file loads like the original.
// Columns are then counted with the separator as one byte.
std::string SeparatorsAsB3(const std::string& line) {
  utf8_separator_columns.clear();
  if (line.size() >= 4 && line[3] == column_separator) return line;
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

// Fills the read buffer when it is used up; false at the end of the file or
// after a read error, which ends reading too but is remembered.
bool FillReadBuffer() {
  if (read_position < read_length) return true;
  if (!reading || read_ended) return false;
  read_length = FileRead(read_buffer, sizeof read_buffer);
  read_position = 0;
  if (read_length > 0) return true;
  if (read_length < 0) {
    read_failed = true;
    Problem("cannot read", read_name);
  }
  read_length = 0;
  read_ended = true;
  return false;
}

// True when the file holds exactly `bytes`.
bool FileHolds(const std::string& path, const std::string& bytes) {
  if (FileOpenForReading(path) != 0) return false;
  std::string old;
  char buffer[kReadBufferSize];
  long got = 0;
  while (old.size() <= bytes.size() && (got = FileRead(buffer, sizeof buffer)) > 0)
    old.append(buffer, got);
  FileCloseForReading();
  return got >= 0 && old == bytes;
}

int Fail(const char* what) {
  Problem(what, write_name);
  return 2;
}

// The old contents are kept beside the file before it changes.
int KeepBackup() {
  std::string backup = BackupName(target.path, std::getenv("VERSION_CONTROL"));
  if (backup.empty()) return 0;
  // The simple backup, NAME~, is the one that GNU's tools replace each time.
  if (FileCopy(target.path, backup, backup == target.path + "~") == 0) return 0;
  file_problem = "cannot keep the old contents of \"" + write_name + "\" as \"" + backup +
                 "\": " + file_reason + "; the file is left as it was";
  return 2;
}

// Writes the file in place so that a failure leaves what it had: the space is
// reserved first, and the old bytes that the new ones cover are kept to be
// put back.
int WriteInPlace() {
  unsigned long long new_size = write_buffer.size();
  std::string old(std::min<unsigned long long>(new_size, target.size), '\0');
  bool kept = old.empty() || FileReadAt(0, old.data(), old.size()) == static_cast<long>(old.size());
  if (!kept || FileReserve(new_size) != 0) {
    Fail(kept ? "cannot write" : "cannot read");
    FileAbandonWrite();
    return 2;
  }
  bool written = FileWriteAt(0, write_buffer) == 0;
  if (written && new_size < target.size) written = FileSetSize(new_size) == 0;
  if (!written) {
    Fail("cannot write");
    FileWriteAt(0, old);
    FileSetSize(target.size);
    FileFlushAndClose();
    return 2;
  }
  return FileFlushAndClose() == 0 ? 0 : Fail("cannot write");
}

int Commit() {
  if (writing == Writing::kStream) {
    bool ok = FileWrite(write_buffer) == 0;
    return FileFlushAndClose() == 0 && ok ? 0 : Fail("cannot write");
  }
  if (target.exists) {
    // Identical contents: nothing to write, nothing to keep.
    if (FileHolds(target.path, write_buffer)) {
      FileAbandonWrite();
      return 0;
    }
    if (KeepBackup() != 0) {
      FileAbandonWrite();
      return 2;
    }
  }
  if (writing == Writing::kInPlace) return WriteInPlace();
  if (FileWrite(write_buffer) != 0) {
    Fail("cannot write");
    FileAbandonWrite();
    return 2;
  }
  if (FileFlushAndClose() != 0) {
    Fail("cannot write");
    FileAbandonWrite();
    return 2;
  }
  return FileReplace(target.path) == 0 ? 0 : Fail("cannot write");
}

// Every check that can be made before the radio is asked anything is made
// here, so that a name that will not take the new file fails now, not after
// the whole save.
int OpenForWriting(const std::string& name) {
  if (name == standard_stream_name) {
    writing = Writing::kStream;
    return FileOpenStandardOutput() == 0 ? 0 : Fail("cannot write");
  }
  target = FileFacts();
  if (FileLookUp(name, target) != 0) return Fail("cannot create");
  if (target.exists && !target.regular) {
    writing = Writing::kStream;
    return FileOpenExisting(target.path, false) == 0 ? 0 : Fail("cannot write");
  }
  if (target.exists && FileMayWrite(target.path) != 0) return Fail("cannot write");
  // Other names of the same file would keep the old contents after a rename.
  bool in_place = target.exists && target.other_links;
  if (!in_place) {
    int made = FileMakeTemporary(target.path);
    // No room beside it (a folder we may not write in): the file is still
    // written, in place.
    if (made == kFolderRefused && target.exists) {
      in_place = true;
    } else if (made != 0) {
      return Fail("cannot create");
    } else if (target.exists && !FileCopyAttributes(target.path)) {
      FileAbandonWrite();
      in_place = true;
    }
  }
  writing = in_place ? Writing::kInPlace : Writing::kReplace;
  if (in_place && FileOpenExisting(target.path, true) != 0) return Fail("cannot write");
  return 0;
}

}  // namespace

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
  const std::string bar(1, column_separator);
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
  if (point >= '0' && point <= '9') return false;
  if (!frequency.empty() && frequency[0] == ' ') frequency[0] = '0';
  // Blanks at the end of the decimals are zeros: 7.05 and blanks is 7.05000.
  for (size_t i = frequency.size(); i > kMegahertzWidth && frequency[i - 1] == ' '; i--) {
    frequency[i - 1] = '0';
  }
  // Without seven digits there is nothing sound to send: such a line loads
  // nothing, like an empty channel, and its other columns are not looked at.
  if (frequency.size() != kMegahertzWidth + kDecimalsWidth) return false;
  for (char c : frequency) {
    if (c < '0' || c > '9') return false;
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

void OpenMemoryFileForWriting(const std::string& name) {
  write_buffer.clear();
  write_name = name;
  file_problem.clear();
  writing = Writing::kNone;
  last_error = name.empty() ? 1 : OpenForWriting(name);
  if (last_error != 0) writing = Writing::kNone;
}

void WriteChannelLine(const std::string& line) {
  write_buffer += line;
  write_buffer += "\r\n";
}

void CloseMemoryFileAfterWriting() {
  if (writing == Writing::kNone) return;
  last_error = Commit();
  writing = Writing::kNone;
  write_buffer.clear();
}

void AbandonMemoryFileWriting() {
  if (writing == Writing::kNone) return;
  writing = Writing::kNone;
  write_buffer.clear();
  FileAbandonWrite();
}

void OpenMemoryFileForReading(const std::string& name) {
  read_length = read_position = 0;
  read_ended = read_failed = false;
  file_had_byte_order_mark = false;
  read_name = name;
  file_problem.clear();
  if (name.empty()) {
    last_error = 1;
  } else {
    last_error = name == standard_stream_name ? FileOpenStandardInput() : FileOpenForReading(name);
    if (last_error != 0) Problem("cannot open", name);
  }
  reading = last_error == 0;
  // A UTF-8 byte-order mark, as Windows editors write, is not part of the text.
  if (reading && FillReadBuffer() && read_length >= 3 &&
      kByteOrderMark.compare(0, 3, read_buffer, 3) == 0) {
    read_position = 3;
    file_had_byte_order_mark = true;
  }
}

std::string ReadChannelLine() {
  std::string line;
  if (!reading || read_ended) return SeparatorsAsB3(line);
  for (;;) {
    if (!FillReadBuffer()) {
      // A line cut by a read error is not a line: nothing of it is used.
      if (read_failed) line.clear();
      break;
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
  return FillReadBuffer() && read_buffer[read_position] != kEndOfFile;
}

bool ReadFailed() {
  return read_failed;
}

int NextFileByte() {
  if (!FillReadBuffer()) return -1;
  return static_cast<unsigned char>(read_buffer[read_position++]);
}

// A read error ends the job here: its line names the file and the reason.
void CloseMemoryFileAfterReading() {
  if (!reading) return;
  reading = false;
  read_length = read_position = 0;
  FileCloseForReading();
  last_error = read_failed ? 2 : 0;
}

void EndWithFileProblem(int report_line) {
  if (!file_problem.empty()) {
    std::string line = "quenmar-setup: " + Displayed(file_problem) + "\r\n";
    std::fputs(line.c_str(), stderr);
  }
  FatalError(report_line);
}

// GNU's rules: VERSION_CONTROL none or off keeps nothing; simple or never
// keeps NAME~; numbered or t, and an unset or unknown value, NAME.~N~ with
// N one above the highest there; existing or nil numbered when one is there.
std::string BackupName(const std::string& path, const char* version_control) {
  std::string control = version_control ? version_control : "";
  if (control == "none" || control == "off") return "";
  std::filesystem::path file(path);
  std::string base = file.filename().string();
  std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
  unsigned long highest = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::string name = entry->path().filename().string();
    if (name.size() < base.size() + 4 || name.compare(0, base.size() + 2, base + ".~") != 0 ||
        name.back() != '~')
      continue;
    std::string digits = name.substr(base.size() + 2, name.size() - base.size() - 3);
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    highest = std::max(highest, std::stoul(digits));
  }
  bool simple = control == "simple" || control == "never" ||
                ((control == "existing" || control == "nil") && highest == 0);
  if (simple) return path + "~";
  return path + ".~" + std::to_string(highest + 1) + "~";
}

bool SameFile(const std::string& one, const std::string& other) {
  if (one == other) return true;
  std::error_code error;
  return std::filesystem::equivalent(one, other, error) && !error;
}
