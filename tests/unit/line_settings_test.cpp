// The device text "COMn:options" and the line settings of its option text.
#include "link/line_settings.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

LineSettings Parsed(const std::string& options) {
  LineSettings settings;
  EXPECT_EQ(ParseLineSettings(options, settings), 0) << "options [" << options << "]";
  return settings;
}

// Blanks and tabs around the fields are dropped.
TEST(LineSettings, TheProgramsOwnTextWithOrWithoutBlanks) {
  for (const char* text :
       {"1200,N,8,1,CS,RS,DS,CD", " 1200 ,\tN\t, 8 ,  1 , CS , RS ,\tDS\t, CD "}) {
    LineSettings s = Parsed(text);
    EXPECT_EQ(s.speed, 1200u) << text;
    EXPECT_EQ(s.parity, Parity::None) << text;
    EXPECT_EQ(s.data_bits, 8u) << text;
    EXPECT_EQ(s.stop_bits, StopBits::One) << text;
    EXPECT_EQ(s.cts_time, 0u) << text;
    EXPECT_EQ(s.dsr_time, 0u) << text;
    EXPECT_EQ(s.cd_time, 0u) << text;
    EXPECT_TRUE(s.suppress_rts) << text;
    EXPECT_FALSE(s.text_mode) << text;
    EXPECT_FALSE(s.check_parity) << text;
    EXPECT_FALSE(s.keep_dtr) << text;
    EXPECT_EQ(s.transmit_queue, 0u) << text;
    EXPECT_EQ(s.receive_queue, 0u) << text;
    EXPECT_EQ(s.ir_number, 0u) << text;
  }
}

TEST(LineSettings, ASpeedAloneKeepsEveryDefault) {
  LineSettings s = Parsed("9600");
  EXPECT_EQ(s.speed, 9600u);
  EXPECT_EQ(s.parity, Parity::Even);
  EXPECT_EQ(s.data_bits, 7u);
  EXPECT_EQ(s.stop_bits, StopBits::One);
  EXPECT_EQ(s.cts_time, 1000u);
  EXPECT_EQ(s.dsr_time, 1000u);
  EXPECT_EQ(s.cd_time, 0u);
  EXPECT_FALSE(s.suppress_rts);
}

TEST(LineSettings, AnEmptyTextGivesTheDefaults) {
  LineSettings s = Parsed("");
  EXPECT_EQ(s.speed, 300u);
  EXPECT_EQ(s.parity, Parity::Even);
  EXPECT_EQ(s.data_bits, 7u);
  EXPECT_EQ(s.stop_bits, StopBits::One);
}

struct StopCase {
  std::string options;
  StopBits stop_bits;
};

void PrintTo(const StopCase& c, std::ostream* out) {
  *out << "[" << c.options << "]";
}

class StopBitsTest : public testing::TestWithParam<StopCase> {};

TEST_P(StopBitsTest, Given) {
  EXPECT_EQ(Parsed(GetParam().options).stop_bits, GetParam().stop_bits)
      << "options [" << GetParam().options << "]";
}

INSTANTIATE_TEST_SUITE_P(
    DefaultRuleAndGivenValues, StopBitsTest,
    testing::Values(StopCase{"110,N,5", StopBits::OneAndHalf}, StopCase{"110", StopBits::Two},
                    StopCase{"110,N,8", StopBits::Two}, StopCase{"150,N,5", StopBits::One},
                    StopCase{"75,,5", StopBits::OneAndHalf}, StopCase{"1200,N,8,1", StopBits::One},
                    StopCase{"1200,N,8,1.5", StopBits::OneAndHalf},
                    StopCase{"1200,N,8,2", StopBits::Two}, StopCase{"110,N,5,1", StopBits::One},
                    // Stop bits is a decimal number equal to 1, 1.5 or 2.
                    StopCase{"1200,N,8,2.0", StopBits::Two}, StopCase{"1200,N,8,01", StopBits::One},
                    StopCase{"1200,N,8,1.50", StopBits::OneAndHalf}));

struct ParityCase {
  std::string options;
  Parity parity;
  bool check_parity;
};

void PrintTo(const ParityCase& c, std::ostream* out) {
  *out << "[" << c.options << "]";
}

class ParityTest : public testing::TestWithParam<ParityCase> {};

TEST_P(ParityTest, Given) {
  LineSettings s = Parsed(GetParam().options);
  EXPECT_EQ(s.parity, GetParam().parity) << "options [" << GetParam().options << "]";
  EXPECT_EQ(s.check_parity, GetParam().check_parity) << "options [" << GetParam().options << "]";
}

INSTANTIATE_TEST_SUITE_P(Letters, ParityTest,
                         testing::Values(ParityCase{"1200,N", Parity::None, false},
                                         ParityCase{"1200,E", Parity::Even, false},
                                         ParityCase{"1200,O", Parity::Odd, false},
                                         ParityCase{"1200,S", Parity::Space, false},
                                         ParityCase{"1200,M", Parity::Mark, false},
                                         ParityCase{"1200,PE", Parity::Even, true},
                                         ParityCase{"1200,,8", Parity::Even, false},
                                         ParityCase{"1200,N,8,1,PE", Parity::None, true}));

TEST(LineSettings, KeywordsInAnyCaseAndOrder) {
  LineSettings s = Parsed("1200,n,8,1,rs,cs500,Ds20,cD7,op3,tb512,Rb1024,dt,fe,me,pe");
  EXPECT_EQ(s.parity, Parity::None);
  EXPECT_TRUE(s.suppress_rts);
  EXPECT_EQ(s.cts_time, 500u);
  EXPECT_EQ(s.dsr_time, 20u);
  EXPECT_EQ(s.cd_time, 7u);
  EXPECT_EQ(s.transmit_queue, 512u);
  EXPECT_EQ(s.receive_queue, 1024u);
  EXPECT_TRUE(s.keep_dtr);
  EXPECT_TRUE(s.check_parity);
}

TEST(LineSettings, TextModeKeywords) {
  EXPECT_TRUE(Parsed("1200,N,8,1,LF").text_mode);
  EXPECT_TRUE(Parsed("1200,N,8,1,asc").text_mode);
  EXPECT_FALSE(Parsed("1200,N,8,1,ASC,BIN").text_mode);
}

TEST(LineSettings, EmptyFieldsCountAsPositionsAndChangeNothing) {
  LineSettings s = Parsed("1200,,,,,CS250,,");
  EXPECT_EQ(s.speed, 1200u);
  EXPECT_EQ(s.parity, Parity::Even);
  EXPECT_EQ(s.data_bits, 7u);
  EXPECT_EQ(s.cts_time, 250u);
  EXPECT_EQ(s.dsr_time, 1000u);
}

TEST(LineSettings, IrIsParsedHereAndRefusedByTheOpen) {
  EXPECT_EQ(Parsed("1200,N,8,1,IR").ir_number, 0u);
  EXPECT_EQ(Parsed("1200,N,8,1,IR3").ir_number, 3u);
}

class BadOptionsTest : public testing::TestWithParam<std::string> {};

TEST_P(BadOptionsTest, AreErrorOne) {
  LineSettings s;
  EXPECT_EQ(ParseLineSettings(GetParam(), s), 1) << "options [" << GetParam() << "]";
}

INSTANTIATE_TEST_SUITE_P(Fields, BadOptionsTest,
                         testing::Values("9600X", "96 00", "+9600", "1200,X", "1200,NO",
                                         "1200,N,8X", "1200,N,8,3", "1200,N,8,1X", "1200,N,8,0",
                                         "1200,N,8,1,CS1X", "1200,N,8,1,CSX", "1200,N,8,1,TB12a",
                                         "1200,N,8,1,CS 5", "1200,N,8,1,RS1", "1200,N,8,1,XY",
                                         "1200,N,8,1,C", "1200,N,8,1,BINARY",
                                         "9600:1200,N,8,1,CS,RS,DS,CD", "99999999999"));

struct DeviceCase {
  std::string text;
  int result;
  unsigned port;
};

void PrintTo(const DeviceCase& c, std::ostream* out) {
  *out << "[" << c.text << "]";
}

class DeviceTextTest : public testing::TestWithParam<DeviceCase> {};

TEST_P(DeviceTextTest, PortNumberOrError) {
  const DeviceCase& c = GetParam();
  unsigned port = 999;
  LineSettings settings;
  EXPECT_EQ(ParseDeviceText(c.text, port, settings), c.result) << "device text [" << c.text << "]";
  if (c.result == 0) {
    EXPECT_EQ(port, c.port) << "device text [" << c.text << "]";
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, DeviceTextTest,
                         testing::Values(DeviceCase{"COM1:1200,N,8,1,CS,RS,DS,CD", 0, 1},
                                         DeviceCase{"COM12:1200,N,8,1,CS,RS,DS,CD", 0, 12},
                                         DeviceCase{"COM3:1200,N,8,1,CS,RS,DS,CD", 0, 3},
                                         DeviceCase{"COM:1200,N,8,1,CS,RS,DS,CD", 0, 1},
                                         DeviceCase{"COM0:1200,N,8,1,CS,RS,DS,CD", 0, 1},
                                         DeviceCase{"com7:1200,N,8,1", 0, 7},
                                         DeviceCase{"CoM007:", 0, 7},
                                         DeviceCase{"COM1:9600:1200,N,8,1,CS,RS,DS,CD", 1, 0},
                                         DeviceCase{"COM2:1200,X", 1, 0},
                                         DeviceCase{"COMX:1200,N,8,1,CS,RS,DS,CD", 2, 0},
                                         DeviceCase{"COM1 :1200,N,8,1,CS,RS,DS,CD", 2, 0},
                                         DeviceCase{"LPT1:1200,N,8,1,CS,RS,DS,CD", 2, 0},
                                         DeviceCase{"COM1", 2, 0}, DeviceCase{"COM", 2, 0},
                                         DeviceCase{"", 2, 0}, DeviceCase{"X", 2, 0}));

TEST(DeviceText, TheOptionTextIsEverythingAfterTheFirstColon) {
  unsigned port = 0;
  LineSettings s;
  ASSERT_EQ(ParseDeviceText("COM4:4800,O,7,2,CS100", port, s), 0);
  EXPECT_EQ(port, 4u);
  EXPECT_EQ(s.speed, 4800u);
  EXPECT_EQ(s.parity, Parity::Odd);
  EXPECT_EQ(s.data_bits, 7u);
  EXPECT_EQ(s.stop_bits, StopBits::Two);
  EXPECT_EQ(s.cts_time, 100u);
}

}  // namespace
