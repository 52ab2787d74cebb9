// The jobs behind the menu and the command line: each runs straight through
// and returns what happened (a tally, a channel read, the differences); the
// front doors in app/ decide what to show and which status to end with. A
// failed open of the memory file ends the program instead. The check of a
// memory file that --check runs is here too.
//
// LoadMemoriesFrom  the load, from the named file; what it sent and what came back.
//                   The whole file is read first by --check's reading, its
//                   findings shown on `findings` (nullptr: not shown); a file
//                   with findings sends nothing unless `despite_findings`
// LoadCheckedChannels  the load's frames for the chosen channels of a file
//                   already read (the frames of LoadMemoriesFrom), into `tally`
// LoadSummary       what a load did, in words: channels stored, refused (each with
//                   its first refused command), not sent, left as the radio has them
// NameAsSent        a channel name as a load sends it (FE and FD made blanks)
// SaveMemoriesInto  the save, into the named file; where it stopped, if it did
// ReadRadioChannel  the save's frames for one channel and what their replies give
// ReadChosenChannels  every chosen channel read so, in channel order, a channel
//                   read again when a reply of it came late; the read that
//                   went unanswered, if one did (the reading stopped there)
// ReadChosenLines   those channels as the lines a save writes, counted in the
//                   result; false with its `unanswered` when the radio stopped
// CompareMemoriesWith  the radio read as a save reads it beside the named file
//                   read as a load reads it; the channels that differ, a
//                   filled channel that the file leaves empty among them
// ProbeRadio        the radio's frequency, mode and filter, asked with the read
//                   commands only, so that nothing in the radio changes
// ClockSettingNow   the setting of the radio's clock: the computer's local date
//                   and time, from one reading of its clock, and its frame
// SendClockSetting  that setting's frame exchanged with the radio; what came back
// UnansweredText    which exchange went unanswered (of which channel, unless it is
//                   below 0), how, and what to check, in words; or, when a reply
//                   came back instead of an answer, that reply
// CheckMemoryFile   the check of --check: reads a memory file as a load does and
//                   says on `out` where the load differs from what a line seems
//                   to say; returns the channels it loads and the warnings
// ReadCheckedMemoryFile  the same reading of a whole memory file for a load,
//                   a comparison, a list: what each line loads, and the
//                   warnings of each line and of the file
// OpenCheckedMemoryFile / ReadCheckedLine / CloseCheckedMemoryFile
//                   that reading a line at a time, through a MemoryFileReader:
//                   findings go to `out` as each line is read (the open notes
//                   a byte-order mark, the close the file's end) and are
//                   counted in it; ReadCheckedLine gives what ParseChannelLine
//                   gives, false once 62 lines or the file's lines are read;
//                   the close returns the warnings. A failed open or read ends
//                   the program
// ChooseChannels    a --channels list ("12", "0,5-7,61") into channel_chosen and
//                   some_channels; "" when it names channels 0-61 only, else
//                   why not, in words
// SaveChosenChannelsInto  the save of the chosen channels only: their lines
//                   replaced in an existing memory file, every other byte kept;
//                   refused before any frame for a file whose lines it cannot
//                   map. The file is read again once the radio has been: the
//                   lines go into what it holds then, or, when that is no
//                   longer such a file, into FILE.partial, FILE left as it is
// MemoryFileLines   how many lines a memory file's bytes hold, after a byte-order
//                   mark: up to a Ctrl-Z, as for a load; every line end counts
//                   (CR LF, LF, CR alone), and a line longer than a load's
//                   kLineLimit counts once here, where a load reads two
// WithChannelLines  those bytes with the lines of some channels replaced (an
//                   empty text keeps a line): each new line keeps the old
//                   one's line end and separator form, every other byte stays
// ChannelByte       a channel number as one packed-decimal byte
// Exchange          sends a command frame and collects the reply; the reply and
//                   how the exchange went (ExchangeResult)
// AskForAnswer      the frame of a command and its data, exchanged and sent again
//                   while the reply is no answer to the command (ReplyAnswers),
//                   kAskTries in all; true when it was answered, else false with
//                   `unanswered` saying how (the last reply, when every try came
//                   back without its answer). `reply`: the last try's, the
//                   answer when it was answered
// AskInStep         the frame of a command and its data, exchanged once within a
//                   try at a channel: kAnswered when the reply answers it and the
//                   replies are in step; kOutOfStep when the reply is no answer to
//                   it or the replies are out of step; kStopped when the exchange
//                   went unanswered; `reply` is what came back, `unanswered` says
//                   which frame and reply
// ClockFrame        the SetClock frame of a local date and time
#pragma once
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "console/console.h"
#include "jobs/channel_line.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"

constexpr int kChannels = 62;
// Tries of a frame whose reply is no answer to it (a refused read, a reply to
// another command).
constexpr int kAskTries = 3;

// How one exchange went: what SendFrame and ReceiveReply found, and the reply.
struct ExchangeResult {
  FrameSent sent;
  std::string reply;            // what the reply window took: a reply, part of one, or nothing
  bool reply_complete = false;  // the reply window ended at a reply's FD
  bool hung_up = false;         // the port had hung up by its end
  // The whole echo came back as sent and the reply was complete. A refusal
  // is an answer; silence, a lost echo or a reply cut short is not.
  bool answered = false;
};

// The exchange that stopped a job: the command that went unanswered, of
// which channel, how the exchange went; or the reply that came back instead
// of an answer, every try.
struct Unanswered {
  const char* command = nullptr;  // nullptr: every exchange was answered
  int channel = -1;               // -1: the command is of no channel
  ExchangeResult exchange;        // the last try's
  std::string reply;              // what came back instead of an answer, if anything did
};

// How one frame of a try at a channel went (AskInStep).
enum class Asked { kAnswered, kOutOfStep, kStopped };

// The channels a save, load or comparison works on, in channel order: all of
// them unless --channels named some. Written by the command line before any
// job, read by the jobs' loops.
extern std::vector<bool> channel_chosen;
extern bool some_channels;

// A memory file read as a load reads it, a line a channel: whether each line
// loads its channel and what it sends, and the warnings --check gives.
struct CheckedFile {
  bool loads[kChannels] = {};
  ChannelFields fields[kChannels];
  int line_warnings[kChannels] = {};  // those of each line
  int warnings = 0;                   // all of them, the file's as a whole too
  int lines = 0;                      // the lines read, 62 at most
  bool ends_early = false;            // one of them says the file ends before line 62, and no more
  bool memory_file = false;           // its first line has the separator in column 4
};

// A finding of the line being read, held until the line is done: a line's
// findings come out in column order.
struct LineFinding {
  size_t column;  // in the file's bytes
  const char* kind;
  std::string text;
};

// A memory file being read as a load reads it, with what --check says of it:
// one value for each reading, handed to every step of it.
struct MemoryFileReader {
  FileReader file;
  std::FILE* findings = nullptr;  // where they are said; nullptr: counted only
  int lines = 0;                  // lines read, 62 at most
  int warnings = 0;
  bool memory_file = false;  // the first line has the separator in column 4
  bool ended_early = false;  // the one finding at the end: the file ends before line 62
  bool utf8_noted = false;   // the notes given once a file
  bool utf8_name_noted = false;
  int checking_line = 0;  // the line whose findings wait in `pending`; 0 between lines
  std::vector<LineFinding> pending;
  // Where a Ctrl-Z inside a line ended the file, in the file's bytes.
  int ctrl_z_line = 0;
  size_t ctrl_z_column = 0;
  // The lines whose mode and filter texts last set current_mode and
  // current_filter; 0 while no line of this file has.
  int mode_line = 0;
  int filter_line = 0;
};

struct FileCheck {
  int loaded = 0;  // channels a load of the file programs
  int warnings = 0;
};

// A channel of a load that the radio refused a frame of: nothing was stored in it.
struct RefusedChannel {
  int channel = 0;
  const char* command = nullptr;  // its first frame refused; the rest were not sent
};

struct LoadTally {
  int stored = 0;                       // channels whose StoreMemory the radio answered FB
  std::vector<RefusedChannel> refused;  // channels with a frame refused
  int not_sent = 0;        // channels to load left when the load stopped, the one it stopped at too
  int unconfirmed = -1;    // the channel whose StoreMemory went unanswered: it may hold its line
  int left = 0;            // channels the file leaves as the radio has them
  int sent_again = 0;      // tries after a collision or a reply to something else
  Unanswered unanswered;   // the frame the load stopped at, if it stopped
  int findings = 0;        // the warnings --check gives the file
  bool held_back = false;  // nothing was sent, for those findings
  std::vector<int> empty_chosen;  // channels --channels named whose lines load nothing
  int lines_with_findings = 0;    // chosen lines that load otherwise than they read
};

// One channel as the radio gives it to a save.
struct RadioChannel {
  bool filled = false;  // the radio accepted the recall
  std::string frequency;
  std::string name;  // up to seven bytes; seven blanks when the radio gave none
  int mode = 0;
  int filter = 0;
  Unanswered unanswered;  // the read that got no answer, if one did not
  // Its replies were out of step at its first frame: a reply of the channel
  // read before may have come late.
  bool before_in_doubt = false;
};

struct SaveResult {
  Unanswered unanswered;  // the read the save stopped at: the file is as it was
  std::string refusal;    // why a save of some channels asked the radio nothing, if it did not
  int read = 0;           // channels read from the radio
  int filled = 0;         // of those, the filled ones
  // Why a save of some channels replaced nothing after reading the radio,
  // naming the file that keeps the channels read, if it did not: one line.
  std::string not_replaced;
  // Where the old contents of the file written (FILE, or FILE.partial) are
  // kept, "" for nowhere.
  std::string backup;
  bool replaced_other_kind = false;  // the file replaced was not a memory file
};

// A channel that the radio and the file hold differently: the file's side as
// a load would send it (name as sent, seven bytes), or not filled where the
// file leaves the channel empty.
struct ChannelDifference {
  int channel = 0;
  RadioChannel radio;
  RadioChannel file;
};

struct Comparison {
  // Channels the file would load, and those it leaves empty (a load leaves
  // them as they are) where the radio holds them filled: those differ.
  int compared = 0;
  std::vector<ChannelDifference> differences;
  // Compared channels whose line --check warns of: what a load sends, which
  // is what was compared, is not what the line shows.
  std::vector<int> lines_with_findings;
  Unanswered unanswered;  // the read the comparison stopped at, if it stopped
};

struct ProbeResult {
  std::string frequency;  // seven digits, 10 MHz down to 10 Hz, as DecodeFrequency gives them
  int mode = 0;
  int filter = 0;
  Unanswered unanswered;  // the read that got no answer, if one did not
};

// A setting of the radio's clock, made from one reading of the computer's.
struct ClockSetting {
  std::string frame;       // the SetClock frame
  std::string local_time;  // the local date and time it sets, "2024-03-07 09:05:30"
};

struct ClockResult {
  std::string reply;      // what the reply window took: the reply, or a part of one, or nothing
  bool accepted = false;  // the radio answered FB
  Unanswered unanswered;  // SetClock, when it went unanswered
};

LoadTally LoadMemoriesFrom(const std::string& name, const ProgressPlace& progress,
                           std::FILE* findings = nullptr, bool despite_findings = true);
void LoadCheckedChannels(const CheckedFile& checked, LoadTally& tally,
                         const ProgressPlace& progress);
std::string LoadSummary(const LoadTally& tally);
std::string NameAsSent(const std::string& name);
SaveResult SaveMemoriesInto(const std::string& name, const ProgressPlace& progress);
SaveResult SaveChosenChannelsInto(const std::string& name, const ProgressPlace& progress);
int MemoryFileLines(const std::string& file);
std::string WithChannelLines(const std::string& file, const std::string (&lines)[kChannels]);
RadioChannel ReadRadioChannel(int channel);
Unanswered ReadChosenChannels(RadioChannel (&read)[kChannels], const ProgressPlace& progress);
bool ReadChosenLines(std::string (&lines)[kChannels], SaveResult& result,
                     const ProgressPlace& progress);
Comparison CompareMemoriesWith(const std::string& name, const ProgressPlace& progress);
ProbeResult ProbeRadio();
ClockSetting ClockSettingNow();
ClockResult SendClockSetting(const ClockSetting& setting);
std::string UnansweredText(const Unanswered& unanswered, const std::string& outcome);
FileCheck CheckMemoryFile(const std::string& name, std::FILE* out);
CheckedFile ReadCheckedMemoryFile(const std::string& name, std::FILE* out);
void OpenCheckedMemoryFile(const std::string& name, std::FILE* out, MemoryFileReader& reader);
bool ReadCheckedLine(MemoryFileReader& reader, ChannelFields& fields, bool& loads);
int CloseCheckedMemoryFile(MemoryFileReader& reader);
std::string ChooseChannels(const std::string& list);
char ChannelByte(int channel);
ExchangeResult Exchange(const std::string& frame);
bool AskForAnswer(char command, const std::string& data, bool refusal_answers, const char* name,
                  std::string& reply, Unanswered& unanswered);
Asked AskInStep(char command, const std::string& data, bool refusal_answers, const char* name,
                std::string& reply, Unanswered& unanswered);
std::string ClockFrame(const std::tm& local);
