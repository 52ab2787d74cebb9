// The port trace. Off unless --trace or QUENMAR_TRACE names a file; costs
// nothing then.
#include "link/port_trace.h"

#include <cstdio>
#include <string>

#include "link/serial_port.h"
#include "text/text.h"

namespace {

std::FILE* trace = nullptr;
double trace_start = 0;

// A line at a time, so that a killed run keeps it and a stream shared with
// other lines (the error stream) gets it whole.
void Line(const std::string& text) {
  std::fprintf(trace, "%11.6f %s\n", SecondsNow() - trace_start, text.c_str());
  std::fflush(trace);
}

}  // namespace

void TraceStart(std::FILE* file) {
  trace = file;
  if (!trace) return;
  trace_start = SecondsNow();
  std::fprintf(trace, "--- quenmar-setup %s: seconds, what, bytes\n", QUENMAR_VERSION);
  std::fflush(trace);
}

void TraceBytes(const char* kind, const std::string& bytes) {
  if (!trace) return;
  std::string text = kind;
  text.resize(6, ' ');
  if (bytes.empty()) text += "(none)";
  for (unsigned char byte : bytes) text += " " + Hex2(byte);
  Line(text);
}

void TraceEchoDiffers(const std::string& sent, const std::string& echo) {
  if (!trace) return;
  size_t at = 0;
  while (at < sent.size() && at < echo.size() && sent[at] == echo[at]) at++;
  auto hex = [](char byte) { return Hex2(static_cast<unsigned char>(byte)); };
  // Counts through to_string: the Windows C runtime may not know %zu.
  std::string text = "echo differs at byte " + std::to_string(at + 1) + " of " +
                     std::to_string(sent.size()) + ": sent " +
                     (at < sent.size() ? hex(sent[at]) : "nothing") + ", came back " +
                     (at < echo.size() ? hex(echo[at]) : "nothing") +
                     " (another device on the line, or a faulty interface)";
  Line(text);
}

void TraceNote(const std::string& text) {
  if (trace) Line(text);
}

void TraceWindow(const char* how, double seconds, size_t count) {
  if (!trace) return;
  char text[96];
  std::snprintf(text, sizeof text, "window %s after %.3f s, ", how, seconds);
  Line(text + std::to_string(count) + " reply bytes");
}
