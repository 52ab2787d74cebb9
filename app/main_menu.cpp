// The menu loop: three jobs and exit, shown again after every job. The menu
// is the jobs' door on the screen: it asks for the file, starts the job and
// shows what the job returns.
#include "app/main_menu.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_jobs.h"
#include "app/command_line.h"
#include "console/console.h"
#include "console/terminal.h"
#include "console/typed_answers.h"
#include "ending/fatal.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "text/text.h"

std::string port_name = "COM1";
std::string port_settings = ":1200,N,8,1,CS,RS,DS,CD";

namespace {

// The menu's jobs show the channel on row 5 from column 5.
constexpr ProgressPlace kMenuProgress{.on_screen = true, .row = 5, .column = 5};

// What the last job has to say, shown under the menu until the next choice:
// a name cut from the typed line, what was saved or loaded. "" for nothing.
std::string status_line;

void AddToStatusLine(const std::string& text) {
  status_line += (status_line.empty() ? "" : "; ") + text;
}

// The status line on the last rows of the screen, as many as it takes,
// below the menu's rows and the typed choice; the cursor back where the
// choice is typed. Without a terminal it is a line of its own before the
// menu (ShowStatusBefore).
void ShowStatusUnder() {
  if (status_line.empty() || !output_is_terminal) return;
  int status_rows = (static_cast<int>(status_line.size()) + columns - 1) / columns;
  int first_row = rows - status_rows + 1;
  if (first_row <= 10) return;  // a screen too small for it under the menu
  MoveCursor(first_row, 1);
  PrintInRow(status_line);
  MoveCursor(9, 1);
}

void ShowStatusBefore() {
  // A stream is shown names' control bytes escaped too, as every problem is.
  if (!status_line.empty() && !output_is_terminal) PrintText(Displayed(status_line), true);
}

// The file a prompt names. When the first item of the line is not the whole
// line, one line says which name is used and why, before the file is
// opened. "-" there is a file of that name, not a stream the screen is using.
std::string AskFileName(const std::string& prompt) {
  std::string name = PromptText(prompt);
  std::string note = ItemNote(typed_line);
  if (!note.empty()) {
    PrintText("using \"" + name + "\": " + note, true);
    AddToStatusLine("using \"" + name + "\": " + note);
  }
  return name == kStandardStreamName ? "./" + name : name;
}

// Where the menu's load ends when it has something to say: those lines, and
// a key before the menu comes back.
void ShowOutcome(const std::vector<std::string>& lines) {
  MoveCursor(7, 1);
  for (const std::string& line : lines) PrintText(line, &line != &lines.back());
  WaitForKey();
}

// The trace's file is no job's file: the job is not run, and the line under
// the menu says why.
bool TraceRefused(const std::string& name) {
  if (!TraceWritesInto(name)) return false;
  AddToStatusLine("the trace file \"" + TraceName() + "\" is \"" + name +
                  "\" or one of its backups: nothing was done; name another file");
  return true;
}

// Menu choice 1: programs the radio's channels from a memory file.
void LoadMemories() {
  std::string name = AskFileName("What file to open to read memories? ");
  if (TraceRefused(name)) return;
  LoadTally tally = LoadMemoriesFrom(name, kMenuProgress);
  // Lines that load otherwise than they read are loaded as they stand, as
  // ever; the user hears of them, and where to read why.
  std::string said = name + ": " + LoadSummary(tally);
  int lines = tally.lines_with_findings;
  if (lines > 0) {
    said += "; " + Count(lines, "line") + " loaded otherwise than " +
            (lines == 1 ? "it reads" : "they read") + ": see --check " + name;
  }
  AddToStatusLine(said);
  if (tally.unanswered.command) {
    ShowOutcome({UnansweredText(tally.unanswered, "the load stopped"), LoadSummary(tally)});
  } else if (!tally.refused.empty()) {
    ShowOutcome({LoadSummary(tally)});
  }
}

// Menu choice 2: writes all 62 channels of the radio into a memory file. A
// save the radio stops answering ends the program with the report of a
// failed close (error 2 at line 574), after one line saying what to check.
void SaveMemories() {
  std::string name = AskFileName("What file to open to write memories? ");
  if (TraceRefused(name)) return;
  SaveResult result = SaveMemoriesInto(name, kMenuProgress);
  if (!result.unanswered.command) {
    AddToStatusLine(SaveSummary(result, name));
    return;
  }
  ReportUnanswered(result.unanswered, "the save stopped and the file was left as it was");
  last_error = 2;
  FatalError(kWriteCloseLine);
}

// Menu choice 3: sends the computer's local date and time to the radio. The
// frame is on the screen before the wait for the reply begins; the reply,
// or what the window took of one, is shown whatever it is.
void SetRadioClock() {
  PrintText("Set Quenmar Clock", true);
  ClockSetting setting = ClockSettingNow();
  MoveCursor(5, 1);
  ShowFrame(setting.frame);
  ClockResult result = SendClockSetting(setting);
  MoveCursor(9, 1);
  ShowFrame(result.reply);
  WaitForKey();
}

}  // namespace

void MainMenu() {
  int16_t last_choice = 0;
  // Without a terminal nothing is cleared: the port name that start-up
  // printed is still the line above the first menu.
  bool name_shown = !output_is_terminal;
  for (;;) {
    ClearScreen();
    ShowStatusBefore();
    if (!name_shown) PrintText(port_name, true);
    name_shown = false;
    PrintText("Quenmar Setup Program", true);
    PrintText(" 0 = Exit ", true);
    PrintText(" 1 = Load Quenmar memories from file", true);
    PrintText(" 2 = Save all memories to file", true);
    PrintText(" 3 = Set Quenmar Date and Time", true);
    PrintText("", true);
    PrintNumber(last_choice, true);
    ShowStatusUnder();
    int16_t choice = PromptNumber("");
    status_line.clear();
    if (choice == 0) EndProgram(0);
    last_choice = choice;
    ClearScreen();
    if (choice == 1) LoadMemories();
    if (choice == 2) SaveMemories();
    if (choice == 3) SetRadioClock();
  }
}
