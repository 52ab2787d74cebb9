// The save, for menu choice 2 and --save: every channel of the radio into a
// memory file.
#include <string>

#include "app/console.h"
#include "app/fatal.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"

namespace {

// One exchange of the save's reading, asked again while its reply is no
// answer; false, with the command noted (and the last reply, when one came),
// when no try was answered.
bool Ask(char command, const std::string& data, bool refusal_answers, const char* name,
         RadioChannel& read) {
  Asked asked =
      AskForAnswer(frame_header + command + data + FrameEnd, command, refusal_answers, name);
  if (asked == Asked::kAnswer) return true;
  read.unanswered = name;
  if (asked == Asked::kUnusable) read.reply = civ_buffer;
  return false;
}

}  // namespace

RadioChannel ReadRadioChannel(int channel) {
  RadioChannel read;
  // A refused selection would recall the channel selected before: it is no
  // answer. A refused recall is: the channel is empty.
  if (!Ask(SelectMemory, std::string(1, ChannelByte(channel)), false, "SelectMemory", read) ||
      !Ask(RecallMemory, "", true, "RecallMemory", read) || !ReplyStatusIs(ReplyOk))
    return read;
  read.filled = true;
  if (!Ask(ReadFrequency, "", false, "ReadFrequency", read)) return read;
  read.frequency = DecodeFrequency();
  if (!Ask(ReadMode, "", false, "ReadMode", read)) return read;
  // Only a mode the radio can have becomes the mode a later load sends. A
  // radio of the family may send the mode alone: the filter is then 0.
  read.mode = ReplyByte(kReplyMode);
  if (ValidMode(read.mode)) current_mode = static_cast<int16_t>(read.mode);
  read.filter = civ_buffer.size() > kReplyFilter ? ReplyByte(kReplyFilter) : 0;
  read.name = "       ";
  // A refused name read is an answer: a radio or channel without a name.
  if (!Ask(ReadName, "", true, "ReadName", read)) return read;
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
      result.reply = read.reply;
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
