// The file system on Windows: the steps of jobs/file_system.h (look at a
// name, make a temporary file beside it, keep a file's attributes, flush,
// replace), each answering one question. What is done with them is decided
// in file_access.cpp and memory_file.cpp, for Windows as for POSIX systems.
// Windows has no owners in the POSIX sense and no sticky folders: its facts
// say so, and the rules built on them let everything through.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "ending/system_error.h"
#include "jobs/file_system.h"

namespace {

HANDLE write_handle = INVALID_HANDLE_VALUE;
HANDLE read_handle = INVALID_HANDLE_VALUE;
bool write_standard = false;  // the standard output's handle: not closed here
bool read_standard = false;

// The temporary file's name, kept in a fixed buffer so that the console's
// control handler can remove it. Empty when there is none.
char temporary_path[MAX_PATH];
volatile LONG temporary_exists = 0;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Attributes that a new file takes over from the one it replaces when the
// system's replacing cannot keep them itself; a read-only file is never
// replaced, and the others describe the old data.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Windows' errors and the numbers of file_system.h that mean the same. A
// folder named where a file should be is EISDIR, in Windows' words for it.
struct SameError {
  DWORD windows;
  int error;
};
constexpr SameError kSameErrors[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},   {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},    {ERROR_DISK_FULL, ENOSPC},
    {ERROR_HANDLE_DISK_FULL, ENOSPC}, {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_ALREADY_EXISTS, EEXIST},   {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {ERROR_INVALID_NAME, EINVAL},     {ERROR_DIRECTORY, EISDIR},
    {ERROR_SHARING_VIOLATION, EBUSY}, {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_BROKEN_PIPE, EPIPE},       {ERROR_INVALID_HANDLE, EBADF},
    {ERROR_NOT_SAME_DEVICE, EXDEV},
};

// The system's words for an error, without their line end, in file_reason;
// its number by the table, EIO for one without.
int Reason(DWORD error = GetLastError()) {
  file_reason = SystemErrorText(error);
  for (const SameError& same : kSameErrors)
    if (same.windows == error) return same.error;
  return EIO;
}

bool IsDevicePath(const std::string& path) {
  return path.rfind("\\\\.\\", 0) == 0;
}

// Where a symbolic link ends, for a link to an existing file: the system
// follows the whole chain at once. "" when it cannot tell, or when the name
// is a reparse point of another kind, which ends where it stands.
std::string LinkTarget(const std::string& name) {
  HANDLE file = CreateFileA(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  char final_path[MAX_PATH];
  DWORD length =
      GetFinalPathNameByHandleA(file, final_path, sizeof final_path, FILE_NAME_NORMALIZED);
  CloseHandle(file);
  if (length == 0 || length >= sizeof final_path) return "";
  std::string path(final_path, length);
  // "\\?\C:\..." back to "C:\...", "\\?\UNC\server\..." to "\\server\...".
  if (path.rfind("\\\\?\\UNC\\", 0) == 0) path = "\\" + path.substr(7);
  if (path.rfind("\\\\?\\", 0) == 0) path = path.substr(4);
  return path == name ? "" : path;
}

}  // namespace

// The folder part of a path, "." when it has none.
std::string FileFolderOf(const std::string& path) {
  size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + ".";
    return ".";
  }
  if (separator == 0) return path.substr(0, 1);
  if (separator == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, separator);
}

namespace {

void RemoveTemporary() {
  if (InterlockedExchange(&temporary_exists, 0) != 0) DeleteFileA(temporary_path);
}

bool Seek(HANDLE file, unsigned long long offset) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

int WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr))
      return Reason();
    if (written == 0) return Reason(ERROR_DISK_FULL);
    done += written;
  }
  return 0;
}

}  // namespace

int FileReason(int error) {
  for (const SameError& same : kSameErrors)
    if (same.error == error) return Reason(same.windows), error;
  file_reason = std::strerror(error);
  return error;
}

UserFacts FileUser() {
  return UserFacts();
}

int FileFullName(const std::string& name, std::string& path) {
  // "out\\" names a folder, never a file to write.
  if (!name.empty() && (name.back() == '\\' || name.back() == '/'))
    return Reason(ERROR_INVALID_NAME);
  char full_path[MAX_PATH];
  DWORD length = GetFullPathNameA(name.c_str(), sizeof full_path, full_path, nullptr);
  if (length == 0) return Reason();
  if (length >= sizeof full_path) return Reason(ERROR_FILENAME_EXCED_RANGE);
  path = full_path;
  return 0;
}

// A link is a reparse point; owners and sticky folders stay as NameFacts
// has them: none.
int FileLookAtName(const std::string& path, NameFacts& facts) {
  facts = NameFacts();
  if (IsDevicePath(path)) return 0;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Reason();
  facts.link = attributes & FILE_ATTRIBUTE_REPARSE_POINT;
  if (facts.link) facts.target = LinkTarget(path);
  return 0;
}

int FileLookAt(const std::string& path, FileFacts& facts) {
  // CON, NUL, COM1 and the like, wherever they are named: written as a stream.
  if (IsDevicePath(path)) {
    facts.exists = true;
    return 0;
  }
  DWORD attributes = GetFileAttributesA(path.c_str());
  facts.exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!facts.exists) {
    DWORD error = GetLastError();
    // A missing folder is named by the temporary file's failure.
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : Reason(error);
  }
  facts.folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
  if (facts.folder) return 0;
  HANDLE file = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Reason();
  BY_HANDLE_FILE_INFORMATION information;
  bool known = GetFileInformationByHandle(file, &information) != 0;
  facts.regular = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  if (!known) return Reason();
  // Other names of the same file, which replacing it would part from it.
  facts.other_links = information.nNumberOfLinks > 1;
  facts.write_bits = !(attributes & FILE_ATTRIBUTE_READONLY);
  facts.size =
      (static_cast<unsigned long long>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  return 0;
}

// A file whose access rules refuse us writing can't be written, though the
// folder would let us replace it.
int FileMayOpenToWrite(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Reason();
  CloseHandle(file);
  return 0;
}

// Here a standard stream is named only as "-".
int FileStreamOf(const std::string&) {
  return 0;
}

// The folder's rights are the system's to judge when the backup is made.
int FileMayAddName(const std::string&) {
  return 0;
}

// GetTempFileNameA makes the file, with a name no other file has, in the
// target's folder: the replace then needs no copy.
int FileMakeTemporary(const std::string& beside) {
  if (GetTempFileNameA(FileFolderOf(beside).c_str(), "qnm", 0, temporary_path) == 0)
    return Reason();
  temporary_exists = 1;
  write_handle = CreateFileA(temporary_path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                             nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (write_handle == INVALID_HANDLE_VALUE) {
    int error = Reason();
    RemoveTemporary();
    return error;
  }
  return 0;
}

// ReplaceFileA gives the new file the old one's access rules and creation
// time; FileReplace sets the attributes that describe the data itself.
int FileCopyAttributes(const std::string&) {
  return 0;
}

int FileOpenExisting(const std::string& path, bool in_place) {
  DWORD access = in_place ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
  write_handle = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  return write_handle == INVALID_HANDLE_VALUE ? Reason() : 0;
}

int FileOpenStandardOutput() {
  write_handle = GetStdHandle(STD_OUTPUT_HANDLE);
  write_standard = true;
  return write_handle == INVALID_HANDLE_VALUE || write_handle == nullptr ? Reason() : 0;
}

int FileWrite(const std::string& bytes) {
  return WriteAll(write_handle, bytes);
}

int FileReadAt(unsigned long long offset, char* buffer, unsigned long size, unsigned long& count) {
  count = 0;
  if (!Seek(write_handle, offset)) return Reason();
  while (count < size) {
    DWORD got = 0;
    if (!ReadFile(write_handle, buffer + count, static_cast<DWORD>(size - count), &got, nullptr))
      return Reason();
    if (got == 0) break;
    count += got;
  }
  return 0;
}

int FileWriteAt(unsigned long long offset, const std::string& bytes) {
  return Seek(write_handle, offset) ? WriteAll(write_handle, bytes) : Reason();
}

// The file is made as long as the new contents first, so that the disk's
// room is taken before any byte of the old contents is covered.
int FileReserve(unsigned long long size) {
  LARGE_INTEGER now;
  if (!GetFileSizeEx(write_handle, &now)) return Reason();
  if (static_cast<unsigned long long>(now.QuadPart) >= size) return 0;
  return FileSetSize(size);
}

int FileSetSize(unsigned long long size) {
  return Seek(write_handle, size) && SetEndOfFile(write_handle) ? 0 : Reason();
}

int FileFlushAndClose() {
  HANDLE file = write_handle;
  write_handle = INVALID_HANDLE_VALUE;
  if (write_standard) {
    write_standard = false;
    return 0;
  }
  // A file's lines must be on the disk before the save counts as done; a
  // device has no disk.
  int result = GetFileType(file) == FILE_TYPE_DISK && !FlushFileBuffers(file) ? Reason() : 0;
  if (!CloseHandle(file) && result == 0) result = Reason();
  return result;
}

int FileReplace(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Set beforehand too: not every implementation of ReplaceFileA keeps them.
  if (exists && (attributes & kKeptAttributes) != 0)
    SetFileAttributesA(temporary_path, attributes & kKeptAttributes);  // a failure only loses them
  if (exists && ReplaceFileA(path.c_str(), temporary_path, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                             nullptr, nullptr)) {
    temporary_exists = 0;
    return 0;
  }
  if (MoveFileExA(temporary_path, path.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    temporary_exists = 0;
    return 0;
  }
  int error = Reason();
  RemoveTemporary();
  return error;
}

// A copy beside the backup, flushed, then moved to the backup's name: over
// NAME~ with `replace`, else only to a name that is free.
int FileBackUp(const std::string& from, const std::string& backup, bool replace, bool) {
  char copy_path[MAX_PATH];
  if (GetTempFileNameA(FileFolderOf(backup).c_str(), "qnb", 0, copy_path) == 0) return Reason();
  int result = CopyFileA(from.c_str(), copy_path, FALSE) ? 0 : Reason();
  if (result == 0) {
    HANDLE copy = CreateFileA(copy_path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    // A copy of a read-only file is read-only too: it cannot be flushed, only kept.
    if (copy != INVALID_HANDLE_VALUE) {
      if (!FlushFileBuffers(copy)) result = Reason();
      CloseHandle(copy);
    }
  }
  DWORD how = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (result == 0 && !MoveFileExA(copy_path, backup.c_str(), how)) result = Reason();
  if (result != 0) {
    SetFileAttributesA(copy_path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(copy_path);
  }
  return result;
}

int FileOpenAtEnd(const std::string& path, std::FILE*& file) {
  file = std::fopen(path.c_str(), "a");
  return file ? 0 : Reason();
}

int FileOpenForReading(const std::string& name) {
  read_standard = false;
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open.
  read_handle = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return read_handle == INVALID_HANDLE_VALUE ? Reason() : 0;
}

int FileOpenStandardInput() {
  read_handle = GetStdHandle(STD_INPUT_HANDLE);
  read_standard = true;
  return read_handle == INVALID_HANDLE_VALUE || read_handle == nullptr ? Reason() : 0;
}

int FileRead(char* buffer, unsigned long size, unsigned long& count) {
  DWORD got = 0;
  bool read = ReadFile(read_handle, buffer, static_cast<DWORD>(size), &got, nullptr);
  count = read ? got : 0;
  if (read) return 0;
  DWORD error = GetLastError();
  if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;  // a pipe's end
  return Reason(error);
}

void FileCloseForReading() {
  if (read_handle != INVALID_HANDLE_VALUE && !read_standard) CloseHandle(read_handle);
  read_handle = INVALID_HANDLE_VALUE;
  read_standard = false;
}

void FileAbandonWrite() {
  if (write_handle != INVALID_HANDLE_VALUE && !write_standard) CloseHandle(write_handle);
  write_handle = INVALID_HANDLE_VALUE;
  write_standard = false;
  RemoveTemporary();
}
