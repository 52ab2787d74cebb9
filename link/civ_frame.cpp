// The frame exchange with the radio.
#include "link/civ_frame.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "app/console.h"
#include "app/typed_answers.h"
#include "link/port_trace.h"
#include "link/serial_port.h"

std::string civ_buffer;  // the last command frame built by a job, or the last reply
const std::string frame_header = "\xFE\xFE\x04\xF1";
bool echo_as_sent = false;    // by SendFrame: the frame's whole echo came back as sent
bool reply_complete = false;  // by ReceiveReply: the window ended at an FD

namespace {

constexpr double kReplyWindow = 3.0;
// The line runs at 1200 bit/s, 10 bits a byte (start, 8 data, stop): the
// echo of a frame is back one frame's line time after it went out. The
// margin covers a USB adapter's latency timer (16 ms by default) and the
// scheduling of a loaded machine.
constexpr double kByteTime = 10.0 / 1200;
constexpr double kEchoMargin = 0.1;

// Up to `count` bytes, as they arrive, until the deadline. What has arrived
// is taken even when this program itself ran late.
std::string ReadUntil(size_t count, double deadline) {
  std::string bytes;
  for (;;) {
    unsigned waiting = PortPending();
    if (waiting > 0)
      bytes += PortRead(static_cast<unsigned>(std::min<size_t>(waiting, count - bytes.size())));
    double left = deadline - SecondsNow();
    if (bytes.size() >= count || left <= 0) break;
    if (waiting == 0) PortWaitInput(left);
  }
  return bytes;
}

}  // namespace

std::string Hex2(unsigned char byte) {
  const char* digits = "0123456789ABCDEF";
  return {digits[byte >> 4], digits[byte & 15]};
}

void SendFrame() {
  if (PortHasInput()) TraceBytes("stale", PortRead(PortPending()));  // bytes from before
  // The whole frame in one write, then its whole echo: an adapter that holds
  // received bytes for a while then costs that while once a frame, not once
  // a byte. The line returns every byte sent, so after the echo the next
  // byte to arrive starts the reply. Writing and echo share one deadline.
  const std::string frame = civ_buffer;
  double wait = frame.size() * kByteTime + kEchoMargin;
  double deadline = SecondsNow() + wait;
  PortWrite(frame, wait);
  TraceBytes("sent", frame);
  std::string echo = ReadUntil(frame.size(), deadline);
  TraceBytes("echo", echo);
  // A different echo is another device talking at the same time, or a
  // faulty interface; the exchange goes on, the trace tells.
  echo_as_sent = echo == frame;
  if (!echo_as_sent && !echo.empty()) TraceEchoDiffers(frame, echo);
}

void ReceiveReply() {
  civ_buffer.clear();
  const double start = SecondsNow();
  for (;;) {
    double left = kReplyWindow - (SecondsNow() - start);
    if (left <= 0) break;
    if (!PortHasInput()) {
      PortWaitInput(left);
      continue;
    }
    std::string byte = PortRead(1);
    TraceBytes("reply", byte);
    civ_buffer += byte;
    if (!civ_buffer.empty() && civ_buffer.back() == FrameEnd) break;  // never a byte past FD
  }
  reply_complete = !civ_buffer.empty() && civ_buffer.back() == FrameEnd;
  TraceWindow(reply_complete, SecondsNow() - start, civ_buffer.size());
}

void ShowFrame() {
  PrintText("CIV buffer contents are:", true);
  if (!civ_buffer.empty()) PrintText(FrameHex(civ_buffer) + " ", false);
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

std::string DecodeFrequency() {
  if (civ_buffer.empty()) return "000000000";
  std::string text;
  for (size_t position : {9, 8, 7, 6}) {
    unsigned char byte = position <= civ_buffer.size() ? civ_buffer[position - 1] : 0;
    text += Hex2(byte);
  }
  text.pop_back();  // the 1 Hz digit
  return text;
}

char PackedDecimal(char tens, char units) {
  long value =
      std::lround(TextToNumber(std::string(1, tens)) * 16 + TextToNumber(std::string(1, units)));
  return static_cast<char>(value & 0xFF);
}
