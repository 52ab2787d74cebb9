// The CSV dialects: which separator a header row shows, a header's names
// found whatever spaces surround them, and the decimal comma.
#include "jobs/csv_dialect.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "jobs/csv_conversion.h"
#include "unit_support.h"

namespace {

// A header row as ReadCsvRecord gives it read with all the separators (no
// quotes in these).
CsvRecord Header(const std::string& text) {
  CsvRecord record;
  record.fields.emplace_back();
  for (char byte : text) {
    if (kCsvSeparators.find(byte) == std::string::npos) {
      record.fields.back() += byte;
      continue;
    }
    record.ends += byte;
    record.fields.emplace_back();
  }
  record.ends += '\n';
  return record;
}

TEST(CsvSeparatorOf, TheOneGivingALocationColumnElseTheMostUsedFirstOnATie) {
  const struct {
    std::string header;
    char separator;
  } cases[] = {
      {"Location;Name,Frequency,Mode", ';'},
      {"a,b,c; Location ", ';'},     // its name padded with spaces
      {"Location,x;Location", ','},  // both give one: the comma first
      {"a;b;c\td,e", ';'},           // no Location: the most used
      {"a,b;c", ','},                // a tie: in the order comma, semicolon, tab
      {"a;b\tc", ';'},
      {"Name", ','},
  };
  for (const auto& c : cases) EXPECT_EQ(CsvSeparatorOf(Header(c.header)), c.separator) << c.header;
}

TEST(CsvDecimalPoint, OnlyOneCommaAndOnlyWhereTheCommaDoesNotSeparate) {
  const struct {
    std::string number;
    char separator;
    std::string read;
  } cases[] = {
      {"3,55", ';', "3.55"},   {"3,55", '\t', "3.55"},  {"3,55", ',', "3,55"},
      {"1,2,3", ';', "1,2,3"}, {"3.5,5", ';', "3.5,5"}, {"7", ';', "7"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CsvDecimalPoint(c.number, c.separator), c.read) << c.number << c.separator;
}

TEST(CsvHeader, NamesPaddedWithSpacesAreTheColumns) {
  ScratchDirectory directory;
  std::string csv = directory / "list.csv";
  std::ofstream(csv, std::ios::binary) << " Location , Frequency ,Mode\r\n0,7.05,CW\r\n";
  EXPECT_EQ(KindOfFile(csv), FileKind::kCsv);
  Conversion done = ConvertCsvToMemoryFile(csv, directory / "list.txt");
  EXPECT_TRUE(done.written);
  EXPECT_EQ(done.channels, 1);
  EXPECT_EQ(done.warnings, 0);
}

}  // namespace
