// The POSIX signals that end the program, each named as its kind of signal
// (the ending of each kind is in ending/signal_reports.cpp). A hang-up or
// quit from outside is a termination request; a broken pipe is ignored. The
// handler does only async-signal-safe work. Once the program exits, the
// signals from outside wait for the exit to end.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "app/process.h"
#include "ending/fatal.h"
#include "ending/signal_reports.h"

namespace {

alignas(16) char alternate_stack[64 * 1024];

SignalKind KindOfSignal(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return SignalKind::kInterrupt;
    case SIGILL:
      return SignalKind::kIllegalInstruction;
    case SIGFPE:
      return SignalKind::kArithmeticFault;
    case SIGSEGV:
    case SIGBUS:
      return SignalKind::kMemoryFault;
    case SIGABRT:
      return SignalKind::kAbort;
    default:
      return SignalKind::kTerminationRequest;  // SIGTERM, SIGHUP, SIGQUIT
  }
}

void OnSignal(int signal_number) {
  EndWithSignalReport(KindOfSignal(signal_number));
}

// Once the program exits it has closed what it opened, and a request to end
// changes nothing; but a handler that ran now would interrupt the exit's own
// work, which may hold a lock that the handler's calls then wait for forever
// (the sanitizers' leak check at exit does). So the signals from outside are
// held from the first step of the exit on, and the exit ends with its own
// status.
void HoldEndingSignals() {
  sigset_t ending;
  sigemptyset(&ending);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&ending, signal_number);
  sigprocmask(SIG_BLOCK, &ending, nullptr);
}

}  // namespace

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
  // Registered after the sanitizers' exit-time check, so run before it.
  std::atexit(HoldEndingSignals);
}
