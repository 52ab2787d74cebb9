// Menu choice 2: every channel of the radio into a memory file.
#include <cstdio>
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

bool ReplyCodeIs(char code) {
  return civ_buffer.size() >= 5 && civ_buffer[4] == code;
}

// A save the radio stopped answering: nothing it did not give may end up in
// the file, so the new file is dropped and the old one stays as it was.
[[noreturn]] void GiveUpSave(const char* command, int channel) {
  AbandonMemoryFileWriting();
  std::string line = std::string("quenmar-setup: ") +
                     (echo_as_sent ? "the radio did not answer " : "the line did not echo ") +
                     command + " of channel " + std::to_string(channel) +
                     ", so the save stopped and the file was left as it was; check the radio's"
                     " power, address (04), speed (1200 bit/s) and remote control, and the"
                     " interface's echo\r\n";
  std::fputs(line.c_str(), stderr);
  last_error = 2;
  FatalError(574);
}

// One exchange of a save; a save does not go on past an unanswered one.
void Ask(const std::string& frame, const char* command, int channel) {
  if (!Exchange(frame)) GiveUpSave(command, channel);
}

}  // namespace

void SaveMemories() {
  std::string name = PromptText("What file to open to write memories? ");
  OpenMemoryFileForWriting(name);
  if (last_error != 0) FatalError(536);
  for (int channel = 0; channel < kChannels; channel++) {
    MoveCursor(5, 5);
    PrintText("Reading memory ", false);
    PrintNumber(static_cast<int16_t>(channel), true);
    Ask(frame_header + SelectMemory + ChannelByte(channel) + FrameEnd, "SelectMemory", channel);
    Ask(frame_header + RecallMemory + FrameEnd, "RecallMemory", channel);
    if (!ReplyCodeIs(ReplyOk)) {
      WriteChannelLine(FormatChannelLine(channel, false, "", "", 0, 0));
      continue;
    }
    Ask(frame_header + ReadFrequency + FrameEnd, "ReadFrequency", channel);
    std::string frequency = DecodeFrequency();
    Ask(frame_header + ReadMode + FrameEnd, "ReadMode", channel);
    // Only a mode the radio can have: a refusal's FD must not become the mode
    // that a later load sends.
    int mode = ReplyByte(6);
    if (mode <= 7) current_mode = static_cast<int16_t>(mode);
    int filter = ReplyByte(7);
    std::string channel_name = "       ";
    Ask(frame_header + ReadName + FrameEnd, "ReadName", channel);
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
