// The system's words for an errno.
#include <cstring>
#include <string>

#include "ending/system_error.h"

std::string SystemErrorText(unsigned long error) {
  return std::strerror(static_cast<int>(error));
}
