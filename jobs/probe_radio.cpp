// The probe, for --probe: the radio's frequency and mode, read and not set.
#include <string>

#include "jobs/jobs.h"
#include "link/civ_frame.h"

namespace {

// One read of the probe; false, with the command noted, when the radio did
// not answer it or answered it with something else.
bool ProbeRead(char command, const char* name, ProbeResult& probe) {
  if (!Exchange(frame_header + command + FrameEnd)) {
    probe.unanswered = name;
    return false;
  }
  if (ReplyStatusIs(command)) return true;
  probe.refused = name;
  probe.reply = civ_buffer;
  return false;
}

}  // namespace

ProbeResult ProbeRadio() {
  ProbeResult probe;
  if (!ProbeRead(ReadFrequency, "ReadFrequency", probe)) return probe;
  probe.frequency = DecodeFrequency();
  if (!ProbeRead(ReadMode, "ReadMode", probe)) return probe;
  probe.mode = ReplyByte(kReplyMode);
  probe.filter = ReplyByte(kReplyFilter);
  return probe;
}
