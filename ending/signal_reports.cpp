// The signal reports and the one ending every signal handler takes.
#include "ending/signal_reports.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "ending/fatal.h"

namespace {

constexpr size_t kKinds = static_cast<size_t>(SignalKind::kAbort) + 1;
constexpr size_t kLongestReport = 96;

// The error, and so the report and the exit status, of each kind of signal,
// in the order of SignalKind.
constexpr int kErrorOfKind[kKinds] = {9, 10, 11, 12, 13, 14};

char reports[kKinds][kLongestReport];
size_t report_lengths[kKinds];

}  // namespace

void PrepareSignalReports() {
  for (size_t kind = 0; kind < kKinds; kind++) {
    std::string report = AbortReport(kErrorOfKind[kind], 0);
    report.resize(std::min(report.size(), kLongestReport));
    std::memcpy(reports[kind], report.data(), report.size());
    report_lengths[kind] = report.size();
  }
}

void EndWithSignalReport(SignalKind kind) {
  CloseEverything();
  size_t k = static_cast<size_t>(kind);
  WriteErrorStream(reports[k], report_lengths[k]);
  EndProcessNow(kErrorOfKind[k]);
}
