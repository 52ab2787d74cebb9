// The setting of the radio's clock, for menu choice 3 and --clock: made from
// the computer's clock, then sent. The two are steps of their own, so that a
// door can show the frame before the exchange's wait.
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

ClockSetting ClockSettingNow() {
  // Date and time from one reading of the clock, so that a setting made at
  // midnight cannot join yesterday's date to today's time.
  std::time_t now = std::time(nullptr);
  std::tm local = *std::localtime(&now);
  char words[32];
  std::strftime(words, sizeof words, "%Y-%m-%d %H:%M:%S", &local);
  return {ClockFrame(local), words};
}

ClockResult SendClockSetting(const ClockSetting& setting) {
  ClockResult result;
  // Asked as every job asks: a reply that answers nothing (another
  // command's, come late) is asked again; FA is the radio's refusal, which
  // answers. The frame's data: between its command byte and its FD.
  const size_t data_at = frame_header.size() + 1;
  const std::string data = setting.frame.substr(data_at, setting.frame.size() - data_at - 1);
  bool answered = AskForAnswer(SetClock, data, true, "SetClock", result.reply, result.unanswered);
  result.accepted = answered && ReplyStatusIs(result.reply, ReplyOk);
  if (!answered) result.unanswered.channel = -1;
  return result;
}
