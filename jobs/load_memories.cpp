// Menu choice 1: the radio's channels programmed from a memory file.
#include <string>

#include "app/console.h"
#include "app/fatal.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"

namespace {

constexpr int kChannels = 62;

}  // namespace

void LoadMemories() {
  std::string name = PromptText("What file to open to read memories? ");
  OpenMemoryFileForReading(name);
  if (last_error != 0) FatalError(488);
  for (int channel = 0; channel < kChannels; channel++) {
    MoveCursor(5, 5);
    PrintText("Loading memory ", false);
    PrintNumber(static_cast<int16_t>(channel), true);
    ChannelFields fields;
    if (!ParseChannelLine(ReadChannelLine(), fields)) continue;
    // FE would start a new frame inside SetName and FD end it early.
    std::string channel_name = fields.name;
    for (char& c : channel_name) {
      if (c == '\xFD' || c == '\xFE') c = ' ';
    }
    // The replies do not matter: the same frames go out whatever the radio says.
    Exchange(frame_header + SetFrequency + EncodeFrequency(fields.frequency) + FrameEnd);
    Exchange(frame_header + SetModeFilter + static_cast<char>(fields.mode & 0xFF) +
         static_cast<char>(fields.filter & 0xFF) + FrameEnd);
    Exchange(frame_header + SelectMemory + ChannelByte(channel) + FrameEnd);
    Exchange(frame_header + SetName + channel_name + FrameEnd);
    Exchange(frame_header + StoreMemory + FrameEnd);
  }
  CloseMemoryFileAfterReading();
  if (last_error != 0) FatalError(531);
}
