// The menu loop: three jobs and exit, shown again after every job.
#include "app/main_menu.h"

#include <cstdint>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/fatal.h"
#include "jobs/jobs.h"
#include "text/text.h"

std::string port_name = "COM1";
const std::string port_settings = ":1200,N,8,1,CS,RS,DS,CD";

std::string PortNameFromArguments(const std::vector<std::string>& arguments) {
  std::string joined;
  for (const std::string& argument : arguments) {
    if (&argument != &arguments.front()) joined += ' ';
    joined += argument;
  }
  joined = UpperCase(joined);
  size_t at = joined.find("C=");
  if (at == std::string::npos) return "COM1";
  return "COM" + joined.substr(at + 2);
}

void MainMenu() {
  int16_t last_choice = 0;
  for (;;) {
    ClearScreen();
    PrintText(port_name, true);
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
