// The channels as a list anyone can read, one line each: the channel number,
// the frequency in MHz with five decimals, the mode, the filter and the name
// (its bytes as the characters code page 437 gives them, as a CSV holds them).
//
// ChannelListLine  one channel's line; "!" in front of a marked one, whose line a
//                  load reads otherwise than it shows
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
ChannelList ListedFile(const std::string& name, std::FILE* findings);
