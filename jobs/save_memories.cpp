// The save, for menu choice 2 and --save: every channel of the radio into a
// memory file; or, for --save with --channels, the chosen channels' lines
// replaced in an existing memory file.
#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "console/console.h"
#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/csv_conversion.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "link/port_trace.h"

namespace {

// No memory file comes near this size; a file that does is not one.
constexpr size_t kMemoryFileLimit = 1 << 20;

// Where one line of a memory file's bytes begins, and where its text ends:
// its CR LF or LF, a Ctrl-Z or the end of the file follows. A Ctrl-Z ends
// the file, as for a load; a line longer than a load's kLineLimit stays one
// line here, where a load reads it as two.
struct LineSpan {
  size_t begin;
  size_t end;
};

std::vector<LineSpan> LineSpans(const std::string& file) {
  std::vector<LineSpan> spans;
  size_t stop = std::min(file.find(kEndOfFile), file.size());
  for (size_t begin = 0; begin < stop;) {
    size_t end = std::min(file.find('\n', begin), stop);
    size_t text_end = end > begin && file[end - 1] == '\r' ? end - 1 : end;
    spans.push_back({begin, text_end});
    begin = end + 1;
  }
  return spans;
}

// A new line as the old one held its separators: as U+2502 when a UTF-8
// editor had written them so, so that the file stays in one form.
std::string InFormOf(const std::string& line, const std::string& old) {
  if (old.compare(kSeparatorColumns[0] - 1, utf8_separator.size(), utf8_separator) != 0)
    return line;
  std::string converted = line;
  for (size_t i = std::size(kSeparatorColumns); i-- > 0;) {
    size_t at = kSeparatorColumns[i] - 1;
    if (at < converted.size() && converted[at] == column_separator)
      converted.replace(at, 1, utf8_separator);
  }
  return converted;
}

// The bytes of the file to update, after a byte-order mark (noted in
// file_had_byte_order_mark); false when there are more than any memory file
// holds. A failed open or read ends the program, as for a load.
bool ReadWholeFile(const std::string& name, std::string& bytes) {
  OpenMemoryFileForReading(name);
  if (last_error != 0) EndWithFileProblem(kReadOpenLine);
  int byte = 0;
  while (bytes.size() <= kMemoryFileLimit && (byte = NextFileByte()) >= 0)
    bytes += static_cast<char>(byte);
  bool read_failed = ReadFailed();
  CloseMemoryFileAfterReading();
  if (read_failed || last_error != 0) EndWithFileProblem(kReadCloseLine);
  return bytes.size() <= kMemoryFileLimit;
}

// Why a save of the chosen channels may not go into the file, or "": the
// lines it keeps must be known, so the file must exist, be a memory file and
// hold a line for every channel chosen.
std::string WhyNotUpdated(const std::string& name, std::string& bytes) {
  const std::string quoted = "\"" + name + "\"";
  const std::string save_all = "; to save every channel, leave out --channels";
  std::error_code error;
  if (name == standard_stream_name)
    return "a save of some channels replaces their lines in a memory file, and - is none" +
           save_all;
  if (!std::filesystem::exists(name, error))
    return quoted + " does not exist: a save of some channels replaces their lines in a " +
           "memory file and keeps the others" + save_all;
  if (!std::filesystem::is_regular_file(name, error))
    return quoted + " is not a plain file: a save of some channels replaces their lines in a " +
           "memory file" + save_all;
  bool whole = ReadWholeFile(name, bytes);
  if (!whole || KindOfFile(name) != FileKind::kMemoryFile)
    return quoted + " is not a memory file (its first line has no separator in column 4): " +
           "nothing is sent and the file is left as it is";
  int lines = MemoryFileLines(bytes);
  for (int channel = lines; channel < kChannels; channel++) {
    if (channel_chosen[channel])
      return quoted + " holds " + std::to_string(lines) + " lines: channel " +
             std::to_string(channel) + " has none to replace" + save_all;
  }
  return "";
}

}  // namespace

int MemoryFileLines(const std::string& file) {
  return static_cast<int>(LineSpans(file).size());
}

std::string WithChannelLines(const std::string& file, const std::string (&lines)[kChannels]) {
  std::vector<LineSpan> spans = LineSpans(file);
  std::string result;
  size_t kept = 0;  // the bytes of file before this are in result
  for (size_t channel = 0; channel < spans.size() && channel < kChannels; channel++) {
    if (lines[channel].empty()) continue;
    const LineSpan& span = spans[channel];
    result.append(file, kept, span.begin - kept);
    result += InFormOf(lines[channel], file.substr(span.begin, span.end - span.begin));
    kept = span.end;
  }
  return result.append(file, kept);
}

namespace {

// One try at a channel: the save's frames for it, in order, up to the first
// that is no answer or finds the replies out of step.
Asked TryChannel(int channel, bool last_try, RadioChannel& read) {
  Unanswered& unanswered = read.unanswered;
  // A refused selection would recall the channel selected before: it is no
  // answer. A refused recall is: the channel is empty.
  Asked asked = AskInStep(SelectMemory, std::string(1, ChannelByte(channel)), false, "SelectMemory",
                          unanswered);
  if (asked == Asked::kAnswered)
    asked = AskInStep(RecallMemory, "", true, "RecallMemory", unanswered);
  if (asked != Asked::kAnswered || !ReplyStatusIs(ReplyOk)) return asked;
  read.filled = true;
  asked = AskInStep(ReadFrequency, "", false, "ReadFrequency", unanswered);
  if (asked != Asked::kAnswered) return asked;
  read.frequency = DecodeFrequency();
  asked = AskInStep(ReadMode, "", false, "ReadMode", unanswered);
  if (asked != Asked::kAnswered) return asked;
  // A radio of the family may send the mode alone: the filter is then 0.
  read.mode = ReplyByte(kReplyMode);
  read.filter = ReplyFilter();
  read.name = "       ";
  // A refused name read is asked again like the others; refused on every
  // try, it is an answer: a radio or channel without a name.
  asked = AskInStep(ReadName, "", last_try, "ReadName", unanswered);
  if (asked != Asked::kAnswered || !ReplyStatusIs(ReadName)) return asked;
  // The name ends where the reply does: its FD is not part of it.
  std::string bytes = civ_buffer.substr(kReplyName - 1, kNameLength);
  size_t end = bytes.find(FrameEnd);
  if (civ_buffer.size() < kReplyName + kNameLength && end != std::string::npos) bytes.erase(end);
  read.name = bytes;
  return asked;
}

}  // namespace

RadioChannel ReadRadioChannel(int channel) {
  // A reply that is no answer, or one where none can be, puts every reply
  // of the channel in doubt: once the line is quiet, the channel is read
  // again from its SelectMemory, kAskTries tries in all.
  bool before_in_doubt = false;
  for (int tries = 1;; tries++) {
    RadioChannel read;
    read.unanswered.channel = channel;
    replies_out_of_step = false;
    Asked asked = TryChannel(channel, tries == kAskTries, read);
    // A reply where none can be at the channel's very first frame: it may
    // be the channel before's, late.
    if (tries == 1 && asked == Asked::kOutOfStep && replies_out_of_step)
      before_in_doubt = read.unanswered.command == std::string("SelectMemory");
    read.before_in_doubt = before_in_doubt;
    if (asked == Asked::kAnswered) {
      // Only a mode the radio can have becomes the mode a later load sends.
      if (read.filled && ValidMode(read.mode)) current_mode = static_cast<int16_t>(read.mode);
      return read;
    }
    if (asked == Asked::kStopped || tries == kAskTries) return read;
    TraceNote("channel " + std::to_string(channel) +
              ": replies out of step; the channel again from SelectMemory once the line is quiet");
    LetRepliesSettle();
  }
}

Unanswered ReadChosenChannels(RadioChannel (&read)[kChannels]) {
  int previous = -1;
  for (int channel = 0; channel < kChannels; channel++) {
    if (!channel_chosen[channel]) continue;
    ShowProgress("Reading memory ", channel, kChannels);
    read[channel] = ReadRadioChannel(channel);
    // The last reply taken for the channel before may have been another's:
    // that channel is read again, then this one, so that the mode a later
    // load starts from stays the last channel's.
    if (!read[channel].unanswered.command && read[channel].before_in_doubt && previous >= 0) {
      TraceNote("channel " + std::to_string(previous) + " read again: a reply came late after it");
      read[previous] = ReadRadioChannel(previous);
      if (read[previous].unanswered.command) return read[previous].unanswered;
      read[channel] = ReadRadioChannel(channel);
    }
    if (read[channel].unanswered.command) return read[channel].unanswered;
    previous = channel;
  }
  // A reply come late behind the last channel's: that channel is read again.
  if (previous >= 0 && DrainStale()) {
    read[previous] = ReadRadioChannel(previous);
    if (read[previous].unanswered.command) return read[previous].unanswered;
  }
  return Unanswered();
}

SaveResult SaveChosenChannelsInto(const std::string& name) {
  SaveResult result;
  std::string bytes;
  result.refusal = WhyNotUpdated(name, bytes);
  if (!result.refusal.empty()) return result;
  bool had_mark = file_had_byte_order_mark;
  OpenMemoryFileForWriting(name);
  if (last_error != 0) EndWithFileProblem(kWriteOpenLine);
  RadioChannel read[kChannels];
  result.unanswered = ReadChosenChannels(read);
  if (result.unanswered.command) {
    AbandonMemoryFileWriting();  // as for a whole save: the file stays as it was
    return result;
  }
  std::string lines[kChannels];
  for (int channel = 0; channel < kChannels; channel++) {
    const RadioChannel& c = read[channel];
    if (channel_chosen[channel])
      lines[channel] = FormatChannelLine(channel, c.filled, c.frequency, c.name, c.mode, c.filter);
  }
  WriteMemoryFileBytes((had_mark ? byte_order_mark : "") + WithChannelLines(bytes, lines));
  PrintProgress("");
  CloseMemoryFileAfterWriting();
  if (last_error != 0) EndWithFileProblem(kWriteCloseLine);
  return result;
}

SaveResult SaveMemoriesInto(const std::string& name) {
  if (some_channels) return SaveChosenChannelsInto(name);
  SaveResult result;
  OpenMemoryFileForWriting(name);
  if (last_error != 0) EndWithFileProblem(kWriteOpenLine);
  RadioChannel read[kChannels];
  result.unanswered = ReadChosenChannels(read);
  if (result.unanswered.command) {
    // Nothing the radio did not give may end up in the file. The new
    // contents wait in memory until all 62 lines are in, whatever their
    // size: dropping them leaves a file as it was, and a stream (the
    // standard output, a FIFO, a device) is given nothing at all.
    AbandonMemoryFileWriting();
    return result;
  }
  for (int channel = 0; channel < kChannels; channel++) {
    const RadioChannel& c = read[channel];
    WriteChannelLine(FormatChannelLine(channel, c.filled, c.frequency, c.name, c.mode, c.filter));
  }
  PrintProgress("");
  CloseMemoryFileAfterWriting();
  if (last_error != 0) EndWithFileProblem(kWriteCloseLine);
  return result;
}
