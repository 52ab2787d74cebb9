// quenmar-setup: saves and loads the memory channels of a Quenmar transceiver
// and sets its clock, over a serial line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/channel_editor.h"
#include "app/command_jobs.h"
#include "app/command_line.h"
#include "app/find_radio_door.h"
#include "app/main_menu.h"
#include "app/process.h"
#include "console/console.h"
#include "ending/fatal.h"
#include "jobs/backup_name.h"
#include "jobs/file_access.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "link/port_trace.h"
#include "link/serial_port.h"
#include "text/text.h"

namespace {

const char kUsage[] =
    "Usage: quenmar-setup [--port DEVICE] [C=n] [--trace FILE]\n"
    "       quenmar-setup [--port DEVICE] [C=n] [--trace FILE] --probe | --clock\n"
    "       quenmar-setup [--port DEVICE] [C=n] [--trace FILE] --save FILE\n"
    "       quenmar-setup [--port DEVICE] [C=n] [--trace FILE] --load FILE [--force]\n"
    "       quenmar-setup [--port DEVICE] [C=n] [--trace FILE] --compare FILE\n"
    "       quenmar-setup [--port DEVICE] [C=n] [--trace FILE]\n"
    "                     --save FILE | --load FILE | --compare FILE --channels LIST\n"
    "       quenmar-setup [--port DEVICE] [C=n] [--trace FILE] --list-radio [--all]\n"
    "                     [--channels LIST]\n"
    "       quenmar-setup [--port DEVICE] [C=n] [--trace FILE] --edit FILE\n"
    "       quenmar-setup --list-ports [--probe]\n"
    "       quenmar-setup --list FILE [--all] [--channels LIST]\n"
    "       quenmar-setup --check FILE\n"
    "       quenmar-setup --to-csv MEMORY_FILE CSV_FILE\n"
    "       quenmar-setup --from-csv CSV_FILE MEMORY_FILE\n"
    "\n"
    "Saves the 62 memory channels of a Quenmar transceiver into a text file,\n"
    "loads such a file back into the radio, and sets the radio's clock from\n"
    "this computer's, over a serial line (1200 bit/s unless --speed says\n"
    "otherwise). Without a job option it shows its menu. Every form that talks\n"
    "to the radio takes --speed and --address too.\n"
    "\n"
    "The port:\n"
    "  C=n             use serial port n (COM1 when not given); everything after\n"
    "                  C= on the command line becomes part of the port name\n"
    "  --port DEVICE   open DEVICE as the port, whatever its number; the screen\n"
    "                  still shows COMn\n"
    "  --list-ports    list the serial devices and the port numbers that stand\n"
    "                  for them, opening none of them; status 0. With --probe,\n"
    "                  each of them is then opened and probed as --probe does,\n"
    "                  with ReadFrequency alone, a line each, and the last line\n"
    "                  names the one with the radio; status 0 when the radio\n"
    "                  answered at the settings given, else 5\n"
    "  --speed BPS     the line's speed, as the radio's remote control is set:\n"
    "                  300, 600, 1200 (the default), 2400, 4800, 9600, 19200,\n"
    "                  38400, 57600 or 115200; auto finds it before the job:\n"
    "                  ReadFrequency at 1200, then at the others, fastest\n"
    "                  first, and the speed that answered said on the error\n"
    "                  stream (none: one line naming them, status 5)\n"
    "  --address HEX   the radio's address, 01 to DF (default 04): frames go to\n"
    "                  it, and only its replies count\n"
    "  --trace FILE    append every byte written to and read from the port to\n"
    "                  FILE, with times, to see why the radio does not answer;\n"
    "                  FILE - is the error stream, to watch the exchange; any\n"
    "                  other FILE is a plain file, and the run goes on untraced\n"
    "                  when it cannot be opened; the job's own file or a backup\n"
    "                  of it: status 2\n"
    "\n"
    "One job without the menu, for scripts and cron: nothing is drawn, progress\n"
    "(\"channel 17 of 62\") goes to the error stream when it is a terminal, and\n"
    "results go to the standard output stream.\n"
    "  --probe         read the radio's frequency and mode, changing nothing,\n"
    "                  and print them: \"radio 04 answered: 14.23450 MHz USB 2.4\";\n"
    "                  status 0. A radio silent at the speed and address given\n"
    "                  is looked for at the other speeds, then at the broadcast\n"
    "                  address 00, and what to give is printed (\"radio 04\n"
    "                  answers at 9600 bit/s: give --speed 9600\", \"a radio at\n"
    "                  address 5C answered: give --address 5C\"); with no answer\n"
    "                  at all, whether the line echoes (the port and the cable\n"
    "                  are right) or not; status 5\n"
    "  --save FILE     the radio's 62 channels into FILE, as menu choice 2 does,\n"
    "                  then one line: the channels filled, FILE, the backup\n"
    "                  made; status 0 when FILE is written. An existing FILE that is\n"
    "                  not a memory file (a CSV, or a first line that is neither\n"
    "                  a channel line nor empty) is not replaced: status 2\n"
    "  --load FILE     read FILE as --check does, its findings on the error\n"
    "                  stream; with a warning nothing is sent (status 3).\n"
    "                  Otherwise FILE into the radio, as menu choice 1 does, then\n"
    "                  one line: channels stored, refused (each with the frame\n"
    "                  refused), not sent because the load stopped, left as the\n"
    "                  radio has them, and frames sent again; a refused frame\n"
    "                  ends its channel (nothing is stored in it), the first\n"
    "                  frame the radio does not answer ends the load; status 0\n"
    "                  when every channel was stored, 3 when one was refused\n"
    "  --force         with --load: send a file with warnings as it stands, as\n"
    "                  menu choice 1 does\n"
    "  --clock         set the radio's clock, as menu choice 3 does; prints the\n"
    "                  frame sent and the reply in hex, then the time set in\n"
    "                  words: \"set the radio's clock to 2026-12-09 15:54:09\";\n"
    "                  status 0 on FB, else 3\n"
    "  --compare FILE  read the radio as --save does and compare every channel\n"
    "                  FILE would load (frequency, mode, filter, name), and every\n"
    "                  channel FILE leaves empty that the radio holds filled (a\n"
    "                  load cannot empty a channel); one line per channel that\n"
    "                  differs, then a summary; status 0 when all agree, 3 when\n"
    "                  some differ. A channel whose line --check warns of is\n"
    "                  marked \"(what a load sends, not what the line shows: see\n"
    "                  --check FILE)\": the comparison is with what a load sends\n"
    "  --list-radio    read the radio as --save does, changing nothing, and list\n"
    "                  its filled channels as --list does; status 0\n"
    "  --channels LIST with --save, --load, --compare, --list or --list-radio:\n"
    "                  those channels only, numbers and ranges (12, 0,5-7,61), in\n"
    "                  channel order. A load sends them what a load of the whole\n"
    "                  file sends and names those whose line is empty; a save\n"
    "                  replaces their lines in FILE, which must be a memory file,\n"
    "                  and keeps every other byte and each line's own end (CR LF,\n"
    "                  LF, CR); a missing FILE, one of another kind or with too\n"
    "                  few lines is refused before any frame (status 2); one that\n"
    "                  changed while the radio was read and no longer takes the\n"
    "                  lines is left as it is, the channels read in FILE.partial\n"
    "                  (status 4). Changing channel 12 alone: edit it with\n"
    "                  --edit FILE and send it with F5, or edit its line, then\n"
    "                    quenmar-setup --check FILE\n"
    "                    quenmar-setup --load FILE --channels 12\n"
    "A radio that stops answering ends each of these jobs alike: one line on the\n"
    "error stream naming the exchange and what to check, and status 5; a save\n"
    "then leaves FILE as it was. So does a read that three tries leave without\n"
    "its answer (refused, or answered with something else).\n"
    "\n"
    "The channel editor, on a terminal (status 2 without one):\n"
    "  --edit FILE     the 62 channels of FILE on one screen, a row each; a missing\n"
    "                  FILE starts empty and is made by the first save. Enter\n"
    "                  edits a field in place (Escape drops the edit), Space steps\n"
    "                  the mode or filter, Delete empties a channel, Ctrl-S or F2\n"
    "                  saves (only the changed lines are replaced, as a save\n"
    "                  writes them), F5 opens the port and sends the channels\n"
    "                  changed since the start or the last F5 as --load --channels\n"
    "                  does, Ctrl-Q or F10 quits (asking before changes are\n"
    "                  lost), F1 shows the keys. Only what the radio holds is\n"
    "                  taken: a frequency in MHz up to 99.99999 in 10 Hz steps, a\n"
    "                  mode and filter of its tables, a name of up to 7 characters\n"
    "\n"
    "Memory files, without the radio (no port is opened):\n"
    "  --list FILE     the channels of FILE (a memory file, or a CSV as --from-csv\n"
    "                  reads it), a line each: number, MHz, mode, filter, name;\n"
    "                  a line a load reads otherwise is marked ! and --check's\n"
    "                  findings go to the error stream; status 0, 3 with marks\n"
    "  --all           with --list or --list-radio: the empty channels too\n"
    "  --check FILE    read FILE as a load would and warn on the standard output\n"
    "                  (FILE:LINE:COLUMN: warning: ...) wherever the load would\n"
    "                  differ from what a line seems to say (columns counted in\n"
    "                  bytes, a line's findings in column order); status 0 when\n"
    "                  there is no warning, 3 when there are warnings\n"
    "  --to-csv MEMORY_FILE CSV_FILE\n"
    "                  write the channels of a memory file as a CSV file in\n"
    "                  CHIRP's columns\n"
    "  --from-csv CSV_FILE MEMORY_FILE\n"
    "                  write a memory file from a CSV file in CHIRP's columns;\n"
    "                  its Locations 0 to 61 are the channels; without a Mode\n"
    "                  column every row is FM, with one warning\n"
    "The two conversions report what the other side cannot hold on the error\n"
    "stream (FILE:LINE: warning: ...), end with a summary line, and exit with\n"
    "status 3 after a warning, 0 otherwise. The CSV's Comment keeps the filter\n"
    "and AMLS or AMUS: \"filter 2.4\", \"AMLS filter 6.0\". A memory file may hold\n"
    "its separators as the UTF-8 character U+2502, as a UTF-8 editor writes\n"
    "them: on a line without B3 in column 4, reading takes them as the byte B3.\n"
    "Names that cannot be meant (the same file twice, a CSV for --to-csv, a\n"
    "memory file for --from-csv, an existing output of the other kind) end\n"
    "with status 2 and write nothing. A CSV given to --load, --compare or\n"
    "--check ends with a line naming --from-csv and status 2, sending nothing.\n"
    "\n"
    "Files: a file that a save or a conversion replaces keeps its old contents\n"
    "as FILE.~N~ when they differ; VERSION_CONTROL=none, simple, numbered or\n"
    "existing chooses as for GNU cp (any other value: status 2), and the backup\n"
    "made is named on the standard output. FILE - is the standard input or\n"
    "output.\n"
    "\n"
    "  -h, -?, --help  show this text (/? too, on Windows)\n"
    "  -V, --version   show the version\n"
    "  --              end of the options: what follows is for the C= rule\n"
    "\n"
    "Exit status:\n"
    "  0  all is well\n"
    "  2  a usage error or a refusal before anything is done: an unknown\n"
    "     option, an option given twice or without its value, a word that is\n"
    "     neither an option, its value nor after C=, an empty device, --force\n"
    "     without --load, a --speed or --address that no radio has, a file of\n"
    "     another kind, conversion names that cannot be meant, a bad --channels\n"
    "     list, a FILE that --save --channels cannot update, a trace into the\n"
    "     job's file, --edit without a terminal\n"
    "  3  something found: --check warned, --list marked a line, --compare\n"
    "     found a difference, a conversion warned, --load held the file back\n"
    "     for warnings or the radio refused a channel, --clock was refused\n"
    "  4  the results could not be written, or went to a standard stream that\n"
    "     was closed, or --save --channels found its file changed\n"
    "  5  the radio stopped answering or was not found: --probe, --save,\n"
    "     --load, --clock, --compare, --list-radio, --list-ports --probe\n"
    "  1, 2 or 8  with the abort report, when the port or a file cannot be\n"
    "     opened\n"
    "  9 to 14  after a signal\n"
    "\n";
// Then the environment (the port's variables from PortEnvironmentHelp), the
// examples of this system (ExamplesHelp), how ports are named on it
// (PortNamesHelp), then the menu.
const char kUsageEnvironment[] =
    "  QUENMAR_SPEED   the line's speed, as --speed BPS (which wins)\n"
    "  QUENMAR_TRACE   a file for the trace, as --trace FILE (which wins)\n"
    "  TZ              the time zone the clock job sets, for example TZ=UTC0\n"
    "  VERSION_CONTROL the backups kept of a replaced file: numbered (t, the\n"
    "                  default), existing (nil), simple (never), none (off)\n"
    "\n";
const char kUsageMenu[] =
    "\n"
    "The menu:\n"
    "  1  load the radio's memories from a memory file\n"
    "  2  save all the radio's memories into a memory file\n"
    "  3  set the radio's date and time from this computer's clock\n"
    "  0  exit\n"
    "A file prompt takes the first item of the line: blanks in front go, a\n"
    "comma ends the name, a leading double quote quotes it up to the next one;\n"
    "when the name differs from the line, \"using \"a\": a comma ends the name\".\n";

// One line on the error stream, when it is open, for results that went to
// the null device in place of a closed stream: the status is then 4.
int ClosedResults(const std::string& job, int stream) {
  if (!stream_was_closed[2]) {
    PrintProblem("the results of " + job + " went nowhere: the standard " +
                 (stream == 1 ? "output" : "error stream") + " was closed");
  }
  return kResultsNotWritten;
}

// The status to end with once the results are out: the job's own, or 4 with
// one line on the error stream when the standard output did not take them
// all (a full disk, a closed pipe).
int ResultsWritten(int status) {
  // A load's or a clock setting's report, given to the null device.
  if (stream_was_closed[1] && (requested_job == "--load" || requested_job == "--clock")) {
    std::fflush(stdout);
    return ClosedResults(requested_job, 1);
  }
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  PrintProblem(std::string("the results could not be written: ") + std::strerror(errno));
  return kResultsNotWritten;
}

// Results meant for a standard stream that was closed at start would go to
// the null device. A job that only answers (a probe, a check, a save or a
// conversion into "-") is refused with status 4 before anything is done; a
// load and a clock setting change the radio, so they run, and end with 4.
void RefuseClosedResults() {
  const std::string& job = requested_job;
  bool dash = !job_values.empty() && job_values.back() == kStandardStreamName;
  bool conversion = job == "--to-csv" || job == "--from-csv";
  // A save into a file and the menu have no results on the standard
  // streams; a conversion's summary goes to the error stream when the file
  // itself goes to the standard output.
  bool to_output = !job.empty() && (job != "--save" || dash);
  bool to_error = conversion && dash;
  int closed = stream_was_closed[1] && to_output ? 1 : stream_was_closed[2] && to_error ? 2 : 0;
  if (closed == 0 || job == "--load" || job == "--clock") return;
  EndProgram(ClosedResults(job, closed));
}

// A VERSION_CONTROL that names no way of keeping backups is a mistake to
// hear of now, as GNU's tools refuse it, not a reason to guess.
void RefuseVersionControl() {
  std::string problem = VersionControlProblem(std::getenv("VERSION_CONTROL"));
  if (problem.empty()) return;
  EndWithUsageError(problem);
}

// A port number whose device is set to an empty name is a mistake (an unset
// variable in a cron line), never a reason to open the default device: one
// line and status 2, before anything is opened.
void RefuseEmptyDevice(const std::string& device_text) {
  unsigned port = 1;
  LineSettings settings;
  if (ParseDeviceText(device_text, port, settings) != 0 || !DevicePath(port).empty()) return;
  EndWithUsageError(
      "QUENMAR_COM" + std::to_string(port) +
      " is set but empty; set it to the device, or unset it (see quenmar-setup --help)");
}

// The trace is never a writer into a job's own file (or a backup of it):
// its lines would be added to the file, or to the backup that keeps the old
// contents. Refused before the port opens, as the conversions refuse two
// names for one file.
void RefuseTraceIntoJobFile() {
  for (const std::string& file : job_values) {
    if (!TraceWritesInto(file)) continue;
    EndWithUsageError("the trace file \"" + TraceName() + "\" is \"" + file +
                      "\" or one of its backups: nothing is sent; name another file for the trace");
  }
}

// The port trace's file, named by --trace or QUENMAR_TRACE: "-" is the
// standard error stream (the standard output holds the results), and a name
// of the stream a standard stream is (/dev/stderr, the terminal, a pipe) is
// written there. Any other is never a device, a FIFO (whose open would wait
// for a reader) or a planted link, by the file layer's rules. The run goes
// on without its trace, but says so.
void OpenTrace() {
  std::string name = TraceName();
  if (name.empty()) return;
  int stream = name == kStandardStreamName ? 2 : FileStreamOf(name);
  if (stream != 0) return TraceStart(stream == 2 ? stderr : stdout);
  std::FILE* file = FileOpenForAppending(name);
  if (!file) PrintProblem("cannot open the trace file \"" + name + "\": " + file_reason);
  TraceStart(file);
}

// --help and --version: their text on the standard output.
int HelpOrVersion() {
  if (requested_job == "--version") {
    std::printf("quenmar-setup %s\n", QUENMAR_VERSION);
    return ResultsWritten(kAllWell);
  }
  std::fputs(kUsage, stdout);
  std::fputs("Environment:\n", stdout);
  std::fputs(PortEnvironmentHelp(), stdout);
  std::fputs(kUsageEnvironment, stdout);
  std::fputs(ExamplesHelp(), stdout);
  std::fputs("\n", stdout);
  std::fputs(PortNamesHelp(), stdout);
  std::fputs(kUsageMenu, stdout);
  return ResultsWritten(kAllWell);
}

// What ends before the radio's port is opened: a file of another kind than
// the job takes, and the jobs that need no port. Their status, or -1 when
// the job goes on to the port.
int EndedBeforeThePort() {
  if (requested_job == "--check" || requested_job == "--load" || requested_job == "--compare" ||
      requested_job == "--save") {
    int refused = RefuseOtherKindOfFile(requested_job, job_values[0]);
    if (refused != kAllWell) return refused;
  }
  // A check reads a file and nothing else: no port, no console set-up.
  if (requested_job == "--check") return ResultsWritten(CheckJob(job_values[0]));
  if (requested_job == "--list") return ResultsWritten(ListJob(job_values[0]));
  // The conversions are offline: neither the port nor the terminal is touched.
  // Ctrl-C still removes the half-written file (the handlers are in place).
  if (requested_job == "--to-csv" || requested_job == "--from-csv")
    return ResultsWritten(ConversionJob(requested_job, job_values[0], job_values[1]));
  // The list looks at the system's serial devices and opens none of them,
  // unless it probes them.
  if (requested_job == "--list-ports" && probe_listed_ports) {
    OpenTrace();
    return ResultsWritten(ProbeListedPortsJob());
  }
  if (requested_job == "--list-ports") {
    for (const std::string& line : PortListing()) std::puts(line.c_str());
    return ResultsWritten(kAllWell);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  // First of all: no port or file may be opened as a standard stream.
  TakeStandardStreams();
  // Then: every ending from here on gives its report and puts the
  // terminal and the port back, and what the handlers put back is only what
  // has been changed by then.
  InstallSignalHandlers();
  std::vector<std::string> port_words = ReadCommandLine(argc, argv);
  RefuseClosedResults();
  if (requested_job == "--help" || requested_job == "--version") return HelpOrVersion();
  RefuseVersionControl();
  // The line's speed in place of the default's; --speed auto opens at the
  // default and then looks.
  if (line_speed != 0)
    port_settings =
        ":" + std::to_string(line_speed) + port_settings.substr(port_settings.find(','));
  int ended = EndedBeforeThePort();
  if (ended >= 0) return ended;
  port_name = PortNameFromArguments(port_words);
  RefuseEmptyDevice(port_name + port_settings);
  // A job from the command line draws nothing and leaves the terminal alone.
  const bool menu = requested_job.empty();
  RefuseTraceIntoJobFile();
  OpenTrace();  // before the screen is taken, so that its one complaint is seen
  // The editor opens the port only when F5 asks for it.
  if (requested_job == "--edit") EndProgram(RunChannelEditor(job_values[0]));
  if (menu) ConsoleStart();
  if (menu) PrintText(port_name, true);
  last_error = PortOpen(port_name + port_settings);
  if (last_error != 0) {
    PrintProblem(port_problem);
    FatalError(kPortOpenLine);
  }
  // The probe looks for the radio its own way, further.
  if (line_speed == 0 && requested_job != "--probe") FindSpeedOrEnd();
  if (!menu) EndProgram(ResultsWritten(RunCommandJob(requested_job, job_values)));
  SetColours(15, 1);
  MainMenu();
}
