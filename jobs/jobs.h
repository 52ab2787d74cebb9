// The three jobs of the menu. Each starts on a cleared screen, runs straight
// through and returns to the menu; a failed open of the memory file ends the
// program instead.
//
// LoadMemories   menu choice 1: programs the radio's channels from a memory file
// SaveMemories   menu choice 2: writes all 62 channels of the radio into a memory file
// SetRadioClock  menu choice 3: sends the computer's local date and time to the radio
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
char ChannelByte(int channel);
bool Exchange(const std::string& frame);
std::string ClockFrame(const std::tm& local);
