// The probe, for --probe: the radio's frequency and mode, read and not set.
#include <string>

#include "jobs/jobs.h"
#include "link/civ_frame.h"

ProbeResult ProbeRadio() {
  ProbeResult probe;
  std::string frequency, mode;
  if (!AskForAnswer(ReadFrequency, "", false, "ReadFrequency", frequency, probe.unanswered))
    return probe;
  probe.frequency = DecodeFrequency(frequency);
  if (!AskForAnswer(ReadMode, "", false, "ReadMode", mode, probe.unanswered)) return probe;
  probe.mode = ReplyByte(mode, kReplyMode);
  probe.filter = ReplyFilter(mode);
  return probe;
}
