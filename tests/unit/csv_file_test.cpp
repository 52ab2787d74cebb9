// CSV records as the reader splits them, and channel names between code page
// 437 and UTF-8.
#include "jobs/csv_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "ending/fatal.h"
#include "unit_support.h"

namespace {

// Every record of a file's bytes, each as "LINE:field|field", a record whose
// quote nothing closed marked "LINE:(quote open at N)field|...".
std::string Records(const std::string& bytes) {
  ScratchDirectory directory;
  std::string name = directory / "list.csv";
  std::ofstream(name, std::ios::binary) << bytes;
  CsvReader csv;
  OpenCsvForReading(name, csv);
  std::string text;
  CsvRecord record;
  while (ReadCsvRecord(csv, record, ",;")) {
    text += (text.empty() ? "" : " ") + std::to_string(record.line) + ":";
    if (record.open_quote_line != 0)
      text += "(quote open at " + std::to_string(record.open_quote_line) + ")";
    for (size_t i = 0; i < record.fields.size(); i++) text += (i ? "|" : "") + record.fields[i];
  }
  CloseCsvAfterReading(csv);
  EXPECT_EQ(last_error, 0);
  return text;
}

TEST(CsvRecords, AsASpreadsheetMeansThem) {
  using namespace std::string_literals;  // "..."s keeps the NUL bytes of UTF-16
  struct Case {
    std::string bytes;
    const char* records;
  } cases[] = {
      {"a,b\r\nc;d\n"s, "1:a|b 2:c|d"},
      {"\"x,y\",\"say \"\"hi\"\"\"\n"s, "1:x,y|say \"hi\""},
      // A quoted line end belongs to its field; the next record starts on line 3.
      {"\"two\nlines\",b\nc\n"s, "1:two\nlines|b 3:c"},
      // A quote that nothing closes ends its field and record at the first
      // line end: the lines after it are records of their own.
      {"1,\"open\n2,x\n3,y\n"s, "1:(quote open at 1)1|open 2:2|x 3:3|y"},
      // Empty fields, a last line without its line end, a blank line between.
      {",,\n\nz"s, "1:|| 2: 3:z"},
      // UTF-16 after its byte-order mark reads as UTF-8.
      {"\xFF\xFE"
       "a\0,\0\xE9\0\n\0"s,
       "1:a|\xC3\xA9"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Records(c.bytes), c.records) << Hex(c.bytes);
  }
}

TEST(CsvNames, EveryCodePageByteWithACharacterComesBackAsItself) {
  for (int byte = 0; byte < 256; byte++) {
    int lost = 0, changed = 0;
    std::string utf8 = NameToUtf8(std::string(1, static_cast<char>(byte)), lost);
    std::string back = NameFromUtf8(utf8, changed);
    // 00 and the bytes that end a line or the file have no character.
    bool none = byte == 0x00 || byte == 0x0A || byte == 0x0D || byte == 0x1A;
    EXPECT_EQ(lost, none ? 1 : 0) << byte;
    EXPECT_EQ(back, none ? "?" : std::string(1, static_cast<char>(byte))) << byte;
  }
  // The separator's box line and a letter, as any UTF-8 editor shows them.
  int lost = 0, changed = 0;
  EXPECT_EQ(NameToUtf8("\xB3\x81", lost), "\xE2\x94\x82\xC3\xBC");
  // A character the code page lacks, and bytes that are no UTF-8.
  EXPECT_EQ(NameFromUtf8("\xE2\x82\xAC"
                         "\xC0\x80",
                         changed),
            "???");
  EXPECT_EQ(changed, 3);
}

}  // namespace
