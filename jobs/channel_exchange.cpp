// What the memory jobs share: channel bytes, one command-and-reply exchange
// and the words for an exchange that went unanswered.
#include <string>

#include "jobs/jobs.h"
#include "link/civ_frame.h"
#include "link/serial_port.h"

char ChannelByte(int channel) {
  return static_cast<char>((channel / 10) * 16 + channel % 10);
}

bool Exchange(const std::string& frame) {
  civ_buffer = frame;
  SendFrame();
  ReceiveReply();
  return echo_as_sent && reply_complete;
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
