// The text helpers every room shares.
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TextCase {
  std::string given;
  std::string expected;
};

TEST(UpperCase, OnlyLettersAToZChange) {
  EXPECT_EQ(UpperCase("com1:1200,n"), "COM1:1200,N");
  EXPECT_EQ(UpperCase("\xE9t\xE9"), "\xE9T\xE9");  // a byte above 7F is no letter here
}

TEST(Trimmed, OnlyTheBlanksNamed) {
  EXPECT_EQ(Trimmed("  AM  "), "AM");
  EXPECT_EQ(Trimmed("   "), "");
  EXPECT_EQ(Trimmed("\tCS \t"), "\tCS \t");
  EXPECT_EQ(Trimmed("\tCS \t", " \t"), "CS");
  EXPECT_EQ(Trimmed("A B"), "A B");
}

TEST(Printable, EscapesEveryByteOutsidePrintableAscii) {
  const TextCase cases[] = {
      {"BEACON ", "BEACON "},
      {"7\x9B"
       "2J",
       "7\\x9B2J"},
      {"two\r\nlines", "two\\x0D\\x0Alines"},
      {"\"a\\b\"", "\"a\\b\""},  // quotes and backslashes stay as they are
      {std::string("\0\x7F~", 3), "\\x00\\x7F~"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(Printable(c.given), c.expected) << c.expected;
}

TEST(Displayed, EscapesControlCharactersAndKeepsText) {
  const struct {
    std::string given;
    bool utf8;
    std::string expected;
  } cases[] = {
      {"a\x9B"
       "b",
       true, "a\\x9Bb"},
      {"a\x9B"
       "b",
       false, "a\\x9Bb"},
      {"\x1B[2J\r\n\x7F", true, "\\x1B[2J\\x0D\\x0A\\x7F"},
      {"caf\xC3\xA9 \xC5\x91", true, "caf\xC3\xA9 \xC5\x91"},  // UTF-8 stays whole
      {"\xC5\x91", false, "\xC5\\x91"},                        // bytes one by one
      {"\xC2\x9B", true, "\\xC2\\x9B"},                        // U+009B, a CSI too
      {"\xE9t\xE9", true, "\xE9t\xE9"},  // stray A0-FF: no control, shown as they are
      {"\xC3", true, "\xC3"},
  };
  for (const auto& c : cases) EXPECT_EQ(Displayed(c.given, c.utf8), c.expected) << c.expected;
}

TEST(Utf8Length, WholeSequencesOnlyInTheirShortestForm) {
  const struct {
    std::string bytes;
    size_t length;
  } cases[] = {
      {"A", 1},
      {"\xC3\xA9", 2},
      {"\xE0\xA0\x80", 3},
      {"\xED\x9F\xBF", 3},
      {"\xF0\x90\x80\x80", 4},
      {"\xF4\x8F\xBF\xBF", 4},
      {"\xE4\xB8", 0},  // unfinished
      {"\x80", 1},      // stray
      {"\xC3\x41", 1},
      {"\xE4\xB8\x41", 1},
      {"\xC1\xBF", 1},          // overlong
      {"\xE0\x9F\xBF", 1},      // overlong
      {"\xF0\x8F\xBF\xBF", 1},  // overlong
      {"\xED\xA0\x80", 1},      // surrogate
      {"\xF4\x90\x80\x80", 1},  // above U+10FFFF
      {"\xF5\x80\x80\x80", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8Length(c.bytes, 0), c.length) << Printable(c.bytes);
}

TEST(Quoted, InDoubleQuotesWithQuotesAndBackslashesEscaped) {
  const TextCase cases[] = {
      {"BEACON ", "\"BEACON \""},     {"", "\"\""},
      {"a\"b\\", "\"a\\\"b\\\\\""},   {"\x1B[2J", "\"\\x1B[2J\""},
      {"\xFD\xFE", "\"\\xFD\\xFE\""},
  };
  for (const TextCase& c : cases) EXPECT_EQ(Quoted(c.given), c.expected) << c.expected;
}

// What is no UTF-8 is -1 a byte at a time, and what is comes back whole from AppendUtf8.
TEST(DecodeUtf8, RefusesWhatUtf8LengthRefuses) {
  const struct {
    std::string given;
    std::vector<long> expected;
  } cases[] = {
      {"A\xC3\xA9", {'A', 0xE9}},
      {"\xE2\x94\x82\xF0\x9F\x93\xBB", {0x2502, 0x1F4FB}},
      {"\xE0\x80\x81", {-1, -1, -1}},          // overlong U+0001
      {"\xED\xA0\x80", {-1, -1, -1}},          // a surrogate
      {"\xF4\x90\x80\x80", {-1, -1, -1, -1}},  // above U+10FFFF
      {"\xC3x", {-1, 'x'}},                    // cut short
  };
  for (const auto& c : cases) {
    std::vector<long> codes;
    std::string again;
    for (size_t at = 0; at < c.given.size();) {
      codes.push_back(DecodeUtf8(c.given, at));
      if (codes.back() >= 0) AppendUtf8(again, static_cast<char32_t>(codes.back()));
    }
    EXPECT_EQ(codes, c.expected) << Printable(c.given);
    if (c.expected[0] >= 0) {
      EXPECT_EQ(again, c.given);
    }
  }
}

}  // namespace
