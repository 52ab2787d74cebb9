// The abort report.
#include "ending/fatal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AbortReport, AGuardedStatementNamesItsLine) {
  EXPECT_EQ(AbortReport(2, 488),
            "\r\nAborting due to runtime error 2 (file not found) at line 488 of QUEN32()\r\n\r\n");
  EXPECT_EQ(AbortReport(2, 8),
            "\r\nAborting due to runtime error 2 (file not found) at line 8 of QUEN32()\r\n\r\n");
  EXPECT_EQ(AbortReport(1, 536),
            "\r\nAborting due to runtime error 1 (illegal function call) at line 536 of "
            "QUEN32()\r\n\r\n");
}

TEST(AbortReport, ASignalHasNoLinePart) {
  EXPECT_EQ(AbortReport(9, 0),
            "\r\nAborting due to runtime error 9 (\"interrupted\" signal)\r\n\r\n");
  EXPECT_EQ(AbortReport(13, 0),
            "\r\nAborting due to runtime error 13 (\"termination request\" signal)\r\n\r\n");
}

TEST(AbortReport, AnErrorWithoutTextHasNoBrackets) {
  EXPECT_EQ(AbortReport(5, 574),
            "\r\nAborting due to runtime error 5 at line 574 of QUEN32()\r\n\r\n");
}

}  // namespace
