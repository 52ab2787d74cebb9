// Channel lists exchanged with CHIRP: a memory file turned into a CSV file in
// CHIRP's column layout and back, without the radio. What one side cannot
// hold is reported as "FILE:LINE: warning: ..." on the standard error stream
// as it is found (the converted file may be going to the standard output); the
// conversion returns what happened, and its caller prints the summary. A failed
// open ends the program with the abort report of a load (reading) or a save
// (writing).
//
// ConvertMemoryFileToCsv  --to-csv: every channel a load would program, one row
//                         each
// ConvertCsvToMemoryFile  --from-csv: the rows of channels 0-61 as a memory
//                         file; none when the CSV has no header row to read
// CsvChannelLines         the rows of channels 0-61 of a CSV as --from-csv reads
//                         them, as channel lines (empty ones for channels without
//                         a row); none when there is no header row to read (the
//                         warning then ends in `outcome`). Counts the channels
//                         read and the warnings given
// CsvComment              the Comment that keeps what CHIRP has no column for:
//                         "filter 2.4", or "AMLS filter 6.0" for AMLS and AMUS
// KindOfFile              what an existing file's first line shows it to be,
//                         as the conversions and the radio jobs tell their
//                         files apart
#pragma once
#include <string>
#include <vector>

// What a conversion did. A pair of names that cannot be meant is refused
// before anything is read or written: `refusal` says why, and nothing else
// is set.
struct Conversion {
  std::string refusal;   // "" when the names were taken
  bool written = false;  // the output file was written
  int channels = 0;      // the channels written into it
  int warnings = 0;      // the warnings given
};

// What a file's first line shows it to be: a channel line (B3 in column 4),
// a CSV header row (a Location column, in any dialect the conversions read),
// an empty line, or anything else; kNoFile for no plain file at all.
enum class FileKind { kNoFile, kMemoryFile, kCsv, kEmptyFirstLine, kOther };

FileKind KindOfFile(const std::string& name);
Conversion ConvertMemoryFileToCsv(const std::string& memory_file, const std::string& csv_file);
Conversion ConvertCsvToMemoryFile(const std::string& csv_file, const std::string& memory_file);
std::vector<std::string> CsvChannelLines(const std::string& csv_file, const std::string& outcome,
                                         int& channels, int& warnings_given);
std::string CsvComment(int mode, int filter);
