// The file system on Windows: the steps of writing and reading a file (look
// up a name, make a temporary file beside it, keep a file's attributes,
// flush, replace), each answering one question. What is done with them is
// decided in memory_file.cpp, for Windows as for POSIX systems.
#include <windows.h>

#include <cstdio>
#include <string>

#include "jobs/memory_file.h"

namespace {

HANDLE write_handle = INVALID_HANDLE_VALUE;
HANDLE read_handle = INVALID_HANDLE_VALUE;
bool write_standard = false;  // the standard output's handle: not closed here
bool read_standard = false;
DWORD old_attributes = 0;  // of the file being replaced, 0 for a new one

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

// The system's text for an error, without its line end.
int Reason(DWORD error = GetLastError()) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ' || text[length - 1] == '.'))
    length--;
  file_reason = length > 0 ? std::string(text, length) : "error " + std::to_string(error);
  return 2;
}

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

int FileLookUp(const std::string& name, FileFacts& facts) {
  old_attributes = 0;
  // "out\\" names a folder, never a file to write.
  if (!name.empty() && (name.back() == '\\' || name.back() == '/'))
    return Reason(ERROR_INVALID_NAME);
  char full_path[MAX_PATH];
  DWORD length = GetFullPathNameA(name.c_str(), sizeof full_path, full_path, nullptr);
  if (length == 0) return Reason();
  if (length >= sizeof full_path) return Reason(ERROR_FILENAME_EXCED_RANGE);
  // CON, NUL, COM1 and the like, wherever they are named: written as a stream.
  if (IsDevicePath(full_path)) {
    facts.path = full_path;
    facts.exists = true;
    return 0;
  }
  DWORD attributes = GetFileAttributesA(full_path);
  facts.path = LinkTarget(full_path, attributes);
  if (facts.path != full_path) attributes = GetFileAttributesA(facts.path.c_str());
  facts.exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!facts.exists) {
    DWORD error = GetLastError();
    // A missing folder is named by the temporary file's failure.
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : Reason(error);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Reason(ERROR_DIRECTORY);
  HANDLE file = CreateFileA(facts.path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Reason();
  BY_HANDLE_FILE_INFORMATION information;
  bool known = GetFileInformationByHandle(file, &information) != 0;
  facts.regular = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  if (!known) return Reason();
  // Other names of the same file, which replacing it would part from it.
  facts.other_links = information.nNumberOfLinks > 1;
  facts.size =
      (static_cast<unsigned long long>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  old_attributes = attributes & kKeptAttributes;
  return 0;
}

// A read-only file can't be written, and so can't be replaced either; nor
// can a file whose access rules refuse us writing, though the folder would
// let us replace it.
int FileMayWrite(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    return Reason(ERROR_ACCESS_DENIED);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Reason();
  CloseHandle(file);
  return 0;
}

// GetTempFileNameA makes the file, with a name no other file has, in the
// target's folder: the replace then needs no copy.
int FileMakeTemporary(const std::string& beside) {
  if (GetTempFileNameA(FolderOf(beside).c_str(), "qnm", 0, temporary_path) == 0) {
    DWORD error = GetLastError();
    Reason(error);
    return error == ERROR_ACCESS_DENIED ? kFolderRefused : 2;
  }
  temporary_exists = 1;
  write_handle = CreateFileA(temporary_path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                             nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (write_handle == INVALID_HANDLE_VALUE) {
    Reason();
    RemoveTemporary();
    return 2;
  }
  return 0;
}

// ReplaceFileA gives the new file the old one's access rules and creation
// time; FileReplace sets the attributes that describe the data itself.
bool FileCopyAttributes(const std::string&) {
  return true;
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

long FileReadAt(unsigned long long offset, char* buffer, unsigned long size) {
  if (!Seek(write_handle, offset)) return Reason(), -1;
  unsigned long done = 0;
  while (done < size) {
    DWORD got = 0;
    if (!ReadFile(write_handle, buffer + done, static_cast<DWORD>(size - done), &got, nullptr))
      return Reason(), -1;
    if (got == 0) break;
    done += got;
  }
  return static_cast<long>(done);
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
  bool exists = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  // Set beforehand too: not every implementation of ReplaceFileA keeps them.
  if (exists && old_attributes != 0)
    SetFileAttributesA(temporary_path, old_attributes);  // a failure only loses the attributes
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
  Reason();
  RemoveTemporary();
  return 2;
}

// The folder's rights are the system's to judge when the backup is made.
int FileMayMake(const std::string&, bool) {
  return 0;
}

// A copy beside the backup, flushed, then moved to the backup's name: over
// NAME~ with `replace`, else only to a name that is free.
int FileBackUp(const std::string& from, const std::string& backup, bool replace, bool) {
  char copy_path[MAX_PATH];
  if (GetTempFileNameA(FolderOf(backup).c_str(), "qnb", 0, copy_path) == 0) return Reason();
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

// A device (CON, NUL, COM1, a pipe) is no trace file.
std::FILE* FileOpenForAppending(const std::string& name) {
  char full_path[MAX_PATH];
  DWORD length = GetFullPathNameA(name.c_str(), sizeof full_path, full_path, nullptr);
  if (length == 0 || length >= sizeof full_path) return Reason(), nullptr;
  if (IsDevicePath(full_path)) {
    file_reason = "not a plain file";
    return nullptr;
  }
  std::FILE* file = std::fopen(full_path, "a");
  if (!file) Reason();
  return file;
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

long FileRead(char* buffer, unsigned long size) {
  DWORD got = 0;
  if (ReadFile(read_handle, buffer, static_cast<DWORD>(size), &got, nullptr))
    return static_cast<long>(got);
  DWORD error = GetLastError();
  if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;  // a pipe's end
  Reason(error);
  return -1;
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

void MemoryFileAbandon() {
  FileAbandonWrite();
  FileCloseForReading();
}
