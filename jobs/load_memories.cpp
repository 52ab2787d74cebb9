// The load, for menu choice 1 and --load: the radio's channels programmed
// from a memory file.
#include <string>

#include "app/console.h"
#include "app/fatal.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"

namespace {

// One frame of a load, counted by its answer; false when it went unanswered,
// and the load stops: a radio that has gone away would otherwise cost a
// reply window per frame. A refusal changes nothing else: the frames go on.
bool Send(const std::string& frame, const char* command, int channel, LoadTally& tally) {
  bool answered = Exchange(frame);
  tally.sent_again += send_tries - 1;
  if (!answered) {
    tally.unanswered++;
    tally.stopped_at = command;
    tally.stopped_channel = channel;
    return false;
  }
  if (!ReplyStatusIs(ReplyOk)) tally.refused++;
  return true;
}

}  // namespace

std::string NameAsSent(const std::string& name) {
  // FE would start a new frame inside SetName and FD end it early.
  std::string sent = name;
  for (char& c : sent) {
    if (c == '\xFD' || c == '\xFE') c = ' ';
  }
  return sent;
}

LoadTally LoadMemoriesFrom(const std::string& name) {
  LoadTally tally;
  OpenMemoryFileForReading(name);
  if (last_error != 0) EndWithFileProblem(kReadOpenLine);
  for (int channel = 0; channel < kChannels; channel++) {
    if (channel_chosen[channel]) ShowProgress("Loading memory ", channel);
    ChannelFields fields;
    std::string line = ReadChannelLine();
    if (ReadFailed()) {
      // Nothing of a line that could not be read is sent.
      CloseMemoryFileAfterReading();
      EndWithFileProblem(kReadCloseLine);
    }
    // Every line is taken apart, chosen or not: a mode or filter that a line
    // does not name is the one from the lines before it, and the frames of a
    // chosen line are those a load of the whole file sends for it.
    bool loads = ParseChannelLine(line, fields);
    if (!channel_chosen[channel]) continue;
    if (!loads) {
      if (some_channels) tally.empty_chosen.push_back(channel);
      continue;
    }
    const struct {
      std::string frame;
      const char* command;
    } frames[] = {
        {frame_header + SetFrequency + EncodeFrequency(fields.frequency) + FrameEnd,
         "SetFrequency"},
        {frame_header + SetModeFilter + static_cast<char>(fields.mode & 0xFF) +
             static_cast<char>(fields.filter & 0xFF) + FrameEnd,
         "SetModeFilter"},
        {frame_header + SelectMemory + ChannelByte(channel) + FrameEnd, "SelectMemory"},
        {frame_header + SetName + NameAsSent(fields.name) + FrameEnd, "SetName"},
        {frame_header + StoreMemory + FrameEnd, "StoreMemory"},
    };
    for (const auto& step : frames) {
      if (!Send(step.frame, step.command, channel, tally)) break;
    }
    if (tally.stopped_at) break;
    if (ReplyStatusIs(ReplyOk)) tally.stored++;  // the reply to StoreMemory
  }
  tally.left = kChannels - tally.stored;
  PrintProgress("");
  CloseMemoryFileAfterReading();
  if (last_error != 0) EndWithFileProblem(kReadCloseLine);
  return tally;
}
