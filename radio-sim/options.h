// The virtual radio's command line: the options it was started with, read
// once before anything else runs.
//
// ParseOptions  reads the arguments into `options` (and the faults and flags of
//               radio.h); 0 to go on, -1 when --help was shown, otherwise the
//               exit status of a usage error, whose line it has written
#pragma once
#include <string>
#include <vector>

#include "link/civ_frame.h"

struct Options {
  std::string link;
  std::string memory;
  std::string log;
  std::vector<std::string> channels;
  std::vector<long> collide;          // numbers of the frames that collide
  std::vector<long> duplicate_reply;  // numbers of the frames whose reply goes out twice
  long rate = 1200;
  long address = kDefaultRadioAddress;
  long batch_ms = 0;
  long reply_delay_ms = 0;  // from a frame's FD to its reply going out
  long noise_gap_ms = -1;   // -1: one byte time
  long vanish_after = 0;    // 0: never
  long silent_for = 0;      // frames heard but not answered at the start
  long silent_after = 0;    // frames answered before the radio falls silent; 0: never
  long seed = 1;            // 0 to 2^32 - 1
  bool demo = false;
  bool silent = false;
  bool no_echo = false;
  bool bad_echo = false;
  bool cut_replies = false;
  bool extra_bytes = false;
  bool noise = false;
  bool noise_before = false;
  bool announce = false;
  bool other_controller = false;
};

// The options as given; written by ParseOptions, read everywhere after it.
extern Options options;

int ParseOptions(int argc, char** argv);
