// --to-csv and --from-csv: the memory file and CHIRP's CSV layout.
#include "jobs/csv_conversion.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "console/diagnostics.h"
#include "ending/fatal.h"
#include "jobs/csv_dialect.h"
#include "jobs/csv_file.h"
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

int warnings = 0;

// A warning about a whole line, on the error stream: the converted file may
// be going to the standard output.
void Warn(const std::string& file, long line, const std::string& text) {
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

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t at = 0;
  while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
    size_t end = text.find(' ', at);
    words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}

// Seven frequency digits (10 Hz steps) as CHIRP writes MHz: 7.030000, 14.234500.
std::string MegahertzText(const std::string& digits) {
  std::string whole = digits.substr(0, 2);
  if (whole[0] == '0') whole.erase(0, 1);
  return whole + "." + digits.substr(2) + "0";
}

enum class Frequency { kGood, kRounded, kNotANumber, kNegative, kTooHigh };

// MHz text to the memory file's seven digits, rounded to 10 Hz.
Frequency FrequencyDigits(const std::string& text, std::string& digits) {
  std::string number = Trimmed(text);
  bool negative = !number.empty() && number[0] == '-';
  if (!number.empty() && (number[0] == '-' || number[0] == '+')) number.erase(0, 1);
  size_t point = number.find('.');
  std::string whole = number.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : number.substr(point + 1);
  if (whole.empty() && fraction.empty()) return Frequency::kNotANumber;
  if ((whole + fraction).find_first_not_of("0123456789") != std::string::npos)
    return Frequency::kNotANumber;
  whole.erase(0, whole.find_first_not_of('0'));
  bool zero = whole.empty() && fraction.find_first_not_of('0') == std::string::npos;
  if (negative && !zero) return Frequency::kNegative;
  if (whole.size() > 2) return Frequency::kTooHigh;
  fraction.resize(std::max<size_t>(fraction.size(), 6), '0');
  long steps = std::stol("0" + whole) * 100000 + std::stol(fraction.substr(0, 5));
  bool finer = fraction.find_first_not_of('0', 5) != std::string::npos;
  if (fraction[5] >= '5') steps++;
  if (steps >= 10000000) return Frequency::kTooHigh;
  digits = std::to_string(steps);
  digits.insert(0, 7 - digits.size(), '0');
  return finer ? Frequency::kRounded : Frequency::kGood;
}

// A CSV mode word as the radio's mode number; -1 for none. `near` tells that
// the word is only close to the radio's mode (NFM as FM, DIG as USB, the
// reversed CW and FSK as CW and FSK). Auto names no mode.
int ModeNumber(const std::string& word, bool& near) {
  const char* const exact[6] = {"LSB", "USB", "AM", "CW", "FSK", "FM"};
  near = false;
  std::string mode = UpperCase(Trimmed(word));
  if (mode.empty()) return 5;  // CHIRP's own default
  for (int i = 0; i < 6; i++) {
    if (mode == exact[i]) return i;
  }
  near = true;
  if (mode == "NFM" || mode == "WFM") return 5;
  if (mode == "DIG") return 1;
  if (mode == "NAM") return 2;
  if (mode == "CWR" || mode == "NCW") return 3;
  if (mode == "RTTY" || mode == "RTTYR" || mode == "FSKR") return 4;
  return -1;
}

// The two conversions take their files in opposite orders: a pair of names
// that cannot be meant is refused before anything is written. "" when the
// conversion may go on, else why not.
std::string WhatCannotBeMeant(const std::string& input, const std::string& output, bool to_csv) {
  const std::string in = "\"" + input + "\"", out = "\"" + output + "\"";
  if (input != standard_stream_name && output != standard_stream_name && SameFile(input, output))
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

}  // namespace

// The kind of an existing plain file; anything else (a missing file, a
// stream, which a look would use up) is kNoFile. The first line is read as a
// load reads it (a UTF-8 separator in column 4 is B3 by then), and then as
// --from-csv reads a header row: in any of the separators, UTF-16 too.
FileKind KindOfFile(const std::string& name) {
  std::error_code error;
  if (name == standard_stream_name || !std::filesystem::is_regular_file(name, error))
    return FileKind::kNoFile;
  OpenMemoryFileForReading(name);
  std::string line = last_error == 0 ? ReadChannelLine() : "";
  CloseMemoryFileAfterReading();
  last_error = 0;
  if (line.size() >= 4 && line[3] == column_separator) return FileKind::kMemoryFile;
  OpenCsvForReading(name);
  CsvRecord header;
  bool have_header = last_error == 0 && ReadCsvRecord(header, kCsvSeparators);
  CloseCsvAfterReading();
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
  warnings = 0;
  Conversion result;
  result.refusal = WhatCannotBeMeant(memory_file, csv_file, true);
  if (!result.refusal.empty()) return result;
  OpenMemoryFileForReading(memory_file);
  if (last_error != 0) EndWithFileProblem(kReadOpenLine);
  std::vector<std::string> rows = {CsvRow(kCsvHeader)};
  // The file is read as --check reads it, and what the check finds is said
  // here too: the CSV gets what a load would send.
  BeginMemoryFileCheck(memory_file, stderr);
  int number = 1;
  for (; number <= kChannels && MoreLinesToRead(); number++) {
    int channel = number - 1;
    std::string line = ReadChannelLine();
    if (ReadFailed()) break;
    ChannelFields fields;
    if (!CheckChannelLine(number, line, fields)) continue;
    // A load recognises modes 0-7 only, so that is what it can send.
    int mode = ValidMode(fields.mode) ? fields.mode : 0;
    std::string name = fields.name;
    name.erase(name.find_last_not_of(' ') + 1);
    int lost = 0;
    std::string text = NameToUtf8(name, lost);
    if (lost > 0) {
      Warn(memory_file, number,
           "name " + Shown(text) + ": a byte that no character stands for is written as '?'");
    }
    // What CHIRP itself writes for what an HF channel does not have: no duplex
    // or offset, no tone squelch, its default tones, code and step, no skip,
    // no D-STAR calls.
    rows.push_back(CsvRow({std::to_string(channel), text, MegahertzText(fields.frequency), "",
                           "0.000000", "", "88.5", "88.5", "023", "NN", kChirpModes[mode], "5.00",
                           "", CsvComment(mode, fields.filter), "", "", "", ""}));
  }
  if (ReadFailed()) {
    CloseMemoryFileAfterReading();
    EndWithFileProblem(kReadCloseLine);
  }
  warnings += EndMemoryFileCheck(number);
  CloseMemoryFileAfterReading();
  if (last_error != 0) EndWithFileProblem(kReadCloseLine);
  // The same writing as a save: a new file that replaces the old one when complete.
  OpenMemoryFileForWriting(csv_file);
  if (last_error != 0) EndWithFileProblem(kWriteOpenLine);
  for (const std::string& row : rows) WriteChannelLine(row);
  CloseMemoryFileAfterWriting();
  if (last_error != 0) EndWithFileProblem(kWriteCloseLine);
  result.written = true;
  result.channels = static_cast<int>(rows.size()) - 1;
  result.warnings = warnings;
  return result;
}

Conversion ConvertCsvToMemoryFile(const std::string& csv_file, const std::string& memory_file) {
  warnings = 0;
  Conversion result;
  result.refusal = WhatCannotBeMeant(csv_file, memory_file, false);
  if (!result.refusal.empty()) return result;
  OpenCsvForReading(csv_file);
  if (last_error != 0) EndWithFileProblem(kReadOpenLine);
  // The header row shows the separator: read with all of them, it is split
  // at the one that gives a Location column.
  CsvRecord record;
  bool have_header = ReadCsvRecord(record, kCsvSeparators);
  char separator = CsvSeparatorOf(record);
  std::vector<std::string> header = CsvFieldsSplitAt(record, separator);
  // Columns are found by their names, in any order, in any case.
  enum Column { kLocation, kFrequency, kName, kMode, kComment, kDuplex, kTone, kSkip, kColumns };
  const char* const names[kColumns] = {"Location", "Frequency", "Name", "Mode",
                                       "Comment",  "Duplex",    "Tone", "Skip"};
  int index[kColumns];
  for (int column = 0; column < kColumns; column++) {
    index[column] = -1;
    for (size_t i = 0; i < header.size(); i++) {
      if (UpperCase(Trimmed(header[i])) == UpperCase(names[column])) {
        index[column] = static_cast<int>(i);
        break;
      }
    }
  }
  if (!have_header || record.too_long || index[kLocation] < 0 || index[kFrequency] < 0) {
    std::string why = "the file is empty";
    if (record.too_long) {
      why = "the first line is longer than " + std::to_string(kCsvRecordLimit) +
            " bytes, too long for a header row";
    } else if (have_header) {
      std::vector<std::string> shown;
      for (size_t i = 0; i < header.size() && i < 8; i++) shown.push_back(Shown(header[i]));
      if (header.size() > 8) shown.push_back("...");
      why = std::string("the first line names no ") +
            (index[kLocation] < 0 ? "Location" : "Frequency") + " column (split at each " +
            CsvSeparatorName(separator) + ", it holds " + Listed(shown) + ")";
    }
    // A file whose first read failed is not empty: the failure is what is said.
    CloseCsvAfterReading();
    if (last_error != 0) EndWithFileProblem(kReadCloseLine);
    Warn(csv_file, record.line, why + ": " + memory_file + " is not written");
    result.warnings = warnings;
    return result;
  }
  // A column the radio needs and the file lacks is named once, not on every row.
  if (index[kMode] < 0) {
    Warn(csv_file, record.line,
         "the first line names no Mode column: every row is taken as FM, CHIRP's default");
  }
  const std::string separators(1, separator);
  std::string lines[kChannels];
  long first_line[kChannels] = {};
  int filled = 0;
  while (ReadCsvRecord(record, separators)) {
    auto field = [&record, &index](Column column) {
      int i = index[column];
      return i >= 0 && i < static_cast<int>(record.fields.size()) ? record.fields[i]
                                                                  : std::string();
    };
    if (record.cut) {
      Warn(csv_file, record.line,
           "the row is cut off by the " + std::to_string(kCsvFileLimit >> 20) +
               " MiB limit: row skipped");
      continue;
    }
    if (record.open_quote_line > 0) {
      std::string row = record.open_quote_line == record.line
                            ? std::string("row")
                            : "row of line " + std::to_string(record.line);
      Warn(csv_file, record.open_quote_line,
           "a quote opens a field here and no quote closes it: " + row +
               " skipped, the lines after it read as rows of their own");
      continue;
    }
    if (record.too_long) {
      Warn(csv_file, record.line,
           "a row of more than " + std::to_string(kCsvRecordLimit) + " bytes is skipped");
      continue;
    }
    bool blank = true;
    for (const std::string& text : record.fields) blank = blank && Trimmed(text).empty();
    if (blank) continue;

    std::string location = Trimmed(field(kLocation));
    std::string significant = location.substr(
        std::min(location.find_first_not_of('0'), location.empty() ? 0 : location.size() - 1));
    int channel = -1;
    if (!location.empty() && significant.size() <= 2 &&
        location.find_first_not_of("0123456789") == std::string::npos) {
      channel = std::stoi(significant);
    }
    if (channel < 0 || channel >= kChannels) {
      Warn(csv_file, record.line, "Location " + Shown(location) + " is not 0 to 61: row skipped");
      continue;
    }
    if (first_line[channel] > 0) {
      Warn(csv_file, record.line,
           "Location " + location + " given twice (first on line " +
               std::to_string(first_line[channel]) + "): row skipped");
      continue;
    }
    std::string digits;
    std::string megahertz = Trimmed(field(kFrequency));
    Frequency verdict = FrequencyDigits(CsvDecimalPoint(megahertz, separator), digits);
    if (verdict == Frequency::kNotANumber || verdict == Frequency::kNegative ||
        verdict == Frequency::kTooHigh) {
      const char* why = verdict == Frequency::kNotANumber ? "is no number of MHz"
                        : verdict == Frequency::kNegative ? "is below 0"
                                                          : "is not below 100 MHz";
      Warn(csv_file, record.line, "Frequency " + Shown(megahertz) + " " + why + ": row skipped");
      continue;
    }
    if (verdict == Frequency::kRounded) {
      Warn(csv_file, record.line,
           "Frequency " + Shown(megahertz) + " is finer than 10 Hz: rounded to " +
               MegahertzText(digits));
    }
    if (digits == "0000000") {
      Warn(csv_file, record.line, "Frequency " + Shown(megahertz) + " is 0 MHz: written as it is");
    }
    bool near = false;
    std::string mode_word = field(kMode);
    int mode = ModeNumber(mode_word, near);
    if (mode < 0) {
      Warn(csv_file, record.line,
           "Mode " + Shown(mode_word) + " has no equivalent on the radio: row skipped");
      continue;
    }
    if (near) {
      Warn(csv_file, record.line,
           "Mode " + Shown(mode_word) + " is taken as " + Trimmed(ModeNames[mode]));
    }
    // The Comment is read in any case: "filter 2.4", and AMLS or AMUS with
    // Mode AM. Anything else in it is named.
    int filter = kDefaultFilter[mode];
    std::string comment = Trimmed(field(kComment));
    std::vector<std::string> words = Words(comment);
    bool understood = true;
    for (size_t i = 0; i < words.size(); i++) {
      std::string word = UpperCase(words[i]);
      if (word == "AMLS" || word == "AMUS") {
        if (mode == kAm) {
          mode = word == "AMLS" ? kAmLowerSideband : kAmUpperSideband;
        } else {
          Warn(csv_file, record.line,
               "Comment " + Shown(words[i]) + " is read only with Mode AM: ignored");
        }
        continue;
      }
      if (word != "FILTER" || i + 1 == words.size()) {
        understood = false;
        continue;
      }
      i++;
      int named = 0;
      for (int f = kFirstFilter; ValidFilter(f); f++) {
        if (CsvDecimalPoint(words[i], separator) == FilterNames[f]) named = f;
      }
      if (named == 0) {
        Warn(csv_file, record.line,
             "filter " + Shown(words[i]) +
                 " is not 6.0, 2.4, 1.8, .50 or .25: " + FilterNames[filter] + " taken");
      } else {
        filter = named;
      }
    }
    if (!understood) {
      Warn(csv_file, record.line,
           "Comment " + Shown(comment) +
               " is not understood (only 'filter 2.4', AMLS and AMUS are read): ignored");
    }
    std::vector<std::string> dropped;
    for (Column column : {kDuplex, kTone, kSkip}) {
      std::string value = Trimmed(field(column));
      if (value.empty()) continue;
      dropped.push_back(names[column] + (" " + Shown(value)));
    }
    if (!dropped.empty()) {
      Warn(csv_file, record.line,
           Listed(dropped) + ": the memory file has no place for " +
               (dropped.size() == 1 ? "it" : "them") + ", dropped");
    }
    std::string text = field(kName);
    text.erase(text.find_last_not_of(' ') + 1);
    int changed = 0;
    std::string name = NameFromUtf8(text, changed);
    if (name.size() > kNameLength &&
        name.find_first_not_of(' ', kNameLength) != std::string::npos) {
      int lost = 0;
      Warn(csv_file, record.line,
           "Name " + Shown(text) + " is cut to seven characters: " +
               Shown(NameToUtf8(name.substr(0, kNameLength), lost)));
    }
    name.resize(kNameLength, ' ');
    if (changed > 0) {
      int lost = 0;
      Warn(csv_file, record.line,
           "Name " + Shown(text) + " has characters code page 437 lacks: written as " +
               Shown(NameToUtf8(name, lost)));
    }
    if (name.find_first_of("\xFD\xFE") != std::string::npos) {
      Warn(csv_file, record.line,
           "Name " + Shown(text) +
               " has a character that is the byte FD or FE, which the radio receives as a blank");
    }
    first_line[channel] = record.line;
    lines[channel] = FormatChannelLine(channel, true, digits, name, mode, filter);
    filled++;
  }
  if (csv_file_cut) {
    Warn(csv_file, record.line,
         "the file is longer than " + std::to_string(kCsvFileLimit >> 20) +
             " MiB: what follows is not read");
  }
  CloseCsvAfterReading();
  if (last_error != 0) EndWithFileProblem(kReadCloseLine);
  // Written as a save writes: the old file stays until the new one is complete.
  OpenMemoryFileForWriting(memory_file);
  if (last_error != 0) EndWithFileProblem(kWriteOpenLine);
  for (int channel = 0; channel < kChannels; channel++) {
    if (lines[channel].empty()) lines[channel] = FormatChannelLine(channel, false, "", "", 0, 0);
    WriteChannelLine(lines[channel]);
  }
  CloseMemoryFileAfterWriting();
  if (last_error != 0) EndWithFileProblem(kWriteCloseLine);
  result.written = true;
  result.channels = filled;
  result.warnings = warnings;
  return result;
}
