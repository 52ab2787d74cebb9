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
//
// These files are read and written through the procedures here: the memory
// file, CSV files, and --check. The name "-" is the standard input stream to
// read and the standard output stream to write (no backup, no replacing).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The columns of the last line ReadChannelLine returned whose B3 stood in the
// file as utf8_separator, ascending. Written by ReadChannelLine, read by
// --check to count columns as the file has them.
extern std::vector<size_t> utf8_separator_columns;

// A line read ends at its line end or after this many bytes, whichever comes
// first, so that any file, however large or binary, reads in bounded memory.
constexpr size_t kLineLimit = 4096;

// The name that stands for the standard input or output stream.
extern const std::string standard_stream_name;
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

// What the file system says of a name about to be written.
struct FileFacts {
  std::string path;          // where the name leads, symbolic links followed
  bool exists = false;       // something is there
  bool regular = false;      // a plain file; anything else (a device, a FIFO) is a stream
  bool other_links = false;  // the file has further names (hard links)
  unsigned long long size = 0;
};

// The file system underneath (memory_file_posix.cpp, memory_file_win32.cpp):
// the steps each system takes, and no policy. Those returning int give 0 on
// success; on failure they leave the system's reason in file_reason.
extern std::string file_reason;
constexpr int kFolderRefused = 3;  // FileMakeTemporary: the folder takes no new file
int FileLookUp(const std::string& name, FileFacts& facts);  // fails for a folder, a bad name
int FileMayWrite(const std::string& path);
int FileMakeTemporary(const std::string& beside);
bool FileCopyAttributes(const std::string& from);  // false: the temporary cannot look like it
int FileOpenExisting(const std::string& path, bool in_place);
int FileOpenStandardOutput();
int FileWrite(const std::string& bytes);  // at the end of what was written so far
long FileReadAt(unsigned long long offset, char* buffer, unsigned long size);
int FileWriteAt(unsigned long long offset, const std::string& bytes);
int FileReserve(unsigned long long size);
int FileSetSize(unsigned long long size);
int FileFlushAndClose();
int FileReplace(const std::string& path);  // the closed temporary takes the place of path
// Whether a new file may be put at `path` (its folder takes new names) and,
// with `replace`, over what is there now.
int FileMayMake(const std::string& path, bool replace);
// Keeps the file `from` as `backup`, complete and on the disk before it gets
// that name: with `replace` over what `backup` was (never through it, if it is
// a link), else only when no such name exists. `by_link` when `from` is about
// to be replaced by a new file: a second name of it is then backup enough.
int FileBackUp(const std::string& from, const std::string& backup, bool replace, bool by_link);
// The trace file, opened to append: a plain file only, created when missing,
// a link followed by the rule of FileLookUp; nullptr with file_reason.
std::FILE* FileOpenForAppending(const std::string& name);
void FileAbandonWrite();  // safe inside a signal handler
int FileOpenForReading(const std::string& name);
int FileOpenStandardInput();
long FileRead(char* buffer, unsigned long size);  // the count, 0 at the end, -1 on an error
void FileCloseForReading();
