// The channels as a list anyone can read, one line each: the channel number,
// the frequency in MHz with five decimals, the mode, the filter and the name
// (its bytes as the characters code page 437 gives them, as a CSV holds them).
//
// ChannelListLine  one channel's line; "!" in front of a marked one, whose line a
//                  load reads otherwise than it shows
// FrequencyShown   seven digits as MHz with five decimals, a blank for a leading
//                  zero: " 7.05000"
// TableText        a mode or filter as its column shows it, trailing blanks gone;
//                  "#N" when the table has no text for it
// ListedFile       the channels of a memory file as a load reads them (its
//                  findings, as --check gives them, on `findings`), or of a
//                  CSV as --from-csv reads it (its warnings on the error stream)
#pragma once
#include <cstdio>
#include <string>

#include "jobs/jobs.h"

struct ChannelList {
  RadioChannel channels[kChannels];
  bool marked[kChannels] = {};
  int file_warnings = 0;  // the findings or warnings of no one line
};

std::string ChannelListLine(int channel, const RadioChannel& read, bool marked);
std::string FrequencyShown(const std::string& digits);
std::string TableText(const std::string* names, bool valid, int number);
ChannelList ListedFile(const std::string& name, std::FILE* findings);
