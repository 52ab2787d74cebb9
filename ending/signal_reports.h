// The endings by signal (errors 9 to 14), shared by both systems' signal
// handlers: which ending each kind of signal gives, and its report. The
// reports are made before any signal can come, so that a handler only copies
// bytes. A platform's handler says only which kind its signal is.
//
// PrepareSignalReports  makes the reports; the first step of InstallSignalHandlers
// EndWithSignalReport   closes everything, writes the report of a kind of signal
//                       and ends the process with its error (async-signal-safe)
//
// Steps each system supplies (exit_steps_posix.cpp, exit_steps_win32.cpp):
// WriteErrorStream      writes bytes to the standard error stream with plain system calls
// EndProcessNow         ends the process at once with a status, running no clean-up
#pragma once
#include <cstddef>

// The kinds of signal that end the program, whatever each system calls them.
// A hang-up, a quit from outside, a closed console window and a terminal that
// went away are termination requests.
enum class SignalKind {
  kInterrupt,
  kIllegalInstruction,
  kArithmeticFault,
  kMemoryFault,
  kTerminationRequest,
  kAbort,
};

void PrepareSignalReports();
[[noreturn]] void EndWithSignalReport(SignalKind kind);

void WriteErrorStream(const char* bytes, size_t length);
[[noreturn]] void EndProcessNow(int status);
