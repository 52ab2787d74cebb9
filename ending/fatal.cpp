// The endings of the program and the abort report.
#include "ending/fatal.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int last_error = 0;

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
