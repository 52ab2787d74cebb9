// How the program ends: normally at menu choice 0, with the abort report after
// a guarded open or close has failed, or with a signal report. Every ending
// closes the memory file and the port and gives back the terminal's input mode.
//
// EndProgram      closes everything and exits with the status, writing nothing
// FatalError      closes everything, writes the abort report for last_error
// AbortReport     the report's bytes; report_line 0 gives the signal form
// ErrorText       the text of an error number, "" when it has none
// AddCloser       puts a procedure into the table of closers, once; each floor
//                 adds its own when it first takes what it must give back:
//                 the console the terminal's input mode, the link the port,
//                 the jobs the memory file. A closer is async-signal-safe.
// CloseEverything calls the closers, the last added first: the memory file,
//                 the port, then the terminal's input mode; every ending calls
//                 it, the signal handlers too
//
// The ending is the ground every floor stands on, so every floor may end the
// program; what an ending lets go of, each floor tells it.
#pragma once
#include <string>

// The error number of the last guarded open or close: written by start-up
// (the port's open), by the memory file's and the CSV file's opens and closes,
// and by a save the radio stopped answering; reported by FatalError.
extern int last_error;

// The report line of each guarded statement, as the abort report names it.
constexpr int kPortOpenLine = 8;      // opening the serial port at start-up
constexpr int kReadOpenLine = 488;    // opening a memory file for reading
constexpr int kReadCloseLine = 531;   // closing it after reading
constexpr int kWriteOpenLine = 536;   // opening a memory file for writing
constexpr int kWriteCloseLine = 574;  // closing it after writing (or a failed save)

// The statuses the program ends with on its own; the abort reports end with
// their error number (1, 2, 8) and the signal reports with theirs (9 to 14).
constexpr int kAllWell = 0;
constexpr int kUsageError = 2;             // an option or a pair of names that cannot be meant
constexpr int kFoundSomething = 3;         // a probe, check, comparison or job found something
constexpr int kResultsNotWritten = 4;      // the standard output did not take the results
constexpr int kRadioStoppedAnswering = 5;  // a command-line job's exchange went unanswered

[[noreturn]] void EndProgram(int status);
[[noreturn]] void FatalError(int report_line);
std::string AbortReport(int error, int report_line);
const char* ErrorText(int error);
void AddCloser(void (*closer)());
void CloseEverything();
