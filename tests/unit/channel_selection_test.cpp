// The channels --channels chooses, and the lines a save of some channels
// replaces in a memory file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobs/jobs.h"

namespace {

std::vector<int> Chosen() {
  std::vector<int> channels;
  for (int channel = 0; channel < kChannels; channel++) {
    if (channel_chosen[channel]) channels.push_back(channel);
  }
  return channels;
}

TEST(ChooseChannels, NumbersAndRangesInChannelOrderEachOnce) {
  const struct {
    const char* list;
    std::vector<int> channels;
  } cases[] = {
      {"12", {12}},
      {"0,5-7,61", {0, 5, 6, 7, 61}},
      {"40,3-4,3,4-4", {3, 4, 40}},
      {"007,09-10", {7, 9, 10}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseChannels(c.list), "") << c.list;
    EXPECT_EQ(Chosen(), c.channels) << c.list;
    EXPECT_TRUE(some_channels);
  }
  EXPECT_EQ(ChooseChannels("0-61"), "");
  EXPECT_EQ(Chosen().size(), 62u);
  // A bad list changes nothing of the choice before it.
  EXPECT_NE(ChooseChannels("3,1000"), "");
  EXPECT_EQ(Chosen().size(), 62u);
  some_channels = false;  // as without --channels, for the tests after this one
}

TEST(WithChannelLines, OnlyTheLinesGivenChangeAndEveryLineEndStays) {
  std::string lines[kChannels];
  const std::string bar = "\xB3", wide = "\xE2\x94\x82";
  const std::string file = "  0" + bar + "a\r\n" + "  1" + bar + "b\n" + "  2" + wide + "c" + wide +
                           "\r\n" + "  3" + bar + "d";
  EXPECT_EQ(MemoryFileLines(file), 4);
  EXPECT_EQ(WithChannelLines(file, lines), file);
  lines[1] = "  1" + bar + "NEW" + std::string(8, ' ') + bar + "x";
  lines[2] = "  2" + bar + "NEW     " + bar + "x" + bar;
  lines[3] = "THREE";
  // Line 2 was written by a UTF-8 editor: its new separators are U+2502 too,
  // in the separators' columns only.
  EXPECT_EQ(WithChannelLines(file, lines), "  0" + bar + "a\r\n" + lines[1] + "\n" + "  2" + wide +
                                               "NEW     " + wide + "x" + bar + "\r\n" + "THREE");
  // Lines end at a Ctrl-Z, as for a load; what follows it stays.
  const std::string cut = "  0" + bar + "a\r\n  1\x1A  2\r\n";
  EXPECT_EQ(MemoryFileLines(cut), 2);
  EXPECT_EQ(WithChannelLines(cut, lines), "  0" + bar + "a\r\n" + lines[1] + "\x1A  2\r\n");
}

}  // namespace
