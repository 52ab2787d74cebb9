// The menu loop: three jobs and exit, shown again after every job. The menu
// is the jobs' door on the screen: it asks for the file, starts the job and
// shows what the job returns.
#include "app/main_menu.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_jobs.h"
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

// The file a prompt names. When the first item of the line is not the whole
// line, one line says which name is used and why, before the file is
// opened. "-" there is a file of that name, not a stream the screen is using.
std::string AskFileName(const std::string& prompt) {
  std::string name = PromptText(prompt);
  std::string note = ItemNote(typed_line);
  if (!note.empty()) PrintText("using \"" + name + "\": " + note, true);
  return name == standard_stream_name ? "./" + name : name;
}

// Where the menu's load ends when it has something to say: those lines, and
// a key before the menu comes back.
void ShowOutcome(const std::vector<std::string>& lines) {
  MoveCursor(7, 1);
  for (const std::string& line : lines) PrintText(line, &line != &lines.back());
  WaitForKey();
}

// Menu choice 1: programs the radio's channels from a memory file.
void LoadMemories() {
  LoadTally tally = LoadMemoriesFrom(AskFileName("What file to open to read memories? "));
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
  SaveResult result = SaveMemoriesInto(AskFileName("What file to open to write memories? "));
  if (!result.unanswered.command) return;
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
    if (!name_shown) PrintText(port_name, true);
    name_shown = false;
    PrintText("Quenmar Setup Program", true);
    PrintText(" 0 = Exit ", true);
    PrintText(" 1 = Load Quenmar memories from file", true);
    PrintText(" 2 = Save all memories to file", true);
    PrintText(" 3 = Set Quenmar Date and Time", true);
    PrintText("", true);
    PrintNumber(last_choice, true);
    int16_t choice = PromptNumber("");
    if (choice == 0) EndProgram(0);
    last_choice = choice;
    ClearScreen();
    if (choice == 1) LoadMemories();
    if (choice == 2) SaveMemories();
    if (choice == 3) SetRadioClock();
  }
}
