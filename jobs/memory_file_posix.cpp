// The file system on POSIX systems: the steps of jobs/file_system.h (look at
// a name, make a temporary file beside it, copy a file's owner and
// attributes, flush, replace), each answering one question. What is done
// with them is decided in file_access.cpp and memory_file.cpp.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jobs/file_system.h"

namespace {

int write_fd = -1;
int read_fd = -1;
bool write_standard = false;  // write_fd is the standard output: not closed here
bool read_standard = false;

constexpr size_t kPathSize = PATH_MAX + 32;

// A temporary file: unnamed until it is linked in, or named, its name in a
// fixed buffer so that a signal handler can remove it.
struct Temporary {
  int fd = -1;
  bool unnamed = false;
  volatile sig_atomic_t named = 0;
  char path[kPathSize] = "";
};

Temporary temporary;           // the new contents of the file being written (fd: write_fd)
Temporary backup_temporary;    // a backup being copied
std::string temporary_beside;  // the file that `temporary` is to replace

// The contract of file_system.h: the error number, its words in file_reason.
int Reason(int error = errno) {
  return FileReason(error);
}

std::string BaseOf(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

// A name for a temporary file in `directory`, unused so far: named after
// the target when that fits, else a short name. False when none fits.
bool FreshName(const std::string& directory, const std::string& base, char* path) {
  static unsigned counter = 0;
  std::string tail = "." + std::to_string(getpid()) + "-" + std::to_string(++counter);
  for (const std::string& stem : {"." + base, std::string(".quenmar")}) {
    std::string name = directory + "/" + stem + tail;
    if (name.size() >= kPathSize || stem.size() + tail.size() > NAME_MAX) continue;
    std::memcpy(path, name.c_str(), name.size() + 1);
    return true;
  }
  return false;
}

// Makes a temporary file in `directory`: unnamed where the system has them
// (Linux O_TMPFILE), so that a run killed before it is linked in leaves
// nothing; else a new file of a fresh name. 0, or the errno of the failure.
int MakeTemporaryFile(const std::string& directory, const std::string& base, Temporary& made) {
  made.unnamed = false;
  made.named = 0;
#ifdef O_TMPFILE
  // Linked in through /proc, or by root without it: known now, not after
  // the radio session.
  bool linkable = access("/proc/self/fd", X_OK) == 0 || geteuid() == 0;
  made.fd = linkable ? open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600) : -1;
  if (!linkable) errno = EOPNOTSUPP;
  if (made.fd >= 0) {
    made.unnamed = true;
    return 0;
  }
  // A file system or kernel without them says so in one of these ways.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
#endif
  for (int attempt = 0; attempt < 100; attempt++) {
    if (!FreshName(directory, base, made.path)) return ENAMETOOLONG;
    made.fd = open(made.path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (made.fd >= 0) {
      made.named = 1;
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

// Gives an unnamed temporary file a fresh name beside the others, so that
// it can be renamed into its place. 0, or the errno.
int NameTemporary(const std::string& directory, const std::string& base, Temporary& made) {
  if (!made.unnamed) return 0;
  std::string proc = "/proc/self/fd/" + std::to_string(made.fd);
  for (int attempt = 0; attempt < 100; attempt++) {
    if (!FreshName(directory, base, made.path)) return ENAMETOOLONG;
    int linked = linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, made.path, AT_SYMLINK_FOLLOW);
#ifdef AT_EMPTY_PATH
    // Without /proc (a chroot) the call itself, which wants privileges.
    if (linked != 0 && errno == ENOENT)
      linked = linkat(made.fd, "", AT_FDCWD, made.path, AT_EMPTY_PATH);
#endif
    if (linked == 0) {
      made.unnamed = false;
      made.named = 1;
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

void RemoveTemporary(Temporary& made) {
  if (made.named) {
    made.named = 0;
    unlink(made.path);
  }
}

void SyncFolder(const std::string& path) {
  int directory = open(FileFolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    fsync(directory);
    close(directory);
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

// Gives the new file `fd` what the old one had: owner and group, extended
// attributes and ACLs (and none the old one lacked), permission bits. An
// error when any of it cannot be done: the rename would then change the file.
int TakeOverFrom(int fd, const std::string& path, const struct stat& old) {
  std::vector<std::string> old_names, new_names;
  if (fchown(fd, old.st_uid, old.st_gid) != 0 || !AttributeNames(path, -1, old_names) ||
      !AttributeNames("", fd, new_names))
    return Reason();
  for (const std::string& name : new_names) {
    bool on_old = false;
    for (const std::string& kept : old_names) on_old = on_old || kept == name;
    if (!on_old && fremovexattr(fd, name.c_str()) != 0) return Reason();
  }
  for (const std::string& name : old_names) {
    ssize_t size = getxattr(path.c_str(), name.c_str(), nullptr, 0);
    if (size < 0) return Reason();
    std::vector<char> value(size);
    size = getxattr(path.c_str(), name.c_str(), value.data(), value.size());
    if (size < 0 || fsetxattr(fd, name.c_str(), value.data(), size, 0) != 0) return Reason();
  }
  // After the owner: a change of owner clears the set-id bits.
  return fchmod(fd, old.st_mode & 07777) == 0 ? 0 : Reason();
}

// Writes every byte, at `offset` when it is given, else at the file's position.
int WriteAll(int fd, const char* bytes, size_t size, off_t offset = -1) {
  for (size_t done = 0; done < size;) {
    ssize_t n = offset < 0 ? write(fd, bytes + done, size - done)
                           : pwrite(fd, bytes + done, size - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Reason(n == 0 ? ENOSPC : errno);
    done += n;
  }
  return 0;
}

// Copies the file `in` into `out`, flushed to the disk.
int CopyBytes(int in, int out) {
  char buffer[8192];
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Reason();
    if (n == 0) break;
    if (int error = WriteAll(out, buffer, n)) return error;
  }
  return fsync(out) == 0 ? 0 : Reason();
}

// A named temporary takes its final name; when it cannot, it goes, and the
// reason stays in file_reason.
int RenameTemporary(Temporary& made, const std::string& path) {
  if (rename(made.path, path.c_str()) != 0) {
    int error = Reason();
    RemoveTemporary(made);
    return error;
  }
  made.named = 0;
  SyncFolder(path);
  return 0;
}

// A copy of `from` in a temporary beside `backup`, complete and on the disk
// with the old file's owner, group and mode (as far as this user may give
// them), then named: over NAME~ in one step, never over a numbered one.
int BackUpByCopy(int in, const std::string& backup, bool replace) {
  std::string folder = FileFolderOf(backup), base = BaseOf(backup);
  struct stat old;
  if (fstat(in, &old) != 0) return Reason();
  int made = MakeTemporaryFile(folder, base, backup_temporary);
  if (made != 0) return Reason(made);
  int out = backup_temporary.fd;
  int result = CopyBytes(in, out);
  if (result == 0) {
    if (fchown(out, old.st_uid, old.st_gid) != 0 && fchown(out, -1, old.st_gid) != 0)
      errno = 0;  // a backup of this user's, then
    fchmod(out, old.st_mode & 07777);
    made = NameTemporary(folder, base, backup_temporary);
    if (made != 0) result = Reason(made);
  }
  if (result == 0 && replace) {
    if (rename(backup_temporary.path, backup.c_str()) != 0) result = Reason();
    if (result == 0) backup_temporary.named = 0;
  } else if (result == 0 && link(backup_temporary.path, backup.c_str()) != 0) {
    result = Reason();
  }
  close(out);
  backup_temporary.fd = -1;
  RemoveTemporary(backup_temporary);
  if (result == 0) SyncFolder(backup);
  return result;
}

}  // namespace

int FileMakeTemporary(const std::string& beside) {
  temporary_beside = beside;
  int made = MakeTemporaryFile(FileFolderOf(beside), BaseOf(beside), temporary);
  if (made != 0) return Reason(made);
  write_fd = temporary.fd;
  // A new file gets what a plain create would give it.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(write_fd, 0666 & ~mask);
  return 0;
}

int FileCopyAttributes(const std::string& from) {
  struct stat old;
  if (write_fd < 0) return Reason(EBADF);
  return stat(from.c_str(), &old) == 0 ? TakeOverFrom(write_fd, from, old) : Reason();
}

int FileOpenExisting(const std::string& path, bool in_place) {
  // O_NONBLOCK so that a FIFO without a reader gives an error, not a wait.
  // The links on the way were followed by the rule of FileLookUp: one
  // planted at the name since is not.
  write_fd =
      open(path.c_str(), (in_place ? O_RDWR : O_WRONLY) | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (write_fd < 0) return Reason();
  fcntl(write_fd, F_SETFL, fcntl(write_fd, F_GETFL) & ~O_NONBLOCK);
  return 0;
}

int FileOpenStandardOutput() {
  write_fd = STDOUT_FILENO;
  write_standard = true;
  return 0;
}

int FileWrite(const std::string& bytes) {
  return WriteAll(write_fd, bytes.data(), bytes.size());
}

int FileReadAt(unsigned long long offset, char* buffer, unsigned long size, unsigned long& count) {
  for (count = 0; count < size;) {
    ssize_t n = pread(write_fd, buffer + count, size - count, offset + count);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Reason();
    if (n == 0) break;
    count += n;
  }
  return 0;
}

int FileWriteAt(unsigned long long offset, const std::string& bytes) {
  return WriteAll(write_fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
}

int FileReserve(unsigned long long size) {
  if (size == 0) return 0;
  int error = posix_fallocate(write_fd, 0, size);
  // A file system that cannot reserve leaves it to the writes.
  return error == 0 || error == EOPNOTSUPP || error == EINVAL ? 0 : Reason(error);
}

int FileSetSize(unsigned long long size) {
  return ftruncate(write_fd, size) == 0 ? 0 : Reason();
}

int FileFlushAndClose() {
  int fd = write_fd;
  write_fd = -1;
  if (write_standard) {
    write_standard = false;
    return 0;
  }
  struct stat seen;
  // A file's lines must be on the disk before the save counts as done; a
  // device or a FIFO has no disk.
  bool regular = fstat(fd, &seen) == 0 && S_ISREG(seen.st_mode);
  int result = regular && fsync(fd) != 0 ? Reason() : 0;
  // An unnamed temporary file gets its name now, complete, to be renamed
  // into its place.
  if (result == 0 && fd == temporary.fd) {
    int named = NameTemporary(FileFolderOf(temporary_beside), BaseOf(temporary_beside), temporary);
    if (named != 0) result = Reason(named);
  }
  if (fd == temporary.fd) temporary.fd = -1;
  if (close(fd) != 0 && result == 0) result = Reason();
  return result;
}

int FileReplace(const std::string& path) {
  return RenameTemporary(temporary, path);
}

int FileBackUp(const std::string& from, const std::string& backup, bool replace, bool by_link) {
  // A second name of the old file is its backup at no cost when the file is
  // about to be replaced by a new one: owner, mode and all stay as they were.
  if (by_link) {
    if (!replace) {
      if (link(from.c_str(), backup.c_str()) == 0) return SyncFolder(backup), 0;
      if (errno == EEXIST) return Reason();
    } else if (FreshName(FileFolderOf(backup), BaseOf(backup), backup_temporary.path) &&
               link(from.c_str(), backup_temporary.path) == 0) {
      backup_temporary.named = 1;
      return RenameTemporary(backup_temporary, backup);
    }
    // No hard links here (or not of this file): a copy, then.
  }
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Reason();
  int result = BackUpByCopy(in, backup, replace);
  close(in);
  return result;
}

int FileOpenAtEnd(const std::string& path, std::FILE*& file) {
  file = nullptr;
  int fd =
      open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return Reason();
  struct stat seen;
  if (fstat(fd, &seen) != 0 || !S_ISREG(seen.st_mode)) {
    close(fd);
    return 0;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  file = fdopen(fd, "a");
  if (file) return 0;
  int error = Reason();
  close(fd);
  return error;
}

int FileOpenForReading(const std::string& name) {
  read_standard = false;
  read_fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (read_fd < 0) return Reason();
  struct stat seen;
  int error = fstat(read_fd, &seen) != 0 ? errno : S_ISDIR(seen.st_mode) ? EISDIR : 0;
  if (error != 0) {
    close(read_fd);
    read_fd = -1;
    return Reason(error);
  }
  // O_NONBLOCK only kept a FIFO without a writer from holding up the open.
  fcntl(read_fd, F_SETFL, fcntl(read_fd, F_GETFL) & ~O_NONBLOCK);
  return 0;
}

int FileOpenStandardInput() {
  read_fd = STDIN_FILENO;
  read_standard = true;
  return 0;
}

int FileRead(char* buffer, unsigned long size, unsigned long& count) {
  for (;;) {
    ssize_t n = read(read_fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    count = n < 0 ? 0 : static_cast<unsigned long>(n);
    return n < 0 ? Reason() : 0;
  }
}

void FileCloseForReading() {
  if (read_fd >= 0 && !read_standard) close(read_fd);
  read_fd = -1;
  read_standard = false;
}

void FileAbandonWrite() {
  if (write_fd >= 0 && !write_standard) close(write_fd);
  write_fd = -1;
  temporary.fd = -1;
  write_standard = false;
  RemoveTemporary(temporary);
  RemoveTemporary(backup_temporary);
}
