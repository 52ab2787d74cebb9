// The channel editor's file: read whole, its lines found, written back.
#include "jobs/edited_file.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/csv_conversion.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"

std::string ReadEditedFile(const std::string& name, FileBytes& file, bool& missing) {
  const std::string quoted = "\"" + name + "\"";
  std::error_code error;
  missing = false;
  file = FileBytes();
  if (name == kStandardStreamName) return "the editor edits a file, and - is none";
  if (!std::filesystem::exists(name, error)) {
    missing = true;  // made by the first save
    return "";
  }
  if (!std::filesystem::is_regular_file(name, error)) return quoted + " is not a plain file";
  FileKind kind = KindOfFile(name);
  if (kind == FileKind::kCsv)
    return quoted + " is a CSV file: edit a memory file made of it with --from-csv " + name +
           " MEMORY_FILE";
  if (kind == FileKind::kOther)
    return quoted + " is not a memory file (its first line is neither a channel line nor empty)";
  // A failed open or read ends the program.
  if (!ReadWholeFile(name, file, true)) return quoted + " is larger than any memory file";
  return "";
}

std::string WithLinesReplaced(const std::string& bytes, const std::string (&lines)[kChannels]) {
  std::vector<FileLine> spans = FileLines(bytes);
  std::string result;
  size_t kept = 0;  // the bytes before this are in result
  int last = -1;    // the last channel with a new line
  for (int channel = 0; channel < kChannels; channel++)
    if (!lines[channel].empty()) last = channel;
  for (int channel = 0; channel <= last && channel < static_cast<int>(spans.size()); channel++) {
    if (lines[channel].empty()) continue;
    result.append(bytes, kept, spans[channel].begin - kept);
    result += lines[channel];
    kept = spans[channel].end;
  }
  int have = static_cast<int>(spans.size());
  if (last < have) return result.append(bytes, kept);
  // New lines go behind the last one; what stood behind it (a Ctrl-Z and
  // what follows it) stays behind them.
  size_t end = have == 0 ? 0 : spans[have - 1].end;
  size_t tail = end;
  if (have > 0 && end < bytes.size() && bytes[end] != kEndOfFile)
    tail = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  result.append(bytes, kept, tail - kept);
  if (tail == end && have > 0) result += "\r\n";  // the last line had no line end
  for (int channel = have; channel <= last; channel++) {
    result +=
        lines[channel].empty() ? FormatChannelLine(channel, false, "", "", 0, 0) : lines[channel];
    result += "\r\n";
  }
  return result.append(bytes, tail);
}

std::string WriteEditedFile(const std::string& name, const std::string& bytes, bool mark) {
  OpenMemoryFileForWriting(name);
  if (last_error == 0) {
    WriteMemoryFileBytes((mark ? kByteOrderMark : "") + bytes);
    CloseMemoryFileAfterWriting();
  }
  if (last_error == 0) return "";
  return file_problem.empty() ? "cannot write \"" + name + "\"" : file_problem;
}
