// The abort report.
#include "ending/fatal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AbortReport, NamesTheErrorItsTextAndTheLineOfAGuardedStatement) {
  const struct {
    int error, line;
    std::string shown;  // between "runtime error " and the closing blank line
  } cases[] = {
      {2, 488, "2 (file not found) at line 488 of QUEN32()"},
      {2, 8, "2 (file not found) at line 8 of QUEN32()"},
      {1, 536, "1 (illegal function call) at line 536 of QUEN32()"},
      {5, 574, "5 at line 574 of QUEN32()"},  // an error without text has no brackets
      {9, 0, "9 (\"interrupted\" signal)"},   // a signal has no line part
      {13, 0, "13 (\"termination request\" signal)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AbortReport(c.error, c.line),
              "\r\nAborting due to runtime error " + c.shown + "\r\n\r\n");
  }
}

}  // namespace
