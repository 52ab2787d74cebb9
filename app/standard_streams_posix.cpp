// Descriptors 0, 1 and 2 on POSIX systems. Started with one of them closed
// (">&-", some service managers), the next open would take its number: the
// serial port as descriptor 1 would get the menu and the progress line. Each
// closed one is opened on the null device before anything else is opened.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "app/process.h"

bool stream_was_closed[3] = {false, false, false};

void TakeStandardStreams() {
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    stream_was_closed[fd] = true;
    // The lowest free number: this one, as the lower ones are taken.
    int null_device = open("/dev/null", O_RDWR);
    if (null_device >= 0 && null_device != fd) {
      dup2(null_device, fd);
      close(null_device);
    }
  }
}
