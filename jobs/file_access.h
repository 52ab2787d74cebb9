// Which names the program follows, writes and replaces: the rules above the
// file system's facts (jobs/file_system.h), the same on every system.
//
// FileLookUp          what a name about to be written leads to, by the link
//                     rule; fails for a folder, a bad name, and (POSIX) a
//                     missing folder
// FileMayWrite        whether the file looked up may be written over
// FileMayMake         whether a new file may be put at a name, and with
//                     `replace` over what is there now
// FileOpenForAppending  the trace file, opened to append: a plain file only,
//                     made when missing, a link followed by the rule of
//                     FileLookUp; nullptr with file_reason
//
// Each returns 0 or an error number with its words in file_reason, as the
// steps below them do.
#pragma once
#include <cstdio>
#include <string>

#include "jobs/file_system.h"

int FileLookUp(const std::string& name, FileFacts& facts);
int FileMayWrite(const FileFacts& facts);
int FileMayMake(const std::string& path, bool replace);
std::FILE* FileOpenForAppending(const std::string& name);
