// The memory file: building and taking apart channel lines, reading lines
// from a file, and writing a file that only replaces the old one when done.
#include "jobs/memory_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "ending/fatal.h"
#include "jobs/backup_name.h"
#include "jobs/channel_line.h"
#include "memory_file_support.h"
#include "unit_support.h"

namespace {

const std::string bar = "\xB3";

// ---- Building lines ----

TEST(ChannelLabel, RightAlignedInThreeColumns) {
  EXPECT_EQ(ChannelLabel(0), "  0");
  EXPECT_EQ(ChannelLabel(9), "  9");
  EXPECT_EQ(ChannelLabel(10), " 10");
  EXPECT_EQ(ChannelLabel(61), " 61");
}

TEST(FormatChannelLine, AnEmptyChannelShowsOnlyItsLabel) {
  // Whatever the fields hold: an empty channel has no frequency, name, mode or filter.
  const std::string blanks = bar + "  .     " + bar + "       " + bar + "    " + bar + "   ";
  EXPECT_EQ(FormatChannelLine(0, false, "1423450", "BEACON ", 1, 2), "  0" + blanks);
  EXPECT_EQ(FormatChannelLine(9, false, "1423450", "BEACON ", 1, 2), "  9" + blanks);
  EXPECT_EQ(FormatChannelLine(61, false, "0705000", "X", 7, 5), " 61" + blanks);
}

struct FormatCase {
  std::string frequency;
  std::string name;
  int mode;
  int filter;
  std::string line;  // as written for channel 7
};

void PrintTo(const FormatCase& c, std::ostream* out) {
  *out << "[" << Hex(c.line) << "]";
}

class FormatChannelLineTest : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatChannelLineTest, FilledLineIs29Bytes) {
  const FormatCase& c = GetParam();
  std::string line = FormatChannelLine(7, true, c.frequency, c.name, c.mode, c.filter);
  EXPECT_EQ(Hex(line), Hex(c.line)) << "mode " << c.mode << ", filter " << c.filter;
  EXPECT_EQ(line.size(), 29u);
}

std::string Filled(const std::string& column, const std::string& name, const std::string& mode,
                   const std::string& filter) {
  return "  7" + bar + column + bar + name + bar + mode + bar + filter;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, FormatChannelLineTest,
    testing::Values(
        FormatCase{"1423450", "BEACON ", 0, 1, Filled("14.23450", "BEACON ", "LSB ", "6.0")},
        FormatCase{"1423450", "BEACON ", 2, 3, Filled("14.23450", "BEACON ", "AM  ", "1.8")},
        FormatCase{"1423450", "BEACON ", 3, 4, Filled("14.23450", "BEACON ", "CW  ", ".50")},
        FormatCase{"1423450", "BEACON ", 4, 5, Filled("14.23450", "BEACON ", "FSK ", ".25")},
        FormatCase{"1423450", "BEACON ", 5, 2, Filled("14.23450", "BEACON ", "FM  ", "2.4")},
        FormatCase{"1423450", "BEACON ", 6, 2, Filled("14.23450", "BEACON ", "AMLS", "2.4")},
        FormatCase{"1423450", "BEACON ", 7, 2, Filled("14.23450", "BEACON ", "AMUS", "2.4")},
        // Filters outside 1-5 are written as 2.4.
        FormatCase{"1423450", "BEACON ", 1, 0, Filled("14.23450", "BEACON ", "USB ", "2.4")},
        FormatCase{"1423450", "BEACON ", 1, 6, Filled("14.23450", "BEACON ", "USB ", "2.4")},
        FormatCase{"1423450", "BEACON ", 1, 255, Filled("14.23450", "BEACON ", "USB ", "2.4")},
        FormatCase{"1423450", "BEACON ", 1, -1, Filled("14.23450", "BEACON ", "USB ", "2.4")},
        // Modes without a name keep their four columns blank.
        FormatCase{"1423450", "BEACON ", 8, 2, Filled("14.23450", "BEACON ", "    ", "2.4")},
        FormatCase{"1423450", "BEACON ", 9, 2, Filled("14.23450", "BEACON ", "    ", "2.4")},
        FormatCase{"1423450", "BEACON ", 253, 2, Filled("14.23450", "BEACON ", "    ", "2.4")},
        FormatCase{"1423450", "BEACON ", -1, 2, Filled("14.23450", "BEACON ", "    ", "2.4")},
        // A frequency request without an answer.
        FormatCase{"000000000", "BEACON ", 1, 2, Filled("00.00000", "BEACON ", "USB ", "2.4")},
        // The name: padded or cut to seven bytes; line breaks and Ctrl-Z become blanks.
        FormatCase{"0705000", "AB", 1, 2, Filled("07.05000", "AB     ", "USB ", "2.4")},
        FormatCase{"0705000", "", 1, 2, Filled("07.05000", "       ", "USB ", "2.4")},
        FormatCase{"0705000", "NINECHARS", 1, 2, Filled("07.05000", "NINECHA", "USB ", "2.4")},
        FormatCase{"0705000",
                   "A\nB\rC\x1A"
                   "D",
                   1, 2, Filled("07.05000", "A B C D", "USB ", "2.4")},
        FormatCase{"0705000", "A\xB3\xFF\x01Z", 1, 2,
                   Filled("07.05000", "A\xB3\xFF\x01Z  ", "USB ", "2.4")}));

// ---- Taking lines apart ----

class ParseChannelLineTest : public testing::Test {
 protected:
  void SetUp() override {
    current_mode = 3;
    current_filter = 4;
  }
  void TearDown() override {
    current_mode = 0;
    current_filter = 0;
  }
  ChannelFields fields;
};

TEST_F(ParseChannelLineTest, EveryModeAndFilterTextIsRecognised) {
  const char* modes[] = {"LSB ", "USB ", "AM  ", "CW  ", "FSK ", "FM  ", "AMLS", "AMUS"};
  const char* filters[] = {"6.0", "2.4", "1.8", ".50", ".25"};
  for (int mode = 0; mode <= 7; mode++) {
    for (int filter = 1; filter <= 5; filter++) {
      std::string line = Filled("14.23450", "BEACON ", modes[mode], filters[filter - 1]);
      ASSERT_TRUE(ParseChannelLine(line, fields));
      EXPECT_EQ(fields.mode, mode);
      EXPECT_EQ(fields.filter, filter);
    }
  }
}

TEST_F(ParseChannelLineTest, ABlankInColumnFiveIsAZero) {
  ASSERT_TRUE(ParseChannelLine(Filled(" 7.05000", "BEACON ", "USB ", "2.4"), fields));
  EXPECT_EQ(fields.frequency, "0705000");
}

TEST_F(ParseChannelLineTest, TrailingBlanksOfTheDecimalsAreZeros) {
  ASSERT_TRUE(ParseChannelLine(Filled(" 7.05   ", "BEACON ", "USB ", "2.4"), fields));
  EXPECT_EQ(fields.frequency, "0705000");
  ASSERT_TRUE(ParseChannelLine("  7" + bar + "14.     ", fields));
  EXPECT_EQ(fields.frequency, "1400000");
}

TEST_F(ParseChannelLineTest, FrequencyOfAnUnansweredRequestReadsBack) {
  ASSERT_TRUE(ParseChannelLine(FormatChannelLine(0, true, "000000000", "       ", 1, 2), fields));
  EXPECT_EQ(fields.frequency, "0000000");
}

TEST_F(ParseChannelLineTest, AnythingButADigitInColumnSevenAndTheLabelAreNotLookedAt) {
  ASSERT_TRUE(ParseChannelLine(
      " 42" + bar + "14x23450" + bar + "BEACON " + bar + "USB " + bar + "2.4", fields));
  EXPECT_EQ(fields.frequency, "1423450");
  ASSERT_TRUE(ParseChannelLine(Filled("14,23450", "BEACON ", "USB ", "2.4"), fields));
  EXPECT_EQ(fields.frequency, "1423450");
  EXPECT_EQ(fields.mode, 1);
  EXPECT_EQ(fields.filter, 2);
}

TEST_F(ParseChannelLineTest, TheNameIsTakenByColumn) {
  std::string name = "AB" + bar + "CD" + bar + "E";
  ASSERT_TRUE(ParseChannelLine(Filled("14.23450", name, "USB ", "2.4"), fields));
  EXPECT_EQ(Hex(fields.name), Hex(name));
  EXPECT_EQ(fields.mode, 1);
  EXPECT_EQ(fields.filter, 2);
}

TEST_F(ParseChannelLineTest, UnrecognisedTextsKeepTheCurrentNumbers) {
  for (const std::string& line :
       {Filled("14.23450", "BEACON ", "usb ", "2.5"), Filled("14.23450", "BEACON ", "    ", "   "),
        Filled("14.23450", "BEACON ", "USB", "2.4").substr(0, 24),
        Filled("14.23450", "BEACON ", "Usb ", "2,4")}) {
    current_mode = 3;
    current_filter = 4;
    ASSERT_TRUE(ParseChannelLine(line, fields)) << Hex(line);
    EXPECT_EQ(fields.mode, 3) << Hex(line);
    EXPECT_EQ(fields.filter, 4) << Hex(line);
    EXPECT_EQ(current_mode, 3);
    EXPECT_EQ(current_filter, 4);
  }
}

TEST_F(ParseChannelLineTest, AModeAloneChangesOnlyTheMode) {
  ASSERT_TRUE(ParseChannelLine(Filled("14.23450", "BEACON ", "FM  ", "6.1"), fields));
  EXPECT_EQ(fields.mode, 5);
  EXPECT_EQ(fields.filter, 4);
  ASSERT_TRUE(ParseChannelLine(Filled("14.23450", "BEACON ", "FMX ", ".25"), fields));
  EXPECT_EQ(fields.mode, 5);
  EXPECT_EQ(fields.filter, 5);
}

TEST_F(ParseChannelLineTest, ALineOfMode8ReadsWithTheCurrentMode) {
  ASSERT_TRUE(ParseChannelLine(FormatChannelLine(3, true, "1423450", "BEACON ", 8, 5), fields));
  EXPECT_EQ(fields.mode, 3);
  EXPECT_EQ(fields.filter, 5);
}

class LoadsNothingTest : public ParseChannelLineTest,
                         public testing::WithParamInterface<std::string> {};

TEST_P(LoadsNothingTest, AndKeepsTheCurrentNumbers) {
  EXPECT_FALSE(ParseChannelLine(GetParam(), fields)) << Hex(GetParam());
  EXPECT_EQ(current_mode, 3);
  EXPECT_EQ(current_filter, 4);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LoadsNothingTest,
    testing::Values(
        // Empty channels: two blanks in columns 5-6, whatever else the line holds.
        FormatChannelLine(12, false, "", "", 0, 0),
        "  7" + bar + "  .23450" + bar + "BEACON " + bar + "USB " + bar + "2.4", "  7" + bar + "  ",
        "  7" + bar + "  .",
        // No complete frequency.
        std::string(""), std::string("  7"), "  7" + bar, "  7" + bar + "1",
        "  7" + bar + "14.2345", "  7" + bar + "14.234",
        "  7" + bar + "1x.23450" + bar + "BEACON " + bar + "USB " + bar + "2.4",
        "  7" + bar + "14.2 450" + bar + "BEACON " + bar + "USB " + bar + "2.4",
        "  7" + bar + "1 .23450" + bar + "BEACON " + bar + "USB " + bar + "2.4",
        "  7" + bar + "1 .     " + bar + "BEACON " + bar + "USB " + bar + "2.4",
        "  7" + bar + "-1.23450" + bar + "BEACON " + bar + "USB " + bar + "2.4",
        "  7" + bar + "14.2345\t" + bar + "BEACON " + bar + "USB " + bar + "2.4",
        // A digit where the point belongs: a frequency out of its columns.
        "  7" + bar + "1423450 " + bar + "BEACON " + bar + "USB " + bar + "2.4",
        "  7" + bar + " 705000 " + bar + "BEACON " + bar + "USB " + bar + "2.4"));

// ---- Reading a file ----

class ReadChannelLineTest : public testing::Test {
 protected:
  void TearDown() override { CloseMemoryFileAfterReading(file); }
  FileReader file;

  // Opens a file holding `content` and reads `count` lines from it.
  std::vector<std::string> ReadLines(const std::string& content, int count = 62) {
    std::string name = directory / "memories.txt";
    std::ofstream(name, std::ios::binary) << content;
    OpenMemoryFileForReading(name, file);
    EXPECT_EQ(last_error, 0);
    std::vector<std::string> lines;
    for (int i = 0; i < count; i++) lines.push_back(ReadChannelLine(file));
    CloseMemoryFileAfterReading(file);
    EXPECT_EQ(last_error, 0);
    return lines;
  }

  static std::vector<std::string> Then(std::vector<std::string> lines, int total = 62) {
    lines.resize(total);
    return lines;
  }

  ScratchDirectory directory;
};

struct ReadCase {
  const char* about;
  std::string content;
  std::vector<std::string> lines;  // the first ones; empty lines follow up to 62
};

void PrintTo(const ReadCase& c, std::ostream* out) {
  *out << c.about;
}

class ReadLinesTest : public ReadChannelLineTest, public testing::WithParamInterface<ReadCase> {};

TEST_P(ReadLinesTest, GiveTheLinesThenEmptyLines) {
  EXPECT_EQ(ReadLines(GetParam().content), Then(GetParam().lines));
}

std::string EveryByteButLineEndsAndCtrlZ() {
  std::string line;
  for (int byte = 0; byte < 256; byte++) {
    if (byte != '\n' && byte != '\r' && byte != 0x1A) line += static_cast<char>(byte);
  }
  return line;
}

INSTANTIATE_TEST_SUITE_P(
    Contents, ReadLinesTest,
    testing::Values(
        ReadCase{"an empty file", "", {}},
        ReadCase{"LF and CR LF end lines", "one\ntwo\r\nthree\r\n", {"one", "two", "three"}},
        ReadCase{"CR LF alone", "one\r\ntwo\r\nthree\r\n", {"one", "two", "three"}},
        ReadCase{"a CR alone is an ordinary byte", "one\rtwo\rthree\r", {"one\rtwo\rthree"}},
        ReadCase{"a CR before CR LF", "a\r\r\nb\n", {"a\r", "b"}},
        ReadCase{"a CR at the very end is dropped", "one\ntwo\r", {"one", "two"}},
        ReadCase{"a CR before Ctrl-Z is dropped", "one\ntwo\r\x1Athree\n", {"one", "two"}},
        ReadCase{"Ctrl-Z ends the file", "one\ntw\x1Ao\nthree\n", {"one", "tw"}},
        ReadCase{"Ctrl-Z first",
                 "\x1A"
                 "one\n",
                 {}},
        ReadCase{"a last line without line end", "one\ntwo", {"one", "two"}},
        ReadCase{"empty lines in the middle", "\n\r\nthree\n", {"", "", "three"}},
        ReadCase{"a CR LF across the 4096-byte bound",
                 std::string(4095, 'x') + "\r\nnext\r\n",
                 {std::string(4095, 'x'), "next"}},
        ReadCase{"a CR LF across the bound and the read buffer's edge",
                 std::string(4094, 'a') + "\r\n" + std::string(4095, 'b') + "\r\nnext\n",
                 {std::string(4094, 'a'), std::string(4095, 'b'), "next"}},
        ReadCase{"a CR on the bound before the end",
                 std::string(4095, 'x') + "\r",
                 {std::string(4095, 'x')}},
        ReadCase{"a CR on the bound before Ctrl-Z",
                 std::string(4095, 'x') + "\r\x1Amore\n",
                 {std::string(4095, 'x')}},
        ReadCase{"every byte value but line ends and Ctrl-Z passes",
                 EveryByteButLineEndsAndCtrlZ() + "\r\n",
                 {EveryByteButLineEndsAndCtrlZ()}}));

TEST_F(ReadChannelLineTest, ALongLineEndsAfter4096Bytes) {
  std::string long_line;
  for (int i = 0; i < 3 * 4096 + 10; i++) long_line += static_cast<char>('a' + i % 26);
  std::vector<std::string> lines = ReadLines("short\r\n" + long_line + "\r\nlast\r\n", 7);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "short", long_line.substr(0, 4096), long_line.substr(4096, 4096),
                       long_line.substr(8192, 4096), long_line.substr(12288), "last", ""}));
}

TEST_F(ReadChannelLineTest, ACrLfAcrossTheReadBuffersEdge) {
  // Two lines of 4000 bytes, then one whose CR LF falls around byte 8192.
  std::string first(4000, 'x');
  for (size_t length = 181; length <= 196; length++) {
    std::string third(length, 'z');
    EXPECT_EQ(ReadLines(first + "\r\n" + first + "\r\n" + third + "\r\nlast\r\n", 5),
              Then({first, first, third, "last"}, 5))
        << "third line of " << length;
  }
}

TEST_F(ReadChannelLineTest, AUtf8SeparatorIsTheByteB3) {
  const std::string utf8_bar = "\xE2\x94\x82";
  // An incomplete sequence stays as it is.
  EXPECT_EQ(ReadLines("  5" + utf8_bar + "14.23450" + utf8_bar + "\xE2\x94|\r\n", 1),
            Then({"  5" + bar + "14.23450" + bar + "\xE2\x94|"}, 1));
  EXPECT_EQ(file.utf8_separator_columns, (std::vector<size_t>{4, 13}));
}

TEST_F(ReadChannelLineTest, AUtf8SeparatorInANameOfASavedLineStaysThreeNameBytes) {
  std::string line = FormatChannelLine(5, true, "0705000",
                                       "A\xE2\x94\x82"
                                       "BCD",
                                       0, 3);
  EXPECT_EQ(ReadLines(line + "\r\n", 1), Then({line}, 1));
  ChannelFields fields;
  ASSERT_TRUE(ParseChannelLine(line, fields));
  EXPECT_EQ(Hex(fields.name), Hex("A\xE2\x94\x82"
                                  "BCD"));
}

TEST_F(ReadChannelLineTest, AByteOrderMarkIsSkipped) {
  std::string line = FormatChannelLine(0, true, "1423450", "BEACON ", 1, 2);
  EXPECT_EQ(ReadLines("\xEF\xBB\xBF" + line + "\r\n", 2), Then({line}, 2));
  EXPECT_TRUE(file.had_byte_order_mark);
  EXPECT_EQ(ReadLines("x\xEF\xBB\xBF\r\n", 1), Then({"x\xEF\xBB\xBF"}, 1));
  EXPECT_FALSE(file.had_byte_order_mark);
}

TEST_F(ReadChannelLineTest, OpenErrors) {
  OpenMemoryFileForReading("", file);
  EXPECT_EQ(last_error, 1);
  EXPECT_EQ(ReadChannelLine(file), "");
  OpenMemoryFileForReading(directory / "missing.txt", file);
  EXPECT_EQ(last_error, 2);
  OpenMemoryFileForReading(directory.path().string(), file);
  EXPECT_EQ(last_error, 2);
  EXPECT_EQ(ReadChannelLine(file), "");
}

// ---- Writing a file ----

TEST_F(WriteMemoryFileTest, SixtyTwoEmptyChannelsAre1922Bytes) {
  std::string name = directory / "memories.txt";
  WriteEmptyChannels(name);
  CloseMemoryFileAfterWriting();
  EXPECT_EQ(last_error, 0);
  std::string content = FileContent(name);
  EXPECT_EQ(content.size(), 1922u);
  EXPECT_EQ(Hex(content), Hex(EmptyChannels()));
  EXPECT_EQ(DirectoryEntries(directory.path()), std::vector<std::string>{"memories.txt"});
}

TEST_F(WriteMemoryFileTest, LinesArriveUnchangedPastTheBuffer) {
  std::string name = directory / "memories.txt";
  OpenMemoryFileForWriting(name);
  ASSERT_EQ(last_error, 0);
  std::string expected;
  for (int i = 0; i < 1000; i++) {
    std::string line =
        FormatChannelLine(i % 62, true, "1423450", "N\xB3\xFF" + std::to_string(i), i % 8, i % 6);
    WriteChannelLine(line);
    expected += line + "\r\n";
  }
  CloseMemoryFileAfterWriting();
  EXPECT_EQ(last_error, 0);
  std::string content = FileContent(name);
  EXPECT_EQ(content.size(), expected.size());
  EXPECT_TRUE(content == expected);
}

TEST_F(WriteMemoryFileTest, TheOldFileStaysUntilTheClose) {
  std::string name = directory / "memories.txt";
  std::string old_content(5000, 'o');
  std::ofstream(name, std::ios::binary) << old_content;
  WriteEmptyChannels(name);
  EXPECT_TRUE(FileContent(name) == old_content);
  CloseMemoryFileAfterWriting();
  EXPECT_EQ(last_error, 0);
  EXPECT_EQ(Hex(FileContent(name)), Hex(EmptyChannels()));
  EXPECT_TRUE(FileContent(name + ".~1~") == old_content);
}

TEST_F(WriteMemoryFileTest, ANewFileAppearsOnlyAtTheClose) {
  std::string name = directory / "memories.txt";
  WriteEmptyChannels(name);
  EXPECT_FALSE(std::filesystem::exists(name));
  CloseMemoryFileAfterWriting();
  EXPECT_TRUE(std::filesystem::exists(name));
}

TEST_F(WriteMemoryFileTest, AnAbandonedSaveLeavesNoTrace) {
  std::string old_name = directory / "old.txt";
  std::ofstream(old_name, std::ios::binary) << "the old file";
  for (std::string name : {old_name, std::string(directory / "new.txt")}) {
    WriteEmptyChannels(name);
    AbandonMemoryFileWriting();
    CloseMemoryFileAfterWriting();  // after an abandon, nothing is left to close
    EXPECT_EQ(last_error, 0);
  }
  EXPECT_EQ(FileContent(old_name), "the old file");
  EXPECT_EQ(DirectoryEntries(directory.path()), std::vector<std::string>{"old.txt"});
}

TEST_F(WriteMemoryFileTest, OpenErrors) {
  OpenMemoryFileForWriting("");
  EXPECT_EQ(last_error, 1);
  OpenMemoryFileForWriting(directory.path().string());
  EXPECT_EQ(last_error, 2);
  OpenMemoryFileForWriting(directory / "missing/memories.txt");
  EXPECT_EQ(last_error, 2);
  EXPECT_EQ(DirectoryEntries(directory.path()), std::vector<std::string>{});
}

// GNU's backup names: VERSION_CONTROL, and the numbered backups already there.
struct BackupCase {
  const char* version_control;  // nullptr: not set
  std::vector<std::string> there;
  const char* expected;  // "" for no backup
};

void PrintTo(const BackupCase& backup, std::ostream* out) {
  *out << "VERSION_CONTROL=" << (backup.version_control ? backup.version_control : "(unset)")
       << ", " << backup.there.size() << " names there, expected \"" << backup.expected << "\"";
}

class BackupNameTest : public testing::TestWithParam<BackupCase> {};

TEST_P(BackupNameTest, FollowsVersionControl) {
  ScratchDirectory directory;
  for (const std::string& name : GetParam().there) std::ofstream(directory / name) << "old";
  std::string path = directory / "mem.txt";
  std::string expected = GetParam().expected;
  EXPECT_EQ(BackupName(path, GetParam().version_control), expected.empty() ? "" : path + expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackupNameTest,
    testing::Values(BackupCase{nullptr, {}, ".~1~"},
                    BackupCase{nullptr, {"mem.txt.~1~", "mem.txt.~12~", "mem.txt.~x~"}, ".~13~"},
                    BackupCase{nullptr, {"mem.txt.~~", "other.txt.~5~", "mem.txt~"}, ".~1~"},
                    BackupCase{"numbered", {"mem.txt.~2~"}, ".~3~"}, BackupCase{"t", {}, ".~1~"},
                    BackupCase{"none", {"mem.txt.~1~"}, ""}, BackupCase{"off", {}, ""},
                    BackupCase{"simple", {"mem.txt.~1~"}, "~"}, BackupCase{"never", {}, "~"},
                    BackupCase{"existing", {}, "~"}, BackupCase{"nil", {"mem.txt.~4~"}, ".~5~"},
                    BackupCase{nullptr, {"mem.txt.~999999999~"}, ".~1000000000~"},
                    BackupCase{nullptr,
                               {"mem.txt.~99999999999999999999~", "mem.txt.~100~",
                                "mem.txt.~0123456789012345678901~"},
                               ".~100000000000000000000~"},
                    BackupCase{nullptr, {"mem.txt.~9~", "mem.txt.~10~"}, ".~11~"},
                    BackupCase{"nu", {}, ".~1~"}, BackupCase{"s", {"mem.txt.~1~"}, "~"}),
    [](const testing::TestParamInfo<BackupCase>& backup) {
      // VERSION_CONTROL's value and the case's place: stable from build to build.
      std::string control = backup.param.version_control ? backup.param.version_control : "unset";
      return (control.empty() ? "empty" : control) + "_" + std::to_string(backup.index);
    });

TEST(VersionControlProblem, GnusValuesAndTheirShortFormsOnly) {
  for (const char* good :
       {"none", "off", "simple", "never", "existing", "nil", "numbered", "t", "ex", "no", ""})
    EXPECT_EQ(VersionControlProblem(good), "") << good;
  EXPECT_EQ(VersionControlProblem("bogus"),
            "VERSION_CONTROL=bogus is not known; the values are none or off, simple or never, "
            "existing or nil, numbered or t");
  // n: none, never, nil or numbered.
  EXPECT_EQ(VersionControlProblem("n").rfind("VERSION_CONTROL=n is ambiguous;", 0), 0u);
}

TEST(SameFile, TheSameTextOrTheSameFile) {
  ScratchDirectory directory;
  std::string one = directory / "one.txt";
  std::ofstream(one) << "x";
  EXPECT_TRUE(SameFile("missing.txt", "missing.txt"));
  EXPECT_TRUE(SameFile(one, (directory.path() / "." / "one.txt").string()));
  EXPECT_FALSE(SameFile(one, directory / "two.txt"));
}

}  // namespace
