// The process's own start: the standard streams it was given and the signals
// that end it (signals_posix.cpp, signals_win32.cpp, standard_streams_*.cpp).
//
// InstallSignalHandlers  turns interrupts, faults and kill requests into reports
// TakeStandardStreams    opens each closed one of descriptors 0-2 on the null
//                 device, so that no file or port is opened in their place,
//                 and notes which in stream_was_closed
#pragma once

void InstallSignalHandlers();
void TakeStandardStreams();

// Which of the standard input, output and error streams the program found
// closed at start (now the null device). Written by TakeStandardStreams,
// read by start-up: results meant for a closed stream go nowhere.
extern bool stream_was_closed[3];
