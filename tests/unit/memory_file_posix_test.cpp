// The memory file on POSIX systems: a replaced file keeps its permission
// bits, owner, group and extended attributes, a new one gets what a plain
// create gives, a symbolic link is followed to the file it names, and a name
// too long for the temporary file beside it still saves.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ending/fatal.h"
#include "jobs/file_access.h"
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

TEST_F(WriteMemoryFileTest, OwnerGroupAndExtendedAttributesAreKept) {
  std::string name = directory / "memories.txt";
  std::ofstream(name, std::ios::binary) << "old";
  ASSERT_EQ(setxattr(name.c_str(), "user.note", "kept", 4, 0), 0);
  bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(name.c_str(), 65534, 65534), 0);
  }
  WriteEmptyChannels(name);
  CloseMemoryFileAfterWriting();
  EXPECT_EQ(last_error, 0);
  struct stat seen;
  ASSERT_EQ(stat(name.c_str(), &seen), 0);
  if (root) {
    EXPECT_EQ(seen.st_uid, 65534u);
    EXPECT_EQ(seen.st_gid, 65534u);
  }
  char note[8] = {};
  EXPECT_EQ(getxattr(name.c_str(), "user.note", note, sizeof note), 4);
  EXPECT_STREQ(note, "kept");
  EXPECT_EQ(Hex(FileContent(name)), Hex(EmptyChannels()));
}

TEST_F(WriteMemoryFileTest, ANameTooLongForTheTemporaryFileStillSaves) {
  std::string name = directory / std::string(250, 'm');  // 255 is the longest name
  std::ofstream(name, std::ios::binary) << "old";
  WriteEmptyChannels(name);
  CloseMemoryFileAfterWriting();
  EXPECT_EQ(last_error, 0);
  EXPECT_EQ(Hex(FileContent(name)), Hex(EmptyChannels()));
  EXPECT_EQ(DirectoryEntries(directory.path()),
            (std::vector<std::string>{std::string(250, 'm'), std::string(250, 'm') + ".~1~"}));
  OpenMemoryFileForWriting(directory / std::string(256, 'm'));
  EXPECT_EQ(last_error, 2);
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
  EXPECT_EQ(DirectoryEntries(directory.path() / "real"),
            (std::vector<std::string>{"memories.txt", "memories.txt.~1~"}));
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

// In a sticky folder everyone may write in, a link is followed only when it
// belongs to this user or to the folder's owner.
TEST_F(WriteMemoryFileTest, ALinkInAStickyFolderIsFollowedOnlyForItsOwners) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to own files as others";
  std::string shared = directory / "shared";
  std::filesystem::create_directory(shared);
  ASSERT_EQ(chown(shared.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const struct {
    uid_t owner;
    int error;
  } cases[] = {{0, 0}, {65534, 0}, {65533, 2}};  // this user, the folder's, another
  for (const auto& c : cases) {
    std::string target = directory / ("target" + std::to_string(c.owner));
    std::string link = shared + "/link" + std::to_string(c.owner);
    std::filesystem::create_symlink(target, link);
    ASSERT_EQ(lchown(link.c_str(), c.owner, c.owner), 0);
    OpenMemoryFileForWriting(link);
    EXPECT_EQ(last_error, c.error) << c.owner;
    CloseMemoryFileAfterWriting();
    EXPECT_EQ(std::filesystem::exists(target), c.error == 0) << c.owner;
  }
}

// There, too, a name may be replaced only by its owner, the folder's owner
// or root: learnt before a save begins, not from the rename that fails.
TEST_F(WriteMemoryFileTest, ANameInAStickyFolderIsReplacedOnlyByItsOwners) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as others";
  std::string shared = directory / "shared";
  std::filesystem::create_directory(shared);
  ASSERT_EQ(chmod(directory.path().c_str(), 0755), 0);
  ASSERT_EQ(chown(shared.c_str(), 65532, 65532), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const struct {
    uid_t owner, user;
    int error;
  } cases[] = {{65534, 65534, 0}, {65533, 65532, 0}, {65533, 0, 0}, {65533, 65534, EPERM}};
  for (const auto& c : cases) {
    std::string name = shared + "/kept~";
    std::ofstream(name) << "old";
    ASSERT_EQ(chown(name.c_str(), c.owner, c.owner), 0);
    ASSERT_EQ(seteuid(c.user), 0);
    int error = FileMayMake(name, true);
    ASSERT_EQ(seteuid(0), 0);
    EXPECT_EQ(error, c.error) << c.owner << " " << c.user;
  }
}

TEST_F(WriteMemoryFileTest, AFailedWriteInPlaceKeepsTheOldContents) {
  // Other hard links make the save write the file in place; the file size
  // limit then fails the new contents the way a full disk would.
  std::string name = directory / "memories.txt";
  std::string old_content(3000, 'o');
  std::ofstream(name, std::ios::binary) << old_content;
  ASSERT_EQ(link(name.c_str(), (directory / "other.txt").c_str()), 0);
  OpenMemoryFileForWriting(name);
  ASSERT_EQ(last_error, 0);
  for (int i = 0; i < 4; i++) WriteChannelLine(std::string(1000, 'n'));
  struct rlimit before;
  getrlimit(RLIMIT_FSIZE, &before);
  struct rlimit limited = before;
  limited.rlim_cur = 3500;
  auto old_handler = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limited);
  CloseMemoryFileAfterWriting();
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(last_error, 2);
  EXPECT_EQ(file_problem.rfind("cannot write \"" + name + "\": ", 0), 0u) << file_problem;
  EXPECT_TRUE(FileContent(name) == old_content);
  EXPECT_TRUE(FileContent(name + ".~1~") == old_content);  // made before the write
}

TEST(ReadingAFile, AReadErrorIsAnError) {
  FileReader file;
  OpenMemoryFileForReading("/proc/self/mem", file);  // every read fails
  ASSERT_EQ(last_error, 0);
  EXPECT_EQ(ReadChannelLine(file), "");
  EXPECT_TRUE(file.failed);
  CloseMemoryFileAfterReading(file);
  EXPECT_EQ(last_error, 2);
  EXPECT_EQ(file_problem, "cannot read \"/proc/self/mem\": Input/output error");
}

TEST_F(WriteMemoryFileTest, ABackupThatCannotBeMadeFailsTheSaveAndKeepsTheFile) {
  std::string name = directory / "memories.txt";
  std::ofstream(name, std::ios::binary) << "old";
  std::filesystem::create_directory(name + "~");  // where the simple backup would go
  setenv("VERSION_CONTROL", "simple", 1);
  WriteEmptyChannels(name);
  CloseMemoryFileAfterWriting();
  unsetenv("VERSION_CONTROL");
  EXPECT_EQ(last_error, 2);
  EXPECT_EQ(file_problem, "cannot keep the old contents of \"" + name + "\" as \"" + name +
                              "~\": Is a directory; the file is left as it was");
  EXPECT_EQ(FileContent(name), "old");
  EXPECT_EQ(DirectoryEntries(directory.path()),
            (std::vector<std::string>{"memories.txt", "memories.txt~"}));
}

}  // namespace
