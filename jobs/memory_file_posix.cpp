// The file system on POSIX systems: the steps of writing and reading a file
// (look up a name, make a temporary file beside it, copy a file's owner and
// attributes, flush, replace), each answering one question. What is done
// with them is decided in memory_file.cpp.
#include <fcntl.h>
#include <libgen.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "jobs/memory_file.h"

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

constexpr const char* kUntrustedLink =
    "a symbolic link in a folder that everyone may write in, owned by neither this user nor the "
    "folder's owner, is not followed";

int Reason(int error = errno) {
  file_reason = std::strerror(error);
  return 2;
}

// A link in a sticky folder that others may write in (like /tmp) is followed
// only when it belongs to us or to the folder's owner: otherwise anyone could
// point our file elsewhere. This is the kernel's fs.protected_symlinks rule,
// kept here whether or not the kernel has it on, as the program resolves the
// link itself.
bool TrustedLink(const std::string& path, const struct stat& link) {
  std::string copy = path;
  struct stat folder;
  if (stat(dirname(copy.data()), &folder) != 0) return true;
  bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return !shared || link.st_uid == geteuid() || link.st_uid == folder.st_uid;
}

// The same rule for every link among the folders on the way to a name.
bool TrustedFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string folder = path.substr(0, slash);
    struct stat seen;
    if (lstat(folder.c_str(), &seen) == 0 && S_ISLNK(seen.st_mode) && !TrustedLink(folder, seen))
      return false;
  }
  return true;
}

// Where a chain of symbolic links ends, whether or not anything is there
// yet; false for a link the rule above does not follow.
bool LinkTarget(const std::string& name, std::string& path) {
  path = name;
  for (int hops = 0; hops < 40; hops++) {
    if (!TrustedFolders(path)) return false;
    struct stat seen;
    if (lstat(path.c_str(), &seen) != 0 || !S_ISLNK(seen.st_mode)) return true;
    if (!TrustedLink(path, seen)) return false;
    char target[PATH_MAX];
    ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0) return true;
    std::string next(target, length);
    if (next[0] != '/') {
      size_t slash = path.find_last_of('/');
      if (slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    }
    path = next;
  }
  return true;
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

std::string FolderOf(const std::string& path) {
  std::string copy = path;
  return dirname(copy.data());
}

std::string BaseOf(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

void SyncFolder(const std::string& path) {
  int directory = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
// attributes and ACLs (and none the old one lacked), permission bits. False
// when any of it cannot be done: the rename would then change the file.
bool TakeOverFrom(int fd, const std::string& path, const struct stat& old) {
  if (fd < 0) return false;
  if (fchown(fd, old.st_uid, old.st_gid) != 0) return false;
  std::vector<std::string> old_names, new_names;
  if (!AttributeNames(path, -1, old_names) || !AttributeNames("", fd, new_names)) return false;
  for (const std::string& name : new_names) {
    bool on_old = false;
    for (const std::string& kept : old_names) on_old = on_old || kept == name;
    if (!on_old && fremovexattr(fd, name.c_str()) != 0) return false;
  }
  for (const std::string& name : old_names) {
    ssize_t size = getxattr(path.c_str(), name.c_str(), nullptr, 0);
    if (size < 0) return false;
    std::vector<char> value(size);
    size = getxattr(path.c_str(), name.c_str(), value.data(), value.size());
    if (size < 0 || fsetxattr(fd, name.c_str(), value.data(), size, 0) != 0) return false;
  }
  // After the owner: a change of owner clears the set-id bits.
  return fchmod(fd, old.st_mode & 07777) == 0;
}

// Copies the file `in` into `out`, flushed to the disk. 0, or 2 with the reason.
int CopyBytes(int in, int out) {
  char buffer[8192];
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Reason();
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t put = write(out, buffer + done, n - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return Reason(put == 0 ? ENOSPC : errno);
      done += put;
    }
  }
  return fsync(out) == 0 ? 0 : Reason();
}

// A sticky folder lets only the owner of a name (or of the folder) rename
// over it: whether this user may replace `path`.
bool MayReplaceName(const std::string& path) {
  struct stat folder, seen;
  if (lstat(path.c_str(), &seen) != 0 || stat(FolderOf(path).c_str(), &folder) != 0) return true;
  uid_t user = geteuid();
  return !(folder.st_mode & S_ISVTX) || user == 0 || seen.st_uid == user || folder.st_uid == user;
}

}  // namespace

int FileLookUp(const std::string& name, FileFacts& facts) {
  // "out/" names a folder, never a file to write.
  if (!name.empty() && name.back() == '/') return Reason(EISDIR);
  if (!LinkTarget(name, facts.path)) {
    file_reason = kUntrustedLink;
    return 2;
  }
  struct stat old;
  facts.exists = stat(facts.path.c_str(), &old) == 0;
  // A name too long, a file used as a folder, a loop of links...
  if (!facts.exists && errno != ENOENT) return Reason();
  if (facts.exists && S_ISDIR(old.st_mode)) return Reason(EISDIR);
  facts.regular = facts.exists && S_ISREG(old.st_mode);
  facts.other_links = facts.regular && old.st_nlink > 1;
  facts.size = facts.regular ? old.st_size : 0;
  // The folder must be there, or the temporary file's error would name it.
  return 0;
}

// A file that the save may overwrite: one we may write, and not one that
// nobody may write. The second is refused even for root, as the read-only
// attribute is on Windows: whoever took every write bit away meant it.
int FileMayWrite(const std::string& path) {
  struct stat file;
  if (stat(path.c_str(), &file) != 0) return Reason();
  if ((file.st_mode & 0222) == 0) return Reason(EACCES);
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : Reason();
}

int FileMakeTemporary(const std::string& beside) {
  temporary_beside = beside;
  int made = MakeTemporaryFile(FolderOf(beside), BaseOf(beside), temporary);
  if (made == EACCES) {
    Reason(made);
    return kFolderRefused;
  }
  if (made != 0) return Reason(made);
  write_fd = temporary.fd;
  // A new file gets what a plain create would give it.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(write_fd, 0666 & ~mask);
  return 0;
}

bool FileCopyAttributes(const std::string& from) {
  struct stat old;
  return stat(from.c_str(), &old) == 0 && TakeOverFrom(write_fd, from, old);
}

int FileOpenExisting(const std::string& path, bool in_place) {
  // O_NONBLOCK so that a FIFO without a reader gives an error, not a wait.
  // The links on the way were followed by the rule of FileLookUp: one
  // planted since is not.
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
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(write_fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Reason(n == 0 ? ENOSPC : errno);
    done += n;
  }
  return 0;
}

long FileReadAt(unsigned long long offset, char* buffer, unsigned long size) {
  unsigned long done = 0;
  while (done < size) {
    ssize_t n = pread(write_fd, buffer + done, size - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Reason(), -1;
    if (n == 0) break;
    done += n;
  }
  return static_cast<long>(done);
}

int FileWriteAt(unsigned long long offset, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = pwrite(write_fd, bytes.data() + done, bytes.size() - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Reason(n == 0 ? ENOSPC : errno);
    done += n;
  }
  return 0;
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
    int named = NameTemporary(FolderOf(temporary_beside), BaseOf(temporary_beside), temporary);
    if (named != 0) result = Reason(named);
  }
  if (fd == temporary.fd) temporary.fd = -1;
  if (close(fd) != 0 && result == 0) result = Reason();
  return result;
}

namespace {

// A named temporary takes its final name; when it cannot, it goes, and the
// reason stays in file_reason.
int RenameTemporary(Temporary& made, const std::string& path) {
  if (rename(made.path, path.c_str()) != 0) {
    Reason();
    RemoveTemporary(made);
    return 2;
  }
  made.named = 0;
  SyncFolder(path);
  return 0;
}

}  // namespace

int FileReplace(const std::string& path) {
  return RenameTemporary(temporary, path);
}

int FileMayMake(const std::string& path, bool replace) {
  std::string folder = FolderOf(path);
  if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return Reason();
  return replace && !MayReplaceName(path) ? Reason(EPERM) : 0;
}

int FileBackUp(const std::string& from, const std::string& backup, bool replace, bool by_link) {
  std::string folder = FolderOf(backup), base = BaseOf(backup);
  // A second name of the old file is its backup at no cost when the file is
  // about to be replaced by a new one: owner, mode and all stay as they were.
  if (by_link) {
    if (!replace) {
      if (link(from.c_str(), backup.c_str()) == 0) return SyncFolder(backup), 0;
      if (errno == EEXIST) return Reason();
    } else if (FreshName(folder, base, backup_temporary.path) &&
               link(from.c_str(), backup_temporary.path) == 0) {
      backup_temporary.named = 1;
      return RenameTemporary(backup_temporary, backup);
    }
    // No hard links here (or not of this file): a copy, then.
  }
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Reason();
  struct stat old;
  int result = fstat(in, &old) == 0 ? 0 : Reason();
  int made = result == 0 ? MakeTemporaryFile(folder, base, backup_temporary) : 0;
  if (made != 0) result = Reason(made);
  if (result == 0) {
    int out = backup_temporary.fd;
    result = CopyBytes(in, out);
    // The old file's owner, group and mode, as far as this user may give them.
    if (result == 0) {
      if (fchown(out, old.st_uid, old.st_gid) != 0 && fchown(out, -1, old.st_gid) != 0)
        errno = 0;  // a backup of this user's, then
      fchmod(out, old.st_mode & 07777);
    }
    // Whole and on the disk: only now does it get the backup's name, over
    // NAME~ in one step, and never over a numbered one.
    made = result == 0 ? NameTemporary(folder, base, backup_temporary) : 0;
    if (made != 0) result = Reason(made);
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
  }
  close(in);
  return result;
}

std::FILE* FileOpenForAppending(const std::string& name) {
  std::string path;
  if (!LinkTarget(name, path)) {
    file_reason = kUntrustedLink;
    return nullptr;
  }
  // Looked at before the open: opening a device or a FIFO may wait, or do
  // something to it.
  struct stat seen;
  if (stat(path.c_str(), &seen) == 0 && !S_ISREG(seen.st_mode)) {
    file_reason = S_ISDIR(seen.st_mode) ? std::strerror(EISDIR) : "not a plain file";
    return nullptr;
  }
  int fd =
      open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return Reason(), nullptr;
  if (fstat(fd, &seen) != 0 || !S_ISREG(seen.st_mode)) {
    file_reason = "not a plain file";
    close(fd);
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = fdopen(fd, "a");
  if (!file) {
    Reason();
    close(fd);
  }
  return file;
}

int FileOpenForReading(const std::string& name) {
  read_standard = false;
  read_fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (read_fd < 0) return Reason();
  struct stat seen;
  if (fstat(read_fd, &seen) != 0 || S_ISDIR(seen.st_mode)) {
    Reason(S_ISDIR(seen.st_mode) ? EISDIR : errno);
    close(read_fd);
    read_fd = -1;
    return 2;
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

long FileRead(char* buffer, unsigned long size) {
  for (;;) {
    ssize_t n = read(read_fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Reason();
    return n < 0 ? -1 : static_cast<long>(n);
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

void MemoryFileAbandon() {
  FileAbandonWrite();
  FileCloseForReading();
}
