// The load, for menu choice 1 and --load: the radio's channels programmed
// from a memory file.
#include <cstdio>
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

LoadTally LoadMemoriesFrom(const std::string& name, std::FILE* findings, bool despite_findings) {
  LoadTally tally;
  // The whole file first, read as --check reads it, so that a file with
  // findings can be held back before a frame is sent.
  bool loads[kChannels] = {};
  ChannelFields file[kChannels];
  OpenMemoryFileForReading(name);
  if (last_error != 0) EndWithFileProblem(kReadOpenLine);
  BeginMemoryFileCheck(name, findings);
  int number = 1;
  int passed_over = 0;
  for (; number <= kChannels && MoreLinesToRead(); number++) {
    std::string line = ReadChannelLine();
    if (ReadFailed()) break;
    int before = MemoryFileCheckWarnings();
    loads[number - 1] = CheckChannelLine(number, line, file[number - 1]);
    // With --channels, the findings of the other lines do not hold it back.
    if (!channel_chosen[number - 1]) passed_over += MemoryFileCheckWarnings() - before;
  }
  if (ReadFailed()) {
    // Nothing of a file that could not be read is sent.
    CloseMemoryFileAfterReading();
    EndWithFileProblem(kReadCloseLine);
  }
  tally.findings = EndMemoryFileCheck(number) - passed_over;
  CloseMemoryFileAfterReading();
  if (last_error != 0) EndWithFileProblem(kReadCloseLine);
  tally.left = kChannels;
  if (tally.findings > 0 && !despite_findings) {
    tally.held_back = true;
    return tally;
  }
  for (int channel = 0; channel < kChannels; channel++) {
    if (!channel_chosen[channel]) continue;
    ShowProgress("Loading memory ", channel);
    if (!loads[channel]) {
      if (some_channels) tally.empty_chosen.push_back(channel);
      continue;
    }
    const ChannelFields& fields = file[channel];
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
  return tally;
}
