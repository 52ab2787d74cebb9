// The terminal on POSIX systems: termios for raw keys, write(2) for output,
// ppoll(2) for the key waits, TIOCGWINSZ and SIGWINCH for the size, SIGTSTP
// and SIGCONT for a stop and a continue, the locale's character type for the
// character set and wcwidth for the width of a character.
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "console/terminal.h"

bool output_is_terminal = false;
bool input_is_terminal = false;
bool utf8_text = false;
const char* const kSystemHelpOption = nullptr;
bool input_hung_up = false;

namespace {

struct termios saved_input_mode;
struct termios raw_input_mode;
volatile sig_atomic_t input_mode_changed = 0;
volatile sig_atomic_t size_reported = 0;  // written by the SIGWINCH handler
volatile sig_atomic_t continued = 0;      // written by the SIGCONT handler
sigset_t mask_while_waiting;              // the signal mask of the key waits

void OnResize(int) {
  size_reported = 1;
}

void OnContinue(int) {
  continued = 1;
}

// Stopped from outside (kill -TSTP; Ctrl-Z is no key here): the shell gets
// its terminal back as the program found it, then the stop happens as it
// would have without this handler. SIGCONT wakes the program and is taken
// up by TerminalContinued.
void OnStop(int) {
  int saved_errno = errno;
  TerminalRestore();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  struct sigaction own {};
  sigaction(SIGTSTP, &action, &own);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  raise(SIGTSTP);  // stopped here until continued
  // Raw keys again, also when the stop was discarded (a process group with
  // no shell to continue it is not stopped).
  if (input_mode_changed) tcsetattr(STDIN_FILENO, TCSANOW, &raw_input_mode);
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  sigaction(SIGTSTP, &own, nullptr);
  errno = saved_errno;
}

// A new size is reported by SIGWINCH, a continue after a stop by SIGCONT.
// Both stay blocked except while the program waits for keys, so that they
// wake that wait and never interrupt a wait for the radio's reply.
void ListenForResizes() {
  sigset_t reports;
  sigemptyset(&reports);
  sigaddset(&reports, SIGWINCH);
  sigaddset(&reports, SIGCONT);
  sigprocmask(SIG_BLOCK, &reports, &mask_while_waiting);
  sigdelset(&mask_while_waiting, SIGWINCH);
  sigdelset(&mask_while_waiting, SIGCONT);
  struct sigaction action {};
  action.sa_handler = OnResize;
  sigemptyset(&action.sa_mask);
  sigaction(SIGWINCH, &action, nullptr);
  action.sa_handler = OnContinue;
  sigaction(SIGCONT, &action, nullptr);
}

// A report that came while its signal was blocked is still pending: it is
// taken here, without its handler.
bool TakeReport(int signal_number, volatile sig_atomic_t& reported) {
  bool taken = reported;
  reported = 0;
  sigset_t pending;
  if (sigpending(&pending) == 0 && sigismember(&pending, signal_number)) {
    sigset_t report;
    sigemptyset(&report);
    sigaddset(&report, signal_number);
    struct timespec now {};
    if (sigtimedwait(&report, nullptr, &now) == signal_number) taken = true;
  }
  return taken;
}

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

void TerminalOpen() {
  bool plain = PlainTerminalType(std::getenv("TERM"));
  output_is_terminal = isatty(STDOUT_FILENO) && !plain;
  input_is_terminal = isatty(STDIN_FILENO) && !plain;
  sigprocmask(SIG_SETMASK, nullptr, &mask_while_waiting);
  if (output_is_terminal || input_is_terminal) ListenForResizes();
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
  raw_input_mode = raw;
  input_mode_changed = 1;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigfillset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTSTP, &action, nullptr);
}

void TerminalRestore() {
  if (input_mode_changed) tcsetattr(STDIN_FILENO, TCSANOW, &saved_input_mode);
}

bool TerminalSize(int& rows, int& columns) {
  struct winsize size {};
  int measured = output_is_terminal ? STDOUT_FILENO : STDIN_FILENO;
  // A fresh pseudo-terminal reports 0 by 0: unmeasured.
  if (ioctl(measured, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) return false;
  rows = size.ws_row;
  columns = size.ws_col;
  return true;
}

bool TerminalSizeChanged() {
  return TakeReport(SIGWINCH, size_reported);
}

// The shell may have put its own mode back while the program was stopped.
bool TerminalContinued() {
  if (!TakeReport(SIGCONT, continued)) return false;
  if (input_mode_changed) tcsetattr(STDIN_FILENO, TCSANOW, &raw_input_mode);
  return true;
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

// A terminal that has hung up says it has input and hang-up together, and
// a read then gives 0 or EIO at once, however often it is tried: that is
// the end of the keys, not a key.
std::string TerminalReadBytes() {
  std::string bytes;
  for (;;) {
    struct pollfd in = {STDIN_FILENO, POLLIN, 0};
    if (poll(&in, 1, 0) <= 0) return bytes;
    if (!(in.revents & POLLIN)) {
      if (in.revents & (POLLHUP | POLLERR | POLLNVAL)) input_hung_up = true;
      return bytes;
    }
    char buffer[256];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return bytes;
    if (n <= 0) {
      input_hung_up = true;
      return bytes;
    }
    bytes.append(buffer, n);
    if (static_cast<size_t>(n) < sizeof buffer) return bytes;
  }
}

bool TerminalWaitInput(int ms) {
  struct pollfd in = {STDIN_FILENO, POLLIN, 0};
  struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
  // SIGWINCH and SIGCONT may come only in here; each ends the wait early.
  int ready = ppoll(&in, 1, &wait, &mask_while_waiting);
  if (ready > 0 && (in.revents & (POLLHUP | POLLERR | POLLNVAL))) input_hung_up = true;
  return ready > 0;
}

long TerminalReadStream(char* buffer, unsigned long size) {
  for (;;) {
    ssize_t n = read(STDIN_FILENO, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? 0 : static_cast<long>(n);
  }
}

// The stop handler gives the terminal back and puts raw keys back after it.
void TerminalStop() {
  if (input_mode_changed) raise(SIGTSTP);
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
