// The probe, for --probe: the radio's frequency and mode, read and not set.
#include <string>

#include "jobs/jobs.h"
#include "link/civ_frame.h"

namespace {

// One read of the probe, asked again while its reply is no answer; false,
// with the command (and the last reply, when one came) noted, when no try
// was answered.
bool ProbeRead(char command, const char* name, ProbeResult& probe) {
  Asked asked = AskForAnswer(frame_header + command + FrameEnd, command, false, name);
  if (asked == Asked::kAnswer) return true;
  probe.unanswered = name;
  if (asked == Asked::kUnusable) probe.reply = civ_buffer;
  return false;
}

}  // namespace

ProbeResult ProbeRadio() {
  ProbeResult probe;
  if (!ProbeRead(ReadFrequency, "ReadFrequency", probe)) return probe;
  probe.frequency = DecodeFrequency();
  if (!ProbeRead(ReadMode, "ReadMode", probe)) return probe;
  probe.mode = ReplyByte(kReplyMode);
  probe.filter = civ_buffer.size() > kReplyFilter ? ReplyByte(kReplyFilter) : 0;
  return probe;
}
