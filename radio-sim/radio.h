// The radio behind the line: its 62 memory channels, the VFO (the working
// settings that the commands read and set), the selected channel and the
// clock, and its answer to each command frame.
//
// AnswerCommand     the reply frame to one command addressed to the radio
// ReplyFrame        FE FE F1 04, the given bytes, FD
// LoadChannels      fills the channels from a memory file; false if it cannot be read
// SaveChannels      writes the channels into a memory file; false if that failed
// FillDemoChannels  a handful of filled channels to show something
// FillChannel       fills one channel from "N:DIGITS:MODE:FILTER:NAMEHEX"
// AddFault          adds a fault from "CODE[:CHANNEL[:TIMES]]"; false if the text is bad
#pragma once
#include <string>
#include <vector>

#include "jobs/jobs.h"
#include "link/civ_frame.h"

struct Channel {
  bool filled = false;
  std::string frequency = std::string(4, '\0');      // packed decimal, lowest byte first
  int mode = 0;                                      // 0-255; the commands set 0-7
  int filter = 1;                                    // 0-255; the commands set 1-5
  std::string name = std::string(kNameLength, ' ');  // seven bytes of any value
};

// The radio's state; written by AnswerCommand and by the start-up options.
extern Channel channels[kChannels];
extern Channel vfo;
extern int selected_channel;
extern std::string radio_clock;  // day, month, year, hour, minute, second, packed

// Faults set by the options: refuse every RecallMemory, refuse the three reads,
// answer ReadName with the name's trailing blanks left out, answer ReadMode
// with the mode alone.
extern bool refuse_recall;
extern bool refuse_reads;
extern bool short_names;
extern bool mode_only;

// A fault of one command, as the options give it: the radio neither acts on
// the command nor answers it as it should, while the given channel is the
// one selected (SelectMemory: the one it selects), for a number of times.
enum class FaultKind { kRefuse, kForeign, kShort, kHexDigits };
struct Fault {
  FaultKind kind = FaultKind::kRefuse;
  char command = 0;
  int channel = -1;  // -1: any channel
  long left = -1;    // times still to come; -1: always
};

bool AddFault(FaultKind kind, const std::string& text);
std::string AnswerCommand(char command, const std::string& data);
std::string ReplyFrame(const std::string& body);
bool LoadChannels(const std::string& path);
bool SaveChannels(const std::string& path);
void FillDemoChannels();
bool FillChannel(const std::string& text);
