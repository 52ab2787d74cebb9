// The save, for menu choice 2 and --save: every channel of the radio into a
// memory file.
#include <string>

#include "app/console.h"
#include "app/fatal.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"

namespace {

// One exchange of the save's reading; false, with the command noted, when it
// went unanswered.
bool Ask(const std::string& frame, const char* command, RadioChannel& read) {
  if (Exchange(frame)) return true;
  read.unanswered = command;
  return false;
}

}  // namespace

RadioChannel ReadRadioChannel(int channel) {
  RadioChannel read;
  if (!Ask(frame_header + SelectMemory + ChannelByte(channel) + FrameEnd, "SelectMemory", read) ||
      !Ask(frame_header + RecallMemory + FrameEnd, "RecallMemory", read) || !ReplyStatusIs(ReplyOk))
    return read;
  read.filled = true;
  if (!Ask(frame_header + ReadFrequency + FrameEnd, "ReadFrequency", read)) return read;
  read.frequency = DecodeFrequency();
  if (!Ask(frame_header + ReadMode + FrameEnd, "ReadMode", read)) return read;
  // Only a mode the radio can have: a refusal's FD must not become the mode
  // that a later load sends.
  read.mode = ReplyByte(kReplyMode);
  if (ValidMode(read.mode)) current_mode = static_cast<int16_t>(read.mode);
  read.filter = ReplyByte(kReplyFilter);
  read.name = "       ";
  if (!Ask(frame_header + ReadName + FrameEnd, "ReadName", read)) return read;
  if (ReplyStatusIs(ReadName)) {
    // The name ends where the reply does: its FD is not part of it.
    std::string bytes = civ_buffer.substr(kReplyName - 1, kNameLength);
    size_t end = bytes.find(FrameEnd);
    if (civ_buffer.size() < kReplyName + kNameLength && end != std::string::npos) bytes.erase(end);
    read.name = bytes;
  }
  return read;
}

SaveResult SaveMemoriesInto(const std::string& name) {
  SaveResult result;
  OpenMemoryFileForWriting(name);
  if (last_error != 0) EndWithFileProblem(kWriteOpenLine);
  for (int channel = 0; channel < kChannels; channel++) {
    ShowProgress("Reading memory ", channel);
    RadioChannel read = ReadRadioChannel(channel);
    if (read.unanswered) {
      // Nothing the radio did not give may end up in the file. The new
      // contents wait in memory until all 62 lines are in, whatever their
      // size: dropping them leaves a file as it was, and a stream (the
      // standard output, a FIFO, a device) is given nothing at all.
      AbandonMemoryFileWriting();
      result.stopped_at = read.unanswered;
      result.stopped_channel = channel;
      return result;
    }
    WriteChannelLine(
        FormatChannelLine(channel, read.filled, read.frequency, read.name, read.mode, read.filter));
  }
  PrintProgress("");
  CloseMemoryFileAfterWriting();
  if (last_error != 0) EndWithFileProblem(kWriteCloseLine);
  return result;
}
