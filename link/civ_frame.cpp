// The frame exchange with the radio.
#include "link/civ_frame.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/typed_answers.h"
#include "link/port_trace.h"
#include "link/serial_port.h"
#include "text/text.h"

std::string civ_buffer;  // the last frame SendFrame sent, or the last reply ReceiveReply took
std::string frame_header = "\xFE\xFE\x04\xF1";
bool replies_out_of_step = false;
std::string late_reply;
bool five_frequency_bytes = false;
double longest_answer = 0;

namespace {

// The echo of a frame is back one frame's line time after it went out (10
// bits a byte: start, 8 data, stop, at the port's speed). The margin covers
// a USB adapter's latency timer (16 ms by default) and the scheduling of a
// loaded machine, where the far end may be kept waiting for a good part of
// a second. It costs nothing on a line that echoes: the wait ends with the
// echo's last byte; only a line that returns nothing waits it out.
constexpr double kEchoMargin = 0.5;
// An echo that stopped part way, the frame so far, is late rather than
// changed (the machine was busy, an adapter held the bytes): the rest is
// waited for as long as it keeps coming, this long at most for each piece.
constexpr double kLateEchoGap = 0.5;
// After a collision: the line counts as quiet when no byte came for two byte
// times; a line that never falls quiet is given up on after a while.
constexpr int kQuietBytes = 2;
constexpr int kQuietLooks = 30;
// The random pause after the line fell quiet: 0 to 4 byte times.
constexpr int kLongestPauseBytes = 4;

// A number of byte times in whole milliseconds, at least 1.
int ByteTimesMs(int bytes) {
  return std::max(1, static_cast<int>(std::lround(bytes * ByteTime() * 1000)));
}

// Replies out of step: the line counts as settled when no byte came for
// twice the longest the radio took to answer in this run, and a margin; at
// least kSettleLeast, at most the reply window.
constexpr double kSettleLeast = 0.1;
constexpr double kSettleMargin = 0.05;
// Frames from the radio taken off ahead of one echo, at most.
constexpr int kLateFrames = 4;

// The whole frames from the radio to this program among bytes, in order:
// each from its header to the first FD behind it, its status byte included.
std::vector<std::string> ReplyFramesIn(const std::string& bytes) {
  std::vector<std::string> frames;
  const std::string header = ReplyHeader();
  for (size_t at = bytes.find(header); at != std::string::npos; at = bytes.find(header, at + 1)) {
    size_t end = bytes.find(FrameEnd, at);
    if (end == std::string::npos) break;
    if (end - at >= kReplyStatus) frames.push_back(bytes.substr(at, end - at + 1));
  }
  return frames;
}

// A frame from the radio where no reply can be: the replies are out of step.
// True when the bytes held one.
bool NoteLate(const std::string& bytes) {
  std::vector<std::string> frames = ReplyFramesIn(bytes);
  if (frames.empty()) return false;
  replies_out_of_step = true;
  late_reply = frames.front();
  return true;
}

// Up to `count` bytes, as they arrive, until the deadline. What has arrived
// is taken even when this program itself ran late.
std::string ReadUntil(size_t count, double deadline) {
  std::string bytes;
  for (;;) {
    unsigned waiting = PortPending();
    if (waiting > 0)
      bytes += PortRead(static_cast<unsigned>(std::min<size_t>(waiting, count - bytes.size())));
    double left = deadline - SecondsNow();
    if (bytes.size() >= count || left <= 0 || PortHungUp()) break;
    if (waiting == 0) PortWaitInput(left);
  }
  return bytes;
}

}  // namespace

// FE FE F1 04: the start of a frame from the radio to this program.
std::string ReplyHeader() {
  return frame_header.substr(0, 2) + frame_header[3] + frame_header[2];
}

namespace {

// The frame once, its first try or a later one: one write, then its whole echo.
std::string SendOnce(const std::string& frame, bool first) {
  // The whole frame in one write: an adapter that holds received bytes for
  // a while then costs that while once a frame, not once a byte. The line
  // returns every byte sent, so after the echo the next byte to arrive
  // starts the reply. Writing and echo share one deadline.
  double wait = frame.size() * ByteTime() + kEchoMargin;
  double deadline = SecondsNow() + wait;
  int written = PortWrite(frame, wait);
  TraceBytes(first ? "sent" : "again", frame);
  // The echo that does not come says the rest; the trace says why.
  if (written == kTimedOut) TraceNote("the port did not take the whole frame in time");
  if (written == kNoModemLine)
    TraceNote("the carrier or DSR that the settings wait for did not come");
  if (written == kHungUp) TraceNote("the port hung up during the write");
  if (written == kPortFailed) TraceNote("the write to the port failed");
  std::string echo = ReadUntil(frame.size(), deadline);
  // A frame from the radio ahead of the echo is a reply from before this
  // frame, come late: it is taken off, and the echo waited for behind it.
  for (int late = 0; late < kLateFrames && echo.compare(0, 4, ReplyHeader()) == 0; late++) {
    size_t end;
    while ((end = echo.find(FrameEnd)) == std::string::npos && echo.size() < kReplyLimit) {
      // At least a byte of it is still to come, and the echo behind it:
      // a read of a frame's length cannot reach the reply.
      std::string more = ReadUntil(frame.size(), deadline + echo.size() * ByteTime());
      if (more.empty()) break;
      echo += more;
    }
    if (end == std::string::npos) break;
    TraceBytes("late", echo.substr(0, end + 1));
    NoteLate(echo.substr(0, end + 1));
    echo.erase(0, end + 1);
    deadline += (end + 1) * ByteTime();
    if (echo.size() < frame.size()) echo += ReadUntil(frame.size() - echo.size(), deadline);
  }
  while (!echo.empty() && echo.size() < frame.size() && frame.compare(0, echo.size(), echo) == 0) {
    std::string rest = ReadUntil(frame.size() - echo.size(), SecondsNow() + kLateEchoGap);
    if (rest.empty()) break;
    echo += rest;
  }
  TraceBytes("echo", echo);
  return echo;
}

// Another device talked over the frame: both wait until the line falls
// quiet, then each for a random while of its own, so that they do not start
// together again. What came meanwhile is nobody's reply to this frame; it is
// returned, to be looked at for replies to earlier frames.
std::string WaitForQuietLine() {
  std::string busy;
  for (int look = 0; look < kQuietLooks && !PortHungUp(); look++) {
    PauseMilliseconds(ByteTimesMs(kQuietBytes));
    unsigned waiting = PortPending();
    if (waiting == 0) break;
    std::string bytes = PortRead(waiting);
    TraceBytes("busy", bytes);
    busy += bytes;
  }
  static std::minstd_rand pauses(static_cast<unsigned>(std::fmod(SecondsNow(), 1.0) * 1e9) + 1);
  PauseMilliseconds(std::uniform_int_distribution<int>(0, ByteTimesMs(kLongestPauseBytes))(pauses));
  if (PortHasInput()) {
    std::string bytes = PortRead(PortPending());
    TraceBytes("busy", bytes);
    busy += bytes;
  }
  return busy;
}

// The first whole reply from the radio among bytes that answers no try of a
// command (a refused read among them, as AskInStep counts it): an earlier
// frame's, come late; "" for none.
std::string StrayReply(const std::string& bytes, char command) {
  const bool read = command == ReadFrequency || command == ReadMode || command == ReadName;
  for (const std::string& reply : ReplyFramesIn(bytes))
    if (!ReplyAnswers(reply, command, !read)) return reply;
  return "";
}

// The bytes of one read, one at a time, into the frame growing in `reply`,
// until it is the radio's whole reply to this program (`complete`); returns
// how many bytes that took. Bytes that belong to no frame go to `noise`;
// frames for other devices are traced and dropped.
size_t TakeReplyBytes(const std::string& bytes, std::string& reply, bool& complete,
                      std::string& noise) {
  size_t used = 0;
  while (used < bytes.size() && !complete) {
    char byte = bytes[used++];
    // A frame starts at FE FE: what comes before it is line noise, and an
    // FE FE inside a frame starts it again (a longer preamble too).
    bool preamble = byte == frame_header[0];
    if (reply.size() < 2 && !preamble) {
      noise += reply + byte;
      reply.clear();
      continue;
    }
    if (preamble && reply.size() >= 2 && reply.back() == byte) {
      noise += reply.substr(0, reply.size() - 1);
      reply.erase(0, reply.size() - 1);
    }
    reply += byte;
    if (byte != FrameEnd) continue;
    if (ForSomeoneElse(reply)) {
      // An announcement, or another controller's question or its answer:
      // not the reply; the window goes on.
      TraceBytes("other", reply);
      reply.clear();
      continue;
    }
    // The radio's reply to this program holds at least its status byte;
    // anything shorter is a fragment.
    if (reply.size() <= kReplyStatus) {
      noise += reply;
      reply.clear();
      continue;
    }
    complete = true;
  }
  return used;
}

}  // namespace

bool DrainStale() {
  if (!PortHasInput()) return false;
  std::string stale = PortRead(PortPending());  // bytes from before
  TraceBytes("stale", stale);
  return NoteLate(stale);
}

bool LetRepliesSettle() {
  const double quiet = std::clamp(2 * longest_answer + kSettleMargin, kSettleLeast, kReplyWindow);
  // A line that never falls quiet is given up on after a window and a quiet while.
  const double give_up = SecondsNow() + kReplyWindow + quiet;
  double quiet_since = SecondsNow();
  std::string came;
  while (!PortHungUp() && came.size() < kReplyLimit) {
    double now = SecondsNow();
    if (now - quiet_since >= quiet || now >= give_up) break;
    unsigned waiting = PortPending();
    if (waiting == 0) {
      PortWaitInput(quiet - (now - quiet_since));
      continue;
    }
    std::string bytes = PortRead(waiting);
    if (bytes.empty()) break;
    came += bytes;
    quiet_since = SecondsNow();
  }
  if (!came.empty()) TraceBytes("late", came);
  return NoteLate(came);
}

FrameSent SendFrame(const std::string& frame) {
  civ_buffer = frame;
  DrainStale();
  FrameSent sent;
  // Its command byte stands where a reply's status byte does.
  const char command = static_cast<char>(ReplyByte(frame, kReplyStatus));
  std::string around;  // the changed echoes, and what came while the line fell quiet
  // Every frame the jobs send may go out twice without harm: reads, and
  // settings to the same value.
  for (sent.tries = 1;; sent.tries++) {
    std::string echo = SendOnce(frame, sent.tries == 1);
    sent.echo_as_sent = echo == frame;
    // No echo at all is an interface without one, or a dead line; the
    // radio's reply in place of the echo is an interface without one too.
    // Neither is a collision, and sending again would not help.
    sent.echo_changed =
        !sent.echo_as_sent && !echo.empty() && echo.compare(0, 4, ReplyHeader()) != 0;
    if (sent.echo_changed) TraceEchoDiffers(frame, echo);
    if (sent.echo_changed) around += echo;
    if (!sent.echo_changed || sent.tries == kSendTries || PortHungUp()) break;
    around += WaitForQuietLine();
  }
  sent.stray_reply = StrayReply(around, command);
  return sent;
}

bool ForSomeoneElse(const std::string& bytes) {
  size_t start = bytes.find(frame_header.substr(0, 2));
  if (start == std::string::npos) return false;
  while (start < bytes.size() && bytes[start] == frame_header[0]) start++;  // a longer preamble
  // Destination, source and at least one more byte before the FD.
  if (start + 3 >= bytes.size()) return false;
  // Asked at the broadcast address, any radio's answer to this program counts.
  if (frame_header[2] == kBroadcastAddress) return bytes[start] != frame_header[3];
  return bytes.compare(start, 2, ReplyHeader(), 2, 2) != 0;
}

bool ReceiveReply(std::string& reply, double window) {
  reply.clear();
  bool complete = false;
  const double start = SecondsNow();
  size_t taken = 0;  // bytes of this window, frames for others included
  while (!complete && taken < kReplyLimit && !PortHungUp()) {
    double left = window - (SecondsNow() - start);
    if (left <= 0) break;
    unsigned waiting = PortPending();
    if (waiting == 0) {
      PortWaitInput(left);
      continue;
    }
    // What has arrived, in one read: a device that floods the line costs
    // a read per burst, not a pass per byte.
    std::string bytes =
        PortRead(static_cast<unsigned>(std::min<size_t>(waiting, kReplyLimit - taken)));
    if (bytes.empty()) break;  // bytes waiting that the port will not give: no reply
    taken += bytes.size();
    std::string noise;  // bytes of this read that belong to no frame
    size_t used = TakeReplyBytes(bytes, reply, complete, noise);
    if (!noise.empty()) TraceBytes("noise", noise);
    TraceBytes("reply", bytes.substr(0, used));
    // Bytes behind the reply's FD are nobody's reply; the next frame would
    // throw them away as stale. A reply among them says that the replies
    // are out of step: which of the two answers the frame, nothing tells.
    if (used < bytes.size()) {
      TraceBytes("after", bytes.substr(used));
      NoteLate(bytes.substr(used));
    }
  }
  if (complete) longest_answer = std::max(longest_answer, SecondsNow() - start);
  const char* how = complete               ? "ended at FD"
                    : PortHungUp()         ? "ended by a hang-up"
                    : taken >= kReplyLimit ? "full"
                                           : "timed out";
  TraceWindow(how, SecondsNow() - start, reply.size());
  civ_buffer = reply;
  return complete;
}

void ShowFrame(const std::string& frame) {
  PrintText("CIV buffer contents are:", true);
  if (!frame.empty()) PrintText(FrameHex(frame) + " ", false);
}

std::string FrameHex(const std::string& bytes) {
  std::string text;
  for (char byte : bytes) {
    if (!text.empty()) text += ' ';
    text += Hex2(static_cast<unsigned char>(byte));
    if (byte == FrameEnd) break;
  }
  return text;
}

// Each character enters as its code less that of "0", unchecked, and each
// byte keeps its low eight bits: a blank in a tens place (" 705000") wraps
// to 0, a missing character counts as code 0. The load sends seven checked
// digits only; the virtual radio's channels (--channel, its memory file) and
// the unit tests' blank and short cases rely on this arithmetic.
std::string EncodeFrequency(const std::string& digits) {
  auto code = [&](size_t position) -> int {
    return position <= digits.size() ? static_cast<unsigned char>(digits[position - 1]) : 0;
  };
  std::string bytes(4, '\0');
  bytes[0] = static_cast<char>(((code(7) - 48) * 16) & 0xFF);
  bytes[1] = static_cast<char>(((code(5) - 48) * 16 + (code(6) - 48)) & 0xFF);
  bytes[2] = static_cast<char>(((code(3) - 48) * 16 + (code(4) - 48)) & 0xFF);
  bytes[3] = static_cast<char>(((code(1) - 48) * 16 + (code(2) - 48)) & 0xFF);
  return bytes;
}

std::string DecodeFrequency(const std::string& reply) {
  // Nine zeros for no reply at all, not seven: so the program has always
  // given a silent radio, apart from a frequency of 0 Hz.
  if (reply.empty()) return "000000000";
  std::string bytes;
  for (size_t position = kReplyFrequency; position < kReplyFrequency + 4; position++)
    bytes += static_cast<char>(ReplyByte(reply, position));
  return FrequencyDigitsOf(bytes);
}

// Each character's value as a typed number (TextToNumber): a digit its
// value, any other character (a blank, a letter) 0, unchecked. The clock
// frame hands it strftime's digits only; ClockFrame's unit test and the
// clock's e2e frames are the bytes it gives for them.
char PackedDecimal(char tens, char units) {
  long value =
      std::lround(TextToNumber(std::string(1, tens)) * 16 + TextToNumber(std::string(1, units)));
  return static_cast<char>(value & 0xFF);
}

int ReplyByte(const std::string& reply, size_t position) {
  return position >= 1 && position <= reply.size() ? static_cast<unsigned char>(reply[position - 1])
                                                   : 0;
}

int ReplyFilter(const std::string& reply) {
  // A mode-only reply has its FD where the filter would stand.
  return reply.size() > kReplyFilter ? ReplyByte(reply, kReplyFilter) : 0;
}

bool ReplyAnswers(const std::string& reply, char command, bool refusal_answers) {
  if (refusal_answers && ReplyStatusIs(reply, ReplyRefused)) return true;
  // Data bytes: those between the status byte and the FD.
  size_t data = reply.size() > kReplyStatus ? reply.size() - kReplyStatus - 1 : 0;
  switch (command) {
    case ReadFrequency:
      // A radio answers the same way each time: four bytes from one that
      // has sent five lost one on the way.
      if (!ReplyStatusIs(reply, ReadFrequency) || (data != 4 && data != 5)) return false;
      if (data == 4 && five_frequency_bytes) return false;
      for (size_t position = kReplyFrequency; position < kReplyFrequency + data; position++) {
        if (PackedValue(static_cast<char>(ReplyByte(reply, position))) < 0) return false;
      }
      return true;
    case ReadMode:
      return ReplyStatusIs(reply, ReadMode) && data >= 1;
    case ReadName:
      return ReplyStatusIs(reply, ReadName);
    default:
      return ReplyStatusIs(reply, ReplyOk);
  }
}

void UseRadioAddress(char address) {
  frame_header[2] = address;
}

int ReplySource(const std::string& reply) {
  return ReplyByte(reply, 4);
}

double ByteTime() {
  return 10.0 / PortSpeed();
}

bool ReplyStatusIs(const std::string& reply, char code) {
  return reply.size() >= kReplyStatus && reply[kReplyStatus - 1] == code;
}

void NoteFrequencyAnswer(const std::string& reply) {
  if (reply.size() == kReplyFrequency + 5) five_frequency_bytes = true;
}

std::string FrequencyDigitsOf(const std::string& bytes) {
  std::string digits;
  for (size_t i = 4; i > 0; i--) digits += Hex2(static_cast<unsigned char>(bytes[i - 1]));
  digits.pop_back();  // the 1 Hz digit
  return digits;
}

int PackedValue(char byte) {
  unsigned char value = static_cast<unsigned char>(byte);
  if ((value >> 4) > 9 || (value & 15) > 9) return -1;
  return (value >> 4) * 10 + (value & 15);
}
