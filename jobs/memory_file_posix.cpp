// The memory file on POSIX systems. A save writes a new file beside the old
// one and puts it in place only when it is complete, so that an interrupted
// or failed save never leaves half a file where a good one was.
#include <fcntl.h>
#include <libgen.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "jobs/memory_file.h"

namespace {

int write_fd = -1;
int read_fd = -1;
std::string target_path;  // where the finished file goes
bool replacing = false;   // writing a new file beside target_path
bool keep_owner = false;
// A file written in place is emptied only when the first bytes go to it, so
// that a save given up before then leaves it as it was.
bool empty_before_writing = false;
struct stat old_file;

// The temporary file's name, kept in a fixed buffer so that a signal handler
// can remove it. Empty when there is none.
char temporary_path[PATH_MAX + 32];
volatile sig_atomic_t temporary_exists = 0;

// Where a chain of symbolic links ends, whether or not anything is there yet.
std::string LinkTarget(const std::string& name) {
  std::string path = name;
  for (int hops = 0; hops < 40; hops++) {
    struct stat seen;
    if (lstat(path.c_str(), &seen) != 0 || !S_ISLNK(seen.st_mode)) return path;
    char target[PATH_MAX];
    ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0) return path;
    std::string next(target, length);
    if (next[0] != '/') {
      size_t slash = path.find_last_of('/');
      if (slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    }
    path = next;
  }
  return path;
}

int OpenDirectly(const std::string& name) {
  // O_NONBLOCK so that a FIFO without a reader gives an error, not a wait.
  write_fd = open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (write_fd < 0) return 2;
  fcntl(write_fd, F_SETFL, fcntl(write_fd, F_GETFL) & ~O_NONBLOCK);
  empty_before_writing = true;
  return 0;
}

// Empties a file written in place before its first bytes; a device or a FIFO
// has nothing to empty.
bool EmptyIfDue() {
  if (!empty_before_writing) return true;
  empty_before_writing = false;
  struct stat seen;
  return fstat(write_fd, &seen) != 0 || !S_ISREG(seen.st_mode) || ftruncate(write_fd, 0) == 0;
}

void RemoveTemporary() {
  if (temporary_exists) {
    temporary_exists = 0;
    unlink(temporary_path);
  }
}

}  // namespace

int FileCreate(const std::string& name) {
  replacing = false;
  keep_owner = false;
  empty_before_writing = false;
  // A symbolic link is followed: its target is what gets replaced (or made).
  target_path = LinkTarget(name);
  bool exists = stat(target_path.c_str(), &old_file) == 0;
  if (exists && S_ISDIR(old_file.st_mode)) return 2;
  if (exists && !S_ISREG(old_file.st_mode)) return OpenDirectly(target_path);  // a device, a FIFO

  std::string copy = target_path;
  std::string directory = dirname(copy.data());
  std::string base = target_path.substr(target_path.find_last_of('/') + 1);
  std::string pattern = directory + "/." + base + ".XXXXXX";
  if (pattern.size() >= sizeof temporary_path) return 2;
  std::memcpy(temporary_path, pattern.c_str(), pattern.size() + 1);
  write_fd = mkostemp(temporary_path, O_CLOEXEC);
  if (write_fd < 0) {
    // No room beside it (a directory we may not write in): a file we may write
    // is still written, in place.
    if (exists && errno == EACCES && access(target_path.c_str(), W_OK) == 0)
      return OpenDirectly(target_path);
    return 2;
  }
  temporary_exists = 1;
  replacing = true;
  if (exists) {
    keep_owner = true;
    fchmod(write_fd, old_file.st_mode & 07777);
  } else {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(write_fd, 0666 & ~mask);
  }
  return 0;
}

int FileWrite(const std::string& bytes) {
  if (!EmptyIfDue()) return 2;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(write_fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 2;
    done += n;
  }
  return 0;
}

int FileCommit(bool write_failed) {
  bool emptied = EmptyIfDue();
  int fd = write_fd;
  write_fd = -1;
  if (!replacing) {
    return (close(fd) != 0 || write_failed || !emptied) ? 2 : 0;
  }
  bool ok = !write_failed && fsync(fd) == 0;
  if (keep_owner && fchown(fd, old_file.st_uid, old_file.st_gid) != 0) {
    // Only root may give a file away; the new file then stays ours.
  }
  if (close(fd) != 0) ok = false;
  if (ok && rename(temporary_path, target_path.c_str()) == 0) {
    temporary_exists = 0;
    std::string copy = target_path;
    int directory = open(dirname(copy.data()), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
      fsync(directory);
      close(directory);
    }
    return 0;
  }
  RemoveTemporary();
  return 2;
}

int FileOpenForReading(const std::string& name) {
  read_fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (read_fd < 0) return 2;
  struct stat seen;
  if (fstat(read_fd, &seen) != 0 || S_ISDIR(seen.st_mode)) {
    close(read_fd);
    read_fd = -1;
    return 2;
  }
  // O_NONBLOCK only kept a FIFO without a writer from holding up the open.
  fcntl(read_fd, F_SETFL, fcntl(read_fd, F_GETFL) & ~O_NONBLOCK);
  return 0;
}

long FileRead(char* buffer, unsigned long size) {
  for (;;) {
    ssize_t n = read(read_fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? 0 : static_cast<long>(n);
  }
}

void FileCloseForReading() {
  if (read_fd >= 0) close(read_fd);
  read_fd = -1;
}

void FileAbandonWrite() {
  if (write_fd >= 0) close(write_fd);
  write_fd = -1;
  RemoveTemporary();
}

void MemoryFileAbandon() {
  FileAbandonWrite();
  if (read_fd >= 0) close(read_fd);
  read_fd = -1;
}
