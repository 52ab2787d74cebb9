// Frame contents without the port: the packed-decimal frequency both ways,
// the frame dump on the console, the channel byte and the clock frame.
#include "link/civ_frame.h"

#include <gtest/gtest.h>

#include <ctime>
#include <ostream>
#include <string>

#include "jobs/jobs.h"
#include "unit_support.h"

namespace {

struct EncodeCase {
  std::string digits;
  std::string bytes;
};

void PrintTo(const EncodeCase& c, std::ostream* out) {
  *out << "[" << c.digits << "]";
}

class EncodeFrequencyTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeFrequencyTest, LowestByteFirst) {
  EXPECT_EQ(Hex(EncodeFrequency(GetParam().digits)), Hex(GetParam().bytes))
      << "digits [" << GetParam().digits << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Digits, EncodeFrequencyTest,
    testing::Values(EncodeCase{"1423450", Bytes({0x00, 0x45, 0x23, 0x14})},
                    EncodeCase{"0705000", Bytes({0x00, 0x00, 0x05, 0x07})},
                    EncodeCase{"2999999", Bytes({0x90, 0x99, 0x99, 0x29})},
                    EncodeCase{"0000000", Bytes({0x00, 0x00, 0x00, 0x00})},
                    // Nothing is validated: a blank (32) enters the arithmetic.
                    EncodeCase{" 705000", Bytes({0x00, 0x00, 0x05, 0x07})},
                    // A missing character counts as code 0.
                    EncodeCase{"", Bytes({0x00, 0xD0, 0xD0, 0xD0})},
                    EncodeCase{"142345", Bytes({0x00, 0x45, 0x23, 0x14})}));

struct DecodeCase {
  std::string reply;
  std::string digits;
};

void PrintTo(const DecodeCase& c, std::ostream* out) {
  *out << "[" << Hex(c.reply) << "]";
}

class DecodeFrequencyTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeFrequencyTest, FromBytesSixToNine) {
  EXPECT_EQ(DecodeFrequency(GetParam().reply), GetParam().digits)
      << "reply " << Hex(GetParam().reply);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DecodeFrequencyTest,
    testing::Values(
        DecodeCase{Bytes({0xFE, 0xFE, 0xF1, 0x04, 0x03, 0x00, 0x45, 0x23, 0x14, 0xFD}), "1423450"},
        DecodeCase{Bytes({0xFE, 0xFE, 0xF1, 0x04, 0x03, 0x98, 0x76, 0x54, 0x03, 0xFD}), "0354769"},
        // Only eight bytes: byte 9 counts as 00.
        DecodeCase{Bytes({0xFE, 0xFE, 0xF1, 0x04, 0x03, 0x00, 0x45, 0x23}), "0023450"},
        // A fifth frequency byte is ignored.
        DecodeCase{Bytes({0xFE, 0xFE, 0xF1, 0x04, 0x03, 0x00, 0x45, 0x23, 0x14, 0x01, 0xFD}),
                   "1423450"},
        // Hexadecimal digits in upper case when the bytes are not decimal.
        DecodeCase{Bytes({0xFE, 0xFE, 0xF1, 0x04, 0xFA, 0xFD}), "000000F"},
        DecodeCase{Bytes({0xFD}), "0000000"}, DecodeCase{"", "000000000"}));

std::string ShownFrame(const std::string& frame) {
  StartPlainConsole();
  return CapturedOutput([&] { ShowFrame(frame); });
}

TEST(ShowFrame, PrintsUpToTheFirstFd) {
  const struct {
    std::string buffer;
    std::string shown;
  } cases[] = {
      {Bytes({0xFE, 0xFE, 0x04, 0xF1, 0x14, 0x07, 0x03, 0x24, 0x09, 0x05, 0x30, 0xFD}),
       "FE FE 04 F1 14 07 03 24 09 05 30 FD "},
      {Bytes({0xFE, 0xFE, 0xF1, 0x04, 0xFB, 0xFD, 0x01, 0xFD}), "FE FE F1 04 FB FD "},
      {Bytes({0xFE, 0xFE, 0xF1, 0x00, 0x0A}), "FE FE F1 00 0A "},  // no FD: every byte once
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShownFrame(c.buffer), "CIV buffer contents are:\r\n" + c.shown) << Hex(c.buffer);
  }
}

TEST(ChannelByte, IsPackedDecimal) {
  EXPECT_EQ(ChannelByte(0), '\x00');
  EXPECT_EQ(ChannelByte(7), '\x07');
  EXPECT_EQ(ChannelByte(10), '\x10');
  EXPECT_EQ(ChannelByte(45), '\x45');
  EXPECT_EQ(ChannelByte(59), '\x59');
  EXPECT_EQ(ChannelByte(61), '\x61');
}

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return t;
}

TEST(ClockFrame, DayMonthYearHourMinuteSecondInPackedDecimal) {
  EXPECT_EQ(Hex(ClockFrame(LocalTime(2024, 3, 7, 9, 5, 30))),
            Hex(Bytes({0xFE, 0xFE, 0x04, 0xF1, 0x14, 0x07, 0x03, 0x24, 0x09, 0x05, 0x30, 0xFD})));
  EXPECT_EQ(Hex(ClockFrame(LocalTime(1999, 12, 31, 23, 59, 59))),
            Hex(Bytes({0xFE, 0xFE, 0x04, 0xF1, 0x14, 0x31, 0x12, 0x99, 0x23, 0x59, 0x59, 0xFD})));
  EXPECT_EQ(Hex(ClockFrame(LocalTime(2000, 1, 1, 0, 0, 0))),
            Hex(Bytes({0xFE, 0xFE, 0x04, 0xF1, 0x14, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0xFD})));
}

struct AnswerCase {
  char command;
  bool refusal_answers;
  std::string reply;
  bool answers;
};

TEST(ReplyAnswers, OnlyTheReadsOwnDataOrASettingsFb) {
  const std::string header = Bytes({0xFE, 0xFE, 0xF1, 0x04});
  auto reply = [&](std::initializer_list<int> body) { return header + Bytes(body) + "\xFD"; };
  const AnswerCase cases[] = {
      {ReadFrequency, false, reply({0x03, 0x00, 0x45, 0x23, 0x14}), true},
      {ReadFrequency, false, reply({0x03, 0x00, 0x45, 0x23, 0x14, 0x00}), true},
      {ReadFrequency, false, reply({0x03, 0x0A, 0x45, 0x23, 0x14}), false},  // a digit A
      {ReadFrequency, false, reply({0x03, 0x00, 0x45, 0x23, 0xF4}), false},
      {ReadFrequency, false, reply({0x03, 0x00, 0x45, 0x23}), false},  // short
      {ReadFrequency, false, reply({0x03, 0, 0, 0, 0, 0, 0}), false},  // long
      {ReadFrequency, false, reply({0x04, 0x00, 0x45, 0x23, 0x14}), false},
      {ReadFrequency, false, reply({0xFA}), false},
      {ReadMode, false, reply({0x04, 0x01, 0x02}), true},
      {ReadMode, false, reply({0x04, 0x01}), true},  // the mode alone
      {ReadMode, false, reply({0x04}), false},
      {ReadMode, false, reply({0x03, 0x00, 0x45, 0x23, 0x14}), false},  // a late frequency
      {ReadName, false, reply({0x10, 'A', 'B'}), true},
      {ReadName, false, reply({0xFA}), false},
      {ReadName, true, reply({0xFA}), true},
      {ReadName, true, reply({0x04, 0x01, 0x02}), false},
      {SelectMemory, false, reply({0xFB}), true},
      {SelectMemory, false, reply({0xFA}), false},
      {RecallMemory, true, reply({0xFA}), true},
      {RecallMemory, true, reply({0x03, 0x00, 0x45, 0x23, 0x14}), false},
  };
  for (const AnswerCase& c : cases) {
    EXPECT_EQ(ReplyAnswers(c.reply, c.command, c.refusal_answers), c.answers)
        << "command " << Hex(std::string(1, c.command)) << ", reply " << Hex(c.reply);
  }
  // Once the radio has given five frequency bytes, four are a reply that lost one.
  const std::string four = reply({0x03, 0x45, 0x23, 0x14, 0x00});
  NoteFrequencyAnswer(four);
  EXPECT_TRUE(ReplyAnswers(four, ReadFrequency, false));
  NoteFrequencyAnswer(reply({0x03, 0x00, 0x45, 0x23, 0x14, 0x00}));
  EXPECT_FALSE(ReplyAnswers(four, ReadFrequency, false));
  five_frequency_bytes = false;
}

}  // namespace
