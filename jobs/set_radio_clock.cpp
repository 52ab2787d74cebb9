// The frame that sets the radio's clock, for menu choice 3 and --clock.
#include <ctime>
#include <string>

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
