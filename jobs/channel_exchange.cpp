// What the memory jobs share: channel bytes, one command-and-reply exchange
// and the words for an exchange that went unanswered.
#include <string>

#include "jobs/jobs.h"
#include "link/civ_frame.h"
#include "link/port_trace.h"
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

Asked AskForAnswer(const std::string& frame, char command, bool refusal_answers, const char* name) {
  for (int tries = 1;; tries++) {
    if (!Exchange(frame)) return Asked::kUnanswered;
    if (ReplyAnswers(command, refusal_answers)) return Asked::kAnswer;
    // A refusal, or a reply to something else (late, or garbled on the
    // line): a read asked again changes nothing in the radio.
    TraceNote(std::string("no answer to ") + name + " in " + FrameHex(civ_buffer) +
              (tries < kAskTries ? ": asking again" : ": giving up"));
    if (tries == kAskTries) return Asked::kUnusable;
  }
}

std::string UnansweredText(const char* command, int channel, const std::string& outcome,
                           const std::string& reply) {
  std::string exchange =
      std::string(command) + (channel >= 0 ? " of channel " + std::to_string(channel) : "");
  if (!reply.empty())
    return "the radio answered " + exchange + " with " + FrameHex(reply) + " " +
           std::to_string(kAskTries) + " times, which is no answer to it, so " + outcome +
           "; check that no other device on the line answers for the radio (04) and the"
           " interface's cable";
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
