// The probe, for --probe: the radio's frequency and mode, read and not set.
#include <string>

#include "jobs/jobs.h"
#include "link/civ_frame.h"

ProbeResult ProbeRadio() {
  ProbeResult probe;
  if (!AskForAnswer(ReadFrequency, "", false, "ReadFrequency", probe.unanswered)) return probe;
  probe.frequency = DecodeFrequency();
  if (!AskForAnswer(ReadMode, "", false, "ReadMode", probe.unanswered)) return probe;
  probe.mode = ReplyByte(kReplyMode);
  probe.filter = ReplyFilter();
  return probe;
}
