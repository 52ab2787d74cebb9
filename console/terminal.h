// The platform's terminal under the console: raw keyboard input without echo,
// bytes out, the size of the window, and waits for typed input. The console
// uses it; of the top floor, closing everything (app/close_everything.cpp)
// puts the input mode back, the command line (app/command_line.cpp) reads
// kSystemHelpOption and the menu (app/main_menu.cpp) output_is_terminal.
//
// TerminalOpen         learns the character set, switches input to raw keys, listens for resizes
// TerminalRestore      puts the input mode back (safe inside a signal handler)
// TerminalSize         the window's rows and columns; false when they can't be measured
// TerminalSizeChanged  true once after the terminal has reported a new size
// TerminalContinued    true once after the program was continued after a stop;
//                      puts raw keys back first (a stop gives the terminal back
//                      as the program found it)
// TerminalWrite        writes bytes to the screen in one go
// TerminalReadBytes    what has been typed and is waiting, without waiting
// TerminalWaitInput    waits up to ms milliseconds for typed input, a new size or a
//                      continue after a stop
// TerminalReadStream   bytes of a standard input that is not a terminal; 0 at its end
// TerminalStop         stops the program as the shell's suspend key would (Ctrl-Z
//                      for a full-screen program that reads it as a key): the
//                      terminal given back first, raw keys again on a continue;
//                      nothing where the system has no such stop
// TerminalBeep         sounds the terminal's bell
// TerminalCharWidth    the cells a character takes on the screen (utf8_text only): 0, 1 or 2
// ErrorIsTerminal      whether the standard error stream is a terminal (a console)
//
// Of the console itself (screen.cpp), for TerminalOpen:
// PlainTerminalType    true for a TERM that takes no escape sequences and no
//                      raw keys (dumb, an editor's shell buffer): the program
//                      then talks to it as to a stream
#pragma once
#include <string>

extern bool output_is_terminal;  // set by TerminalOpen
extern bool input_is_terminal;   // set by TerminalOpen
extern bool utf8_text;           // set by TerminalOpen: the terminal's characters are UTF-8
// The system's own way to ask a program for help ("/?" on Windows), or
// nullptr; read by ReadCommandLine.
extern const char* const kSystemHelpOption;
// Set by TerminalReadBytes and TerminalWaitInput when the terminal has hung
// up: no key can come any more.
extern bool input_hung_up;

void TerminalOpen();
void TerminalRestore();
bool TerminalSize(int& rows, int& columns);
bool TerminalSizeChanged();
bool TerminalContinued();
void TerminalWrite(const std::string& bytes);
std::string TerminalReadBytes();
bool TerminalWaitInput(int ms);
long TerminalReadStream(char* buffer, unsigned long size);
void TerminalStop();
void TerminalBeep();
int TerminalCharWidth(char32_t code);
bool ErrorIsTerminal();
bool PlainTerminalType(const char* term);
