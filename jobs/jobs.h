// The three jobs of the menu, and the check of a memory file that --check runs
// instead of the menu. Each menu job starts on a cleared screen, runs straight
// through and returns to the menu; a failed open of the memory file ends the
// program instead.
//
// LoadMemories   menu choice 1: programs the radio's channels from a memory file
// SaveMemories   menu choice 2: writes all 62 channels of the radio into a memory file
// SetRadioClock  menu choice 3: sends the computer's local date and time to the radio
// CheckMemoryFile  --check FILE: reads a memory file as a load does and says
//                where the load differs from what a line seems to say; returns
//                the exit status, 0 when all is well, 3 after a warning
// ChannelByte    a channel number as one packed-decimal byte
// Exchange       puts a command frame in civ_buffer, sends it, and collects the
//                reply; true when the radio answered (echo_as_sent, reply_complete)
// ClockFrame     the SetClock frame of a local date and time
#pragma once
#include <ctime>
#include <string>

void LoadMemories();
void SaveMemories();
void SetRadioClock();
int CheckMemoryFile(const std::string& name);
char ChannelByte(int channel);
bool Exchange(const std::string& frame);
std::string ClockFrame(const std::tm& local);
