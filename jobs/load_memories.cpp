// The load, for menu choice 1 and --load: the radio's channels programmed
// from a memory file.
#include <cstdio>
#include <string>

#include "console/console.h"
#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "link/port_trace.h"
#include "text/text.h"

namespace {

// How one frame of a load went: answered FB; refused (FA, or no answer to
// it, every try); or unanswered, which stops the load.
enum class Sent { kStored, kRefused, kUnanswered };

// One frame of a load, of a channel. A reply to something else is asked
// again, as a collision is: every frame of a load may go out twice without
// harm. An exchange that goes unanswered is noted in the tally.
Sent Send(const std::string& frame, const char* command, int channel, LoadTally& tally) {
  for (int tries = 1;; tries++) {
    ExchangeResult exchanged = Exchange(frame);
    tally.sent_again += exchanged.sent.tries - 1;
    if (!exchanged.answered) {
      tally.unanswered = {command, channel, exchanged, ""};
      return Sent::kUnanswered;
    }
    if (ReplyStatusIs(ReplyOk)) return Sent::kStored;
    if (ReplyStatusIs(ReplyRefused) || tries == kAskTries) return Sent::kRefused;
    TraceNote(std::string("no answer to ") + command + " in " + FrameHex(civ_buffer) +
              ": sending it again");
    tally.sent_again++;
  }
}

}  // namespace

std::string LoadSummary(const LoadTally& tally) {
  std::string text = Count(tally.stored, "channel") + " stored, " +
                     std::to_string(tally.refused.size()) + " refused";
  for (size_t i = 0; i < tally.refused.size(); i++) {
    text += (i == 0 ? " (" : ", ") + std::to_string(tally.refused[i].channel) + " at " +
            tally.refused[i].command;
  }
  if (!tally.refused.empty()) text += ")";
  if (tally.unanswered.command)
    text += ", " + std::to_string(tally.not_sent) + " not sent because the load stopped";
  return text + ", " + std::to_string(tally.left) + " left as the radio has " +
         (tally.left == 1 ? "it" : "them");
}

std::string NameAsSent(const std::string& name) {
  // FE would start a new frame inside SetName and FD end it early.
  std::string sent = name;
  for (char& c : sent) {
    if (c == '\xFD' || c == '\xFE') c = ' ';
  }
  return sent;
}

namespace {

// One channel's five frames; the first refused ends the channel, since the
// frames after it would store into the channel selected before, or a channel
// half set.
void LoadChannel(int channel, const ChannelFields& fields, LoadTally& tally) {
  const struct {
    std::string frame;
    const char* command;
  } frames[] = {
      {frame_header + SetFrequency + EncodeFrequency(fields.frequency) + FrameEnd, "SetFrequency"},
      {frame_header + SetModeFilter + static_cast<char>(fields.mode & 0xFF) +
           static_cast<char>(fields.filter & 0xFF) + FrameEnd,
       "SetModeFilter"},
      {frame_header + SelectMemory + ChannelByte(channel) + FrameEnd, "SelectMemory"},
      {frame_header + SetName + NameAsSent(fields.name) + FrameEnd, "SetName"},
      {frame_header + StoreMemory + FrameEnd, "StoreMemory"},
  };
  Sent sent = Sent::kStored;
  const char* command = nullptr;
  for (const auto& step : frames) {
    command = step.command;
    sent = Send(step.frame, command, channel, tally);
    if (sent != Sent::kStored) break;
  }
  if (sent == Sent::kStored) {
    tally.stored++;
  } else if (sent == Sent::kRefused) {
    tally.refused.push_back({channel, command});
    TraceNote(std::string("channel ") + std::to_string(channel) + " refused at " + command +
              ": its other frames not sent, nothing stored");
  } else {
    tally.not_sent++;
  }
}

}  // namespace

LoadTally LoadMemoriesFrom(const std::string& name, std::FILE* findings, bool despite_findings) {
  LoadTally tally;
  // The whole file, read as --check reads it, so that a file with findings
  // is held back before a frame is sent. The findings that count are those
  // of the chosen lines and of the file as a whole.
  CheckedFile checked = ReadCheckedMemoryFile(name, findings);
  tally.findings = checked.warnings;
  bool lines_chosen_there = true;
  for (int channel = 0; channel < kChannels; channel++) {
    if (!channel_chosen[channel]) tally.findings -= checked.line_warnings[channel];
    if (channel_chosen[channel] && channel >= checked.lines) lines_chosen_there = false;
    if (channel_chosen[channel] && checked.line_warnings[channel] > 0) tally.lines_with_findings++;
  }
  // A memory file that ends before line 62 leaves the channels after its end
  // as the radio has them: nothing to hold back a load of channels that all
  // have their lines.
  if (some_channels && checked.ends_early && checked.memory_file && lines_chosen_there)
    tally.findings--;
  tally.left = kChannels;
  if (tally.findings > 0 && !despite_findings) {
    tally.held_back = true;
    return tally;
  }
  LoadCheckedChannels(checked, tally);
  return tally;
}

void LoadCheckedChannels(const CheckedFile& checked, LoadTally& tally) {
  int loads = 0;  // channels the load programs
  for (int channel = 0; channel < kChannels; channel++) {
    if (!channel_chosen[channel]) continue;
    if (!tally.unanswered.command) ShowProgress("Loading memory ", channel, kChannels);
    if (!checked.loads[channel]) {
      if (some_channels) tally.empty_chosen.push_back(channel);
      continue;
    }
    loads++;
    // After a stop the rest of the file is only counted.
    if (tally.unanswered.command) {
      tally.not_sent++;
      continue;
    }
    LoadChannel(channel, checked.fields[channel], tally);
  }
  tally.left = kChannels - loads;
  PrintProgress("");
}
