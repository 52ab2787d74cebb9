// The jobs: the menu's three, each starting on a cleared screen, running
// straight through and returning to the menu; the same jobs run once from the
// command line without drawing anything; and the check of a memory file that
// --check runs instead of the menu. A failed open of the memory file ends the
// program instead.
//
// LoadMemories      menu choice 1: programs the radio's channels from a memory file
// SaveMemories      menu choice 2: writes all 62 channels of the radio into a memory file
// SetRadioClock     menu choice 3: sends the computer's local date and time to the radio
// LoadMemoriesFrom  the load itself, from the named file; what it sent and what came back
// NameAsSent        a channel name as a load sends it (FE and FD made blanks)
// SaveMemoriesInto  the save itself, into the named file
// TypedFileName     a name typed at the menu's prompt as a file name: "-" there
//                   is a file of that name, not a stream the screen is using
// ReadRadioChannel  the save's frames for one channel and what their replies give
// UnansweredText    which exchange went unanswered (of which channel, unless it is
//                   below 0), how, and what to check, in words
// ReportUnanswered  that text as one line on the error stream
// RunCommandJob     --probe, --save, --load, --clock or --compare; returns the exit status
// ShowProgress      the channel being worked on: the menu's row 5, or the progress line
// CheckMemoryFile   --check FILE: reads a memory file as a load does and says
//                   where the load differs from what a line seems to say; returns
//                   the exit status, 0 when all is well, 3 after a warning
// BeginMemoryFileCheck / CheckChannelLine / EndMemoryFileCheck
//                   that check a line at a time, for a job that reads the file
//                   itself, once it is open (Begin notes its byte-order mark):
//                   findings go to `out`; CheckChannelLine gives what
//                   ParseChannelLine gives, EndMemoryFileCheck takes the number
//                   of the first line not read and returns the warnings
// ChannelByte       a channel number as one packed-decimal byte
// Exchange          puts a command frame in civ_buffer, sends it, and collects the
//                   reply; true when the radio answered (echo_as_sent, reply_complete)
// ClockFrame        the SetClock frame of a local date and time
#pragma once
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

constexpr int kChannels = 62;

// True while the menu runs its jobs on the screen; false for the command
// line's jobs, which draw nothing. Written by start-up.
extern bool jobs_on_screen;

struct LoadTally {
  int stored = 0;                    // channels whose StoreMemory the radio answered FB
  int left = 0;                      // channels left as the radio had them
  int refused = 0;                   // frames answered with anything but FB
  int unanswered = 0;                // frames with no complete answer: the load stops at the first
  int sent_again = 0;                // tries after a collision
  const char* stopped_at = nullptr;  // the command that went unanswered, if one did
  int stopped_channel = 0;
};

// One channel as the radio gives it to a save.
struct RadioChannel {
  bool filled = false;  // the radio accepted the recall
  std::string frequency;
  std::string name;  // up to seven bytes; seven blanks when the radio gave none
  int mode = 0;
  int filter = 0;
  const char* unanswered = nullptr;  // the command that got no answer, if one did not
};

void LoadMemories();
void SaveMemories();
void SetRadioClock();
LoadTally LoadMemoriesFrom(const std::string& name);
std::string NameAsSent(const std::string& name);
void SaveMemoriesInto(const std::string& name);
std::string TypedFileName(const std::string& typed);
RadioChannel ReadRadioChannel(int channel);
std::string UnansweredText(const char* command, int channel, const std::string& outcome);
void ReportUnanswered(const char* command, int channel, const std::string& outcome);
int RunCommandJob(const std::string& job, const std::vector<std::string>& values);
void ShowProgress(const char* menu_text, int channel);
int CheckMemoryFile(const std::string& name);
void BeginMemoryFileCheck(const std::string& name, std::FILE* out);
struct ChannelFields;
bool CheckChannelLine(int number, const std::string& line, ChannelFields& fields);
int EndMemoryFileCheck(int number);
char ChannelByte(int channel);
bool Exchange(const std::string& frame);
std::string ClockFrame(const std::tm& local);
