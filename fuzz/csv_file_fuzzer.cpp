// Fuzz target: a CSV file through --from-csv. The input is the contents of
// the CSV file.
//
// The conversion is refused, writing nothing, only when the input's first
// line reads as a memory file's (column 4 holds the separator). It says it
// wrote the memory file exactly when the file is there, and a file not
// written comes with a warning. When it writes the memory file,
// that file is 62 lines of 29 bytes, each with its channel's label and ended
// by CR LF, and every line reads back through the memory file's reader as it
// was written. Taken to CSV with --to-csv and back with --from-csv, the
// memory file comes back the same, byte for byte.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ending/fatal.h"
#include "fuzz/fuzz_check.h"
#include "jobs/channel_line.h"
#include "jobs/csv_conversion.h"
#include "jobs/memory_file.h"

namespace {

constexpr int kLines = 62;
constexpr size_t kLineLength = 29;

std::string folder;  // a folder of its own for the files of one run

std::string Path(const char* name) {
  return folder + "/" + name;
}

void WriteWhole(const std::string& path, const std::string& contents) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) Fail("cannot create " + path);
  if (std::fwrite(contents.data(), 1, contents.size(), file) != contents.size()) {
    Fail("cannot write " + path);
  }
  std::fclose(file);
}

// The file's bytes; false when there is no such file.
bool ReadWhole(const std::string& path, std::string& contents) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  contents.clear();
  char buffer[8192];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, n);
  std::fclose(file);
  return true;
}

// A conversion with its warnings sent to the null device, so that a long run
// does not fill the terminal. Earlier outputs are removed
// first: what is read afterwards is what this conversion wrote, and no
// backup of them is made, so none pile up.
Conversion Quietly(Conversion (*convert)(const std::string&, const std::string&),
                   const std::string& from, const std::string& to) {
  unlink(to.c_str());
  Conversion result;
  ::Quietly([&] { result = convert(from, to); });
  return result;
}

std::string Label(int channel) {
  std::string digits = std::to_string(channel);
  return std::string(3 - digits.size(), ' ') + digits + "\xB3";
}

void CheckMemoryFile(const std::string& contents, const std::string& input) {
  auto about = [&] { return " from the CSV " + Shown(input); };
  if (contents.size() != kLines * (kLineLength + 2)) {
    Fail("the memory file is " + std::to_string(contents.size()) + " bytes, not 62 lines of 29" +
         about());
  }
  std::vector<std::string> written;
  for (int channel = 0; channel < kLines; channel++) {
    std::string line = contents.substr(channel * (kLineLength + 2), kLineLength + 2);
    if (line.compare(kLineLength, 2, "\r\n") != 0 || line.compare(0, 4, Label(channel)) != 0) {
      Fail("line " + std::to_string(channel + 1) + " " + Shown(line) +
           " is not its label, 29 bytes and CR LF" + about());
    }
    written.push_back(line.substr(0, kLineLength));
  }
  FileReader file;
  OpenMemoryFileForReading(Path("out.txt"), file);
  if (last_error != 0) Fail("cannot read back " + Path("out.txt"));
  for (int channel = 0; channel < kLines; channel++) {
    std::string read = ReadChannelLine(file);
    if (read != written[channel]) {
      Fail("line " + std::to_string(channel + 1) + " was written as " + Shown(written[channel]) +
           " and reads back as " + Shown(read) + about());
    }
  }
  CloseMemoryFileAfterReading(file);
}

// True when the first line of the file reads as a memory file's line.
bool LooksLikeMemoryFile(const std::string& path) {
  FileReader file;
  OpenMemoryFileForReading(path, file);
  std::string line = last_error == 0 ? ReadChannelLine(file) : "";
  CloseMemoryFileAfterReading(file);
  last_error = 0;
  return line.size() >= 4 && line[3] == kColumnSeparator;
}

void RemoveFolder() {
  for (const char* name : {"in.csv", "out.txt", "again.csv", "again.txt"}) {
    unlink(Path(name).c_str());
  }
  rmdir(folder.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Each conversion writes its file as a save does, flushed to the disk.
  folder = ScratchFolder("quenmar-csv-fuzz");
  std::atexit(RemoveFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  WriteWhole(Path("in.csv"), input);
  Conversion result = Quietly(ConvertCsvToMemoryFile, Path("in.csv"), Path("out.txt"));
  std::string written;
  bool there = ReadWhole(Path("out.txt"), written);
  if (!result.refusal.empty()) {
    if (!LooksLikeMemoryFile(Path("in.csv"))) {
      Fail("--from-csv refused (" + result.refusal + ") the CSV " + Shown(input));
    }
    if (there || result.written) Fail("a refused --from-csv wrote " + Shown(written));
    return 0;
  }
  if (there != result.written) {
    Fail(std::string("--from-csv says the memory file was ") + (result.written ? "" : "not ") +
         "written, and it is " + (there ? "" : "not ") + "there, for " + Shown(input));
  }
  if (!there) {
    if (result.warnings == 0)
      Fail("--from-csv wrote nothing and warned of nothing, for " + Shown(input));
    return 0;
  }
  CheckMemoryFile(written, input);

  result = Quietly(ConvertMemoryFileToCsv, Path("out.txt"), Path("again.csv"));
  if (!result.refusal.empty() || !result.written) {
    Fail("--to-csv did not write the CSV: " + result.refusal);
  }
  result = Quietly(ConvertCsvToMemoryFile, Path("again.csv"), Path("again.txt"));
  std::string again;
  if (!result.refusal.empty() || !ReadWhole(Path("again.txt"), again)) {
    Fail("--from-csv of what --to-csv wrote wrote nothing: " + result.refusal);
  }
  if (again != written) {
    std::string csv;
    ReadWhole(Path("again.csv"), csv);
    Fail("a second conversion changed the memory file " + Shown(written) + " into " + Shown(again) +
         " through the CSV " + Shown(csv) + ", from the CSV " + Shown(input));
  }
  return 0;
}
