// The system's words for a Windows error code.
#include <windows.h>

#include <string>

#include "ending/system_error.h"

std::string SystemErrorText(unsigned long error) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, sizeof text, nullptr);
  // Its messages end in a full stop and CR LF; a complaint goes on after them.
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ' || text[length - 1] == '.'))
    length--;
  if (length == 0) return "Windows error " + std::to_string(error);
  return std::string(text, length);
}
