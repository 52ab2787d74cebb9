// The memory file: 62 lines, one a channel (jobs/channel_line.h), each ended
// by CR LF. Written by a save, read by a load; and the rules by which every
// file the program writes is written.
//
// OpenMemoryFileForWriting / WriteChannelLine / CloseMemoryFileAfterWriting
// WriteMemoryFileBytes  bytes as they stand, for a file that keeps its own
//                     line ends (a save of some channels)
// OpenMemoryFileForReading / ReadChannelLine  / CloseMemoryFileAfterReading
//                     the opens and closes leave their error number in last_error
// AbandonMemoryFileWriting  drops an unfinished save: nothing has been written
//                     yet (the lines wait in memory until the close), so the
//                     file named keeps what it had (or is not made), a stream
//                     gets nothing, and no temporary file stays
// MoreLinesToRead     true while the file being read holds another line
// CtrlZColumn         once a Ctrl-Z (1A) has ended the file being read: its
//                     column in the line it stood in, counted in the file's
//                     bytes, 1 when it began a line; 0 before
// ReadFailed          true once a read of the file being read has failed
// NextFileByte        the next byte of the file being read, -1 at its end or
//                     after a read error (the CSV reader's bytes)
// MemoryFileAbandon   closes an open memory file at once, keeping the old file
//                     of an unfinished save (safe inside a signal handler)
// EndWithFileProblem  one line naming the file and the system's reason (when
//                     there is one), then the abort report of report_line
// SameFile            true when two names lead to one file (or are one text)
// IsStandardOutputName  true for a name that, given as a file to write, is the
//                     standard output: "-", /dev/stdout, /dev/fd/1, /proc/self/fd/1
// ReadWholeFile       the bytes of a file; false when it cannot be opened or
//                     read, or holds more than any memory file (kMemoryFileLimit).
//                     `fatal`: a failed open or read ends the program, as for a load
// FileLines           where the text of each line of a file's bytes lies, up to
//                     a Ctrl-Z: lines end in CR LF, LF or a CR alone, mixed as
//                     they come (the editor's and a save of some channels' lines)
//
// Every file goes through the rules of file_access.h and the steps of
// file_system.h underneath them.
//
// These files are read and written through the procedures here: the memory
// file, CSV files, and --check. The name "-" is the standard input stream to
// read and the standard output stream to write (no backup, no replacing).
#pragma once
#include <string>
#include <vector>

// A line read ends at its line end or after this many bytes, whichever comes
// first, so that any file, however large or binary, reads in bounded memory.
constexpr size_t kLineLimit = 4096;

// EF BB BF: the UTF-8 byte-order mark that Windows editors put before the text.
extern const std::string kByteOrderMark;

// The name that stands for the standard input or output stream.
extern const std::string kStandardStreamName;
// What the last failed open, read, write or close of a file was, as one line
// without the program's name: cannot create "x/y.txt": No such file or
// directory. Written by the file procedures, printed by EndWithFileProblem.
extern std::string file_problem;
// The backup that the last close after writing made of the old contents,
// "" for none. Written by CloseMemoryFileAfterWriting, read by the summaries.
extern std::string backup_made;
// True when the file being read began with a UTF-8 byte-order mark, which
// reading skipped. Written by the opens for reading, read by --check.
extern bool file_had_byte_order_mark;

// No memory file comes near this size; a file that does is not one.
constexpr size_t kMemoryFileLimit = 1 << 20;

// A file's bytes after its byte-order mark, and whether it had one.
struct FileBytes {
  std::string bytes;
  bool had_mark = false;
  bool operator==(const FileBytes&) const = default;
};

struct FileLine {
  size_t begin;  // the line's first byte
  size_t end;    // the byte after its text: its line end, a Ctrl-Z or the file's end
};

void OpenMemoryFileForWriting(const std::string& name);
void WriteChannelLine(const std::string& line);
void WriteMemoryFileBytes(const std::string& bytes);
void CloseMemoryFileAfterWriting();
void AbandonMemoryFileWriting();
void OpenMemoryFileForReading(const std::string& name);
std::string ReadChannelLine();
bool MoreLinesToRead();
size_t CtrlZColumn();
bool ReadFailed();
int NextFileByte();
void CloseMemoryFileAfterReading();
void MemoryFileAbandon();
[[noreturn]] void EndWithFileProblem(int report_line);
bool SameFile(const std::string& one, const std::string& other);
bool IsStandardOutputName(const std::string& name);
std::vector<FileLine> FileLines(const std::string& bytes);
bool ReadWholeFile(const std::string& name, FileBytes& file, bool fatal);
