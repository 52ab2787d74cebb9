// The save of some channels, for --save with --channels: the chosen
// channels' lines replaced in an existing memory file, every other byte kept,
// into the file as it is when the radio has been read.
#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "console/console.h"
#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "text/text.h"

namespace {

// A new line as the old one held its separators: as U+2502 when a UTF-8
// editor had written them so, so that the file stays in one form.
std::string InFormOf(const std::string& line, const std::string& old) {
  size_t first = kSeparatorColumns[0] - 1;
  if (old.size() < first + kUtf8Separator.size() ||
      old.compare(first, kUtf8Separator.size(), kUtf8Separator) != 0)
    return line;
  std::string converted = line;
  for (size_t i = std::size(kSeparatorColumns); i-- > 0;) {
    size_t at = kSeparatorColumns[i] - 1;
    if (at < converted.size() && converted[at] == kColumnSeparator)
      converted.replace(at, 1, kUtf8Separator);
  }
  return converted;
}

// Why the chosen channels' lines cannot go into these bytes, or "": they
// must be a memory file's, with a line for every channel chosen, each of them
// and those before them a line as a load reads one.
std::string WhyNotMapped(const std::string& bytes) {
  std::vector<FileLine> spans = FileLines(bytes);
  const size_t at = kSeparatorColumns[0] - 1;
  if (spans.empty() || spans[0].end <= at ||
      (bytes[at] != kColumnSeparator &&
       bytes.compare(at, kUtf8Separator.size(), kUtf8Separator) != 0))
    return "is not a memory file (its first line has no separator in column 4)";
  int highest = kChannels - 1;
  while (highest > 0 && !channel_chosen[highest]) highest--;
  if (highest >= static_cast<int>(spans.size()))
    return "holds " + Count(static_cast<int>(spans.size()), "line") + ", none for channel " +
           std::to_string(highest);
  for (int line = 0; line <= highest; line++) {
    if (spans[line].end - spans[line].begin >= kLineLimit)
      return "has a line " + std::to_string(line + 1) + " of " + std::to_string(kLineLimit) +
             " bytes or more, which a load reads as more than one line";
  }
  return "";
}

// Why a save of the chosen channels may not go into the file, or "": the
// lines it keeps must be known, so the file must exist, be a memory file and
// hold a line for every channel chosen.
std::string WhyNotUpdated(const std::string& name, FileBytes& file) {
  const std::string quoted = "\"" + name + "\"";
  const std::string save_all = "; to save every channel, leave out --channels";
  std::error_code error;
  if (name == kStandardStreamName)
    return "a save of some channels replaces their lines in a memory file, and - is none" +
           save_all;
  if (!std::filesystem::exists(name, error))
    return quoted + " does not exist: a save of some channels replaces their lines in a " +
           "memory file and keeps the others" + save_all;
  if (!std::filesystem::is_regular_file(name, error))
    return quoted + " is not a plain file: a save of some channels replaces their lines in a " +
           "memory file" + save_all;
  std::string why = ReadWholeFile(name, file, true) ? WhyNotMapped(file.bytes)
                                                    : "is not a memory file (it is too large)";
  if (why.empty()) return "";
  return quoted + " " + why + ": nothing is sent and the file is left as it is";
}

void WriteWholeFile(const std::string& name, const FileBytes& file) {
  OpenMemoryFileForWriting(name);
  if (last_error != 0) EndWithFileProblem(kWriteOpenLine);
  WriteMemoryFileBytes((file.had_mark ? kByteOrderMark : "") + file.bytes);
  CloseMemoryFileAfterWriting();
  if (last_error != 0) EndWithFileProblem(kWriteCloseLine);
}

}  // namespace

int MemoryFileLines(const std::string& file) {
  return static_cast<int>(FileLines(file).size());
}

std::string WithChannelLines(const std::string& file, const std::string (&lines)[kChannels]) {
  std::vector<FileLine> spans = FileLines(file);
  std::string result;
  size_t kept = 0;  // the bytes of file before this are in result
  for (size_t channel = 0; channel < spans.size() && channel < kChannels; channel++) {
    if (lines[channel].empty()) continue;
    const FileLine& span = spans[channel];
    result.append(file, kept, span.begin - kept);
    result += InFormOf(lines[channel], file.substr(span.begin, span.end - span.begin));
    kept = span.end;
  }
  return result.append(file, kept);
}

SaveResult SaveChosenChannelsInto(const std::string& name, const ProgressPlace& progress) {
  SaveResult result;
  FileBytes file;
  result.refusal = WhyNotUpdated(name, file);
  if (!result.refusal.empty()) return result;
  OpenMemoryFileForWriting(name);
  if (last_error != 0) EndWithFileProblem(kWriteOpenLine);
  std::string lines[kChannels];
  if (!ReadChosenLines(lines, result, progress)) {
    AbandonMemoryFileWriting();  // as for a whole save: the file stays as it was
    return result;
  }
  // The file as it is now: an edit made while the radio was read stays, and
  // a file that can no longer take the lines is left as it is, the lines
  // kept beside it.
  FileBytes now;
  std::string why = "can no longer be read";
  if (!ReadWholeFile(name, now, false) ||
      (now != file && !(why = WhyNotMapped(now.bytes)).empty())) {
    AbandonMemoryFileWriting();
    const std::string kept = name + ".partial";
    WriteWholeFile(kept, {WithChannelLines(file.bytes, lines), file.had_mark});
    result.backup = backup_made;
    result.not_replaced = "\"" + name + "\" changed while the radio was read and " + why +
                          ": nothing replaced; the channels read are in \"" + kept + "\"";
    return result;
  }
  WriteMemoryFileBytes((now.had_mark ? kByteOrderMark : "") + WithChannelLines(now.bytes, lines));
  CloseMemoryFileAfterWriting();
  if (last_error != 0) EndWithFileProblem(kWriteCloseLine);
  result.backup = backup_made;
  return result;
}
