// CSV files as CHIRP and spreadsheets write them (comma, semicolon or tab
// separated, fields quoted with double quotes, quotes doubled, UTF-8 or, after
// its byte-order mark, UTF-16, read as UTF-8), and the code page 437 of the
// radio's channel names.
//
// CsvField             one field as written: quoted when it holds a comma, a
//                      quote or a line end
// CsvRow               fields joined into one record, without its line end
// OpenCsvForReading    opens a CSV file for ReadCsvRecord through the memory
//                      file's reader (its opening, byte-order mark and read
//                      errors), into a CsvReader; error number in last_error
// ReadCsvRecord        the next record, its fields split at any of the bytes of
//                      `separators`; false at the end of the file. Reading is
//                      bounded: a record over kCsvRecordLimit bytes comes back
//                      with too_long set and no fields, and nothing past
//                      kCsvFileLimit bytes is read (the reader's `cut` tells)
// CloseCsvAfterReading closes it; last_error is not 0 when a read failed
// NameToUtf8           name bytes (code page 437) as UTF-8; counts the bytes
//                      that have no character there (they become "?")
// NameFromUtf8         UTF-8 text as code page 437 bytes; counts the characters
//                      that code page lacks and bytes that are no UTF-8 ("?"),
//                      by DecodeUtf8's rules (text/text.h): an overlong form or
//                      a surrogate is no UTF-8, each of its bytes a "?"
#pragma once
#include <string>
#include <vector>

#include "jobs/memory_file.h"

constexpr size_t kCsvRecordLimit = 4096;
constexpr long kCsvFileLimit = 1L << 20;

struct CsvRecord {
  std::vector<std::string> fields;
  std::string ends;       // the byte after each field: its separator, or LF for the last
  long line = 0;          // the line of the file the record starts on, from 1
  bool too_long = false;  // longer than kCsvRecordLimit: its fields are dropped
  bool cut = false;       // ended by kCsvFileLimit, not by a line end
  // The line on which a quote opened a field that no quote closes, or 0. Such
  // a field ends at its first line end, and so does the record: the lines
  // after it are read as records of their own.
  long open_quote_line = 0;
};

// A file that starts with a UTF-16 byte-order mark (a spreadsheet's "Unicode
// text") is read as the UTF-8 of its characters.
enum class CsvEncoding { kUtf8, kUtf16Little, kUtf16Big };

// Where the reading of one CSV file stands: made by OpenCsvForReading and
// handed to every read of that file.
struct CsvReader {
  FileReader file;
  bool reading = false;  // bytes may still come: not at the end, nor at kCsvFileLimit
  bool cut = false;      // reading stopped at kCsvFileLimit with more of the file unread
  long bytes_taken = 0;
  long line_number = 1;
  int pushed_back = -1;  // a byte looked at and given back, or -1
  CsvEncoding encoding = CsvEncoding::kUtf8;
  std::string decoded;  // the UTF-8 of the UTF-16 character being read
  size_t decoded_at = 0;
  long pending_unit = -1;  // a UTF-16 unit read after a high surrogate it does not complete
  // Bytes read again: what followed the first line end of a field whose
  // opening quote nothing closed, and the first bytes of a file looked at
  // for a UTF-16 byte-order mark that is not there. While `recording`, every
  // byte handed out is kept in `recorded`, so that it can be read again.
  std::string replay;
  size_t replay_at = 0;
  bool recording = false;
  std::string recorded;
};

std::string CsvField(const std::string& text);
std::string CsvRow(const std::vector<std::string>& fields);
void OpenCsvForReading(const std::string& name, CsvReader& csv);
bool ReadCsvRecord(CsvReader& csv, CsvRecord& record, const std::string& separators);
void CloseCsvAfterReading(CsvReader& csv);
std::string NameToUtf8(const std::string& bytes, int& lost);
std::string NameFromUtf8(const std::string& text, int& changed);
