// The memory file on POSIX systems: a replaced file keeps its permission
// bits, a new one gets what a plain create gives, and a symbolic link is
// followed to the file it names.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/fatal.h"
#include "jobs/memory_file.h"
#include "memory_file_support.h"
#include "unit_support.h"

namespace {

TEST_F(WriteMemoryFileTest, PermissionBits) {
  for (mode_t mode : {0600, 0640, 0604, 0755}) {
    std::string name = directory / "memories.txt";
    std::ofstream(name, std::ios::binary) << "old";
    ASSERT_EQ(chmod(name.c_str(), mode), 0);
    WriteEmptyChannels(name);
    CloseMemoryFileAfterWriting();
    struct stat seen;
    ASSERT_EQ(stat(name.c_str(), &seen), 0);
    EXPECT_EQ(seen.st_mode & 07777, mode);
  }
  // A new file gets what a plain create would give it.
  mode_t mask = umask(0);
  umask(mask);
  std::string fresh = directory / "fresh.txt";
  WriteEmptyChannels(fresh);
  CloseMemoryFileAfterWriting();
  struct stat seen;
  ASSERT_EQ(stat(fresh.c_str(), &seen), 0);
  EXPECT_EQ(seen.st_mode & 07777, 0666 & ~mask);
}

TEST_F(WriteMemoryFileTest, ASymlinkIsFollowed) {
  std::filesystem::create_directory(directory / "real");
  std::string target = directory / "real/memories.txt";
  std::string link = directory / "link.txt";
  std::ofstream(target, std::ios::binary) << std::string(3000, 'o');
  std::filesystem::create_symlink("real/memories.txt", link);
  WriteEmptyChannels(link);
  CloseMemoryFileAfterWriting();
  EXPECT_EQ(last_error, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Hex(FileContent(target)), Hex(EmptyChannels()));
  EXPECT_EQ(DirectoryEntries(directory.path()), (std::vector<std::string>{"link.txt", "real"}));
  EXPECT_EQ(DirectoryEntries(directory.path() / "real"), std::vector<std::string>{"memories.txt"});
}

TEST_F(WriteMemoryFileTest, ASymlinkToAFileNotYetThereCreatesIt) {
  std::filesystem::create_directory(directory / "real");
  std::string target = directory / "real/memories.txt";
  std::string link = directory / "link.txt";
  std::filesystem::create_symlink("real/memories.txt", link);
  WriteEmptyChannels(link);
  CloseMemoryFileAfterWriting();
  EXPECT_EQ(last_error, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Hex(FileContent(target)), Hex(EmptyChannels()));
}

}  // namespace
