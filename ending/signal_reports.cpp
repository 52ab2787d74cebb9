// The signal reports and the one ending every signal handler takes.
#include "ending/signal_reports.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "ending/fatal.h"

namespace {

constexpr int kFirstSignalError = 9;
constexpr int kLastSignalError = 14;
constexpr size_t kLongestReport = 96;

char reports[kLastSignalError + 1][kLongestReport];
size_t report_lengths[kLastSignalError + 1];

}  // namespace

void PrepareSignalReports() {
  for (int error = kFirstSignalError; error <= kLastSignalError; error++) {
    std::string report = AbortReport(error, 0);
    report.resize(std::min(report.size(), kLongestReport));
    std::memcpy(reports[error], report.data(), report.size());
    report_lengths[error] = report.size();
  }
}

void EndWithSignalReport(int error) {
  CloseEverything();
  if (error >= kFirstSignalError && error <= kLastSignalError) {
    WriteErrorStream(reports[error], report_lengths[error]);
  }
  EndProcessNow(error);
}
