// Menu choice 3: the radio's clock set from the computer's local time.
#include <ctime>
#include <string>

#include "app/console.h"
#include "jobs/jobs.h"
#include "link/civ_frame.h"

std::string ClockFrame(const std::tm& local) {
  char date[16], time[16];
  std::strftime(date, sizeof date, "%m-%d-%Y", &local);
  std::strftime(time, sizeof time, "%H:%M:%S", &local);
  std::string year(date);
  return frame_header + SetClock + PackedDecimal(date[3], date[4]) +
         PackedDecimal(date[0], date[1]) +
         PackedDecimal(year[year.size() - 2], year[year.size() - 1]) +
         PackedDecimal(time[0], time[1]) + PackedDecimal(time[3], time[4]) +
         PackedDecimal(time[6], time[7]) + FrameEnd;
}

void SetRadioClock() {
  PrintText("Set Quenmar Clock", true);
  // Date and time from one reading of the clock, so that a setting made at
  // midnight cannot join yesterday's date to today's time.
  std::time_t now = std::time(nullptr);
  std::tm local = *std::localtime(&now);
  civ_buffer = ClockFrame(local);
  MoveCursor(5, 1);
  ShowFrame();
  SendFrame();
  ReceiveReply();
  MoveCursor(9, 1);
  ShowFrame();
  WaitForKey();
}
