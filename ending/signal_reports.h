// The reports of the signal endings (errors 9 to 14), shared by both systems'
// signal handlers. The reports are made before any signal can come, so that a
// handler only copies bytes.
//
// PrepareSignalReports  makes the reports; the first step of InstallSignalHandlers
// EndWithSignalReport   closes everything, writes the report of an error and
//                       ends the process with it (async-signal-safe)
//
// Steps each system supplies (signals_posix.cpp, signals_win32.cpp):
// WriteErrorStream      writes bytes to the standard error stream with plain system calls
// EndProcessNow         ends the process at once with a status, running no clean-up
#pragma once
#include <cstddef>

void PrepareSignalReports();
[[noreturn]] void EndWithSignalReport(int error);

void WriteErrorStream(const char* bytes, size_t length);
[[noreturn]] void EndProcessNow(int status);
