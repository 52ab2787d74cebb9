// What the memory jobs share: channel bytes, one command-and-reply exchange,
// the progress of a job and the report of an exchange that went unanswered.
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/console.h"
#include "jobs/jobs.h"
#include "link/civ_frame.h"
#include "link/serial_port.h"

bool jobs_on_screen = true;

char ChannelByte(int channel) {
  return static_cast<char>((channel / 10) * 16 + channel % 10);
}

bool Exchange(const std::string& frame) {
  civ_buffer = frame;
  SendFrame();
  ReceiveReply();
  return echo_as_sent && reply_complete;
}

void ShowProgress(const char* menu_text, int channel) {
  if (!jobs_on_screen) {
    PrintProgress("channel " + std::to_string(channel) + " of " + std::to_string(kChannels));
    return;
  }
  MoveCursor(5, 5);
  PrintText(menu_text, false);
  PrintNumber(static_cast<int16_t>(channel), true);
}

std::string UnansweredText(const char* command, int channel, const std::string& outcome) {
  std::string exchange =
      std::string(command) + (channel >= 0 ? " of channel " + std::to_string(channel) : "");
  if (PortHungUp())
    return "the port hung up during " + exchange + ", so " + outcome +
           "; check the interface's cable and that the adapter is plugged in";
  if (echo_changed)
    return "other devices talked over " + exchange + " " + std::to_string(send_tries) +
           " times, so " + outcome +
           "; check what else on the radio's line is sending (an amplifier, a tuner, another"
           " program)";
  return (echo_as_sent ? "the radio did not answer " : "the line did not echo ") + exchange +
         ", so " + outcome +
         "; check the radio's power, address (04), speed (1200 bit/s) and remote control, and"
         " the interface's echo";
}

void ReportUnanswered(const char* command, int channel, const std::string& outcome) {
  PrintProgress("");
  std::string line = "quenmar-setup: " + UnansweredText(command, channel, outcome);
  line += jobs_on_screen ? "\r\n" : "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}
