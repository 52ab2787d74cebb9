// Channel lists exchanged with CHIRP: a memory file turned into a CSV file in
// CHIRP's column layout and back, without the radio. What one side cannot
// hold is reported as "FILE:LINE: warning: ..." on the standard error stream;
// a summary line goes to the standard output. A failed open ends the program
// with the abort report of a load (reading) or a save (writing).
//
// ConvertMemoryFileToCsv  --to-csv: every channel a load would program, one row
//                         each; returns the exit status, 0, or 3 after warnings
// ConvertCsvToMemoryFile  --from-csv: the rows of channels 0-61 as a memory
//                         file; returns the exit status, 0, or 3 after warnings
// CsvComment              the Comment that keeps what CHIRP has no column for:
//                         "filter 2.4", or "AMLS filter 6.0" for AMLS and AMUS
#pragma once
#include <string>

int ConvertMemoryFileToCsv(const std::string& memory_file, const std::string& csv_file);
int ConvertCsvToMemoryFile(const std::string& csv_file, const std::string& memory_file);
std::string CsvComment(int mode, int filter);
