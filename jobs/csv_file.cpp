// Reading and writing CSV records, and the code page of channel names.
#include "jobs/csv_file.h"

#include <string>
#include <vector>

#include "ending/fatal.h"
#include "jobs/memory_file.h"
#include "text/text.h"

namespace {

// Code page 437 as Unicode code points, byte by byte. 00 and the bytes that
// end a memory-file line or the file (0A, 0D, 1A) have no character here: a
// name must not carry them. The other control bytes are the graphic symbols
// that code page draws for them.
const char16_t kCodePage437[256] = {
    0,      0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,  // 00
    0x25D8, 0x25CB, 0,      0x2642, 0x2640, 0,      0x266B, 0x263C,  // 08
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,  // 10
    0x2191, 0x2193, 0,      0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,  // 18
    ' ',    '!',    '"',    '#',    '$',    '%',    '&',    '\'',    // 20
    '(',    ')',    '*',    '+',    ',',    '-',    '.',    '/',     // 28
    '0',    '1',    '2',    '3',    '4',    '5',    '6',    '7',     // 30
    '8',    '9',    ':',    ';',    '<',    '=',    '>',    '?',     // 38
    '@',    'A',    'B',    'C',    'D',    'E',    'F',    'G',     // 40
    'H',    'I',    'J',    'K',    'L',    'M',    'N',    'O',     // 48
    'P',    'Q',    'R',    'S',    'T',    'U',    'V',    'W',     // 50
    'X',    'Y',    'Z',    '[',    '\\',   ']',    '^',    '_',     // 58
    '`',    'a',    'b',    'c',    'd',    'e',    'f',    'g',     // 60
    'h',    'i',    'j',    'k',    'l',    'm',    'n',    'o',     // 68
    'p',    'q',    'r',    's',    't',    'u',    'v',    'w',     // 70
    'x',    'y',    'z',    '{',    '|',    '}',    '~',    0x2302,  // 78
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

// The next byte of the file as it stands, from the memory file's reader; -1
// at its end, after a read error (which closing the file reports) or at
// kCsvFileLimit.
int NextLimitedByte(CsvReader& csv) {
  if (!csv.reading) return -1;
  if (csv.bytes_taken == kCsvFileLimit) {
    csv.cut = NextFileByte(csv.file) >= 0;
    csv.reading = false;
    return -1;
  }
  int byte = NextFileByte(csv.file);
  if (byte < 0) {
    csv.reading = false;
    return -1;
  }
  csv.bytes_taken++;
  return byte;
}

long NextUtf16Unit(CsvReader& csv) {
  if (csv.pending_unit >= 0) {
    long unit = csv.pending_unit;
    csv.pending_unit = -1;
    return unit;
  }
  int first = NextLimitedByte(csv);
  int second = first < 0 ? -1 : NextLimitedByte(csv);
  if (second < 0) return -1;  // an odd last byte is no character
  return csv.encoding == CsvEncoding::kUtf16Little ? second << 8 | first : first << 8 | second;
}

// The next byte of the text: UTF-8, whatever the file's encoding.
int NextTextByte(CsvReader& csv) {
  if (csv.encoding == CsvEncoding::kUtf8) return NextLimitedByte(csv);
  if (csv.decoded_at < csv.decoded.size())
    return static_cast<unsigned char>(csv.decoded[csv.decoded_at++]);
  long unit = NextUtf16Unit(csv);
  if (unit < 0) return -1;
  char32_t code = static_cast<char32_t>(unit);
  if (unit >= 0xD800 && unit < 0xDC00) {
    long low = NextUtf16Unit(csv);
    if (low >= 0xDC00 && low < 0xE000) {
      code = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    } else {
      code = 0xFFFD;
      csv.pending_unit = low;
    }
  } else if (unit >= 0xDC00 && unit < 0xE000) {
    code = 0xFFFD;
  }
  csv.decoded.clear();
  AppendUtf8(csv.decoded, code);
  csv.decoded_at = 1;
  return static_cast<unsigned char>(csv.decoded[0]);
}

int NextByte(CsvReader& csv) {
  int byte;
  if (csv.pushed_back >= 0) {
    byte = csv.pushed_back;
    csv.pushed_back = -1;
  } else if (csv.replay_at < csv.replay.size()) {
    byte = static_cast<unsigned char>(csv.replay[csv.replay_at++]);
  } else {
    byte = NextTextByte(csv);
  }
  if (csv.recording && byte >= 0) csv.recorded += static_cast<char>(byte);
  return byte;
}

void GiveBack(CsvReader& csv, int byte) {
  csv.pushed_back = byte;
  if (csv.recording && byte >= 0) csv.recorded.pop_back();
}

// What was recorded is read again, before what was still to be read again.
void ReadRecordedAgain(CsvReader& csv) {
  csv.replay = csv.recorded + csv.replay.substr(csv.replay_at);
  csv.replay_at = 0;
  csv.recording = false;
  csv.recorded.clear();
}

bool IsSeparator(int byte, const std::string& separators) {
  return byte >= 0 && separators.find(static_cast<char>(byte)) != std::string::npos;
}

// The record being read, byte by byte.
struct RecordReading {
  std::string field;
  size_t size = 0;
  bool in_quotes = false;
  bool at_field_start = true;
  long quote_line = 0;  // where the quoted field being read began
  // A quoted field that runs over a line end may have a quote that nothing
  // closes. Then the field and the record end at that first line end; what
  // was read after it (kept by `recording`) is read again as the next lines.
  bool spans_lines = false;
  std::string field_before_line_end;
  size_t size_before_line_end = 0;
  long line_after_line_end = 0;
};

void EndAtFirstLineEnd(CsvReader& csv, CsvRecord& record, RecordReading& state) {
  ReadRecordedAgain(csv);
  csv.line_number = state.line_after_line_end;
  state.field = state.field_before_line_end;
  record.too_long = state.size_before_line_end > kCsvRecordLimit;
  record.open_quote_line = state.quote_line;
}

// A byte of a quoted field; false when it ends the record.
bool TakeQuotedByte(CsvReader& csv, CsvRecord& record, RecordReading& state, int byte,
                    const std::string& separators) {
  if (state.spans_lines && record.too_long) {
    EndAtFirstLineEnd(csv, record, state);
    return false;
  }
  if (byte == '"') {
    int next = NextByte(csv);
    if (next != '"') {
      state.in_quotes = false;
      // A closing quote stands before a separator, a line end or the end of
      // the file; anything else means the quote that opened this field was
      // never closed.
      if (state.spans_lines && next >= 0 && !IsSeparator(next, separators) && next != '\r' &&
          next != '\n') {
        EndAtFirstLineEnd(csv, record, state);
        return false;
      }
      GiveBack(csv, next);
      csv.recording = state.spans_lines = false;
      csv.recorded.clear();
      return true;
    }
  }
  if (byte == '\r' || byte == '\n') {
    // CR LF, a CR alone and an LF alone each end one line.
    if (byte == '\r') {
      int next = NextByte(csv);
      if (next == '\n') {
        if (!record.too_long) state.field += '\r';
        byte = next;
        state.size++;
      } else {
        GiveBack(csv, next);
      }
    }
    csv.line_number++;
    if (!state.spans_lines) {
      state.spans_lines = true;
      state.field_before_line_end = state.field;
      state.size_before_line_end = state.size;
      state.line_after_line_end = csv.line_number;
      csv.recording = true;
      csv.recorded.clear();
    }
  }
  if (!record.too_long) state.field += static_cast<char>(byte);
  return true;
}

// A byte outside quotes; false when it ends the record.
bool TakeByte(CsvReader& csv, CsvRecord& record, RecordReading& state, int byte,
              const std::string& separators) {
  if (byte == '"' && state.at_field_start) {
    state.in_quotes = true;
    state.at_field_start = false;
    state.quote_line = csv.line_number;
    return true;
  }
  state.at_field_start = false;
  if (IsSeparator(byte, separators)) {
    if (!record.too_long) record.fields.push_back(state.field);
    record.ends += static_cast<char>(byte);
    state.field.clear();
    state.at_field_start = true;
    return true;
  }
  if (byte == '\r') {
    // CR LF ends a record, and so does a CR alone.
    int next = NextByte(csv);
    if (next != '\n') GiveBack(csv, next);
    csv.line_number++;
    return false;
  }
  if (byte == '\n') {
    csv.line_number++;
    return false;
  }
  if (!record.too_long) state.field += static_cast<char>(byte);
  return true;
}

// The record's last field, after its line end or the end of the file.
void EndRecord(CsvReader& csv, CsvRecord& record, RecordReading& state, bool at_end_of_file) {
  if (at_end_of_file) {
    // The end of the file inside a quoted field: its quote is never closed.
    if (state.in_quotes && state.spans_lines) {
      EndAtFirstLineEnd(csv, record, state);
    } else if (state.in_quotes) {
      record.open_quote_line = state.quote_line;
    }
    record.cut = csv.cut && csv.replay_at >= csv.replay.size();
  }
  csv.recording = false;
  csv.recorded.clear();
  if (record.too_long) {
    record.fields.clear();
  } else {
    record.fields.push_back(state.field);
  }
  record.ends += '\n';
}

}  // namespace

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvRow(const std::vector<std::string>& fields) {
  std::string row;
  for (size_t i = 0; i < fields.size(); i++) {
    if (i > 0) row += ',';
    row += CsvField(fields[i]);
  }
  return row;
}

// The memory file's reader underneath: the same opening, byte-order mark
// and read errors.
void OpenCsvForReading(const std::string& name, CsvReader& csv) {
  csv = CsvReader();
  OpenMemoryFileForReading(name, csv.file);
  csv.reading = last_error == 0;
  if (!csv.reading || csv.file.had_byte_order_mark) return;
  // A UTF-16 byte-order mark, as spreadsheets write, is not part of the
  // text either; other first bytes are read again.
  int first = NextLimitedByte(csv);
  int second = first == 0xFF || first == 0xFE ? NextLimitedByte(csv) : -1;
  if (first == 0xFF && second == 0xFE) {
    csv.encoding = CsvEncoding::kUtf16Little;
  } else if (first == 0xFE && second == 0xFF) {
    csv.encoding = CsvEncoding::kUtf16Big;
  } else {
    for (int byte : {first, second}) {
      if (byte >= 0) csv.replay += static_cast<char>(byte);
    }
    return;
  }
  csv.bytes_taken = 0;
}

bool ReadCsvRecord(CsvReader& csv, CsvRecord& record, const std::string& separators) {
  record.fields.clear();
  record.ends.clear();
  record.too_long = record.cut = false;
  record.open_quote_line = 0;
  record.line = csv.line_number;
  int byte = NextByte(csv);
  if (byte < 0) return false;
  RecordReading state;
  for (; byte >= 0; byte = NextByte(csv)) {
    if (++state.size > kCsvRecordLimit) record.too_long = true;
    bool more = state.in_quotes ? TakeQuotedByte(csv, record, state, byte, separators)
                                : TakeByte(csv, record, state, byte, separators);
    if (!more) break;
  }
  EndRecord(csv, record, state, byte < 0);
  return true;
}

void CloseCsvAfterReading(CsvReader& csv) {
  csv.reading = false;
  CloseMemoryFileAfterReading(csv.file);
}

std::string NameToUtf8(const std::string& bytes, int& lost) {
  std::string text;
  for (unsigned char byte : bytes) {
    char16_t code = kCodePage437[byte];
    if (code == 0) {
      lost++;
      code = '?';
    }
    AppendUtf8(text, code);
  }
  return text;
}

std::string NameFromUtf8(const std::string& text, int& changed) {
  std::string bytes;
  size_t at = 0;
  while (at < text.size()) {
    long code = DecodeUtf8(text, at);
    int found = -1;
    for (int byte = 0; byte < 256 && code > 0; byte++) {
      if (kCodePage437[byte] == code) {
        found = byte;
        break;
      }
    }
    if (found < 0) {
      changed++;
      found = '?';
    }
    bytes += static_cast<char>(found);
  }
  return bytes;
}
