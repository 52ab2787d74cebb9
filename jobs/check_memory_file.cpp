// --check: a memory file read the way a load reads it, with a word on every
// place where what the load does is not what the line seems to say.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "console/diagnostics.h"
#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "text/text.h"

namespace {

// A column of the line as read, counted as the file has it: a separator
// written in UTF-8 takes three bytes there, one in the line.
size_t FileColumn(const MemoryFileReader& reader, size_t column) {
  size_t file_column = column;
  for (size_t separator : reader.file.utf8_separator_columns) {
    if (separator < column) file_column += 2;
  }
  return file_column;
}

// A file column of a line, as shown: the first line's columns stand behind
// the byte-order mark in the file.
size_t Shown(const MemoryFileReader& reader, int line, size_t file_column) {
  return file_column + (line == 1 && reader.file.had_byte_order_mark ? 3 : 0);
}

// Column numbers in the words of a finding, counted as its place is: in the
// file's bytes.
std::string ColumnNumber(const MemoryFileReader& reader, size_t column) {
  return std::to_string(Shown(reader, reader.checking_line, FileColumn(reader, column)));
}

std::string ColumnText(const MemoryFileReader& reader, size_t column) {
  return "column " + ColumnNumber(reader, column);
}

std::string ColumnsText(const MemoryFileReader& reader, size_t first, size_t last) {
  return "columns " + ColumnNumber(reader, first) + "-" + ColumnNumber(reader, last);
}

void SayAtFileColumn(MemoryFileReader& reader, int line, size_t file_column, const char* kind,
                     const std::string& text) {
  if (line == reader.checking_line) {
    reader.pending.push_back({Shown(reader, line, file_column), kind, text});
  } else if (reader.findings) {
    PrintDiagnostic(reader.findings, reader.file.name, line, Shown(reader, line, file_column), kind,
                    text);
  }
}

void Say(MemoryFileReader& reader, int line, size_t column, const char* kind,
         const std::string& text) {
  SayAtFileColumn(reader, line, FileColumn(reader, column), kind, text);
}

void Warn(MemoryFileReader& reader, int line, size_t column, const std::string& text) {
  reader.warnings++;
  Say(reader, line, column, "warning", text);
}

// The one verdict ParseChannelLine gives such a line, explained.
void ExplainNothingLoaded(MemoryFileReader& reader, int number, const std::string& line) {
  std::string frequency = Columns(line, kFrequencyColumn, kFrequencyWidth);
  if (Columns(line, kFrequencyColumn, kMegahertzWidth) == "  ") {
    // An empty channel; worth a word only when the line holds more than that.
    std::string rest =
        Columns(line, kDecimalsColumn, kDecimalsWidth) + Columns(line, kNameColumn, kNameLength) +
        Columns(line, kModeColumn, kModeWidth) + Columns(line, kFilterColumn, kFilterWidth);
    if (!Trimmed(rest).empty()) {
      Warn(reader, number, kFrequencyColumn,
           "frequency columns hold " + Quoted(frequency) + " - blanks in " +
               ColumnsText(reader, kFrequencyColumn, kFrequencyColumn + 1) +
               " make this an empty channel: nothing of this line is "
               "loaded");
    }
    return;
  }
  if (line.size() >= kPointColumn && IsDigit(line[kPointColumn - 1])) {
    Warn(reader, number, kPointColumn,
         ColumnText(reader, kPointColumn) +
             " holds a digit where the point belongs: the frequency columns " + Quoted(frequency) +
             " are misaligned - this line loads nothing");
  } else if (line.empty()) {
    Warn(reader, number, 1, "the line is empty - it loads nothing");
  } else {
    Warn(reader, number, kFrequencyColumn,
         "frequency columns hold " + Quoted(frequency) + ", not seven digits in " +
             ColumnsText(reader, kFrequencyColumn, kFrequencyColumn + 1) + " and " +
             ColumnNumber(reader, kDecimalsColumn) + "-" +
             ColumnNumber(reader, kDecimalsColumn + kDecimalsWidth - 1) +
             " - this line loads nothing");
  }
}

void CheckLabel(MemoryFileReader& reader, int number, const std::string& line) {
  const int channel = number - 1;
  std::string label = Columns(line, kLabelColumn, kLabelWidth);
  if (Trimmed(label) == std::to_string(channel)) return;
  Warn(reader, number, 1,
       ColumnsText(reader, kLabelColumn, kLabelColumn + kLabelWidth - 1) + " hold " +
           Quoted(label) + ", but line " + std::to_string(number) + " programs channel " +
           std::to_string(channel));
}

// A UTF-8 character, as U+XXXX.
std::string CodePoint(const std::string& bytes) {
  size_t at = 0;
  unsigned long point = static_cast<unsigned long>(DecodeUtf8(bytes, at));
  std::string digits;
  for (; point > 0 || digits.size() < 4; point >>= 4)
    digits.insert(0, 1, "0123456789ABCDEF"[point & 0xF]);
  return "U+" + digits;
}

void CheckName(MemoryFileReader& reader, int number, const std::string& line) {
  std::string name = Columns(line, kNameColumn, kNameLength);
  for (size_t i = 0; i < name.size(); i++) {
    // A name typed in a UTF-8 editor: the radio takes every byte as a
    // character of code page 437. When the separator after the name has
    // moved, the character is why; otherwise the bytes may be the radio's
    // own (a save writes them as they come), and a note says what they are.
    size_t length = Utf8Length(line, kNameColumn - 1 + i);
    if (length > 1) {
      const std::string bytes = line.substr(kNameColumn - 1 + i, length);
      std::string shown;
      for (char byte : bytes)
        shown += (shown.empty() ? "" : " ") + Hex2(static_cast<unsigned char>(byte));
      const size_t separator = kNameColumn + kNameLength;
      if (line.size() >= separator && line[separator - 1] != kColumnSeparator) {
        Warn(reader, number, kNameColumn + i,
             "the name holds the UTF-8 character " + CodePoint(bytes) + " (" + shown + "), " +
                 std::to_string(length) +
                 " bytes: the radio shows each byte as a character of its own, and the columns "
                 "after it lie " +
                 std::to_string(length - 1) + (length == 2 ? " byte" : " bytes") +
                 " further right than an editor shows them (columns count bytes)");
      } else if (!reader.utf8_name_noted) {
        reader.utf8_name_noted = true;
        Say(reader, number, kNameColumn + i, "note",
            "name bytes " + shown + " are " + CodePoint(bytes) +
                " in UTF-8, here and maybe elsewhere: the radio shows them as " +
                std::to_string(length) + " characters of code page 437");
      }
      i += length - 1;
      continue;
    }
    char c = name[i];
    if (c == '\xFD' || c == '\xFE') {
      Warn(reader, number, kNameColumn + i,
           "name byte " + Hex2(static_cast<unsigned char>(c)) +
               " is sent as a blank (it would end or restart the frame)");
    } else if ((static_cast<unsigned char>(c) < ' ' && c != '\t') || c == '\x7F') {
      Warn(reader, number, kNameColumn + i,
           "name byte " + Hex2(static_cast<unsigned char>(c)) +
               " is a control character, sent to the radio as it is");
    }
  }
}

// What a load sends for a mode or filter text it does not know: the number
// the last known text of this file set, or, before any, what the run held.
std::string SentInstead(const char* what, int from_line, const std::string& text,
                        const char* fresh_run) {
  if (from_line == 0) {
    return std::string("the ") + what + " from before this load is sent (" + fresh_run + ")";
  }
  return std::string("the ") + what + " of line " + std::to_string(from_line) + " (" + text +
         ") is sent";
}

void CheckMode(MemoryFileReader& reader, int number, const std::string& line, int mode_before) {
  std::string text = Columns(line, kModeColumn, kModeWidth);
  if (ModeNumber(text) >= 0) {
    reader.mode_line = number;
    return;
  }
  std::string instead = SentInstead("mode", reader.mode_line, Trimmed(ModeNames[mode_before]),
                                    "LSB, mode 0, in a run that has not loaded or saved before");
  if (line.size() < kModeColumn) {
    Warn(reader, number, line.size() + 1,
         "the line ends before the mode's " + ColumnText(reader, kModeColumn) + " - " + instead);
  } else {
    Warn(reader, number, kModeColumn,
         "mode " + Quoted(text) + " is not one of LSB, USB, AM, CW, FSK, FM, AMLS, AMUS - " +
             instead);
  }
}

void CheckFilter(MemoryFileReader& reader, int number, const std::string& line, int filter_before) {
  std::string text = Columns(line, kFilterColumn, kFilterWidth);
  if (FilterNumber(text) >= 0) {
    reader.filter_line = number;
    return;
  }
  std::string instead = SentInstead("filter", reader.filter_line, FilterNames[filter_before],
                                    "filter number 0, in a run that has not loaded before");
  if (line.size() < kFilterColumn) {
    Warn(
        reader, number, line.size() + 1,
        "the line ends before the filter's " + ColumnText(reader, kFilterColumn) + " - " + instead);
  } else {
    Warn(reader, number, kFilterColumn,
         "filter " + Quoted(text) + " is not one of 6.0, 2.4, 1.8, .50, .25 - " + instead);
  }
}

bool CheckLine(MemoryFileReader& reader, int number, const std::string& line,
               ChannelFields& fields) {
  if (!reader.utf8_noted && !reader.file.utf8_separator_columns.empty()) {
    reader.utf8_noted = true;
    Say(reader, number, reader.file.utf8_separator_columns[0], "note",
        "the separator is the UTF-8 character U+2502 (E2 94 82) here and maybe elsewhere: a "
        "load reads it as the byte B3, the separator a save writes (columns count bytes, "
        "three for each such separator)");
  }
  if (line.size() + 2 * reader.file.utf8_separator_columns.size() == kLineLimit) {
    Warn(reader, number, line.size() + 1,
         "the line is cut after 4096 bytes - what follows is read as the next line, for the next "
         "channel");
  }
  // A CR that no LF follows does not end a line where a load reads it: a file
  // with CR alone between its lines reads as one long line.
  size_t cr = line.find('\r');
  if (cr != std::string::npos) {
    Warn(reader, number, cr + 1,
         "a CR without an LF, which does not end a line - line ends are CR LF or LF, and what "
         "follows is read as part of this line");
  }
  size_t tab = line.find('\t');
  if (tab != std::string::npos) {
    Warn(reader, number, tab + 1,
         "a tab, which a load counts as one column, not as blanks to a tab stop");
  }
  const int mode_before = current_mode;
  const int filter_before = current_filter;
  if (!ParseChannelLine(line, fields)) {
    ExplainNothingLoaded(reader, number, line);
    return false;
  }
  CheckLabel(reader, number, line);
  for (size_t column : kSeparatorColumns) {
    if (line.size() >= column && line[column - 1] != kColumnSeparator) {
      Warn(reader, number, column,
           ColumnText(reader, column) + " holds " + Quoted(line.substr(column - 1, 1)) +
               " where the separator B3 belongs - the columns after it may be shifted");
    }
  }
  CheckName(reader, number, line);
  CheckMode(reader, number, line, mode_before);
  CheckFilter(reader, number, line, filter_before);
  return true;
}

bool CheckChannelLine(MemoryFileReader& reader, int number, const std::string& line,
                      ChannelFields& fields) {
  reader.checking_line = number;
  reader.pending.clear();
  bool loads = CheckLine(reader, number, line, fields);
  reader.checking_line = 0;
  std::stable_sort(reader.pending.begin(), reader.pending.end(),
                   [](const LineFinding& a, const LineFinding& b) { return a.column < b.column; });
  for (const LineFinding& finding : reader.pending) {
    if (reader.findings)
      PrintDiagnostic(reader.findings, reader.file.name, number, finding.column, finding.kind,
                      finding.text);
  }
  reader.pending.clear();
  // A Ctrl-Z inside the line ended the file: said at the end of the check,
  // with what it leaves.
  if (reader.file.ctrl_z_column > 0 && reader.ctrl_z_line == 0) {
    reader.ctrl_z_line = number;
    reader.ctrl_z_column = reader.file.ctrl_z_column;
  }
  return loads;
}

// The findings of the file as a whole, once its last line is read: `number`
// is the first line not read.
int EndOfFileFindings(MemoryFileReader& reader, int number) {
  // Line n programs channel n - 1: the first channel without a line is
  // the number of lines the file has.
  std::string lines = std::to_string(number - 1);
  std::string left = number == kChannels
                         ? "channel 61 is left as the radio has it"
                         : "channels " + lines + " to 61 are left as the radio has them";
  // A Ctrl-Z ends the file wherever it stands: inside a line (CheckChannelLine
  // kept its place) or at the start of the line after the last one read.
  int ctrl_z_at = reader.ctrl_z_line;
  size_t ctrl_z_at_column = reader.ctrl_z_column;
  if (ctrl_z_at == 0 && number <= kChannels && reader.file.ctrl_z_column == 1) {
    ctrl_z_at = number;
    ctrl_z_at_column = 1;
  }
  // In the 62nd line it matters only where it cuts the columns a load reads.
  const size_t line_end = kFilterColumn + kFilterWidth;
  reader.ended_early = false;
  if (ctrl_z_at > 0 && (number <= kChannels || ctrl_z_at_column < line_end)) {
    reader.warnings++;
    SayAtFileColumn(reader, ctrl_z_at, ctrl_z_at_column, "warning",
                    "the byte 1A (Ctrl-Z) ends the file here: nothing after it is read" +
                        (number <= kChannels ? " - " + left : std::string()));
  } else if (number <= kChannels && ctrl_z_at == 0) {
    reader.ended_early = true;
    Warn(reader, number, 1,
         number == 1 ? "the file is empty - all 62 channels are left as the radio has them"
                     : "the file ends after line " + lines + " - " + left);
  } else if (MoreLinesToRead(reader.file)) {
    Warn(reader, kChannels + 1, 1, "lines after the 62nd are not loaded");
  }
  return reader.warnings;
}

// Nothing of a file that could not be read is used.
void EndIfReadFailed(MemoryFileReader& reader) {
  if (!reader.file.failed) return;
  CloseMemoryFileAfterReading(reader.file);
  EndWithFileProblem(kReadCloseLine);
}

}  // namespace

void OpenCheckedMemoryFile(const std::string& name, std::FILE* out, MemoryFileReader& reader) {
  reader = MemoryFileReader();
  OpenMemoryFileForReading(name, reader.file);
  if (last_error != 0) EndWithFileProblem(kReadOpenLine);
  reader.findings = out;
  if (reader.file.had_byte_order_mark && reader.findings) {
    // The mark itself is at column 1, before the columns Say counts.
    PrintDiagnostic(reader.findings, reader.file.name, 1, 1, "note",
                    "the file begins with a UTF-8 byte-order mark (EF BB BF), which a load skips");
  }
}

bool ReadCheckedLine(MemoryFileReader& reader, ChannelFields& fields, bool& loads) {
  if (reader.lines == kChannels || !MoreLinesToRead(reader.file)) {
    EndIfReadFailed(reader);
    return false;
  }
  std::string line = ReadChannelLine(reader.file);
  EndIfReadFailed(reader);
  int number = ++reader.lines;
  if (number == 1) reader.memory_file = line.size() >= 4 && line[3] == kColumnSeparator;
  fields = ChannelFields();
  loads = CheckChannelLine(reader, number, line, fields);
  return true;
}

int CloseCheckedMemoryFile(MemoryFileReader& reader) {
  int warnings = EndOfFileFindings(reader, reader.lines + 1);
  CloseMemoryFileAfterReading(reader.file);
  if (last_error != 0) EndWithFileProblem(kReadCloseLine);
  return warnings;
}

CheckedFile ReadCheckedMemoryFile(const std::string& name, std::FILE* out) {
  CheckedFile checked;
  MemoryFileReader reader;
  OpenCheckedMemoryFile(name, out, reader);
  for (;;) {
    int before = reader.warnings;
    ChannelFields fields;
    bool loads = false;
    if (!ReadCheckedLine(reader, fields, loads)) break;
    const int channel = reader.lines - 1;
    checked.loads[channel] = loads;
    checked.fields[channel] = fields;
    checked.line_warnings[channel] = reader.warnings - before;
  }
  checked.warnings = CloseCheckedMemoryFile(reader);
  checked.lines = reader.lines;
  checked.ends_early = reader.ended_early;
  checked.memory_file = reader.memory_file;
  return checked;
}

FileCheck CheckMemoryFile(const std::string& name, std::FILE* out) {
  CheckedFile checked = ReadCheckedMemoryFile(name, out);
  return {static_cast<int>(std::count(checked.loads, checked.loads + kChannels, true)),
          checked.warnings};
}
