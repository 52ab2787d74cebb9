// The jobs run once from the command line, for scripts and cron: the menu's
// jobs without the screen, each ending with an exit status. Results go to the
// standard output stream, one line each; problems to the error stream.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/fatal.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "text/text.h"

namespace {

constexpr int kAllWell = 0;
constexpr int kFoundSomething = 3;

void PrintLine(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

int ClockJob() {
  std::time_t now = std::time(nullptr);
  std::tm local = *std::localtime(&now);
  std::string frame = ClockFrame(local);
  PrintLine("sent  " + FrameHex(frame));
  bool answered = Exchange(frame);
  PrintLine("reply " + (civ_buffer.empty() ? "(none)" : FrameHex(civ_buffer)));
  bool accepted = answered && ReplyStatusIs(ReplyOk);
  return accepted ? kAllWell : kFoundSomething;
}

int LoadJob(const std::string& name) {
  LoadTally tally = LoadMemoriesFrom(name);
  if (tally.stopped_at)
    ReportUnanswered(tally.stopped_at, tally.stopped_channel, "the load stopped");
  PrintLine(std::to_string(tally.stored) + " channels stored, " + std::to_string(tally.left) +
            " left as the radio had them, " + std::to_string(tally.refused) + " frames refused, " +
            std::to_string(tally.unanswered) + " unanswered, " + std::to_string(tally.sent_again) +
            " sent again");
  return tally.refused + tally.unanswered == 0 ? kAllWell : kFoundSomething;
}

// A mode and filter in words: "USB 2.4", or their numbers when the tables
// have none.
std::string ModeFilterText(int mode, int filter) {
  std::string text = ValidMode(mode)
                         ? ModeNames[mode].substr(0, ModeNames[mode].find_last_not_of(' ') + 1)
                         : "mode " + std::to_string(mode);
  text += " ";
  text += ValidFilter(filter) ? FilterNames[filter] : "filter " + std::to_string(filter);
  return text;
}

// A channel's settings in words: 14.23450 USB 2.4 "BEACON ". The name is
// shown in plain ASCII (Quoted).
std::string ChannelText(const std::string& frequency, int mode, int filter,
                        const std::string& name) {
  std::string text = frequency.substr(0, 2) + "." + frequency.substr(2) + " ";
  text += ModeFilterText(mode, filter);
  return text + " " + Quoted(name);
}

int CompareJob(const std::string& name) {
  // The file first, read as a load reads it, so that its modes and filters
  // are those a load would send; then the radio, read as a save reads it.
  bool loads[kChannels];
  ChannelFields file[kChannels];
  OpenMemoryFileForReading(name);
  if (last_error != 0) EndWithFileProblem(kReadOpenLine);
  for (int channel = 0; channel < kChannels; channel++) {
    loads[channel] = ParseChannelLine(ReadChannelLine(), file[channel]);
  }
  CloseMemoryFileAfterReading();
  if (last_error != 0) EndWithFileProblem(kReadCloseLine);

  int compared = 0;
  int differ = 0;
  for (int channel = 0; channel < kChannels; channel++) {
    ShowProgress("Reading memory ", channel);
    RadioChannel radio = ReadRadioChannel(channel);
    if (radio.unanswered) {
      ReportUnanswered(radio.unanswered, channel, "the comparison stopped");
      return kFoundSomething;
    }
    if (!loads[channel]) continue;
    compared++;
    std::string wanted_name = NameAsSent(file[channel].name);
    wanted_name.resize(kNameLength, ' ');
    std::string radio_name = radio.name;
    radio_name.resize(kNameLength, ' ');
    int wanted_mode = file[channel].mode & 0xFF;
    int wanted_filter = file[channel].filter & 0xFF;
    if (radio.filled && radio.frequency == file[channel].frequency && radio.mode == wanted_mode &&
        radio.filter == wanted_filter && radio_name == wanted_name)
      continue;
    differ++;
    std::string radio_text =
        radio.filled ? ChannelText(radio.frequency, radio.mode, radio.filter, radio_name) : "empty";
    PrintProgress("");
    PrintLine("channel " + std::to_string(channel) + ": radio " + radio_text + ", file " +
              ChannelText(file[channel].frequency, wanted_mode, wanted_filter, wanted_name));
  }
  PrintProgress("");
  PrintLine(std::to_string(compared) + " channels compared, " + std::to_string(compared - differ) +
            " agree, " + std::to_string(differ) + " differ");
  return differ == 0 ? kAllWell : kFoundSomething;
}

// One read of --probe; false, after one line on the error stream, when the
// radio did not answer it or refused it.
bool ProbeRead(char command, const char* name) {
  if (!Exchange(frame_header + command + FrameEnd)) {
    ReportUnanswered(name, -1, "the probe found no radio");
    return false;
  }
  if (ReplyStatusIs(command)) return true;
  std::string line = "quenmar-setup: radio 04 answered " + std::string(name) + " with " +
                     FrameHex(civ_buffer) + "\n";
  std::fputs(line.c_str(), stderr);
  return false;
}

// --probe: the radio's frequency and mode, asked with the read commands only,
// so that nothing in the radio changes.
int ProbeJob() {
  if (!ProbeRead(ReadFrequency, "ReadFrequency")) return kFoundSomething;
  std::string frequency = DecodeFrequency();
  if (!ProbeRead(ReadMode, "ReadMode")) return kFoundSomething;
  // The megahertz without a leading zero: "7.05000 MHz".
  size_t first = frequency[0] == '0' ? 1 : 0;
  PrintLine("radio 04 answered: " + frequency.substr(first, 2 - first) + "." + frequency.substr(2) +
            " MHz " + ModeFilterText(ReplyByte(kReplyMode), ReplyByte(kReplyFilter)));
  return kAllWell;
}

}  // namespace

std::string TypedFileName(const std::string& typed) {
  return typed == standard_stream_name ? "./" + typed : typed;
}

int RunCommandJob(const std::string& job, const std::vector<std::string>& values) {
  if (job == "--probe") return ProbeJob();
  if (job == "--clock") return ClockJob();
  if (job == "--load") return LoadJob(values[0]);
  if (job == "--compare") return CompareJob(values[0]);
  SaveMemoriesInto(values[0]);  // --save: a save that cannot finish ends the run itself
  return kAllWell;
}
