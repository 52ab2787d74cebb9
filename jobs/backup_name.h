// The names under which the old contents of a replaced file are kept, by the
// rules of the environment variable VERSION_CONTROL.
//
// BackupName             where the old contents of a replaced file are kept;
//                        "" for no backup
// NamesFileOrBackup      true when a name is a file's own name or, now or
//                        later, one of its backups' (FILE~, FILE.~N~), once
//                        links are followed and the folders spelt out
// VersionControlProblem  the line that refuses a VERSION_CONTROL value that
//                        names no way of keeping backups; "" for a good one
#pragma once
#include <string>

std::string BackupName(const std::string& path, const char* version_control);
bool NamesFileOrBackup(const std::string& name, const std::string& file);
std::string VersionControlProblem(const char* version_control);
