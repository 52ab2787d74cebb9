// The frame exchange with the radio.
#include "link/civ_frame.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "app/console.h"
#include "app/typed_answers.h"
#include "link/port_trace.h"
#include "link/serial_port.h"

std::string civ_buffer;  // the last command frame built by a job, or the last reply
const std::string frame_header = "\xFE\xFE\x04\xF1";
bool echo_as_sent = false;    // by SendFrame: every echo byte came back as the byte sent
bool reply_complete = false;  // by ReceiveReply: the window ended at an FD

namespace {

constexpr double kReplyWindow = 3.0;

}  // namespace

std::string Hex2(unsigned char byte) {
  const char* digits = "0123456789ABCDEF";
  return {digits[byte >> 4], digits[byte & 15]};
}

void SendFrame() {
  if (PortHasInput()) TraceBytes("stale", PortRead(PortPending()));  // bytes from before
  // The line echoes every byte: eat each echo before the next byte goes out,
  // so that the next byte to arrive after the frame starts the reply.
  echo_as_sent = true;
  int16_t length = static_cast<int16_t>(civ_buffer.size());
  for (int16_t i = 0; i < length; i++) {
    std::string byte = civ_buffer.substr(i, 1);
    PortWrite(byte);
    TraceBytes("sent", byte);
    std::string echo = PortRead(1);
    TraceBytes("echo", echo);
    if (echo != byte) echo_as_sent = false;
  }
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
  std::string line;
  for (char byte : civ_buffer) {
    line += Hex2(static_cast<unsigned char>(byte)) + " ";
    if (byte == FrameEnd) break;
  }
  if (!line.empty()) PrintText(line, false);
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
