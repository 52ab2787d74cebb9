// The save, for menu choice 2 and --save: every channel of the radio into a
// memory file (for --save with --channels, save_chosen_channels.cpp), and
// the reading of the radio's channels that every job reading them shares.
#include <string>

#include "console/console.h"
#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/csv_conversion.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "link/port_trace.h"

namespace {

// One try at a channel: the save's frames for it, in order, up to the first
// that is no answer or finds the replies out of step.
Asked TryChannel(int channel, bool last_try, RadioChannel& read) {
  Unanswered& unanswered = read.unanswered;
  // Each frame's reply under a name of its own: what a line reads is the
  // reply it names, whatever ran since.
  std::string selected, recalled, frequency, mode, name;
  // A refused selection would recall the channel selected before: it is no
  // answer. A refused recall is: the channel is empty.
  Asked asked = AskInStep(SelectMemory, std::string(1, ChannelByte(channel)), false, "SelectMemory",
                          selected, unanswered);
  if (asked == Asked::kAnswered)
    asked = AskInStep(RecallMemory, "", true, "RecallMemory", recalled, unanswered);
  if (asked != Asked::kAnswered || !ReplyStatusIs(recalled, ReplyOk)) return asked;
  read.filled = true;
  asked = AskInStep(ReadFrequency, "", false, "ReadFrequency", frequency, unanswered);
  if (asked != Asked::kAnswered) return asked;
  read.frequency = DecodeFrequency(frequency);
  asked = AskInStep(ReadMode, "", false, "ReadMode", mode, unanswered);
  if (asked != Asked::kAnswered) return asked;
  // A radio of the family may send the mode alone: the filter is then 0.
  read.mode = ReplyByte(mode, kReplyMode);
  read.filter = ReplyFilter(mode);
  read.name = "       ";
  // A refused name read is asked again like the others; refused on every
  // try, it is an answer: a radio or channel without a name.
  asked = AskInStep(ReadName, "", last_try, "ReadName", name, unanswered);
  if (asked != Asked::kAnswered || !ReplyStatusIs(name, ReadName)) return asked;
  // The name ends where the reply does: its FD is not part of it.
  std::string bytes = name.substr(kReplyName - 1, kNameLength);
  size_t end = bytes.find(FrameEnd);
  if (name.size() < kReplyName + kNameLength && end != std::string::npos) bytes.erase(end);
  read.name = bytes;
  return asked;
}

}  // namespace

RadioChannel ReadRadioChannel(int channel) {
  // A reply that is no answer, or one where none can be, puts every reply
  // of the channel in doubt: once the line is quiet, the channel is read
  // again from its SelectMemory, kAskTries tries in all.
  bool before_in_doubt = false;
  for (int tries = 1;; tries++) {
    RadioChannel read;
    read.unanswered.channel = channel;
    replies_out_of_step = false;
    Asked asked = TryChannel(channel, tries == kAskTries, read);
    // A reply where none can be at the channel's very first frame: it may
    // be the channel before's, late.
    if (tries == 1 && asked == Asked::kOutOfStep && replies_out_of_step)
      before_in_doubt = read.unanswered.command == std::string("SelectMemory");
    read.before_in_doubt = before_in_doubt;
    if (asked == Asked::kAnswered) {
      // Only a mode the radio can have becomes the mode a later load sends.
      if (read.filled && ValidMode(read.mode)) current_mode = static_cast<int16_t>(read.mode);
      return read;
    }
    if (asked == Asked::kStopped || tries == kAskTries) return read;
    TraceNote("channel " + std::to_string(channel) +
              ": replies out of step; the channel again from SelectMemory once the line is quiet");
    LetRepliesSettle();
  }
}

Unanswered ReadChosenChannels(RadioChannel (&read)[kChannels], const ProgressPlace& progress) {
  int previous = -1;
  for (int channel = 0; channel < kChannels; channel++) {
    if (!channel_chosen[channel]) continue;
    ShowProgress(progress, "Reading memory ", channel, kChannels);
    read[channel] = ReadRadioChannel(channel);
    // The last reply taken for the channel before may have been another's:
    // that channel is read again, then this one, so that the mode a later
    // load starts from stays the last channel's.
    if (!read[channel].unanswered.command && read[channel].before_in_doubt && previous >= 0) {
      TraceNote("channel " + std::to_string(previous) + " read again: a reply came late after it");
      read[previous] = ReadRadioChannel(previous);
      if (read[previous].unanswered.command) return read[previous].unanswered;
      read[channel] = ReadRadioChannel(channel);
    }
    if (read[channel].unanswered.command) return read[channel].unanswered;
    previous = channel;
  }
  // A reply come late behind the last channel's: that channel is read again.
  if (previous >= 0 && DrainStale()) {
    read[previous] = ReadRadioChannel(previous);
    if (read[previous].unanswered.command) return read[previous].unanswered;
  }
  return Unanswered();
}

bool ReadChosenLines(std::string (&lines)[kChannels], SaveResult& result,
                     const ProgressPlace& progress) {
  RadioChannel read[kChannels];
  result.unanswered = ReadChosenChannels(read, progress);
  if (result.unanswered.command) return false;
  for (int channel = 0; channel < kChannels; channel++) {
    if (!channel_chosen[channel]) continue;
    const RadioChannel& c = read[channel];
    result.read++;
    if (c.filled) result.filled++;
    lines[channel] = FormatChannelLine(channel, c.filled, c.frequency, c.name, c.mode, c.filter);
  }
  PrintProgress("");
  return true;
}

SaveResult SaveMemoriesInto(const std::string& name, const ProgressPlace& progress) {
  if (some_channels) return SaveChosenChannelsInto(name, progress);
  SaveResult result;
  // Looked at before it is replaced: a file of another kind (a save may be
  // pointed at any name from the menu) is then kept only in its backup.
  FileKind kind = KindOfFile(name);
  // A file whose first line is empty may be a memory file: not said.
  result.replaced_other_kind = kind == FileKind::kCsv || kind == FileKind::kOther;
  OpenMemoryFileForWriting(name);
  if (last_error != 0) EndWithFileProblem(kWriteOpenLine);
  std::string lines[kChannels];
  if (!ReadChosenLines(lines, result, progress)) {
    // Nothing the radio did not give may end up in the file. The new
    // contents wait in memory until all 62 lines are in, whatever their
    // size: dropping them leaves a file as it was, and a stream (the
    // standard output, a FIFO, a device) is given nothing at all.
    AbandonMemoryFileWriting();
    return result;
  }
  for (const std::string& line : lines) WriteChannelLine(line);
  CloseMemoryFileAfterWriting();
  if (last_error != 0) EndWithFileProblem(kWriteCloseLine);
  result.backup = backup_made;
  return result;
}
