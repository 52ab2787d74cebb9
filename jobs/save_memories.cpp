// Menu choice 2: every channel of the radio into a memory file.
#include <string>

#include "app/console.h"
#include "app/fatal.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"

namespace {

constexpr int kChannels = 62;

// Reply byte at `position` (from 1), 0 when the reply is shorter.
int ReplyByte(size_t position) {
  return position <= civ_buffer.size() ? static_cast<unsigned char>(civ_buffer[position - 1]) : 0;
}

bool ReplyCodeIs(char code) { return civ_buffer.size() >= 5 && civ_buffer[4] == code; }

}  // namespace

void SaveMemories() {
  std::string name = PromptText("What file to open to write memories? ");
  OpenMemoryFileForWriting(name);
  if (last_error != 0) FatalError(536);
  for (int channel = 0; channel < kChannels; channel++) {
    MoveCursor(5, 5);
    PrintText("Reading memory ", false);
    PrintNumber(static_cast<int16_t>(channel), true);
    Exchange(frame_header + SelectMemory + ChannelByte(channel) + FrameEnd);
    Exchange(frame_header + RecallMemory + FrameEnd);
    if (!ReplyCodeIs(ReplyOk)) {
      WriteChannelLine(FormatChannelLine(channel, false, "", "", 0, 0));
      continue;
    }
    Exchange(frame_header + ReadFrequency + FrameEnd);
    std::string frequency = DecodeFrequency();
    Exchange(frame_header + ReadMode + FrameEnd);
    // Only a mode the radio can have: a refusal's FD must not become the mode
    // that a later load sends.
    int mode = ReplyByte(6);
    if (mode <= 7) current_mode = static_cast<int16_t>(mode);
    int filter = ReplyByte(7);
    std::string channel_name = "       ";
    Exchange(frame_header + ReadName + FrameEnd);
    if (ReplyCodeIs(ReadName)) {
      // The name ends where the reply does: its FD is not part of it.
      std::string bytes = civ_buffer.substr(5, 7);
      size_t end = bytes.find(FrameEnd);
      if (civ_buffer.size() < 13 && end != std::string::npos) bytes.erase(end);
      channel_name = bytes;
    }
    WriteChannelLine(FormatChannelLine(channel, true, frequency, channel_name, mode, filter));
  }
  CloseMemoryFileAfterWriting();
  if (last_error != 0) FatalError(574);
}
