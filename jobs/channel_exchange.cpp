// What the jobs that talk to the radio share: the channels chosen, channel
// bytes, one command-and-reply exchange, a read asked until it is answered,
// and the words for an exchange that went unanswered.
#include <algorithm>
#include <string>
#include <vector>

#include "jobs/jobs.h"
#include "link/civ_frame.h"
#include "link/port_trace.h"
#include "link/serial_port.h"
#include "text/text.h"

std::vector<bool> channel_chosen(kChannels, true);
bool some_channels = false;

namespace {

// A channel number as typed: digits only, else -1. A number past the last
// channel stands as kChannels, however long.
int ChannelNumber(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  int number = 0;
  for (char digit : text) number = std::min(number * 10 + (digit - '0'), kChannels);
  return number;
}

}  // namespace

std::string ChooseChannels(const std::string& list) {
  std::vector<bool> chosen(kChannels, false);
  const std::string quoted = "--channels " + Quoted(list) + ": ";
  if (list.empty()) return quoted + "no channel is named";
  for (size_t from = 0;;) {
    size_t comma = list.find(',', from);
    std::string item = list.substr(from, comma == std::string::npos ? comma : comma - from);
    if (item.empty()) return quoted + "an empty item (two commas, or one at an end)";
    size_t dash = item.find('-', 1);
    int first = ChannelNumber(item.substr(0, dash));
    int last = dash == std::string::npos ? first : ChannelNumber(item.substr(dash + 1));
    if (first < 0 || last < 0)
      return quoted + Quoted(item) + " is neither a channel number nor a range such as 5-7";
    if (first >= kChannels || last >= kChannels)
      return quoted + Quoted(item) + " goes past 61, the last channel";
    if (first > last)
      return quoted + "the range " + item + " runs backwards; write " + std::to_string(last) + "-" +
             std::to_string(first);
    for (int channel = first; channel <= last; channel++) chosen[channel] = true;
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  channel_chosen = chosen;
  some_channels = true;
  return "";
}

char ChannelByte(int channel) {
  return static_cast<char>((channel / 10) * 16 + channel % 10);
}

ExchangeResult Exchange(const std::string& frame) {
  ExchangeResult result;
  const bool out_of_step_before = replies_out_of_step;
  result.sent = SendFrame(frame);
  result.reply_complete = ReceiveReply(result.reply);
  if (result.sent.tries > 1) {
    // A frame sent again after a collision may have been heard each time:
    // a second answer to it is no sign of replies out of step. The line
    // falls quiet before the next frame, taking it away. A reply that
    // answers none of its tries is such a sign.
    LetRepliesSettle();
    replies_out_of_step = out_of_step_before || !result.sent.stray_reply.empty();
    if (!result.sent.stray_reply.empty()) late_reply = result.sent.stray_reply;
  }
  result.hung_up = PortHungUp();
  result.answered = result.sent.echo_as_sent && result.reply_complete;
  return result;
}

bool AskForAnswer(char command, const std::string& data, bool refusal_answers, const char* name,
                  std::string& reply, Unanswered& unanswered) {
  for (int tries = 1;; tries++) {
    ExchangeResult exchanged = Exchange(frame_header + command + data + FrameEnd);
    reply = exchanged.reply;
    if (exchanged.answered && ReplyAnswers(reply, command, refusal_answers)) {
      if (command == ReadFrequency) NoteFrequencyAnswer(reply);
      return true;
    }
    if (exchanged.answered) {
      // A refusal, or a reply to something else (late, or garbled on the
      // line): a read asked again changes nothing in the radio.
      TraceNote(std::string("no answer to ") + name + " in " + FrameHex(reply) +
                (tries < kAskTries ? ": asking again" : ": giving up"));
      if (tries < kAskTries) continue;
    }
    unanswered.command = name;
    unanswered.exchange = exchanged;
    unanswered.reply = exchanged.answered ? reply : "";
    return false;
  }
}

Asked AskInStep(char command, const std::string& data, bool refusal_answers, const char* name,
                std::string& reply, Unanswered& unanswered) {
  ExchangeResult exchanged = Exchange(frame_header + command + data + FrameEnd);
  reply = exchanged.reply;
  unanswered.command = name;
  unanswered.exchange = exchanged;
  if (!exchanged.answered) {
    unanswered.reply.clear();
    return Asked::kStopped;
  }
  if (!ReplyAnswers(reply, command, refusal_answers)) {
    unanswered.reply = reply;
    TraceNote(std::string("no answer to ") + name + " in " + FrameHex(reply));
    return Asked::kOutOfStep;
  }
  if (replies_out_of_step) {
    // The reply looks like the answer, but a reply came where none can be:
    // which of the two answers the frame, nothing tells.
    unanswered.reply = late_reply;
    TraceNote(std::string("a reply out of step, ") + FrameHex(late_reply) + ", around " + name);
    return Asked::kOutOfStep;
  }
  if (command == ReadFrequency) NoteFrequencyAnswer(reply);
  unanswered.command = nullptr;
  return Asked::kAnswered;
}

std::string UnansweredText(const Unanswered& unanswered, const std::string& outcome) {
  const ExchangeResult& how = unanswered.exchange;
  std::string exchange =
      std::string(unanswered.command) +
      (unanswered.channel >= 0 ? " of channel " + std::to_string(unanswered.channel) : "");
  if (!unanswered.reply.empty())
    return "the radio answered " + exchange + " with " + FrameHex(unanswered.reply) + " " +
           std::to_string(kAskTries) + " times, which is no answer to it, so " + outcome +
           "; check that no other device on the line answers for the radio (" +
           Hex2(static_cast<unsigned char>(frame_header[2])) + ") and the interface's cable";
  if (how.hung_up)
    return "the port hung up during " + exchange + ", so " + outcome +
           "; check the interface's cable and that the adapter is plugged in";
  if (how.sent.echo_changed)
    return "other devices talked over " + exchange + " " + std::to_string(how.sent.tries) +
           " times, so " + outcome +
           "; check what else on the radio's line is sending (an amplifier, a tuner, another"
           " program)";
  return (how.sent.echo_as_sent ? "the radio did not answer " : "the line did not echo ") +
         exchange + ", so " + outcome + "; check the radio's power, address (" +
         Hex2(static_cast<unsigned char>(frame_header[2])) + "), speed (" +
         std::to_string(PortSpeed()) + " bit/s) and remote control, and the interface's echo";
}
