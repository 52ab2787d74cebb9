// The memory file on POSIX systems. A save writes a new file beside the old
// one and puts it in place only when it is complete, so that an interrupted
// or failed save never leaves half a file where a good one was. Where the
// rename would change what the user had (other hard links to the file, an
// owner or group we cannot give the new file, extended attributes or ACLs we
// cannot copy), the existing file is written in place instead.
#include <fcntl.h>
#include <libgen.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "jobs/memory_file.h"

namespace {

int write_fd = -1;
int read_fd = -1;
std::string target_path;  // where the finished file goes
bool replacing = false;   // writing a new file beside target_path
bool in_place = false;    // writing the existing regular file at target_path
// A file written in place is emptied only when the first bytes go to it, so
// that a save given up before then leaves it as it was.
bool empty_before_writing = false;

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

// The existing regular file itself, instead of a new one put in its place.
int OpenInPlace(const std::string& name) {
  int result = OpenDirectly(name);
  in_place = result == 0;
  return result;
}

// Empties a file written in place before its first bytes; a device or a FIFO
// has nothing to empty.
bool EmptyIfDue() {
  if (!empty_before_writing) return true;
  empty_before_writing = false;
  struct stat seen;
  return fstat(write_fd, &seen) != 0 || !S_ISREG(seen.st_mode) || ftruncate(write_fd, 0) == 0;
}

// A file that the save may overwrite: one we may write, and not one that
// nobody may write. The second is refused even for root, as the read-only
// attribute is on Windows: whoever took every write bit away meant it.
bool MayOverwrite(const std::string& path, const struct stat& file) {
  return (file.st_mode & 0222) != 0 && faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Makes the temporary file in `directory`: named after the target when that
// fits, else a short name. 0, or the errno of the failure.
int MakeTemporary(const std::string& directory, const std::string& base) {
  for (const std::string& stem : {"." + base, std::string(".quenmar")}) {
    std::string pattern = directory + "/" + stem + ".XXXXXX";
    if (pattern.size() >= sizeof temporary_path) continue;
    std::memcpy(temporary_path, pattern.c_str(), pattern.size() + 1);
    write_fd = mkostemp(temporary_path, O_CLOEXEC);
    if (write_fd >= 0) {
      temporary_exists = 1;
      return 0;
    }
    if (errno != ENAMETOOLONG) return errno;
  }
  return ENAMETOOLONG;
}

void RemoveTemporary() {
  if (temporary_exists) {
    temporary_exists = 0;
    unlink(temporary_path);
  }
}

// The names of a file's extended attributes (ACLs among them); false when
// they cannot be listed. A file system without them has none.
bool AttributeNames(const std::string& path, int fd, std::vector<std::string>& names) {
  names.clear();
  std::vector<char> list;
  for (;;) {
    ssize_t size = fd >= 0 ? flistxattr(fd, nullptr, 0) : listxattr(path.c_str(), nullptr, 0);
    if (size < 0) return errno == ENOTSUP;
    list.resize(size);
    size = fd >= 0 ? flistxattr(fd, list.data(), list.size())
                   : listxattr(path.c_str(), list.data(), list.size());
    if (size >= 0) {
      list.resize(size);
      break;
    }
    if (errno != ERANGE) return false;  // ERANGE: one was added meanwhile
  }
  for (size_t at = 0; at < list.size(); at += names.back().size() + 1)
    names.emplace_back(list.data() + at);
  return true;
}

// Gives the new file what the old one had: owner and group, extended
// attributes and ACLs (and none the old one lacked), permission bits. False
// when any of it cannot be done: the rename would then change the file.
bool TakeOverFrom(const std::string& path, const struct stat& old) {
  if (fchown(write_fd, old.st_uid, old.st_gid) != 0) return false;
  std::vector<std::string> old_names, new_names;
  if (!AttributeNames(path, -1, old_names) || !AttributeNames("", write_fd, new_names))
    return false;
  for (const std::string& name : new_names) {
    bool on_old = false;
    for (const std::string& kept : old_names) on_old = on_old || kept == name;
    if (!on_old && fremovexattr(write_fd, name.c_str()) != 0) return false;
  }
  for (const std::string& name : old_names) {
    ssize_t size = getxattr(path.c_str(), name.c_str(), nullptr, 0);
    if (size < 0) return false;
    std::vector<char> value(size);
    size = getxattr(path.c_str(), name.c_str(), value.data(), value.size());
    if (size < 0 || fsetxattr(write_fd, name.c_str(), value.data(), size, 0) != 0) return false;
  }
  // After the owner: a change of owner clears the set-id bits.
  return fchmod(write_fd, old.st_mode & 07777) == 0;
}

}  // namespace

// Every check that can be made before the radio is asked anything is made
// here, so that a name that will not take the new file fails now, not after
// the whole save.
int FileCreate(const std::string& name) {
  replacing = in_place = empty_before_writing = false;
  // "out/" names a folder, never a file to write.
  if (!name.empty() && name.back() == '/') return 2;
  // A symbolic link is followed: its target is what gets replaced (or made).
  target_path = LinkTarget(name);
  struct stat old;
  bool exists = stat(target_path.c_str(), &old) == 0;
  // A name too long, a file used as a folder, a loop of links...
  if (!exists && errno != ENOENT) return 2;
  if (exists && S_ISDIR(old.st_mode)) return 2;
  if (exists && !S_ISREG(old.st_mode)) return OpenDirectly(target_path);  // a device, a FIFO
  if (exists && !MayOverwrite(target_path, old)) return 2;
  // Other names of the same file would keep the old contents after a rename.
  if (exists && old.st_nlink > 1) return OpenInPlace(target_path);

  std::string copy = target_path;
  std::string directory = dirname(copy.data());
  std::string base = target_path.substr(target_path.find_last_of('/') + 1);
  int made = MakeTemporary(directory, base);
  if (made != 0) {
    // No room beside it (a folder we may not write in): the file is still
    // written, in place.
    if (exists && made == EACCES) return OpenInPlace(target_path);
    return 2;
  }
  if (exists && !TakeOverFrom(target_path, old)) {
    close(write_fd);
    RemoveTemporary();
    return OpenInPlace(target_path);
  }
  if (!exists) {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(write_fd, 0666 & ~mask);
  }
  replacing = true;
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
  bool ok = EmptyIfDue() && !write_failed;
  int fd = write_fd;
  write_fd = -1;
  if (!replacing) {
    // A file written in place must have its lines on the disk before the
    // save counts as done.
    if (in_place && fsync(fd) != 0) ok = false;
    if (close(fd) != 0) ok = false;
    return ok ? 0 : 2;
  }
  ok = ok && fsync(fd) == 0;
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
