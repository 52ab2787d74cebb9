// Finding the radio: its speed and its address, one short look at a time.
#include "jobs/find_radio.h"

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "link/civ_frame.h"
#include "link/port_trace.h"
#include "link/serial_port.h"

namespace {

// How long a look waits for the first byte of a reply after the echo: a
// radio answers within milliseconds, and the margin covers a USB adapter's
// latency timer and a loaded machine. Then the reply's own line time, for
// the longest reply to ReadFrequency with a little noise before it.
constexpr double kAnswerTime = 0.1;
constexpr int kReplyBytes = 16;

// The port's line at that speed; false when the driver will not take it.
bool AtSpeed(uint32_t speed) {
  if (PortSpeed() == speed) return true;
  if (PortSetSpeed(speed) != 0) {
    TraceNote("the port does not take " + std::to_string(speed) + " bit/s");
    return false;
  }
  TraceNote("the line at " + std::to_string(speed) + " bit/s");
  return true;
}

// One look at the port's speed and the radio's address, as LookForRadio;
// the reply it took into `reply`. Not an Exchange: a look that gets no echo
// ends at once, and its reply window is a short one.
bool Look(bool& echoed, std::string& reply) {
  FrameSent sent = SendFrame(frame_header + ReadFrequency + FrameEnd);
  if (sent.echo_as_sent || sent.echo_changed) echoed = true;
  if (!sent.echo_as_sent) return false;
  if (!PortHasInput() && !PortWaitInput(kAnswerTime)) return false;
  return ReceiveReply(reply, kAnswerTime + kReplyBytes * ByteTime()) &&
         ReplyAnswers(reply, ReadFrequency, false);
}

// One look at that speed; true when it ends a search: a radio answered
// (`found` says at which speed and from which address) or the line did not
// echo.
bool LookEnds(uint32_t speed, RadioFound& found) {
  if (!AtSpeed(speed)) return false;
  found.echoed = false;
  std::string reply;
  if (Look(found.echoed, reply)) {
    found.speed = speed;
    found.address = ReplySource(reply);
    return true;
  }
  return !found.echoed;
}

}  // namespace

std::vector<uint32_t> SearchOrder(uint32_t first) {
  std::vector<uint32_t> order = {first};
  for (size_t i = std::size(kRadioSpeeds); i > 0; i--) {
    if (kRadioSpeeds[i - 1] != first) order.push_back(kRadioSpeeds[i - 1]);
  }
  return order;
}

std::string SpeedsText(const std::vector<uint32_t>& speeds) {
  std::string text;
  for (size_t i = 0; i < speeds.size(); i++) {
    if (i > 0) text += i + 1 == speeds.size() ? " or " : ", ";
    text += std::to_string(speeds[i]);
  }
  return text + " bit/s";
}

bool LookForRadio(bool& echoed) {
  std::string reply;
  return Look(echoed, reply);
}

uint32_t FindRadioSpeed(bool& echoed) {
  for (uint32_t speed : SearchOrder(kDefaultSpeed)) {
    if (AtSpeed(speed) && LookForRadio(echoed)) return speed;
  }
  return 0;
}

RadioFound SearchRadio(bool speeds_tried) {
  RadioFound found;
  found.echoed = true;  // a look at the settings given went before
  const uint32_t given = PortSpeed();
  const char address = frame_header[2];
  const std::vector<uint32_t> order = SearchOrder(given);
  bool ended = false;
  for (size_t i = 1; i < order.size() && !speeds_tried && !ended; i++)
    ended = LookEnds(order[i], found);
  // Every radio answers the broadcast address, from its own.
  UseRadioAddress(kBroadcastAddress);
  for (size_t i = 0; i < order.size() && !ended; i++) ended = LookEnds(order[i], found);
  UseRadioAddress(address);
  AtSpeed(given);
  return found;
}
