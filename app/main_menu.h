// Start-up and the main menu.
//
// MainMenu               shows the menu and runs the chosen job, until choice 0
#pragma once
#include <string>
#include <vector>

// The port to open, "COM1" unless the command line names another (start-up).
extern std::string port_name;
// The line settings appended to port_name when the port is opened; the
// speed is set by start-up from the command line.
extern std::string port_settings;

[[noreturn]] void MainMenu();
