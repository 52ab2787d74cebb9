// The load, for menu choice 1 and --load: the radio's channels programmed
// from a memory file.
#include <cstdio>
#include <iterator>
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

// How one frame of a load went: accepted (answered FB; a channel whose
// frames were all accepted is stored); refused (FA, and nothing came while
// the line fell quiet); out of step (any other reply, or a reply where none
// can be); or unanswered, which stops the load.
enum class Sent { kAccepted, kRefused, kOutOfStep, kUnanswered };

// One frame of a load, of a channel; the exchange is noted in the tally as
// the one the load stops at, should it stop.
Sent Send(const std::string& frame, const char* command, int channel, LoadTally& tally) {
  ExchangeResult exchanged = Exchange(frame);
  tally.sent_again += exchanged.sent.tries - 1;
  tally.unanswered = {command, channel, exchanged, ""};
  if (!exchanged.answered) return Sent::kUnanswered;
  tally.unanswered.reply = exchanged.reply;
  if (replies_out_of_step) {
    tally.unanswered.reply = late_reply;
    return Sent::kOutOfStep;
  }
  if (ReplyStatusIs(exchanged.reply, ReplyOk)) return Sent::kAccepted;
  // FB and FA carry no command: an FA may be an earlier frame's answer, come
  // late, with this frame's own behind it. A reply while the line falls
  // quiet says so.
  if (ReplyStatusIs(exchanged.reply, ReplyRefused) && !LetRepliesSettle()) return Sent::kRefused;
  TraceNote(std::string("no answer to ") + command + " in " + FrameHex(exchanged.reply));
  return Sent::kOutOfStep;
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
  if (tally.unconfirmed >= 0)
    text += ", StoreMemory sent, no answer: channel " + std::to_string(tally.unconfirmed) +
            " may hold its line";
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

// One try at a channel's five frames; the first refused ends the channel,
// since the frames after it would store into the channel selected before, or
// a channel half set.
Sent TryChannel(int channel, const ChannelFields& fields, const char*& command, size_t& at,
                LoadTally& tally) {
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
  for (size_t i = 0; i < std::size(frames); i++) {
    command = frames[i].command;
    at = i;
    // A reply waiting from before is out of step: the frame is not sent,
    // so that a StoreMemory never follows a setting whose answer is in doubt.
    if (DrainStale()) {
      tally.unanswered = {command, channel, ExchangeResult(), late_reply};
      tally.sent_again += static_cast<int>(i);  // the frames of a try given up on
      return Sent::kOutOfStep;
    }
    Sent sent = Send(frames[i].frame, command, channel, tally);
    if (sent == Sent::kOutOfStep) tally.sent_again += static_cast<int>(i) + 1;
    if (sent != Sent::kAccepted) return sent;
  }
  return Sent::kAccepted;
}

// One channel: with the replies out of step, once the line is quiet, the
// channel again from its first frame, kAskTries tries in all; then the load
// stops as at an unanswered exchange. `before_in_doubt`: a reply where none
// can be came at the channel's very first frame, which may be the channel
// before's, come late behind a copy taken for its answer.
Sent LoadChannel(int channel, const ChannelFields& fields, LoadTally& tally,
                 bool& before_in_doubt) {
  const char* command = nullptr;
  Sent sent = Sent::kOutOfStep;
  before_in_doubt = false;
  for (int tries = 1; tries <= kAskTries && sent == Sent::kOutOfStep; tries++) {
    if (tries > 1) {
      TraceNote("channel " + std::to_string(channel) +
                ": replies out of step; the channel again once the line is quiet");
      LetRepliesSettle();
    }
    replies_out_of_step = false;
    size_t at = 0;
    sent = TryChannel(channel, fields, command, at, tally);
    if (tries == 1 && sent == Sent::kOutOfStep && at == 0) before_in_doubt = replies_out_of_step;
  }
  if (sent != Sent::kUnanswered && sent != Sent::kOutOfStep) tally.unanswered = Unanswered();
  if (sent == Sent::kAccepted) {
    tally.stored++;
  } else if (sent == Sent::kRefused) {
    tally.refused.push_back({channel, command});
    TraceNote(std::string("channel ") + std::to_string(channel) + " refused at " + command +
              ": its other frames not sent, nothing stored");
  } else if (sent == Sent::kUnanswered && command == std::string("StoreMemory")) {
    // Every frame of the channel went out: the radio may have stored it.
    tally.unconfirmed = channel;
  } else {
    tally.not_sent++;
  }
  return sent;
}

// A channel loaded already, sent again after a reply came late behind it:
// the outcome it had is taken out of the tally, its five frames counted
// again, and it is loaded afresh.
void SendAgain(int channel, Sent sent, const ChannelFields& fields, LoadTally& tally) {
  TraceNote("channel " + std::to_string(channel) + " sent again: a reply came late after it");
  if (sent == Sent::kAccepted) tally.stored--;
  for (size_t i = 0; sent == Sent::kRefused && i < tally.refused.size(); i++) {
    if (tally.refused[i].channel == channel) tally.refused.erase(tally.refused.begin() + i);
  }
  tally.sent_again += 5;
  bool before_in_doubt = false;
  LoadChannel(channel, fields, tally, before_in_doubt);
}

}  // namespace

LoadTally LoadMemoriesFrom(const std::string& name, const ProgressPlace& progress,
                           std::FILE* findings, bool despite_findings) {
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
  LoadCheckedChannels(checked, tally, progress);
  return tally;
}

void LoadCheckedChannels(const CheckedFile& checked, LoadTally& tally,
                         const ProgressPlace& progress) {
  int loads = 0;      // channels the load programs
  int previous = -1;  // the channel sent last, and how that went
  Sent previous_sent = Sent::kAccepted;
  for (int channel = 0; channel < kChannels; channel++) {
    if (!channel_chosen[channel]) continue;
    if (!tally.unanswered.command) ShowProgress(progress, "Loading memory ", channel, kChannels);
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
    bool before_in_doubt = false;
    Sent sent = LoadChannel(channel, checked.fields[channel], tally, before_in_doubt);
    // The last reply taken for the channel loaded before may have been a
    // copy, and its StoreMemory refused: that channel is sent again.
    if (before_in_doubt && previous >= 0 && !tally.unanswered.command) {
      SendAgain(previous, previous_sent, checked.fields[previous], tally);
      if (tally.unanswered.command) continue;
    }
    previous = channel;
    previous_sent = sent;
  }
  // Behind the last channel no frame of its own finds a reply come late (a
  // copy taken for its StoreMemory's answer, the refusal behind it): the
  // line is let fall quiet, and a reply meanwhile sends that channel again.
  if (previous >= 0 && !tally.unanswered.command && LetRepliesSettle())
    SendAgain(previous, previous_sent, checked.fields[previous], tally);
  tally.left = kChannels - loads;
  PrintProgress("");
}
