// The echo, the replies and the traffic around them.
#include "radio-sim/exchange.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "link/civ_frame.h"
#include "radio-sim/line.h"
#include "radio-sim/options.h"
#include "radio-sim/radio.h"

bool vanishing = false;

namespace {

std::string received;  // the bytes since the last FD
long frames_heard = 0;
int64_t noise_gap = 0;
std::mt19937 noise_source;

// What the radio says once its reply delay is over, earliest first.
struct Held {
  int64_t due;
  const char* kind;
  std::string bytes;
  int64_t gap;
};
std::vector<Held> held;

// A command frame has a reply's layout (FE FE, two addresses, then the
// command where a reply has its status byte, the data, FD).
constexpr size_t kCommand = kReplyStatus;

// The command and data of the frame that `bytes` (up to and including an FD)
// holds, when that frame is addressed to the radio. Bytes before the
// preamble, and a preamble of more than two FE, are passed over.
bool CommandIn(const std::string& bytes, char& command, std::string& data) {
  size_t start = bytes.find(frame_header.substr(0, 2));
  if (start == std::string::npos) return false;
  while (start + 2 < bytes.size() && bytes[start + 2] == frame_header[0]) start++;
  std::string frame = bytes.substr(start);  // from its last two FE
  // To the radio's own address, or to every radio's.
  if (frame.size() < kCommand + 1 || (frame[2] != frame_header[2] && frame[2] != kBroadcastAddress))
    return false;
  command = frame[kCommand - 1];
  data = frame.substr(kCommand, frame.size() - kCommand - 1);
  return true;
}

std::string NoiseBytes() {
  std::uniform_int_distribution<int> count(1, 4);
  std::uniform_int_distribution<int> value(0, 253);
  std::string bytes;
  for (int n = count(noise_source); n > 0; n--) {
    int byte = value(noise_source);
    if (byte >= 0xFD) byte += 2;  // FD and FE would look like frames
    bytes += static_cast<char>(byte);
  }
  return bytes;
}

// The noise put before the reply to the Nth frame: each kind in turn.
std::string NoiseBefore(long frame) {
  const char kPreamble = frame_header[0];
  switch (frame % 4) {
    case 0:
      return NoiseBytes() + FrameEnd;
    case 1:
      return ReplyHeader().substr(0, 3);
    case 2:
      return {kPreamble, 0x33, FrameEnd};
  }
  return {kPreamble, kPreamble, 0x00, FrameEnd};
}

bool Collides(long frame) {
  return std::find(options.collide.begin(), options.collide.end(), frame) != options.collide.end();
}

bool Answers(long frame) {
  return !options.silent && frame > options.silent_for &&
         (options.silent_after == 0 || frame <= options.silent_after) && !Collides(frame);
}

// Bytes the radio puts on the line (behind those already there, `gap` later
// at the earliest), logged as `kind` when they are queued.
void Send(const char* kind, const std::string& bytes, int64_t now, int64_t gap = 0) {
  LineSchedule(bytes, now, gap);
  LogBytes(kind, bytes, now);
}

// The same, `delay` after `now`: held until then when there is a delay.
void SendAfter(int64_t delay, const char* kind, const std::string& bytes, int64_t now,
               int64_t gap = 0) {
  if (delay == 0) return Send(kind, bytes, now, gap);
  Held later = {now + delay, kind, bytes, gap};
  auto at = std::upper_bound(held.begin(), held.end(), later.due,
                             [](int64_t due, const Held& h) { return due < h.due; });
  held.insert(at, later);
}

bool Duplicates(long frame) {
  const std::vector<long>& frames = options.duplicate_reply;
  return std::find(frames.begin(), frames.end(), frame) != frames.end();
}

// What other devices on the line say before the radio's reply to `command`.
void OtherTraffic(char command, int64_t now, int64_t delay) {
  const char kAll = 0x00, kController = static_cast<char>(0xE0), kRadio = frame_header[2];
  if (options.other_controller) {
    SendAfter(delay, "other",
              {frame_header[0], frame_header[0], kRadio, kController, ReadMode, FrameEnd}, now);
    SendAfter(delay, "other",
              {frame_header[0], frame_header[0], kController, kRadio, ReadMode,
               static_cast<char>(vfo.mode), static_cast<char>(vfo.filter), FrameEnd},
              now);
  }
  if (options.announce && (command == SetFrequency || command == SelectMemory ||
                           command == RecallMemory || command == ReadFrequency)) {
    SendAfter(delay, "other",
              frame_header.substr(0, 2) + kAll + kRadio + kAll + vfo.frequency + FrameEnd, now);
  }
}

void Answer(const std::string& bytes, int64_t now) {
  char command = 0;
  std::string data;
  if (!CommandIn(bytes, command, data)) return;
  frames_heard++;
  if (Answers(frames_heard)) {
    std::string reply = AnswerCommand(command, data);
    if (options.cut_replies) reply.pop_back();
    const int64_t delay = options.reply_delay_ms * 1000000LL;
    OtherTraffic(command, now, delay);
    if (options.noise_before) SendAfter(delay, "noise", NoiseBefore(frames_heard), now);
    SendAfter(delay, "out", reply, now);
    // A reply sent twice: the copy when the radio would answer again.
    if (Duplicates(frames_heard)) SendAfter(2 * delay, "out", reply, now);
    if (options.extra_bytes) SendAfter(delay, "noise", std::string("\xFE\xFE\x00", 3), now);
    if (options.noise) SendAfter(delay, "noise", NoiseBytes(), now, noise_gap);
  }
  if (options.vanish_after > 0 && frames_heard >= options.vanish_after) vanishing = true;
}

}  // namespace

void ExchangeBegin() {
  noise_gap = options.noise_gap_ms < 0 ? byte_time_ns : options.noise_gap_ms * 1000000LL;
  noise_source.seed(static_cast<std::mt19937::result_type>(options.seed));
}

void TakeInput() {
  std::string bytes = LineRead();
  int64_t now = NowNs();
  // Sent at another speed, the bytes still come back on the line, at the
  // speed they were sent at, but the radio's receiver makes garbage of
  // them: no frame, no answer.
  if (!bytes.empty() && !LineAtSpeed(options.rate)) {
    if (!options.no_echo) LineSchedule(bytes, now, 0, LineByteTimeNs());
    LogBytes("garbage", bytes, now);
    return;
  }
  for (char byte : bytes) {
    received += byte;
    // The line returns each byte while it is on the wire.
    bool garbled = options.bad_echo || Collides(frames_heard + 1);
    char echo = garbled && received.size() == kCommand ? static_cast<char>(byte ^ 1) : byte;
    if (!options.no_echo) LineSchedule(std::string(1, echo), now);
    if (byte != FrameEnd) continue;
    LogBytes("in", received, now);
    Answer(received, now);
    received.clear();
    if (vanishing) return;  // the radio is gone: the rest is never heard
  }
}

void ExchangeDue(int64_t now) {
  size_t due = 0;
  for (; due < held.size() && held[due].due <= now; due++)
    Send(held[due].kind, held[due].bytes, held[due].due, held[due].gap);
  held.erase(held.begin(), held.begin() + due);
}

int64_t ExchangeNextWake() {
  return held.empty() ? -1 : held.front().due;
}

void ExchangeEnd() {
  if (!received.empty()) LogBytes("in", received, NowNs());
}
