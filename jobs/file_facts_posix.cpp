// The facts that the file rules ask of a POSIX system (jobs/file_system.h):
// who this process is, what a name is and who owns it and its folder,
// whether a file or a folder may be written, the words for an error number.
// What follows from them is decided in file_access.cpp.
#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "ending/system_error.h"
#include "jobs/file_system.h"

namespace {

// Where a link points, as a name from where we stand: a relative target is
// relative to the link's folder. "" when it cannot be read.
std::string LinkText(const std::string& path) {
  char target[PATH_MAX];
  ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
  if (length <= 0) return "";
  std::string next(target, length);
  size_t slash = path.find_last_of('/');
  if (next[0] != '/' && slash != std::string::npos) next = path.substr(0, slash + 1) + next;
  return next;
}

}  // namespace

int FileReason(int error) {
  file_reason = SystemErrorText(error);
  return error;
}

UserFacts FileUser() {
  UserFacts user;
  user.id = geteuid();
  user.privileged = user.id == 0;
  return user;
}

std::string FileFolderOf(const std::string& path) {
  std::string copy = path;
  return dirname(copy.data());
}

int FileFullName(const std::string& name, std::string& path) {
  // "out/" names a folder, never a file to write.
  if (!name.empty() && name.back() == '/') return FileReason(EISDIR);
  path = name;
  return 0;
}

int FileLookAtName(const std::string& path, NameFacts& facts) {
  facts = NameFacts();
  struct stat folder, seen;
  if (stat(FileFolderOf(path).c_str(), &folder) == 0) {
    facts.folder_owner = folder.st_uid;
    facts.folder_sticky = folder.st_mode & S_ISVTX;
    facts.folder_others_write = folder.st_mode & S_IWOTH;
  }
  if (lstat(path.c_str(), &seen) != 0) return FileReason(errno);
  facts.owner = seen.st_uid;
  facts.link = S_ISLNK(seen.st_mode);
  if (facts.link) facts.target = LinkText(path);
  return 0;
}

int FileLookAt(const std::string& path, FileFacts& facts) {
  struct stat old;
  facts.exists = stat(path.c_str(), &old) == 0;
  // A name too long, a file used as a folder, a loop of links...
  if (!facts.exists && errno != ENOENT) return FileReason(errno);
  // A new file's folder must be there: said now, before anything is made.
  struct stat folder;
  if (!facts.exists && stat(FileFolderOf(path).c_str(), &folder) != 0) return FileReason(errno);
  facts.folder = facts.exists && S_ISDIR(old.st_mode);
  facts.regular = facts.exists && S_ISREG(old.st_mode);
  facts.other_links = facts.regular && old.st_nlink > 1;
  facts.write_bits = facts.exists && (old.st_mode & 0222) != 0;
  facts.size = facts.regular ? old.st_size : 0;
  return 0;
}

int FileMayOpenToWrite(const std::string& path) {
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : FileReason(errno);
}

int FileMayAddName(const std::string& path) {
  std::string folder = FileFolderOf(path);
  return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0 ? 0 : FileReason(errno);
}

int FileStreamOf(const std::string& name) {
  struct stat named;
  if (stat(name.c_str(), &named) != 0) return 0;
  for (int stream : {STDERR_FILENO, STDOUT_FILENO}) {
    struct stat open;
    if (fstat(stream, &open) == 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino)
      return stream;
  }
  return 0;
}
