// The memory file on Windows: what a save does to the attributes of the file
// it replaces, a read-only file, a device name, and a save abandoned halfway.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "ending/fatal.h"
#include "jobs/memory_file.h"
#include "memory_file_support.h"
#include "unit_support.h"

namespace {

TEST_F(WriteMemoryFileTest, AReadOnlyFileIsLeftAloneWithError2) {
  std::string name = directory / "memories.txt";
  std::ofstream(name, std::ios::binary) << "old";
  ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY));
  OpenMemoryFileForWriting(name);
  EXPECT_EQ(last_error, 2);
  EXPECT_EQ(FileContent(name), "old");
  EXPECT_EQ(DirectoryEntries(directory.path()), std::vector<std::string>{"memories.txt"});
  SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WriteMemoryFileTest, AHiddenFileStaysHidden) {
  std::string name = directory / "memories.txt";
  std::ofstream(name, std::ios::binary) << "old";
  ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_HIDDEN));
  WriteEmptyChannels(name);
  CloseMemoryFileAfterWriting();
  EXPECT_EQ(last_error, 0);
  EXPECT_EQ(Hex(FileContent(name)), Hex(EmptyChannels()));
  DWORD attributes = GetFileAttributesA(name.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY);
}

TEST_F(WriteMemoryFileTest, BackslashesAndSlashesBothSeparateFolders) {
  CreateDirectoryA((directory / "sub").c_str(), nullptr);
  std::string name = directory.path().string() + "\\sub\\memories.txt";
  WriteEmptyChannels(name);
  CloseMemoryFileAfterWriting();
  EXPECT_EQ(last_error, 0);
  EXPECT_EQ(Hex(FileContent(directory / "sub/memories.txt")), Hex(EmptyChannels()));
  EXPECT_EQ(DirectoryEntries(directory.path() / "sub"), std::vector<std::string>{"memories.txt"});
}

TEST_F(WriteMemoryFileTest, ADeviceIsWrittenInPlace) {
  WriteEmptyChannels("NUL");
  CloseMemoryFileAfterWriting();
  EXPECT_EQ(last_error, 0);
  EXPECT_EQ(DirectoryEntries(directory.path()), std::vector<std::string>{});
}

TEST_F(WriteMemoryFileTest, AnAbandonedSaveKeepsTheOldFileAndLeavesNoTrace) {
  std::string name = directory / "memories.txt";
  std::ofstream(name, std::ios::binary) << "old";
  WriteEmptyChannels(name);
  MemoryFileAbandon();
  EXPECT_EQ(FileContent(name), "old");
  EXPECT_EQ(DirectoryEntries(directory.path()), std::vector<std::string>{"memories.txt"});
  CloseMemoryFileAfterWriting();  // what the job would do next: nothing is left to close
  EXPECT_EQ(FileContent(name), "old");
}

TEST_F(WriteMemoryFileTest, AFileWithAnotherHardLinkIsWrittenInPlace) {
  std::string name = directory / "memories.txt";
  std::string other = directory / "other.txt";
  std::ofstream(name, std::ios::binary) << "old";
  ASSERT_TRUE(CreateHardLinkA(other.c_str(), name.c_str(), nullptr));
  WriteEmptyChannels(name);
  CloseMemoryFileAfterWriting();
  EXPECT_EQ(last_error, 0);
  EXPECT_EQ(Hex(FileContent(other)), Hex(EmptyChannels()));
  EXPECT_EQ(FileContent(name + ".~1~"), "old");
}

}  // namespace
