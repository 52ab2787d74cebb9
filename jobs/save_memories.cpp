// Menu choice 2 and --save: every channel of the radio into a memory file.
#include <string>

#include "app/console.h"
#include "app/fatal.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"

namespace {

// Reply byte at `position` (from 1), 0 when the reply is shorter.
int ReplyByte(size_t position) {
  return position <= civ_buffer.size() ? static_cast<unsigned char>(civ_buffer[position - 1]) : 0;
}

bool ReplyCodeIs(char code) {
  return civ_buffer.size() >= 5 && civ_buffer[4] == code;
}

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
      !Ask(frame_header + RecallMemory + FrameEnd, "RecallMemory", read) || !ReplyCodeIs(ReplyOk))
    return read;
  read.filled = true;
  if (!Ask(frame_header + ReadFrequency + FrameEnd, "ReadFrequency", read)) return read;
  read.frequency = DecodeFrequency();
  if (!Ask(frame_header + ReadMode + FrameEnd, "ReadMode", read)) return read;
  // Only a mode the radio can have: a refusal's FD must not become the mode
  // that a later load sends.
  read.mode = ReplyByte(6);
  if (read.mode <= 7) current_mode = static_cast<int16_t>(read.mode);
  read.filter = ReplyByte(7);
  read.name = "       ";
  if (!Ask(frame_header + ReadName + FrameEnd, "ReadName", read)) return read;
  if (ReplyCodeIs(ReadName)) {
    // The name ends where the reply does: its FD is not part of it.
    std::string bytes = civ_buffer.substr(5, 7);
    size_t end = bytes.find(FrameEnd);
    if (civ_buffer.size() < 13 && end != std::string::npos) bytes.erase(end);
    read.name = bytes;
  }
  return read;
}

void SaveMemories() {
  SaveMemoriesInto(PromptText("What file to open to write memories? "));
}

void SaveMemoriesInto(const std::string& name) {
  OpenMemoryFileForWriting(name);
  if (last_error != 0) FatalError(536);
  for (int channel = 0; channel < kChannels; channel++) {
    ShowProgress("Reading memory ", channel);
    RadioChannel read = ReadRadioChannel(channel);
    if (read.unanswered) {
      // Nothing the radio did not give may end up in the file: the new file
      // is dropped and the old one stays as it was.
      AbandonMemoryFileWriting();
      ReportUnanswered(read.unanswered, channel,
                       "the save stopped and the file was left as it was");
      last_error = 2;
      FatalError(574);
    }
    WriteChannelLine(
        FormatChannelLine(channel, read.filled, read.frequency, read.name, read.mode, read.filter));
  }
  PrintProgress("");
  CloseMemoryFileAfterWriting();
  if (last_error != 0) FatalError(574);
}
