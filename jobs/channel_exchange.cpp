// What the memory jobs share: channel bytes and one command-and-reply exchange.
#include <string>

#include "jobs/jobs.h"
#include "link/civ_frame.h"

char ChannelByte(int channel) {
  return static_cast<char>((channel / 10) * 16 + channel % 10);
}

bool Exchange(const std::string& frame) {
  civ_buffer = frame;
  SendFrame();
  ReceiveReply();
  return echo_as_sent && reply_complete;
}
