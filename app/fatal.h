// How the program ends: normally at menu choice 0, with the abort report after
// a guarded open or close has failed, or with a signal report. Every ending
// closes the memory file and the port and gives back the terminal's input mode.
//
// EndProgram      closes everything and exits with the status, writing nothing
// FatalError      closes everything, writes the abort report for last_error
// AbortReport     the report's bytes; report_line 0 gives the signal form
// ErrorText       the text of an error number, "" when it has none
// CloseEverything closes the memory file and the port and gives back the
//                 terminal's input mode; every ending calls it, the signal
//                 handlers too, so it does only async-signal-safe work
// InstallSignalHandlers  turns interrupts, faults and kill requests into reports
#pragma once
#include <string>

// The error number of the last open, close, read or write of a file or the
// port; written by the port and memory-file operations, reported by FatalError.
extern int last_error;

[[noreturn]] void EndProgram(int status);
[[noreturn]] void FatalError(int report_line);
std::string AbortReport(int error, int report_line);
const char* ErrorText(int error);
void CloseEverything();
void InstallSignalHandlers();
