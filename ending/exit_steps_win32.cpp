// The last steps of a signal's ending on Windows: plain system calls, safe on
// a control event's thread and after a fault.
#include <windows.h>

#include <cstddef>

#include "ending/signal_reports.h"

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
