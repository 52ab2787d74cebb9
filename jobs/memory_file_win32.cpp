// The memory file on Windows. A save writes a new file beside the old one
// and puts it in place only when it is complete, so that an interrupted or
// failed save never leaves half a file where a good one was.
#include <windows.h>

#include <string>

#include "jobs/memory_file.h"

namespace {

HANDLE write_handle = INVALID_HANDLE_VALUE;
HANDLE read_handle = INVALID_HANDLE_VALUE;
std::string target_path;   // where the finished file goes
bool replacing = false;    // writing a new file beside target_path
DWORD old_attributes = 0;  // of the file being replaced, 0 for a new one
// A file written in place is emptied only when the first bytes go to it, so
// that a save given up before then leaves it as it was.
bool empty_before_writing = false;

// The temporary file's name, kept in a fixed buffer so that the console's
// control handler can remove it. Empty when there is none.
char temporary_path[MAX_PATH];
volatile LONG temporary_exists = 0;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Attributes that the new file takes over from the one it replaces; a
// read-only file is never replaced, and the others describe the old data.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsDevicePath(const std::string& path) {
  return path.rfind("\\\\.\\", 0) == 0;
}

// Where a symbolic link ends, for a link to an existing file; any other
// name as it is.
std::string LinkTarget(const std::string& name, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return name;
  HANDLE file = CreateFileA(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return name;
  char final_path[MAX_PATH];
  DWORD length =
      GetFinalPathNameByHandleA(file, final_path, sizeof final_path, FILE_NAME_NORMALIZED);
  CloseHandle(file);
  if (length == 0 || length >= sizeof final_path) return name;
  std::string path(final_path, length);
  // "\\?\C:\..." back to "C:\...", "\\?\UNC\server\..." to "\\server\...".
  if (path.rfind("\\\\?\\UNC\\", 0) == 0) return "\\" + path.substr(7);
  if (path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

// The folder part of a path, "." when it has none.
std::string FolderOf(const std::string& path) {
  size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + ".";
    return ".";
  }
  if (separator == 0) return path.substr(0, 1);
  if (separator == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, separator);
}

// A file that exists, opened to be written where it is; `emptied` for a
// file (emptied before its first bytes), not for a device.
int OpenDirectly(const std::string& name, bool emptied) {
  write_handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (write_handle == INVALID_HANDLE_VALUE) return 2;
  empty_before_writing = emptied;
  return 0;
}

bool EmptyIfDue() {
  if (!empty_before_writing) return true;
  empty_before_writing = false;
  return SetEndOfFile(write_handle) != 0;  // the file position is still at its start
}

bool MayWrite(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

void RemoveTemporary() {
  if (InterlockedExchange(&temporary_exists, 0) != 0) DeleteFileA(temporary_path);
}

}  // namespace

int FileCreate(const std::string& name) {
  replacing = false;
  old_attributes = 0;
  empty_before_writing = false;
  // "out\\" names a folder, never a file to write.
  if (!name.empty() && (name.back() == '\\' || name.back() == '/')) return 2;
  char full_path[MAX_PATH];
  DWORD length = GetFullPathNameA(name.c_str(), sizeof full_path, full_path, nullptr);
  if (length == 0 || length >= sizeof full_path) return 2;
  // CON, NUL, COM1 and the like, wherever they are named: written in place.
  if (IsDevicePath(full_path)) return OpenDirectly(full_path, false);

  DWORD attributes = GetFileAttributesA(full_path);
  target_path = LinkTarget(full_path, attributes);
  if (target_path != full_path) attributes = GetFileAttributesA(target_path.c_str());
  bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 2;
  // A read-only file can't be written, and so can't be replaced either;
  // nor can a file whose access rules refuse us writing, though the folder
  // would let us replace it.
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return 2;
  if (exists && !MayWrite(target_path)) return 2;

  // GetTempFileNameA makes the file, with a name no other file has, in the
  // target's folder: MoveFileExA then replaces the target without copying.
  if (GetTempFileNameA(FolderOf(target_path).c_str(), "qnm", 0, temporary_path) == 0) {
    // No room beside it (a folder we may not write in): a file we may
    // write is still written, in place.
    if (exists && GetLastError() == ERROR_ACCESS_DENIED) return OpenDirectly(target_path, true);
    return 2;
  }
  temporary_exists = 1;
  write_handle = CreateFileA(temporary_path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                             nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (write_handle == INVALID_HANDLE_VALUE) {
    RemoveTemporary();
    return 2;
  }
  replacing = true;
  if (exists) old_attributes = attributes & kKeptAttributes;
  return 0;
}

int FileWrite(const std::string& bytes) {
  if (!EmptyIfDue()) return 2;
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(write_handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                   &written, nullptr) ||
        written == 0)
      return 2;
    done += written;
  }
  return 0;
}

int FileCommit(bool write_failed) {
  bool emptied = EmptyIfDue();
  HANDLE file = write_handle;
  write_handle = INVALID_HANDLE_VALUE;
  if (!replacing) return (!CloseHandle(file) || write_failed || !emptied) ? 2 : 0;
  bool ok = !write_failed && FlushFileBuffers(file);
  if (!CloseHandle(file)) ok = false;
  if (ok && old_attributes != 0)
    SetFileAttributesA(temporary_path, old_attributes);  // a failure only loses the attributes
  if (ok && MoveFileExA(temporary_path, target_path.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    temporary_exists = 0;
    return 0;
  }
  RemoveTemporary();
  return 2;
}

int FileOpenForReading(const std::string& name) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open: error 2.
  read_handle = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return read_handle == INVALID_HANDLE_VALUE ? 2 : 0;
}

long FileRead(char* buffer, unsigned long size) {
  DWORD got = 0;
  if (!ReadFile(read_handle, buffer, static_cast<DWORD>(size), &got, nullptr)) return 0;
  return static_cast<long>(got);
}

void FileCloseForReading() {
  if (read_handle != INVALID_HANDLE_VALUE) CloseHandle(read_handle);
  read_handle = INVALID_HANDLE_VALUE;
}

void FileAbandonWrite() {
  if (write_handle != INVALID_HANDLE_VALUE) CloseHandle(write_handle);
  write_handle = INVALID_HANDLE_VALUE;
  RemoveTemporary();
}

void MemoryFileAbandon() {
  FileAbandonWrite();
  if (read_handle != INVALID_HANDLE_VALUE) CloseHandle(read_handle);
  read_handle = INVALID_HANDLE_VALUE;
}
