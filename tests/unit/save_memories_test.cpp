// The lines a save of some channels replaces in a memory file: only theirs,
// each keeping its line end and separator form.
#include <gtest/gtest.h>

#include <string>

#include "jobs/jobs.h"

namespace {

TEST(WithChannelLines, OnlyTheLinesGivenChangeAndEveryLineEndStays) {
  std::string lines[kChannels];
  const std::string b3 = "\xB3", u2502 = "\xE2\x94\x82";
  // Every kind of line end, each line its own: CR LF, LF, CR alone; a blank
  // line, and a last line without one.
  const std::string file = "  0" + b3 + "a\r\n" + "  1" + b3 + "b\n" + "  2" + u2502 + "c" + u2502 +
                           "\r\n" + "\r" + "  4" + b3 + "e\r" + "  5" + b3 + "f";
  EXPECT_EQ(MemoryFileLines(file), 6);
  EXPECT_EQ(WithChannelLines(file, lines), file);
  lines[1] = "  1" + b3 + "NEW" + std::string(8, ' ') + b3 + "x";
  lines[2] = "  2" + b3 + "NEW     " + b3 + "x" + b3;
  lines[3] = "THREE";
  lines[4] = "FOUR";
  lines[5] = "FIVE";
  // Line 2 was written by a UTF-8 editor: its new separators are U+2502 too,
  // in the separators' columns only.
  EXPECT_EQ(WithChannelLines(file, lines), "  0" + b3 + "a\r\n" + lines[1] + "\n" + "  2" + u2502 +
                                               "NEW     " + u2502 + "x" + b3 + "\r\n" +
                                               "THREE\rFOUR\rFIVE");
  // Lines end at a Ctrl-Z, as for a load; what follows it stays.
  const std::string cut = "  0" + b3 + "a\r\n  1\x1A  2\r\n";
  EXPECT_EQ(MemoryFileLines(cut), 2);
  EXPECT_EQ(WithChannelLines(cut, lines), "  0" + b3 + "a\r\n" + lines[1] + "\x1A  2\r\n");
}

}  // namespace
