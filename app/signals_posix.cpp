// Signals become abort reports: interrupt 9, illegal instruction 10,
// arithmetic fault 11, memory fault 12, termination 13, abort 14. A hang-up or
// quit from outside ends the run like a termination request; a broken pipe is
// ignored. The handler does only async-signal-safe work.
#include <signal.h>
#include <unistd.h>

#include "app/fatal.h"
#include "app/signal_reports.h"

namespace {

alignas(16) char alternate_stack[64 * 1024];

int ErrorOfSignal(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return 9;
    case SIGILL:
      return 10;
    case SIGFPE:
      return 11;
    case SIGSEGV:
    case SIGBUS:
      return 12;
    case SIGABRT:
      return 14;
    default:
      return 13;  // SIGTERM, SIGHUP, SIGQUIT
  }
}

void OnSignal(int signal_number) {
  EndWithSignalReport(ErrorOfSignal(signal_number));
}

}  // namespace

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

void InstallSignalHandlers() {
  PrepareSignalReports();
  stack_t stack{};
  stack.ss_sp = alternate_stack;
  stack.ss_size = sizeof alternate_stack;
  sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigfillset(&action.sa_mask);  // one report, whatever else arrives meanwhile
  action.sa_flags = SA_ONSTACK;
  for (int signal_number :
       {SIGINT, SIGILL, SIGFPE, SIGSEGV, SIGBUS, SIGTERM, SIGABRT, SIGHUP, SIGQUIT}) {
    sigaction(signal_number, &action, nullptr);
  }
  signal(SIGPIPE, SIG_IGN);
}
