// The command line's door to the jobs: one job without the menu, for
// scripts and cron. Results go to the standard output stream, one line each;
// problems to the error stream, one line each; nothing is drawn.
//
// RunCommandJob     --probe, --save, --load, --clock, --compare or --list-radio; returns the
//                   exit status. Every one of them treats a radio that stops
//                   answering alike: one line naming the exchange and what to
//                   check, and kRadioStoppedAnswering.
// ReportUnanswered  that line, on the error stream, for the exchange a job
//                   stopped at (naming the reply that came back instead of an
//                   answer, when one did)
// RefuseOtherKindOfFile  before --load, --compare, --check or --save opens
//                   anything: a CSV given for a memory file, or a save that
//                   would replace a file of another kind, gets one line on the
//                   error stream and kUsageError; otherwise kAllWell
// CheckJob          --check FILE: the findings, then a summary line, on the
//                   standard output; returns the exit status, 0 when all is
//                   well, kFoundSomething after a warning
// SaveSummary       what a save did, in one line: the channels read and filled,
//                   FILE, the backup made, and whether what it replaced was
//                   not a memory file
// ListJob           --list FILE: the channels of a memory file or a CSV, a line
//                   each, on the standard output, the lines a load reads
//                   otherwise marked; the findings on the error stream; returns
//                   0, or kFoundSomething after a warning
// ConversionJob     --to-csv or --from-csv INPUT OUTPUT: the refusal of names
//                   that cannot be meant, or a summary line; returns the exit
//                   status, kUsageError after a refusal, kFoundSomething after
//                   a warning, else kAllWell
#pragma once
#include <string>
#include <vector>

struct Unanswered;
struct SaveResult;

int RunCommandJob(const std::string& job, const std::vector<std::string>& values);
void ReportUnanswered(const Unanswered& unanswered, const std::string& outcome);
int RefuseOtherKindOfFile(const std::string& job, const std::string& name);
int CheckJob(const std::string& name);
std::string SaveSummary(const SaveResult& result, const std::string& name);
int ListJob(const std::string& name);
int ConversionJob(const std::string& job, const std::string& input, const std::string& output);
