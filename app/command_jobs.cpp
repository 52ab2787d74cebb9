// The command line's door to the jobs: what each job returns, printed as
// results and turned into the exit status.
#include "app/command_jobs.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/find_radio_door.h"
#include "console/console.h"
#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/csv_conversion.h"
#include "jobs/file_access.h"
#include "jobs/find_radio.h"
#include "jobs/jobs.h"
#include "jobs/list_channels.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "link/serial_port.h"
#include "text/text.h"

namespace {

// The command line's jobs show their progress on the progress line, never
// on a screen.
constexpr ProgressPlace kProgressLine{.on_screen = false};

// A result line: names in it keep their characters, not their control bytes.
void PrintLine(const std::string& line) {
  std::fputs((Displayed(line) + "\n").c_str(), stdout);
  std::fflush(stdout);
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
std::string ChannelText(const RadioChannel& channel) {
  if (!channel.filled) return "empty";
  std::string text = channel.frequency.substr(0, 2) + "." + channel.frequency.substr(2) + " ";
  text += ModeFilterText(channel.mode, channel.filter);
  return text + " " + Quoted(channel.name);
}

int ProbeJob() {
  // --speed auto: the speeds at the radio's address come first.
  bool echoed = false;
  uint32_t speed = line_speed == 0 ? FindRadioSpeed(echoed) : PortSpeed();
  if (line_speed == 0 && speed != 0)
    PrintProblem(RadioText() + " answers at " + std::to_string(speed) + " bit/s");
  if (speed == 0) return echoed ? ReportRadioSearch(true) : ReportNoEcho();
  ProbeResult probe = ProbeRadio();
  const Unanswered& unanswered = probe.unanswered;
  // Silence on a line that echoes: the radio may be at another speed or
  // address. A reply that answers nothing, or a line that hung up, is said
  // as a job says it.
  if (unanswered.command && unanswered.reply.empty() && !unanswered.exchange.hung_up &&
      !unanswered.exchange.sent.echo_changed)
    return unanswered.exchange.sent.echo_as_sent ? ReportRadioSearch(false) : ReportNoEcho();
  if (unanswered.command) {
    ReportUnanswered(unanswered, "the probe found no radio");
    return kRadioStoppedAnswering;
  }
  // The megahertz without a leading zero: "7.05000 MHz".
  const std::string& frequency = probe.frequency;
  size_t first = frequency[0] == '0' ? 1 : 0;
  PrintLine(RadioText() + " answered: " + frequency.substr(first, 2 - first) + "." +
            frequency.substr(2) + " MHz " + ModeFilterText(probe.mode, probe.filter));
  return kAllWell;
}

int SaveJob(const std::string& name) {
  SaveResult result = SaveMemoriesInto(name, kProgressLine);
  if (!result.refusal.empty()) {
    PrintProblem(result.refusal);
    return kUsageError;
  }
  if (result.unanswered.command) {
    ReportUnanswered(result.unanswered, "the save stopped and the file was left as it was");
    return kRadioStoppedAnswering;
  }
  if (!result.not_replaced.empty()) {
    if (!result.backup.empty()) PrintLine(result.backup + " keeps the old contents");
    PrintProblem(result.not_replaced);
    return kResultsNotWritten;
  }
  // The summary goes where the results go, unless the file itself goes there.
  std::string summary = Displayed(SaveSummary(result, name)) + "\n";
  std::fputs(summary.c_str(), name == kStandardStreamName ? stderr : stdout);
  return kAllWell;
}

int LoadJob(const std::string& name) {
  // --check's findings, on the error stream: a file with any sends nothing
  // unless --force says to load it as it stands.
  LoadTally tally = LoadMemoriesFrom(name, kProgressLine, stderr, force_given);
  if (tally.held_back) {
    PrintProblem("nothing is sent: --check finds " + Count(tally.findings, "warning") +
                 (some_channels ? " in the chosen lines of " : " in ") + name + " (above); mend " +
                 (tally.findings == 1 ? "it" : "them") +
                 ", or load it as it stands, as menu choice 1 does, with --load " + name +
                 (some_channels ? " --channels " + channel_list : "") + " --force");
    return kFoundSomething;
  }
  for (int channel : tally.empty_chosen)
    PrintLine("channel " + std::to_string(channel) + " is empty in " + name +
              ": left as the radio has it");
  if (tally.unanswered.command) ReportUnanswered(tally.unanswered, "the load stopped");
  PrintLine(LoadSummary(tally) + "; " + Count(tally.sent_again, "frame") + " sent again");
  if (tally.unanswered.command) return kRadioStoppedAnswering;
  return tally.refused.empty() ? kAllWell : kFoundSomething;
}

int ClockJob() {
  ClockSetting setting = ClockSettingNow();
  PrintLine("sent  " + FrameHex(setting.frame));
  ClockResult result = SendClockSetting(setting);
  if (result.unanswered.command) {
    ReportUnanswered(result.unanswered, "the clock may not be set");
    return kRadioStoppedAnswering;
  }
  PrintLine("reply " + FrameHex(result.reply));
  // The frame in words, for whoever can't read packed decimals.
  if (!result.accepted) {
    PrintLine("the radio refused the clock " + setting.local_time);
    return kFoundSomething;
  }
  PrintLine("set the radio's clock to " + setting.local_time);
  return kAllWell;
}

// A channel whose line --check warns of was compared with what a load
// sends, not with what the line shows: its line says so.
std::string LineMark(const std::string& name) {
  return " (what a load sends, not what the line shows: see --check " + name + ")";
}

bool Marked(const Comparison& comparison, int channel) {
  const std::vector<int>& marked = comparison.lines_with_findings;
  return std::find(marked.begin(), marked.end(), channel) != marked.end();
}

int CompareJob(const std::string& name) {
  Comparison comparison = CompareMemoriesWith(name, kProgressLine);
  for (const ChannelDifference& difference : comparison.differences) {
    PrintLine("channel " + std::to_string(difference.channel) + ": radio " +
              ChannelText(difference.radio) + ", file " + ChannelText(difference.file) +
              (difference.file.filled ? "" : ": a load leaves it as the radio has it") +
              (Marked(comparison, difference.channel) ? LineMark(name) : ""));
  }
  // Those that agree only with what a load sends.
  for (int channel : comparison.lines_with_findings) {
    auto differs = [channel](const ChannelDifference& d) { return d.channel == channel; };
    if (std::any_of(comparison.differences.begin(), comparison.differences.end(), differs))
      continue;
    PrintLine("channel " + std::to_string(channel) + ": radio and file agree" + LineMark(name));
  }
  if (comparison.unanswered.command) {
    ReportUnanswered(comparison.unanswered, "the comparison stopped");
    return kRadioStoppedAnswering;
  }
  int differ = static_cast<int>(comparison.differences.size());
  PrintLine(Count(comparison.compared, "channel") + " compared, " +
            std::to_string(comparison.compared - differ) + " agree, " + std::to_string(differ) +
            " differ");
  return differ == 0 ? kAllWell : kFoundSomething;
}

// --list-radio: the chosen channels read as a save reads them, then listed;
// nothing is written to the radio. As a save writes a file, the list shows
// what the radio holds or nothing: a channel is read again when a reply
// after it came late, so none is shown before all are in.
int ListRadioJob() {
  RadioChannel read[kChannels];
  Unanswered unanswered = ReadChosenChannels(read, kProgressLine);
  PrintProgress("");
  if (unanswered.command) {
    ReportUnanswered(unanswered, "the list stopped");
    return kRadioStoppedAnswering;
  }
  for (int channel = 0; channel < kChannels; channel++) {
    if (!channel_chosen[channel] || (!read[channel].filled && !all_given)) continue;
    PrintLine(ChannelListLine(channel, read[channel], false));
  }
  return kAllWell;
}

}  // namespace

std::string SaveSummary(const SaveResult& result, const std::string& name) {
  std::string text = name + ": " + Count(result.read, "channel") + " saved, " +
                     std::to_string(result.filled) + " filled";
  if (!result.backup.empty()) {
    text += "; " + result.backup + " keeps the old contents";
    if (result.replaced_other_kind) text += ", which were not a memory file";
  } else if (result.replaced_other_kind) {
    text += "; it was not a memory file, and no backup was kept";
  }
  return text;
}

void ReportUnanswered(const Unanswered& unanswered, const std::string& outcome) {
  PrintProgress("");
  PrintProblem(UnansweredText(unanswered, outcome));
}

int RefuseOtherKindOfFile(const std::string& job, const std::string& name) {
  const std::string quoted = "\"" + name + "\"";
  const std::string csv = quoted + " is a CSV file (its first line names a Location column)";
  std::string refusal;
  if (job != "--save") {
    if (KindOfFile(name) == FileKind::kCsv) {
      refusal = csv + ", not a memory file: nothing is " + (job == "--check" ? "checked" : "sent") +
                "; to make a memory file of it, use --from-csv " + name + " MEMORY_FILE";
    }
  } else {
    // A save replaces its file: never one that holds something else. Only
    // where the save's own open would go: a name that open refuses (a
    // planted link) it reports itself, and nothing is read through it here.
    FileFacts facts;
    FileKind kind = FileKind::kNoFile;
    if (name != kStandardStreamName && FileLookUp(name, facts) == 0) kind = KindOfFile(facts.path);
    const std::string replaced =
        ", which the save would replace: nothing is sent; name a new "
        "file for the save";
    if (kind == FileKind::kCsv) refusal = csv + replaced;
    if (kind == FileKind::kOther) {
      refusal = quoted +
                " is not a memory file (its first line is neither a channel line nor "
                "empty)" +
                replaced;
    }
  }
  if (refusal.empty()) return kAllWell;
  PrintProblem(refusal);
  return kUsageError;
}

int CheckJob(const std::string& name) {
  // The findings are the check's result: they go where the summary goes.
  FileCheck check = CheckMemoryFile(name, stdout);
  PrintLine(name + ": loads " + Count(check.loaded, "channel") + ", leaves " +
            std::to_string(kChannels - check.loaded) + " as the radio has " +
            (kChannels - check.loaded == 1 ? "it; " : "them; ") + Count(check.warnings, "warning"));
  return check.warnings == 0 ? kAllWell : kFoundSomething;
}

int ListJob(const std::string& name) {
  // The findings go to the error stream, so that the list stays a list.
  ChannelList list = ListedFile(name, stderr);
  int marks = 0;  // of the chosen lines
  for (int channel = 0; channel < kChannels; channel++) {
    if (!channel_chosen[channel]) continue;
    if (list.marked[channel]) marks++;
    bool shown = list.channels[channel].filled || list.marked[channel] || all_given;
    if (shown) PrintLine(ChannelListLine(channel, list.channels[channel], list.marked[channel]));
  }
  if (marks > 0)
    PrintProblem(Count(marks, "line") + " marked with ! (warnings above): a load reads " +
                 (marks == 1 ? "it" : "them") + " otherwise than shown");
  if (list.file_warnings > 0)
    PrintProblem(Count(list.file_warnings, "warning") + " about " + name + " as a whole (above)");
  return marks == 0 && list.file_warnings == 0 ? kAllWell : kFoundSomething;
}

int ConversionJob(const std::string& job, const std::string& input, const std::string& output) {
  const bool to_csv = job == "--to-csv";
  Conversion conversion =
      to_csv ? ConvertMemoryFileToCsv(input, output) : ConvertCsvToMemoryFile(input, output);
  if (!conversion.refusal.empty()) {
    PrintProblem(conversion.refusal);
    return kUsageError;
  }
  // The summary goes where the results go, unless the converted file itself
  // goes there.
  std::string channels = Count(conversion.channels, "channel");
  if (!conversion.written) channels = "not written, no channels";
  std::string empty = conversion.written && !to_csv
                          ? std::to_string(kChannels - conversion.channels) + " empty, "
                          : "";
  std::string summary = output + ": " + channels + " from " + input + ", " + empty +
                        Count(conversion.warnings, "warning");
  if (!backup_made.empty()) summary += "; " + backup_made + " keeps the old contents";
  summary = Displayed(summary) + "\n";
  std::fputs(summary.c_str(), output == kStandardStreamName ? stderr : stdout);
  return conversion.warnings == 0 ? kAllWell : kFoundSomething;
}

int RunCommandJob(const std::string& job, const std::vector<std::string>& values) {
  if (job == "--probe") return ProbeJob();
  if (job == "--save") return SaveJob(values[0]);
  if (job == "--load") return LoadJob(values[0]);
  if (job == "--compare") return CompareJob(values[0]);
  if (job == "--list-radio") return ListRadioJob();
  return ClockJob();
}
