// The last steps of a signal's ending on POSIX systems: plain system calls,
// safe inside a signal handler.
#include <unistd.h>

#include <cstddef>

#include "ending/signal_reports.h"

void WriteErrorStream(const char* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = write(STDERR_FILENO, bytes, length);
    if (n <= 0) break;
    bytes += n;
    length -= n;
  }
}

void EndProcessNow(int status) {
  _exit(status);
}
