// The save, for menu choice 2 and --save: every channel of the radio into a
// memory file (for --save with --channels, save_chosen_channels.cpp).
#include <string>

#include "console/console.h"
#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/csv_conversion.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"

RadioChannel ReadRadioChannel(int channel) {
  RadioChannel read;
  Unanswered& unanswered = read.unanswered;
  unanswered.channel = channel;
  // A refused selection would recall the channel selected before: it is no
  // answer. A refused recall is: the channel is empty.
  if (!AskForAnswer(SelectMemory, std::string(1, ChannelByte(channel)), false, "SelectMemory",
                    unanswered) ||
      !AskForAnswer(RecallMemory, "", true, "RecallMemory", unanswered) || !ReplyStatusIs(ReplyOk))
    return read;
  read.filled = true;
  if (!AskForAnswer(ReadFrequency, "", false, "ReadFrequency", unanswered)) return read;
  read.frequency = DecodeFrequency();
  if (!AskForAnswer(ReadMode, "", false, "ReadMode", unanswered)) return read;
  // Only a mode the radio can have becomes the mode a later load sends. A
  // radio of the family may send the mode alone: the filter is then 0.
  read.mode = ReplyByte(kReplyMode);
  if (ValidMode(read.mode)) current_mode = static_cast<int16_t>(read.mode);
  read.filter = ReplyFilter();
  read.name = "       ";
  // A refused name read is an answer: a radio or channel without a name.
  if (!AskForAnswer(ReadName, "", true, "ReadName", unanswered)) return read;
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
  if (some_channels) return SaveChosenChannelsInto(name);
  SaveResult result;
  // Looked at before it is replaced: a file of another kind (a save may be
  // pointed at any name from the menu) is then kept only in its backup.
  FileKind kind = KindOfFile(name);
  // A file whose first line is empty may be a memory file: not said.
  result.replaced_other_kind = kind == FileKind::kCsv || kind == FileKind::kOther;
  OpenMemoryFileForWriting(name);
  if (last_error != 0) EndWithFileProblem(kWriteOpenLine);
  for (int channel = 0; channel < kChannels; channel++) {
    ShowProgress("Reading memory ", channel, kChannels);
    RadioChannel read = ReadRadioChannel(channel);
    if (read.unanswered.command) {
      // Nothing the radio did not give may end up in the file. The new
      // contents wait in memory until all 62 lines are in, whatever their
      // size: dropping them leaves a file as it was, and a stream (the
      // standard output, a FIFO, a device) is given nothing at all.
      AbandonMemoryFileWriting();
      result.unanswered = read.unanswered;
      return result;
    }
    result.read++;
    if (read.filled) result.filled++;
    WriteChannelLine(
        FormatChannelLine(channel, read.filled, read.frequency, read.name, read.mode, read.filter));
  }
  PrintProgress("");
  CloseMemoryFileAfterWriting();
  if (last_error != 0) EndWithFileProblem(kWriteCloseLine);
  result.backup = backup_made;
  return result;
}
