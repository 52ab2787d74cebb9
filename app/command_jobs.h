// The command line's door to the radio's jobs: one job without the menu, for
// scripts and cron. Results go to the standard output stream, one line each;
// problems to the error stream, one line each; nothing is drawn.
//
// RunCommandJob     --probe, --save, --load, --clock or --compare; returns the
//                   exit status. Every one of them treats a radio that stops
//                   answering alike: one line naming the exchange and what to
//                   check, and kRadioStoppedAnswering.
// ReportUnanswered  that line, on the error stream
#pragma once
#include <string>
#include <vector>

int RunCommandJob(const std::string& job, const std::vector<std::string>& values);
void ReportUnanswered(const char* command, int channel, const std::string& outcome);
