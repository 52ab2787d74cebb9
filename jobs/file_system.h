// The file system underneath the file rules: the steps each system takes
// (file_facts_posix.cpp and memory_file_posix.cpp, or memory_file_win32.cpp,
// as CMake chooses), each answering one small question or doing one thing,
// and no policy. What is done with them is decided above, in file_access.cpp
// and memory_file.cpp.
//
// One contract for every step that can fail: it returns 0, or an error
// number, and leaves the system's words for that error in file_reason. The
// numbers are POSIX's errno values; Windows' errors are given the same
// numbers where they mean the same (access denied is EACCES, a full disk
// ENOSPC), and EIO where there is none, their own words kept. A count (of
// bytes read) comes back through an argument, never mixed with the error.
//
// Facts:
// FileUser          who this process is to the file system
// FileFolderOf      the folder that holds a name; at the top, the name itself
// FileFullName      the name as the system takes it (a folder's name refused)
// FileLookAtName    one name itself, a link not followed, and its folder
// FileLookAt        what a name leads to, links followed; a new file's folder
//                   must be there (on Windows the temporary's failure tells)
// FileMayOpenToWrite  whether this process may open the file to write it
// FileMayAddName    whether this process may add names to a name's folder
// FileStreamOf      2 or 1 when a name leads to what the standard error or
//                   output stream is (/dev/stderr, the terminal they are on,
//                   a pipe), else 0
// FileReason        puts the system's words for an error number in file_reason
// Writing:
// FileMakeTemporary a new file beside a name, to take its place later;
//                   EACCES when the folder takes no new file
// FileCopyAttributes  gives the temporary the owner and attributes of a file
// FileOpenExisting  opens a file (or a device, a FIFO) to write it
// FileOpenStandardOutput, FileWrite  the bytes at the end of what was written
// FileReadAt, FileWriteAt, FileReserve, FileSetSize  a file written in place
// FileFlushAndClose the bytes on the disk, the file closed
// FileReplace       the closed temporary takes the place of a name
// FileBackUp        keeps a file under a backup's name
// FileAbandonWrite  drops what is being written (safe inside a signal handler)
// FileOpenAtEnd     opens a file to append to it, made when missing
// Reading:
// FileOpenForReading, FileOpenStandardInput, FileRead, FileCloseForReading
#pragma once
#include <cstdio>
#include <string>

// The words for the last error of a step or a rule, without the program's
// name: "No such file or directory". Written by the steps and the rules of
// file_access.cpp, read by the file procedures that name the failure.
extern std::string file_reason;

// What the file system says of the file a name leads to.
struct FileFacts {
  std::string path;          // where the name leads, symbolic links followed
  bool exists = false;       // something is there
  bool folder = false;       // a folder
  bool regular = false;      // a plain file; anything else (a device, a FIFO) is a stream
  bool other_links = false;  // the file has further names (hard links)
  bool write_bits = false;   // someone may write it: a write bit, not read-only
  unsigned long long size = 0;
};

// What the file system says of one name itself, not followed if a link, and
// of the folder that holds it.
struct NameFacts {
  bool link = false;                 // a symbolic link
  std::string target;                // where the link points, "" when unreadable
  unsigned long owner = 0;           // the user who owns the name
  unsigned long folder_owner = 0;    // the user who owns its folder
  bool folder_sticky = false;        // only owners may remove or rename its names
  bool folder_others_write = false;  // every user may add names to it
};

// Who this process is: its user, and whether it may replace any name
// whoever owns it (root on POSIX systems).
struct UserFacts {
  unsigned long id = 0;
  bool privileged = false;
};

UserFacts FileUser();
std::string FileFolderOf(const std::string& path);
int FileFullName(const std::string& name, std::string& path);
int FileLookAtName(const std::string& path, NameFacts& facts);
int FileLookAt(const std::string& path, FileFacts& facts);
int FileMayOpenToWrite(const std::string& path);
int FileMayAddName(const std::string& path);
int FileStreamOf(const std::string& name);
int FileReason(int error);

int FileMakeTemporary(const std::string& beside);
int FileCopyAttributes(const std::string& from);
int FileOpenExisting(const std::string& path, bool in_place);
int FileOpenStandardOutput();
int FileWrite(const std::string& bytes);
int FileReadAt(unsigned long long offset, char* buffer, unsigned long size, unsigned long& count);
int FileWriteAt(unsigned long long offset, const std::string& bytes);
int FileReserve(unsigned long long size);
int FileSetSize(unsigned long long size);
int FileFlushAndClose();
int FileReplace(const std::string& path);
// Keeps the file `from` as `backup`, complete and on the disk before it gets
// that name: with `replace` over what `backup` was (never through it, if it is
// a link), else only when no such name exists. `by_link` when `from` is about
// to be replaced by a new file: a second name of it is then backup enough.
int FileBackUp(const std::string& from, const std::string& backup, bool replace, bool by_link);
void FileAbandonWrite();
// Never follows a link at `path` nor waits on a FIFO; `file` stays nullptr,
// with 0, when what opened is no plain file (it is closed again).
int FileOpenAtEnd(const std::string& path, std::FILE*& file);

int FileOpenForReading(const std::string& name);
int FileOpenStandardInput();
int FileRead(char* buffer, unsigned long size, unsigned long& count);  // count 0: the end
void FileCloseForReading();
