// The rules for the names the program writes: which links it follows, which
// files it writes over, which names it replaces. The file system's steps
// supply the facts (an owner, a sticky folder, the write bits); the rules
// here decide, for every system alike.
#include "jobs/file_access.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "jobs/file_system.h"

std::string file_reason;

namespace {

// A chain of links longer than this is not followed further, as the system
// stops following one.
constexpr int kMostLinks = 40;

constexpr const char* kUntrustedLink =
    "a symbolic link in a folder that everyone may write in, owned by neither this user nor the "
    "folder's owner, is not followed";
constexpr const char* kNotPlain = "not a plain file";

// A refusal of the rules' own, in their words rather than the system's.
int Refuse(int error, const char* reason) {
  file_reason = reason;
  return error;
}

// A link in a sticky folder that others may write in (like /tmp) is followed
// only when it belongs to us or to the folder's owner: otherwise anyone could
// point our file elsewhere. This is the kernel's fs.protected_symlinks rule,
// kept here whether or not the kernel has it on, as the program resolves the
// link itself.
bool LinkFollowed(const NameFacts& link) {
  bool shared = link.folder_sticky && link.folder_others_write;
  return !shared || link.owner == FileUser().id || link.owner == link.folder_owner;
}

// The same rule for every link among the folders on the way to a name, from
// its own folder up to the top (or to the current folder).
bool FoldersFollowed(const std::string& path) {
  for (std::string folder = FileFolderOf(path);; folder = FileFolderOf(folder)) {
    NameFacts seen;
    if (FileLookAtName(folder, seen) == 0 && seen.link && !LinkFollowed(seen)) return false;
    if (FileFolderOf(folder).size() >= folder.size()) return true;
  }
}

// Where a chain of symbolic links ends, whether or not anything is there
// yet; EACCES for a link the rule above does not follow.
int FollowLinks(const std::string& name, std::string& path) {
  path = name;
  for (int hops = 0; hops < kMostLinks; hops++) {
    if (!FoldersFollowed(path)) return Refuse(EACCES, kUntrustedLink);
    NameFacts seen;
    if (FileLookAtName(path, seen) != 0 || !seen.link || seen.target.empty()) return 0;
    if (!LinkFollowed(seen)) return Refuse(EACCES, kUntrustedLink);
    path = seen.target;
  }
  return 0;
}

}  // namespace

int FileLookUp(const std::string& name, FileFacts& facts) {
  std::string full;
  int error = FileFullName(name, full);
  if (error == 0) error = FollowLinks(full, facts.path);
  if (error == 0) error = FileLookAt(facts.path, facts);
  if (error == 0 && facts.folder) error = FileReason(EISDIR);
  return error;
}

// A file that the save may overwrite: one we may write, and not one that
// nobody may write. The second is refused even for root, as the read-only
// attribute is on Windows: whoever took every write bit away meant it.
int FileMayWrite(const FileFacts& facts) {
  if (!facts.write_bits) return FileReason(EACCES);
  return FileMayOpenToWrite(facts.path);
}

// A sticky folder lets only the owner of a name (or of the folder, or a
// privileged user) rename over it: learnt now, not when the rename fails.
int FileMayMake(const std::string& path, bool replace) {
  int error = FileMayAddName(path);
  if (error != 0 || !replace) return error;
  NameFacts seen;
  if (FileLookAtName(path, seen) != 0 || !seen.folder_sticky) return 0;
  UserFacts user = FileUser();
  bool owner = user.privileged || seen.owner == user.id || seen.folder_owner == user.id;
  return owner ? 0 : FileReason(EPERM);
}

std::FILE* FileOpenForAppending(const std::string& name) {
  FileFacts facts;
  if (FileLookUp(name, facts) != 0) return nullptr;
  // Looked at before the open: opening a device or a FIFO may wait, or do
  // something to it.
  std::FILE* file = nullptr;
  if ((!facts.exists || facts.regular) && FileOpenAtEnd(facts.path, file) != 0) return nullptr;
  // Not a plain file, now or by the time of the open.
  if (!file) file_reason = kNotPlain;
  return file;
}
