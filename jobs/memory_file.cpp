// The memory file's lines written and read; and, for every file the program
// writes, the one policy of how: replaced by a complete new file or written
// in place, the old contents kept as a backup.
#include "jobs/memory_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "console/console.h"
#include "ending/fatal.h"
#include "jobs/backup_name.h"
#include "jobs/channel_line.h"
#include "jobs/file_access.h"
#include "jobs/file_system.h"
#include "text/text.h"

const std::string kStandardStreamName = "-";
std::string file_problem;
std::string backup_made;

const std::string kByteOrderMark = "\xEF\xBB\xBF";

namespace {

// An empty answer to a file prompt, or an empty FILE: what the abort report
// of error 1 means here.
const char kNoFileName[] = "no file name given";

constexpr size_t kReadBufferSize = 8192;

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

void Problem(const char* what, const std::string& name) {
  file_problem = std::string(what) + " \"" + name + "\": " + file_reason;
}

// Fills the read buffer when it is used up; false at the end of the file or
// after a read error, which ends reading too but is remembered.
bool FillReadBuffer(FileReader& file) {
  if (file.position < file.length) return true;
  if (!file.open || file.ended) return false;
  unsigned long count = 0;
  int error = FileRead(file.buffer.data(), kReadBufferSize, count);
  file.length = count;
  file.position = 0;
  if (file.length > 0) return true;
  if (error != 0) {
    file.failed = true;
    Problem("cannot read", file.name);
  }
  file.ended = true;
  return false;
}

// True when the file holds exactly `bytes`.
bool FileHolds(const std::string& path, const std::string& bytes) {
  if (FileOpenForReading(path) != 0) return false;
  std::string old;
  char buffer[kReadBufferSize];
  unsigned long got = 0;
  int error = 0;
  while (old.size() <= bytes.size() && (error = FileRead(buffer, sizeof buffer, got)) == 0 &&
         got > 0)
    old.append(buffer, got);
  FileCloseForReading();
  return error == 0 && old == bytes;
}

int Fail(const char* what) {
  Problem(what, write_name);
  return 2;
}

// Where the old contents go, by VERSION_CONTROL; "" for nowhere.
std::string BackupOfTarget() {
  return BackupName(target.path, std::getenv("VERSION_CONTROL"));
}

bool IsSimpleBackup(const std::string& backup) {
  return backup == target.path + "~";
}

// The old contents are kept beside the file before it changes. A file being
// replaced is kept by a second name; one written in place by a copy.
int KeepBackup() {
  std::string backup = BackupOfTarget();
  if (backup.empty()) return 0;
  if (FileBackUp(target.path, backup, IsSimpleBackup(backup), writing == Writing::kReplace) == 0) {
    backup_made = backup;
    return 0;
  }
  file_problem = "cannot keep the old contents of \"" + write_name + "\" as \"" + backup +
                 "\": " + file_reason + "; the file is left as it was";
  return 2;
}

// Writes the file in place so that a failure leaves what it had: the space is
// reserved first, and the old bytes that the new ones cover are kept to be
// put back, the old size with them.
int WriteInPlace() {
  unsigned long long new_size = write_buffer.size();
  std::string old(std::min<unsigned long long>(new_size, target.size), '\0');
  unsigned long got = 0;
  bool kept = old.empty() || (FileReadAt(0, old.data(), old.size(), got) == 0 && got == old.size());
  if (!kept) {
    Fail("cannot read");
    FileAbandonWrite();
    return 2;
  }
  bool written = FileReserve(new_size) == 0 && FileWriteAt(0, write_buffer) == 0;
  if (written && new_size < target.size) written = FileSetSize(new_size) == 0;
  if (!written) {
    Fail("cannot write");
    // A reservation that failed half-way may have grown the file already.
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
  // Identical contents: nothing to write, nothing to keep.
  if (target.exists && FileHolds(target.path, write_buffer)) {
    FileAbandonWrite();
    return 0;
  }
  if (writing == Writing::kInPlace) {
    // Its size now, not at the open: the file may have changed since.
    FileFacts now;
    if (target.exists && FileLookAt(target.path, now) == 0) target.size = now.size;
    if (target.exists && KeepBackup() != 0) {
      FileAbandonWrite();
      return 2;
    }
    return WriteInPlace();
  }
  // The new file is complete and on the disk before anything of the old one
  // changes.
  if (FileWrite(write_buffer) != 0 || FileFlushAndClose() != 0) {
    Fail("cannot write");
    FileAbandonWrite();
    return 2;
  }
  if (target.exists && KeepBackup() != 0) {
    FileAbandonWrite();
    return 2;
  }
  return FileReplace(target.path) == 0 ? 0 : Fail("cannot write");
}

// Every check that can be made before the radio is asked anything is made
// here, so that a name that will not take the new file fails now, not after
// the whole save.
int OpenForWriting(const std::string& name) {
  if (IsStandardOutputName(name)) {
    writing = Writing::kStream;
    return FileOpenStandardOutput() == 0 ? 0 : Fail("cannot write");
  }
  target = FileFacts();
  if (FileLookUp(name, target) != 0) return Fail("cannot create");
  if (target.exists && !target.regular) {
    writing = Writing::kStream;
    return FileOpenExisting(target.path, false) == 0 ? 0 : Fail("cannot write");
  }
  if (target.exists && FileMayWrite(target) != 0) return Fail("cannot write");
  // The backup's folder must take it: learnt now, not after the radio session.
  std::string backup = target.exists ? BackupOfTarget() : "";
  if (!backup.empty() && FileMayMake(backup, IsSimpleBackup(backup)) != 0) {
    file_problem = "cannot keep the old contents of \"" + name + "\" as \"" + backup +
                   "\": " + file_reason +
                   "; with VERSION_CONTROL=none it is written in place, without a backup";
    return 2;
  }
  // Other names of the same file would keep the old contents after a rename.
  bool in_place = target.exists && target.other_links;
  if (!in_place) {
    int made = FileMakeTemporary(target.path);
    // No room beside it (a folder we may not write in): the file is still
    // written, in place.
    if (made == EACCES && target.exists) {
      in_place = true;
    } else if (made != 0) {
      return Fail("cannot create");
    } else if (target.exists && FileCopyAttributes(target.path) != 0) {
      FileAbandonWrite();
      in_place = true;
    }
  }
  writing = in_place ? Writing::kInPlace : Writing::kReplace;
  if (in_place && FileOpenExisting(target.path, true) != 0) return Fail("cannot write");
  return 0;
}

}  // namespace

void OpenMemoryFileForWriting(const std::string& name) {
  write_buffer.clear();
  write_name = name;
  file_problem.clear();
  writing = Writing::kNone;
  AddCloser(MemoryFileAbandon);  // an ending in the middle of a save keeps the old file
  last_error = name.empty() ? 1 : OpenForWriting(name);
  if (name.empty()) file_problem = kNoFileName;
  if (last_error != 0) writing = Writing::kNone;
}

void WriteChannelLine(const std::string& line) {
  write_buffer += line;
  write_buffer += "\r\n";
}

void WriteMemoryFileBytes(const std::string& bytes) {
  write_buffer += bytes;
}

void CloseMemoryFileAfterWriting() {
  backup_made.clear();
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

void OpenMemoryFileForReading(const std::string& name, FileReader& file) {
  file = FileReader();
  file.name = name;
  file_problem.clear();
  if (name.empty()) {
    last_error = 1;
    file_problem = kNoFileName;
  } else {
    int error = name == kStandardStreamName ? FileOpenStandardInput() : FileOpenForReading(name);
    // The system's reason goes into the line; the report has the program's number.
    last_error = error == 0 ? 0 : 2;
    if (error != 0) Problem("cannot open", name);
  }
  file.open = last_error == 0;
  if (file.open) file.buffer.resize(kReadBufferSize);
  // A UTF-8 byte-order mark, as Windows editors write, is not part of the text.
  if (file.open && FillReadBuffer(file) && file.length >= 3 &&
      file.buffer.compare(0, 3, kByteOrderMark) == 0) {
    file.position = 3;
    file.had_byte_order_mark = true;
  }
}

std::string ReadChannelLine(FileReader& file) {
  std::string line;
  if (!file.open || file.ended) return SeparatorsAsB3(line, &file.utf8_separator_columns);
  const char* bytes = file.buffer.data();
  for (;;) {
    if (!FillReadBuffer(file)) {
      // A line cut by a read error is not a line: nothing of it is used.
      if (file.failed) line.clear();
      break;
    }
    // Take everything up to the next LF, Ctrl-Z, the end of the buffer or the
    // line's limit at once.
    size_t limit = std::min(file.length, file.position + (kLineLimit - line.size()));
    size_t stop = file.position;
    while (stop < limit && bytes[stop] != '\n' && bytes[stop] != kEndOfFile) stop++;
    line.append(bytes + file.position, stop - file.position);
    file.position = stop;
    if (line.size() == kLineLimit) {
      // The rest is the next line. But a CR on the bound is still read as
      // the bytes behind it say: of a CR LF that the bound cuts in two it is
      // this line's end, not an empty line of its own; in front of the end
      // of the file or a Ctrl-Z it is dropped.
      if (line.back() == '\r') {
        bool more = FillReadBuffer(file);
        if (!more || bytes[file.position] == '\n' || bytes[file.position] == kEndOfFile)
          line.pop_back();
        if (more && bytes[file.position] == '\n') file.position++;
      }
      return SeparatorsAsB3(line, &file.utf8_separator_columns);
    }
    if (stop == file.length) continue;
    char ender = bytes[file.position++];
    if (ender == kEndOfFile) {
      file.ended = true;
      file.ctrl_z_column = line.size() + 1;
      break;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return SeparatorsAsB3(line, &file.utf8_separator_columns);
  }
  // A CR as the very last byte of the file is dropped.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return SeparatorsAsB3(line, &file.utf8_separator_columns);
}

bool MoreLinesToRead(FileReader& file) {
  // What a Ctrl-Z left in the buffer behind it is not read.
  if (file.ended) return false;
  if (!FillReadBuffer(file)) return false;
  if (file.buffer[file.position] != kEndOfFile) return true;
  file.ctrl_z_column = 1;
  return false;
}

int NextFileByte(FileReader& file) {
  if (!FillReadBuffer(file)) return -1;
  return static_cast<unsigned char>(file.buffer[file.position++]);
}

// A read error ends the job here: its line names the file and the reason.
void CloseMemoryFileAfterReading(FileReader& file) {
  if (!file.open) return;
  file.open = false;
  file.ended = true;
  file.length = file.position = 0;
  FileCloseForReading();
  last_error = file.failed ? 2 : 0;
}

void EndWithFileProblem(int report_line) {
  if (!file_problem.empty()) PrintProblem(file_problem);
  FatalError(report_line);
}

void MemoryFileAbandon() {
  FileAbandonWrite();
  FileCloseForReading();
}

bool SameFile(const std::string& one, const std::string& other) {
  if (one == other) return true;
  std::error_code error;
  return std::filesystem::equivalent(one, other, error) && !error;
}

bool IsStandardOutputName(const std::string& name) {
  // Followed as links, these would lead to the file behind a redirection,
  // which would then be replaced rather than written to.
  return name == kStandardStreamName || name == "/dev/stdout" || name == "/dev/fd/1" ||
         name == "/proc/self/fd/1";
}

std::vector<FileLine> FileLines(const std::string& bytes) {
  std::vector<FileLine> lines;
  size_t stop = std::min(bytes.find(kEndOfFile), bytes.size());
  for (size_t begin = 0; begin < stop;) {
    size_t end = std::min(bytes.find_first_of("\r\n", begin), stop);
    lines.push_back({begin, end});
    if (end == stop) break;
    // CR LF is one line end; CR and LF alone are one each.
    begin = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

bool ReadWholeFile(const std::string& name, FileBytes& file, bool fatal) {
  file = FileBytes();
  FileReader reader;
  OpenMemoryFileForReading(name, reader);
  if (last_error != 0 && fatal) EndWithFileProblem(kReadOpenLine);
  if (last_error != 0) return false;
  file.had_mark = reader.had_byte_order_mark;
  int byte = 0;
  while (file.bytes.size() <= kMemoryFileLimit && (byte = NextFileByte(reader)) >= 0)
    file.bytes += static_cast<char>(byte);
  CloseMemoryFileAfterReading(reader);
  if (reader.failed && fatal) EndWithFileProblem(kReadCloseLine);
  last_error = 0;
  return !reader.failed && file.bytes.size() <= kMemoryFileLimit;
}
