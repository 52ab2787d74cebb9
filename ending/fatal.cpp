// The endings of the program and the abort report.
#include "ending/fatal.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

int last_error = 0;

namespace {

// Written at start-up and when a floor first opens something, read by the
// endings, a signal handler's included: the count grows only after its
// entry is in place.
constexpr int kMostClosers = 8;
void (*volatile closers[kMostClosers])() = {};
volatile std::sig_atomic_t closer_count = 0;

}  // namespace

void AddCloser(void (*closer)()) {
  for (int i = 0; i < closer_count; i++) {
    if (closers[i] == closer) return;
  }
  if (closer_count == kMostClosers) std::abort();  // a floor added more than the table holds
  closers[closer_count] = closer;
  closer_count = closer_count + 1;
}

void CloseEverything() {
  for (int i = closer_count; i-- > 0;) closers[i]();
}

const char* ErrorText(int error) {
  switch (error) {
    case 1:
      return "illegal function call";
    case 2:
      return "file not found";
    case 8:
      return "no priviledges";
    case 9:
      return "\"interrupted\" signal";
    case 10:
      return "\"illegal instruction\" signal";
    case 11:
      return "\"floating point error\" signal";
    case 12:
      return "\"segmentation violation\" signal";
    case 13:
      return "\"termination request\" signal";
    case 14:
      return "\"abnormal termination\" signal";
  }
  return "";
}

std::string AbortReport(int error, int report_line) {
  std::string report = "\r\nAborting due to runtime error " + std::to_string(error);
  if (*ErrorText(error)) report += std::string(" (") + ErrorText(error) + ")";
  if (report_line > 0) report += " at line " + std::to_string(report_line) + " of QUEN32()";
  return report + "\r\n\r\n";
}

void EndProgram(int status) {
  CloseEverything();
  std::exit(status);
}

void FatalError(int report_line) {
  int error = last_error;
  CloseEverything();
  std::string report = AbortReport(error, report_line);
  std::fwrite(report.data(), 1, report.size(), stderr);
  std::fflush(stderr);
  std::exit(error);
}
