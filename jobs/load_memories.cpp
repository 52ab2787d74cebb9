// Menu choice 1 and --load: the radio's channels programmed from a memory file.
#include <string>

#include "app/console.h"
#include "app/fatal.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"

namespace {

// One frame of a load, counted by its answer. The replies change nothing
// else: the same frames go out whatever the radio says.
void Send(const std::string& frame, LoadTally& tally) {
  if (!Exchange(frame)) {
    tally.unanswered++;
  } else if (!ReplyStatusIs(ReplyOk)) {
    tally.refused++;
  }
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

void LoadMemories() {
  LoadMemoriesFrom(TypedFileName(PromptText("What file to open to read memories? ")));
}

LoadTally LoadMemoriesFrom(const std::string& name) {
  LoadTally tally;
  OpenMemoryFileForReading(name);
  if (last_error != 0) EndWithFileProblem(kReadOpenLine);
  for (int channel = 0; channel < kChannels; channel++) {
    ShowProgress("Loading memory ", channel);
    ChannelFields fields;
    std::string line = ReadChannelLine();
    if (ReadFailed()) {
      // Nothing of a line that could not be read is sent.
      CloseMemoryFileAfterReading();
      EndWithFileProblem(kReadCloseLine);
    }
    if (!ParseChannelLine(line, fields)) {
      tally.left++;
      continue;
    }
    std::string channel_name = NameAsSent(fields.name);
    Send(frame_header + SetFrequency + EncodeFrequency(fields.frequency) + FrameEnd, tally);
    Send(frame_header + SetModeFilter + static_cast<char>(fields.mode & 0xFF) +
             static_cast<char>(fields.filter & 0xFF) + FrameEnd,
         tally);
    Send(frame_header + SelectMemory + ChannelByte(channel) + FrameEnd, tally);
    Send(frame_header + SetName + channel_name + FrameEnd, tally);
    Send(frame_header + StoreMemory + FrameEnd, tally);
    tally.loaded++;
  }
  PrintProgress("");
  CloseMemoryFileAfterReading();
  if (last_error != 0) EndWithFileProblem(kReadCloseLine);
  return tally;
}
