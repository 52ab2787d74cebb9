// The memory file: 62 lines, one a channel, in fixed columns separated by the
// byte B3, each ended by CR LF. Written by a save, read by a load.
//
// Columns             columns first..first+width-1 of a line (from 1); what lies
//                     past its end is absent
// Trimmed             a column's text without the blanks before and after it
// ChannelLabel        the channel number right-aligned in three columns
// FormatChannelLine   one channel's line, without its line end
// ParseChannelLine    takes a line apart; false for a line that loads nothing
// ModeNumber          the mode a column text names (0-7), -1 for any other text
// FilterNumber        the filter a column text names (1-5), -1 for any other text
// OpenMemoryFileForWriting / WriteChannelLine / CloseMemoryFileAfterWriting
// OpenMemoryFileForReading / ReadChannelLine  / CloseMemoryFileAfterReading
//                     the opens and closes leave their error number in last_error
// AbandonMemoryFileWriting  drops an unfinished save: the file named keeps what
//                     it had (or is not made), and no temporary file stays
// MoreLinesToRead     true while the file being read holds another line
// MemoryFileAbandon   closes an open memory file at once, keeping the old file
//                     of an unfinished save (safe inside a signal handler)
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Mode and filter numbers that loading sends; set by ParseChannelLine from
// recognised texts and by a save from every channel it reads (mode only).
extern int16_t current_mode;
extern int16_t current_filter;

extern const std::string ModeNames[9];
extern const std::string FilterNames[11];

// Where the fields of a line begin, counted from 1, and the separators.
constexpr size_t kFrequencyColumn = 5;  // 8 columns: two digits, the point, five
constexpr size_t kPointColumn = 7;
constexpr size_t kDecimalsColumn = 8;
constexpr size_t kNameColumn = 14;    // 7 columns
constexpr size_t kModeColumn = 22;    // 4 columns
constexpr size_t kFilterColumn = 27;  // 3 columns
constexpr size_t kSeparatorColumns[] = {4, 13, 21, 26};

constexpr char column_separator = static_cast<char>(0xB3);
// The separator as a UTF-8 editor types it (U+2502); reading takes it as B3.
extern const std::string utf8_separator;
// The columns of the last line ReadChannelLine returned whose B3 stood in the
// file as utf8_separator, ascending. Written by ReadChannelLine, read by
// --check to count columns as the file has them.
extern std::vector<size_t> utf8_separator_columns;

// A line read ends at its line end or after this many bytes, whichever comes
// first, so that any file, however large or binary, reads in bounded memory.
constexpr size_t kLineLimit = 4096;

struct ChannelFields {
  std::string frequency;  // seven digits, tens of MHz down to 10 Hz
  std::string name;       // columns 14-20 as they stand (up to seven bytes)
  int16_t mode = 0;
  int16_t filter = 0;
};

std::string Columns(const std::string& line, size_t first, size_t width);
std::string Trimmed(const std::string& text);
std::string ChannelLabel(int channel);
std::string FormatChannelLine(int channel, bool filled, const std::string& frequency,
                              const std::string& name, int mode, int filter);
bool ParseChannelLine(const std::string& line, ChannelFields& fields);
int ModeNumber(const std::string& text);
int FilterNumber(const std::string& text);

void OpenMemoryFileForWriting(const std::string& name);
void WriteChannelLine(const std::string& line);
void CloseMemoryFileAfterWriting();
void AbandonMemoryFileWriting();
void OpenMemoryFileForReading(const std::string& name);
std::string ReadChannelLine();
bool MoreLinesToRead();
void CloseMemoryFileAfterReading();
void MemoryFileAbandon();

// The file system underneath (memory_file_posix.cpp, memory_file_win32.cpp): each returns an error
// number, 0 on success, except the reads, which return the count (0 at the end).
int FileCreate(const std::string& name);
int FileWrite(const std::string& bytes);
int FileCommit(bool write_failed);
void FileAbandonWrite();  // safe inside a signal handler
int FileOpenForReading(const std::string& name);
long FileRead(char* buffer, unsigned long size);
void FileCloseForReading();
