// quenmar-setup: saves and loads the memory channels of a Quenmar transceiver
// and sets its clock, over a serial line.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console.h"
#include "app/fatal.h"
#include "app/main_menu.h"
#include "jobs/csv_conversion.h"
#include "jobs/jobs.h"
#include "link/port_trace.h"
#include "link/serial_port.h"

namespace {

const char kUsage[] =
    "Usage: quenmar-setup [--port DEVICE] [C=n]\n"
    "       quenmar-setup [--port DEVICE] [C=n] --save FILE | --load FILE\n"
    "       quenmar-setup [--port DEVICE] [C=n] --clock | --compare FILE\n"
    "       quenmar-setup --check FILE\n"
    "       quenmar-setup --to-csv MEMORY_FILE CSV_FILE\n"
    "       quenmar-setup --from-csv CSV_FILE MEMORY_FILE\n"
    "\n"
    "Saves the 62 memory channels of a Quenmar transceiver into a text file,\n"
    "loads such a file back into the radio, and sets the radio's clock from\n"
    "this computer's, over a serial line at 1200 bit/s. Without a job option it\n"
    "shows its menu.\n"
    "\n"
    "The port:\n"
    "  C=n             use serial port n (COM1 when not given); everything after\n"
    "                  C= on the command line becomes part of the port name\n"
    "  --port DEVICE   open DEVICE as the port, whatever its number; the screen\n"
    "                  still shows COMn\n"
    "\n"
    "One job without the menu, for scripts and cron: nothing is drawn, progress\n"
    "(\"channel 17 of 62\") goes to the error stream when it is a terminal, and\n"
    "results go to the standard output stream.\n"
    "  --save FILE     the radio's 62 channels into FILE, as menu choice 2 does;\n"
    "                  status 0 when FILE is written. If the radio stops\n"
    "                  answering, FILE is left as it was (abort report, status 2)\n"
    "  --load FILE     FILE into the radio, as menu choice 1 does, then one line:\n"
    "                  channels loaded, left as they were, frames refused and\n"
    "                  unanswered; status 0 when every frame was answered FB, else 3\n"
    "  --clock         set the radio's clock, as menu choice 3 does; prints the\n"
    "                  frame sent and the reply in hex; status 0 on FB, else 3\n"
    "  --compare FILE  read the radio as --save does and compare every channel\n"
    "                  FILE would load (frequency, mode, filter, name); one line\n"
    "                  per channel that differs, then a summary; status 0 when all\n"
    "                  agree, 3 when some differ or the radio stops answering\n"
    "\n"
    "Memory files, without the radio (no port is opened):\n"
    "  --check FILE    read FILE as a load would and warn on the standard output\n"
    "                  (FILE:LINE:COLUMN: warning: ...) wherever the load would\n"
    "                  differ from what a line seems to say; status 0 when there\n"
    "                  is no warning, 3 when there are warnings\n"
    "  --to-csv MEMORY_FILE CSV_FILE\n"
    "                  write the channels of a memory file as a CSV file in\n"
    "                  CHIRP's columns\n"
    "  --from-csv CSV_FILE MEMORY_FILE\n"
    "                  write a memory file from a CSV file in CHIRP's columns;\n"
    "                  its Locations 0 to 61 are the channels\n"
    "The two conversions report what the other side cannot hold on the error\n"
    "stream (FILE:LINE: warning: ...), end with a summary line, and exit with\n"
    "status 3 after a warning, 0 otherwise. The CSV's Comment keeps the filter\n"
    "and AMLS or AMUS: \"filter 2.4\", \"AMLS filter 6.0\". A memory file may hold\n"
    "its separators as the UTF-8 character U+2502, as a UTF-8 editor writes\n"
    "them: on a line without B3 in column 4, reading takes them as the byte B3.\n"
    "Names that cannot be meant (the same file twice, a CSV for --to-csv, a\n"
    "memory file for --from-csv, an existing output of the other kind) end\n"
    "with status 2 and write nothing.\n"
    "\n"
    "Files: a file that a save or a conversion replaces keeps its old contents\n"
    "as FILE.~N~ when they differ; VERSION_CONTROL=none, simple, numbered or\n"
    "existing chooses as for GNU cp. FILE - is the standard input or output.\n"
    "\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 when all is well; 3 when a check or comparison finds\n"
    "something; 1, 2 or 8 with the abort report when the port or a file cannot\n"
    "be opened; 2 for an unknown option or conversion names that cannot be\n"
    "meant; 9 to 14 after a signal.\n"
    "\n"
    "Examples:\n"
    "  quenmar-setup --port /dev/ttyUSB0 --save backup.txt\n"
    "  quenmar-setup --to-csv memories.txt memories.csv\n"
    "  quenmar-setup --from-csv club-list.csv memories.txt\n"
    "To set the clock every night at 03:00 (crontab -e):\n"
    "  0 3 * * * quenmar-setup --port /dev/ttyUSB0 --clock\n"
    "\n";
// Then how ports are named on this system (PortNamesHelp), then the menu.
const char kUsageMenu[] =
    "\n"
    "The menu:\n"
    "  1  load the radio's memories from a memory file\n"
    "  2  save all the radio's memories into a memory file\n"
    "  3  set the radio's date and time from this computer's clock\n"
    "  0  exit\n";

}  // namespace

int main(int argc, char** argv) {
  // First of all: no port or file may be opened as a standard stream.
  TakeStandardStreams();
  // Then: every ending from here on gives its report and puts the
  // terminal and the port back, and what the handlers put back is only what
  // has been changed by then.
  InstallSignalHandlers();
  std::vector<std::string> port_words = ReadCommandLine(argc, argv);
  if (requested_job == "--help") {
    std::fputs(kUsage, stdout);
    std::fputs(PortNamesHelp(), stdout);
    std::fputs(kUsageMenu, stdout);
    return 0;
  }
  if (requested_job == "--version") {
    std::printf("quenmar-setup %s\n", QUENMAR_VERSION);
    return 0;
  }
  // A check reads a file and nothing else: no port, no console set-up.
  if (requested_job == "--check") return CheckMemoryFile(job_values[0]);
  // The conversions are offline: neither the port nor the terminal is touched.
  // Ctrl-C still removes the half-written file (the handlers are in place).
  if (requested_job == "--to-csv" || requested_job == "--from-csv") {
    if (requested_job == "--to-csv") return ConvertMemoryFileToCsv(job_values[0], job_values[1]);
    return ConvertCsvToMemoryFile(job_values[0], job_values[1]);
  }
  if (!options_given) SuggestPortOption(port_words);
  port_name = PortNameFromArguments(port_words);
  // A job from the command line draws nothing and leaves the terminal alone.
  jobs_on_screen = requested_job.empty();
  if (jobs_on_screen) ConsoleStart();
  if (jobs_on_screen) PrintText(port_name, true);
  TraceStart();
  last_error = PortOpen(port_name + port_settings);
  if (last_error != 0) {
    std::string problem = "quenmar-setup: " + port_problem + "\r\n";
    std::fputs(problem.c_str(), stderr);
    FatalError(kPortOpenLine);
  }
  if (!jobs_on_screen) EndProgram(RunCommandJob(requested_job, job_values));
  SetColours(15, 1);
  MainMenu();
}
