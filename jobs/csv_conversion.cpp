// --to-csv and --from-csv: the memory file and CHIRP's CSV layout.
#include "jobs/csv_conversion.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "console/diagnostics.h"
#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/csv_dialect.h"
#include "jobs/csv_file.h"
#include "jobs/csv_values.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "text/text.h"

namespace {

constexpr int kAm = 2;
constexpr int kAmLowerSideband = 6;  // AMLS
constexpr int kAmUpperSideband = 7;  // AMUS

// CHIRP's columns, in its order.
const std::vector<std::string> kCsvHeader = {
    "Location",  "Name",      "Frequency", "Duplex",       "Offset",   "Tone",
    "rToneFreq", "cToneFreq", "DtcsCode",  "DtcsPolarity", "Mode",     "TStep",
    "Skip",      "Comment",   "URCALL",    "RPT1CALL",     "RPT2CALL", "DVCODE"};

// The words CHIRP uses for the radio's modes 0-7; AMLS and AMUS go as AM.
const char* const kChirpModes[8] = {"LSB", "USB", "AM", "CW", "FSK", "FM", "AM", "AM"};

// The filter a channel gets when its row names none: the one that suits its mode.
const int kDefaultFilter[8] = {2, 2, 1, 4, 4, 1, 1, 1};

// A warning about a whole line, on the error stream: the converted file may
// be going to the standard output. Counted in `warnings`.
void Warn(int& warnings, const std::string& file, long line, const std::string& text) {
  warnings++;
  PrintDiagnostic(stderr, file, line, 0, "warning", text);
}

// A value as a message quotes it: in quotes, cut after 40 bytes so that a
// binary file does not fill the screen.
std::string Shown(const std::string& value) {
  return "'" + value.substr(0, 40) + (value.size() > 40 ? "...'" : "'");
}

// Items named in one warning: "A", "A and B", "A, B and C".
std::string Listed(const std::vector<std::string>& items) {
  std::string list;
  for (size_t i = 0; i < items.size(); i++) {
    if (i > 0) list += i + 1 == items.size() ? " and " : ", ";
    list += items[i];
  }
  return list;
}

// The two conversions take their files in opposite orders: a pair of names
// that cannot be meant is refused before anything is written. "" when the
// conversion may go on, else why not.
std::string WhatCannotBeMeant(const std::string& input, const std::string& output, bool to_csv) {
  const std::string in = "\"" + input + "\"", out = "\"" + output + "\"";
  if (input != kStandardStreamName && output != kStandardStreamName && SameFile(input, output))
    return in + " and " + out + " are the same file: nothing is written";
  FileKind input_kind = KindOfFile(input);
  if (to_csv && input_kind == FileKind::kCsv)
    return in + " is a CSV file (its first line names a Location column): nothing is " +
           "written; to make a memory file of it, use --from-csv " + input + " " + output;
  if (!to_csv && input_kind == FileKind::kMemoryFile)
    return in + " is a memory file (it has the memory file's separators): nothing is " +
           "written; to make a CSV file of it, use --to-csv " + input + " " + output;
  FileKind output_kind = KindOfFile(output);
  if (to_csv && output_kind == FileKind::kMemoryFile)
    return out + " is a memory file, which the CSV would replace: nothing is written; " +
           "name a new file for the CSV";
  if (!to_csv && output_kind == FileKind::kCsv)
    return out + " is a CSV file, which the memory file would replace: nothing is " +
           "written; name a new file for the memory file";
  return "";
}

// The columns --from-csv reads, found by their names in the header row, in
// any order, in any case.
enum Column { kLocation, kFrequency, kName, kMode, kComment, kDuplex, kTone, kSkip, kColumns };
const char* const kColumnNames[kColumns] = {"Location", "Frequency", "Name", "Mode",
                                            "Comment",  "Duplex",    "Tone", "Skip"};

// The CSV file being read: its name for the warnings, its reader, the record
// last read, the separator and where each column is (-1 for one the header
// lacks); the warnings given.
struct CsvTable {
  std::string file;
  CsvReader csv;
  int warnings = 0;
  CsvRecord record;
  char separator = ',';
  int index[kColumns] = {};
};

// A warning about the record last read.
void WarnAtRow(CsvTable& table, const std::string& text) {
  Warn(table.warnings, table.file, table.record.line, text);
}

// A column's field in the record last read; "" for one the row or the header lacks.
std::string Field(CsvTable& table, Column column) {
  int i = table.index[column];
  const std::vector<std::string>& fields = table.record.fields;
  return i >= 0 && i < static_cast<int>(fields.size()) ? fields[i] : std::string();
}

// The header row shows the separator: read with all of them, it is split at
// the one that gives a Location column. False when there is none to read
// (said in a warning ending in `outcome`, and the file closed).
bool ReadCsvHeader(CsvTable& table, const std::string& outcome) {
  CsvRecord& record = table.record;
  bool have_header = ReadCsvRecord(table.csv, record, kCsvSeparators);
  table.separator = CsvSeparatorOf(record);
  std::vector<std::string> header = CsvFieldsSplitAt(record, table.separator);
  for (int column = 0; column < kColumns; column++) {
    table.index[column] = -1;
    for (size_t i = 0; i < header.size(); i++) {
      if (UpperCase(Trimmed(header[i])) == UpperCase(kColumnNames[column])) {
        table.index[column] = static_cast<int>(i);
        break;
      }
    }
  }
  bool lacks_column = table.index[kLocation] < 0 || table.index[kFrequency] < 0;
  if (have_header && !record.too_long && !lacks_column) return true;
  std::string why = "the file is empty";
  if (record.too_long) {
    why = "the first line is longer than " + std::to_string(kCsvRecordLimit) +
          " bytes, too long for a header row";
  } else if (have_header) {
    std::vector<std::string> shown;
    for (size_t i = 0; i < header.size() && i < 8; i++) shown.push_back(Shown(header[i]));
    if (header.size() > 8) shown.push_back("...");
    why = std::string("the first line names no ") +
          (table.index[kLocation] < 0 ? "Location" : "Frequency") + " column (split at each " +
          CsvSeparatorName(table.separator) + ", it holds " + Listed(shown) + ")";
  }
  // A file whose first read failed is not empty: the failure is what is said.
  CloseCsvAfterReading(table.csv);
  if (last_error != 0) EndWithFileProblem(kReadCloseLine);
  WarnAtRow(table, why + ": " + outcome);
  return false;
}

// Whether the record last read is a row to read: not cut off, not broken by
// a quote, not too long, not blank. The first three are said.
bool RowToRead(CsvTable& table) {
  const CsvRecord& record = table.record;
  if (record.cut) {
    WarnAtRow(table, "the row is cut off by the " + std::to_string(kCsvFileLimit >> 20) +
                         " MiB limit: row skipped");
    return false;
  }
  if (record.open_quote_line > 0) {
    std::string row = record.open_quote_line == record.line
                          ? std::string("row")
                          : "row of line " + std::to_string(record.line);
    Warn(table.warnings, table.file, record.open_quote_line,
         "a quote opens a field here and no quote closes it: " + row +
             " skipped, the lines after it read as rows of their own");
    return false;
  }
  if (record.too_long) {
    WarnAtRow(table, "a row of more than " + std::to_string(kCsvRecordLimit) + " bytes is skipped");
    return false;
  }
  bool blank = true;
  for (const std::string& text : record.fields) blank = blank && Trimmed(text).empty();
  return !blank;
}

// The row's channel, -1 (said) when its Location is none or taken already.
int RowChannel(CsvTable& table, const long (&first_line)[kChannels]) {
  std::string location = Trimmed(Field(table, kLocation));
  int channel = ChirpLocation(location);
  if (channel < 0) {
    WarnAtRow(table, "Location " + Shown(location) + " is not 0 to 61: row skipped");
    return -1;
  }
  if (first_line[channel] > 0) {
    WarnAtRow(table, "Location " + location + " given twice (first on line " +
                         std::to_string(first_line[channel]) + "): row skipped");
    return -1;
  }
  return channel;
}

// The row's frequency as seven digits; false (said) when it has none.
bool RowFrequency(CsvTable& table, std::string& digits) {
  std::string megahertz = Trimmed(Field(table, kFrequency));
  Frequency verdict = MegahertzDigits(CsvDecimalPoint(megahertz, table.separator), digits);
  if (verdict == Frequency::kNotANumber || verdict == Frequency::kNegative ||
      verdict == Frequency::kTooHigh) {
    const char* why = verdict == Frequency::kNotANumber ? "is no number of MHz"
                      : verdict == Frequency::kNegative ? "is below 0"
                                                        : "is not below 100 MHz";
    WarnAtRow(table, "Frequency " + Shown(megahertz) + " " + why + ": row skipped");
    return false;
  }
  if (verdict == Frequency::kRounded) {
    WarnAtRow(table, "Frequency " + Shown(megahertz) + " is finer than 10 Hz: rounded to " +
                         MegahertzText(digits));
  }
  if (digits == "0000000")
    WarnAtRow(table, "Frequency " + Shown(megahertz) + " is 0 MHz: written as it is");
  return true;
}

// The row's mode, -1 (said) when the radio has none like it.
int RowMode(CsvTable& table) {
  bool near = false;
  std::string mode_word = Field(table, kMode);
  int mode = ChirpModeNumber(mode_word, near);
  if (mode < 0) {
    WarnAtRow(table, "Mode " + Shown(mode_word) + " has no equivalent on the radio: row skipped");
  } else if (near) {
    WarnAtRow(table, "Mode " + Shown(mode_word) + " is taken as " + Trimmed(ModeNames[mode]));
  }
  return mode;
}

// The Comment is read in any case: "filter 2.4", and AMLS or AMUS with Mode
// AM. Anything else in it is named.
void ReadRowComment(CsvTable& table, int& mode, int& filter) {
  std::string comment = Trimmed(Field(table, kComment));
  std::vector<std::string> words = CommentWords(comment);
  bool understood = true;
  for (size_t i = 0; i < words.size(); i++) {
    std::string word = UpperCase(words[i]);
    if (word == "AMLS" || word == "AMUS") {
      if (mode == kAm) {
        mode = word == "AMLS" ? kAmLowerSideband : kAmUpperSideband;
      } else {
        WarnAtRow(table, "Comment " + Shown(words[i]) + " is read only with Mode AM: ignored");
      }
      continue;
    }
    if (word != "FILTER" || i + 1 == words.size()) {
      understood = false;
      continue;
    }
    i++;
    int named = ChirpFilter(words[i], table.separator);
    if (named == 0) {
      WarnAtRow(table, "filter " + Shown(words[i]) +
                           " is not 6.0, 2.4, 1.8, .50 or .25: " + FilterNames[filter] + " taken");
    } else {
      filter = named;
    }
  }
  if (!understood) {
    WarnAtRow(table, "Comment " + Shown(comment) +
                         " is not understood (only 'filter 2.4', AMLS and AMUS are read): ignored");
  }
}

// What CHIRP has and the memory file does not is named, not kept.
void WarnOfDropped(CsvTable& table) {
  std::vector<std::string> dropped;
  for (Column column : {kDuplex, kTone, kSkip}) {
    std::string value = Trimmed(Field(table, column));
    if (value.empty()) continue;
    dropped.push_back(kColumnNames[column] + (" " + Shown(value)));
  }
  if (!dropped.empty()) {
    WarnAtRow(table, Listed(dropped) + ": the memory file has no place for " +
                         (dropped.size() == 1 ? "it" : "them") + ", dropped");
  }
}

// The row's Name as the radio's seven bytes; what it loses is said.
std::string RowName(CsvTable& table) {
  std::string text = Field(table, kName);
  text.erase(text.find_last_not_of(' ') + 1);
  int changed = 0, lost = 0;
  std::string name = NameFromUtf8(text, changed);
  if (name.size() > kNameLength && name.find_first_not_of(' ', kNameLength) != std::string::npos) {
    WarnAtRow(table, "Name " + Shown(text) + " is cut to seven characters: " +
                         Shown(NameToUtf8(name.substr(0, kNameLength), lost)));
  }
  name.resize(kNameLength, ' ');
  if (changed > 0) {
    WarnAtRow(table, "Name " + Shown(text) + " has characters code page 437 lacks: written as " +
                         Shown(NameToUtf8(name, lost)));
  }
  if (name.find_first_of("\xFD\xFE") != std::string::npos) {
    WarnAtRow(table, "Name " + Shown(text) +
                         " has a character that is the byte FD or FE, which the radio receives "
                         "as a blank");
  }
  return name;
}

// The record last read as a channel line into `lines`; false when it is skipped.
bool ReadRowIntoChannel(CsvTable& table, long (&first_line)[kChannels],
                        std::vector<std::string>& lines) {
  if (!RowToRead(table)) return false;
  int channel = RowChannel(table, first_line);
  std::string digits;
  if (channel < 0 || !RowFrequency(table, digits)) return false;
  int mode = RowMode(table);
  if (mode < 0) return false;
  int filter = kDefaultFilter[mode];
  ReadRowComment(table, mode, filter);
  WarnOfDropped(table);
  std::string name = RowName(table);
  first_line[channel] = table.record.line;
  lines[channel] = FormatChannelLine(channel, true, digits, name, mode, filter);
  return true;
}

// Written as a save writes: a new file that replaces the old one when complete.
void WriteLinesOf(const std::string& name, const std::vector<std::string>& lines) {
  OpenMemoryFileForWriting(name);
  if (last_error != 0) EndWithFileProblem(kWriteOpenLine);
  for (const std::string& line : lines) WriteChannelLine(line);
  CloseMemoryFileAfterWriting();
  if (last_error != 0) EndWithFileProblem(kWriteCloseLine);
}
}  // namespace

// The kind of an existing plain file; anything else (a missing file, a
// stream, which a look would use up) is kNoFile. The first line is read as a
// load reads it (a UTF-8 separator in column 4 is B3 by then), and then as
// --from-csv reads a header row: in any of the separators, UTF-16 too.
FileKind KindOfFile(const std::string& name) {
  std::error_code error;
  if (IsStandardOutputName(name) || !std::filesystem::is_regular_file(name, error))
    return FileKind::kNoFile;
  FileReader file;
  OpenMemoryFileForReading(name, file);
  std::string line = last_error == 0 ? ReadChannelLine(file) : "";
  CloseMemoryFileAfterReading(file);
  last_error = 0;
  if (line.size() >= 4 && line[3] == kColumnSeparator) return FileKind::kMemoryFile;
  CsvReader csv;
  OpenCsvForReading(name, csv);
  CsvRecord header;
  bool have_header = last_error == 0 && ReadCsvRecord(csv, header, kCsvSeparators);
  CloseCsvAfterReading(csv);
  last_error = 0;
  if (have_header) {
    for (const std::string& field : CsvFieldsSplitAt(header, CsvSeparatorOf(header))) {
      if (UpperCase(Trimmed(field)) == "LOCATION") return FileKind::kCsv;
    }
  }
  return line.empty() ? FileKind::kEmptyFirstLine : FileKind::kOther;
}

std::string CsvComment(int mode, int filter) {
  std::string comment =
      mode == kAmLowerSideband || mode == kAmUpperSideband ? Trimmed(ModeNames[mode]) + " " : "";
  if (ValidFilter(filter)) comment += "filter " + FilterNames[filter];
  return Trimmed(comment);
}

Conversion ConvertMemoryFileToCsv(const std::string& memory_file, const std::string& csv_file) {
  Conversion result;
  result.refusal = WhatCannotBeMeant(memory_file, csv_file, true);
  if (!result.refusal.empty()) return result;
  std::vector<std::string> csv_rows = {CsvRow(kCsvHeader)};
  // The file is read as --check reads it, and what the check finds is said
  // here too: the CSV gets what a load would send.
  MemoryFileReader reader;
  OpenCheckedMemoryFile(memory_file, stderr, reader);
  ChannelFields fields;
  for (bool loads = false; ReadCheckedLine(reader, fields, loads);) {
    if (!loads) continue;
    // A load recognises modes 0-7 only, so that is what it can send.
    int mode = ValidMode(fields.mode) ? fields.mode : 0;
    std::string name = fields.name;
    name.erase(name.find_last_not_of(' ') + 1);
    int lost = 0;
    std::string text = NameToUtf8(name, lost);
    if (lost > 0) {
      Warn(reader.warnings, memory_file, reader.lines,
           "name " + Shown(text) + ": a byte that no character stands for is written as '?'");
    }
    // What CHIRP itself writes for what an HF channel does not have: no duplex
    // or offset, no tone squelch, its default tones, code and step, no skip,
    // no D-STAR calls.
    csv_rows.push_back(
        CsvRow({std::to_string(reader.lines - 1), text, MegahertzText(fields.frequency), "",
                "0.000000", "", "88.5", "88.5", "023", "NN", kChirpModes[mode], "5.00", "",
                CsvComment(mode, fields.filter), "", "", "", ""}));
  }
  result.warnings = CloseCheckedMemoryFile(reader);
  WriteLinesOf(csv_file, csv_rows);
  result.written = true;
  result.channels = static_cast<int>(csv_rows.size()) - 1;
  return result;
}

std::vector<std::string> CsvChannelLines(const std::string& csv_file, const std::string& outcome,
                                         int& channels, int& warnings_given) {
  CsvTable table;
  table.file = csv_file;
  OpenCsvForReading(csv_file, table.csv);
  if (last_error != 0) EndWithFileProblem(kReadOpenLine);
  std::vector<std::string> lines;
  if (ReadCsvHeader(table, outcome)) {
    // A column the radio needs and the file lacks is named once, not on every row.
    if (table.index[kMode] < 0)
      WarnAtRow(table,
                "the first line names no Mode column: every row is taken as FM, CHIRP's default");
    lines.resize(kChannels);
    long first_line[kChannels] = {};
    while (ReadCsvRecord(table.csv, table.record, std::string(1, table.separator)))
      if (ReadRowIntoChannel(table, first_line, lines)) channels++;
    if (table.csv.cut)
      WarnAtRow(table, "the file is longer than " + std::to_string(kCsvFileLimit >> 20) +
                           " MiB: what follows is not read");
    CloseCsvAfterReading(table.csv);
    if (last_error != 0) EndWithFileProblem(kReadCloseLine);
    for (int channel = 0; channel < kChannels; channel++)
      if (lines[channel].empty()) lines[channel] = FormatChannelLine(channel, false, "", "", 0, 0);
  }
  warnings_given = table.warnings;
  return lines;
}

Conversion ConvertCsvToMemoryFile(const std::string& csv_file, const std::string& memory_file) {
  Conversion result;
  result.refusal = WhatCannotBeMeant(csv_file, memory_file, false);
  if (!result.refusal.empty()) return result;
  std::vector<std::string> lines =
      CsvChannelLines(csv_file, memory_file + " is not written", result.channels, result.warnings);
  result.written = !lines.empty();
  if (result.written) WriteLinesOf(memory_file, lines);
  return result;
}
