// The command line: the program's own options (every argument that begins
// with "-", except "-" alone, up to a "--"), taken out before the "C=" port
// rule reads the rest.
//
// ReadCommandLine  takes the options out of argv into the variables below;
//                  returns the arguments left for the port rule. An unknown
//                  option, an option given twice, a missing or empty value
//                  or one that is itself an option, two jobs at once, a
//                  --channels list that is bad or without --save, --load or
//                  --compare, a --speed or --address that no radio has, and
//                  any argument that is neither an option, an option's value
//                  nor the port rule's (the first word that holds "C=" and
//                  those after it) end the program with a one-line message
//                  and status 2. A device given as such an argument is named
//                  with the way to open it (PortAdvice).
// EndWithUsageError  the one ending of a usage error or a refusal before any
//                  job: the line on the error stream, then status 2
// OptionFormFor    "--save FILE" for an option name, as the messages show it
// PortNameFromArguments  the "C=" rule: arguments (options taken out) joined,
//                  upper-cased, COM + rest
// TraceName        the trace's file: --trace's, else QUENMAR_TRACE's, else ""
// TraceWritesInto  true when the trace's file is a job's file or one of its
//                  backups (by any name or link): no job may write into it
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What start-up is asked to do; written by ReadCommandLine, read by main.
// An empty text means the menu. Otherwise the option's name ("--check").
extern std::string requested_job;
// The values that followed the job option, in order (file names).
extern std::vector<std::string> job_values;
// The text of --channels, "" when it was not given; ReadCommandLine has put
// what it names into channel_chosen (jobs/jobs.h).
extern std::string channel_list;
// The file named by --trace, "" when not given; read by start-up, which opens
// it for the port trace (link/port_trace.h). It wins over QUENMAR_TRACE.
extern std::string trace_name;
// --all was given: a list shows the empty channels too.
extern bool all_given;
// --force was given: a --load sends a file despite --check's findings.
extern bool force_given;
// The line's speed in bit/s, from --speed or QUENMAR_SPEED (1200 when neither
// is given); 0 for --speed auto: found before the job.
extern uint32_t line_speed;
// True for --list-ports --probe: every port listed is probed.
extern bool probe_listed_ports;

std::vector<std::string> ReadCommandLine(int argc, const char* const* argv);
[[noreturn]] void EndWithUsageError(const std::string& text);
std::string OptionFormFor(const std::string& name);
std::string PortNameFromArguments(const std::vector<std::string>& arguments);
std::string TraceName();
bool TraceWritesInto(const std::string& file);
