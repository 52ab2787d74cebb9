// The terminal on POSIX systems: termios for raw keys, write(2) for output,
// poll(2) for the key waits, TIOCGWINSZ for the size, the locale's character
// type for the character set and wcwidth for the width of a character.
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cwchar>
#include <string>

#include "app/terminal.h"

bool output_is_terminal = false;
bool input_is_terminal = false;
bool utf8_text = false;
const char* const system_help_option = nullptr;

namespace {

struct termios saved_input_mode;
volatile sig_atomic_t input_mode_changed = 0;

// Whether the user's terminal speaks UTF-8, as the environment's character
// type says. Only LC_CTYPE is taken over, and only when it is UTF-8 (wcwidth
// needs it then); any other character set puts the C locale back, so that
// the rest of the program sees bytes exactly as before.
bool LocaleIsUtf8() {
  if (!std::setlocale(LC_CTYPE, "")) return false;
  std::string codeset;
  for (const char* c = nl_langinfo(CODESET); *c; c++) {
    if (*c != '-') codeset += static_cast<char>(*c | 0x20);  // "UTF-8", "utf8"
  }
  if (codeset == "utf8") return true;
  std::setlocale(LC_CTYPE, "C");
  return false;
}

}  // namespace

void TerminalOpen(int& rows, int& columns) {
  output_is_terminal = isatty(STDOUT_FILENO);
  input_is_terminal = isatty(STDIN_FILENO);
  rows = 25;
  columns = 80;
  struct winsize size {};
  int measured = output_is_terminal ? STDOUT_FILENO : STDIN_FILENO;
  // A fresh pseudo-terminal reports 0 by 0: keep 80 by 25 then.
  if (ioctl(measured, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
    rows = size.ws_row;
    columns = size.ws_col;
  }
  utf8_text = LocaleIsUtf8();
  if (!input_is_terminal || tcgetattr(STDIN_FILENO, &saved_input_mode) != 0) return;
  struct termios raw = saved_input_mode;
  // Keys one by one without echo. ISIG stays so that Ctrl-C is the interrupt
  // request; quit and suspend are switched off so that Ctrl-\ and Ctrl-Z can't
  // stop the program with the terminal left raw, and IXON goes so that Ctrl-S
  // can't freeze the screen in the middle of a save.
  raw.c_lflag &= ~(ICANON | ECHO | IEXTEN);
  raw.c_lflag |= ISIG;
  raw.c_iflag &= ~(IXON | ICRNL | INLCR | IGNCR | ISTRIP);
  raw.c_cc[VQUIT] = _POSIX_VDISABLE;
  raw.c_cc[VSUSP] = _POSIX_VDISABLE;
#ifdef VDSUSP
  raw.c_cc[VDSUSP] = _POSIX_VDISABLE;
#endif
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  input_mode_changed = 1;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
}

void TerminalRestore() {
  if (input_mode_changed) tcsetattr(STDIN_FILENO, TCSANOW, &saved_input_mode);
}

void TerminalWrite(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += n;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      struct pollfd out = {STDOUT_FILENO, POLLOUT, 0};
      if (poll(&out, 1, 1000) <= 0) return;
    } else {
      return;  // the screen is gone; nothing to tell anyone
    }
  }
}

std::string TerminalReadBytes() {
  std::string bytes;
  for (;;) {
    struct pollfd in = {STDIN_FILENO, POLLIN, 0};
    if (poll(&in, 1, 0) <= 0 || !(in.revents & POLLIN)) return bytes;
    char buffer[256];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) return bytes;
    bytes.append(buffer, n);
    if (static_cast<size_t>(n) < sizeof buffer) return bytes;
  }
}

bool TerminalWaitInput(int ms) {
  struct pollfd in = {STDIN_FILENO, POLLIN, 0};
  int ready = poll(&in, 1, ms);
  if (ready > 0 && (in.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(in.revents & POLLIN)) {
    // The terminal has gone away: nobody can answer any more. End the run as
    // a hang-up does rather than wait for keys that cannot come.
    kill(getpid(), SIGHUP);
  }
  return ready > 0 && (in.revents & POLLIN);
}

long TerminalReadStream(char* buffer, unsigned long size) {
  for (;;) {
    ssize_t n = read(STDIN_FILENO, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? 0 : static_cast<long>(n);
  }
}

void TerminalBeep() {
  if (output_is_terminal) TerminalWrite("\a");
}

int TerminalCharWidth(char32_t code) {
  // A character the tables don't know (-1) still takes a cell on the screen.
  int width = wcwidth(static_cast<wchar_t>(code));
  return width < 0 ? 1 : width;
}

bool ErrorIsTerminal() {
  return isatty(STDERR_FILENO);
}
