// What the tests of writing a memory file share: a file's bytes, a folder's
// entries, and a fixture that saves 62 empty channels into a scratch folder.
// Defined outside any anonymous namespace, so that the portable tests and
// those of one platform's file system are one test suite.
//
// FileContent           every byte of a file
// DirectoryEntries      the names in a folder, sorted
// WriteMemoryFileTest   a scratch folder; WriteEmptyChannels, EmptyChannels
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/memory_file.h"
#include "unit_support.h"

inline std::string FileContent(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> DirectoryEntries(const std::filesystem::path& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class WriteMemoryFileTest : public testing::Test {
 protected:
  void TearDown() override { CloseMemoryFileAfterWriting(); }

  // A save of 62 empty channels into `name`, stopping before the close.
  void WriteEmptyChannels(const std::string& name) {
    OpenMemoryFileForWriting(name);
    ASSERT_EQ(last_error, 0);
    for (int channel = 0; channel < 62; channel++)
      WriteChannelLine(FormatChannelLine(channel, false, "", "", 0, 0));
  }

  static std::string EmptyChannels() {
    std::string content;
    for (int channel = 0; channel < 62; channel++)
      content += FormatChannelLine(channel, false, "", "", 0, 0) + "\r\n";
    return content;
  }

  ScratchDirectory directory;
};
