// Interrupts, faults and kill requests become abort reports on Windows:
// Ctrl-C and Ctrl-Break 9, closing the console window, logging off and
// shutting down 13 (console control events); illegal instruction 10,
// arithmetic fault 11, memory fault and exhausted stack 12, termination 13,
// abort 14 (the C runtime's signals and the unhandled-exception filter).
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

[[noreturn]] void EndWithReport(int error) {
  // One report, whichever way comes first; a second one waits for the end.
  if (InterlockedExchange(&ending, 1) != 0) {
    for (;;) Sleep(INFINITE);
  }
  EndWithSignalReport(error);
}

BOOL WINAPI OnControlEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      EndWithReport(9);
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      EndWithReport(13);
  }
  return FALSE;
}

void OnSignal(int signal_number) {
  switch (signal_number) {
    case SIGILL:
      EndWithReport(10);
    case SIGFPE:
      EndWithReport(11);
    case SIGSEGV:
      EndWithReport(12);
    case SIGABRT:
      EndWithReport(14);
    default:
      EndWithReport(13);  // SIGTERM
  }
}

// The runtime turns access violations, illegal instructions and arithmetic
// faults into its signals; an exhausted stack it leaves alone.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) EndWithReport(12);
  return runtime_filter ? runtime_filter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void WriteErrorStream(const char* bytes, size_t length) {
  HANDLE error_stream = GetStdHandle(STD_ERROR_HANDLE);
  while (length > 0) {
    DWORD written = 0;
    if (!WriteFile(error_stream, bytes, static_cast<DWORD>(length), &written, nullptr) ||
        written == 0)
      break;
    bytes += written;
    length -= written;
  }
}

void EndProcessNow(int status) {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
  for (;;) Sleep(INFINITE);
}

void InstallSignalHandlers() {
  PrepareSignalReports();
  // Room left on an exhausted stack for writing the report.
  ULONG stack_guarantee = kStackForTheReport;
  SetThreadStackGuarantee(&stack_guarantee);
  runtime_filter = SetUnhandledExceptionFilter(OnUnhandledException);
  SetConsoleCtrlHandler(OnControlEvent, TRUE);
  for (int signal_number : {SIGILL, SIGFPE, SIGSEGV, SIGABRT, SIGTERM}) {
    std::signal(signal_number, OnSignal);
  }
}
