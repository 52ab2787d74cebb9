// The Windows events and signals that end the program, each named as its kind
// of signal (the ending of each kind is in ending/signal_reports.cpp): Ctrl-C
// and Ctrl-Break are interrupts; closing the console window, logging off and
// shutting down are termination requests (console control events); the C
// runtime's signals are what they say, and an exhausted stack, which only the
// unhandled-exception filter sees, is a memory fault.
//
// A control handler runs on a thread of its own while the main thread goes
// on, and a fault may strike with any lock held: the ending therefore uses
// only reports made in advance and plain system calls, and ends the process
// without running anyone's clean-up.
#include <windows.h>

#include <csignal>

#include "app/process.h"
#include "ending/fatal.h"
#include "ending/signal_reports.h"

namespace {

constexpr ULONG kStackForTheReport = 64 * 1024;

volatile LONG ending = 0;
LPTOP_LEVEL_EXCEPTION_FILTER runtime_filter = nullptr;
DWORD main_thread = 0;

// A control event's thread closes the port under the main thread's feet:
// the main thread, stopped first, cannot take that for a failure of its own
// and end with its report in place of the interrupt's.
void StopMainThread() {
  if (GetCurrentThreadId() == main_thread) return;
  HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, main_thread);
  if (!thread) return;
  SuspendThread(thread);
  CloseHandle(thread);
}

[[noreturn]] void EndWithReport(SignalKind kind) {
  // One report, whichever way comes first; a second one waits for the end.
  if (InterlockedExchange(&ending, 1) != 0) {
    for (;;) Sleep(INFINITE);
  }
  StopMainThread();
  EndWithSignalReport(kind);
}

BOOL WINAPI OnControlEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      EndWithReport(SignalKind::kInterrupt);
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      EndWithReport(SignalKind::kTerminationRequest);
  }
  return FALSE;
}

void OnSignal(int signal_number) {
  switch (signal_number) {
    case SIGILL:
      EndWithReport(SignalKind::kIllegalInstruction);
    case SIGFPE:
      EndWithReport(SignalKind::kArithmeticFault);
    case SIGSEGV:
      EndWithReport(SignalKind::kMemoryFault);
    case SIGABRT:
      EndWithReport(SignalKind::kAbort);
    default:
      EndWithReport(SignalKind::kTerminationRequest);  // SIGTERM
  }
}

// The runtime turns access violations, illegal instructions and arithmetic
// faults into its signals; an exhausted stack it leaves alone.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW)
    EndWithReport(SignalKind::kMemoryFault);
  return runtime_filter ? runtime_filter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void InstallSignalHandlers() {
  PrepareSignalReports();
  main_thread = GetCurrentThreadId();
  // Room left on an exhausted stack for writing the report.
  ULONG stack_guarantee = kStackForTheReport;
  SetThreadStackGuarantee(&stack_guarantee);
  runtime_filter = SetUnhandledExceptionFilter(OnUnhandledException);
  SetConsoleCtrlHandler(OnControlEvent, TRUE);
  for (int signal_number : {SIGILL, SIGFPE, SIGSEGV, SIGABRT, SIGTERM}) {
    std::signal(signal_number, OnSignal);
  }
}
