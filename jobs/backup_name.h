// The names under which the old contents of a replaced file are kept, by the
// rules of the environment variable VERSION_CONTROL.
//
// BackupName             where the old contents of a replaced file are kept;
//                        "" for no backup
// VersionControlProblem  the line that refuses a VERSION_CONTROL value that
//                        names no way of keeping backups; "" for a good one
#pragma once
#include <string>

std::string BackupName(const std::string& path, const char* version_control);
std::string VersionControlProblem(const char* version_control);
