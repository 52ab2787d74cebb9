// The memory file: 62 lines, one a channel (jobs/channel_line.h), each ended
// by CR LF. Written by a save, read by a load; and the rules by which every
// file the program writes is written.
//
// OpenMemoryFileForWriting / WriteChannelLine / CloseMemoryFileAfterWriting
// WriteMemoryFileBytes  bytes as they stand, for a file that keeps its own
//                     line ends (a save of some channels)
// OpenMemoryFileForReading / ReadChannelLine  / CloseMemoryFileAfterReading
//                     a file read through a FileReader of its own; the opens
//                     and closes leave their error number in last_error
// AbandonMemoryFileWriting  drops an unfinished save: nothing has been written
//                     yet (the lines wait in memory until the close), so the
//                     file named keeps what it had (or is not made), a stream
//                     gets nothing, and no temporary file stays
// MoreLinesToRead     true while the file being read holds another line
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

// Where the reading of one file stands: made by OpenMemoryFileForReading and
// handed to every read of that file, which is all that reading keeps.
struct FileReader {
  std::string name;  // as given to the open
  bool open = false;
  bool ended = false;   // at the file's end, a Ctrl-Z or a failed read: nothing more comes
  bool failed = false;  // a read failed: what was read is not the whole file
  bool had_byte_order_mark = false;  // the file began with one, which reading skipped
  // Once a Ctrl-Z (1A) has ended the file: its column in the line it stood
  // in, counted in the file's bytes, 1 when it began a line; 0 before.
  size_t ctrl_z_column = 0;
  // The columns of the last line read whose separator B3 stood in the file
  // as kUtf8Separator (jobs/channel_line.h), ascending.
  std::vector<size_t> utf8_separator_columns;
  std::string buffer;  // bytes read from the file and not yet taken: [position, length)
  size_t length = 0;
  size_t position = 0;
};

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
void OpenMemoryFileForReading(const std::string& name, FileReader& file);
std::string ReadChannelLine(FileReader& file);
bool MoreLinesToRead(FileReader& file);
int NextFileByte(FileReader& file);
void CloseMemoryFileAfterReading(FileReader& file);
void MemoryFileAbandon();
[[noreturn]] void EndWithFileProblem(int report_line);
bool SameFile(const std::string& one, const std::string& other);
bool IsStandardOutputName(const std::string& name);
std::vector<FileLine> FileLines(const std::string& bytes);
bool ReadWholeFile(const std::string& name, FileBytes& file, bool fatal);
