// quenmar-radio-sim: a Quenmar transceiver on a pseudo-terminal, so that
// quenmar-setup can be shown and tested without the radio. This file starts
// the radio, serves the line until a stop and ends it.
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "link/civ_frame.h"
#include "radio-sim/exchange.h"
#include "radio-sim/line.h"
#include "radio-sim/options.h"
#include "radio-sim/radio.h"

namespace {

volatile sig_atomic_t stop_requested = 0;
sigset_t serving_mask;  // the signal mask while waiting: SIGINT and SIGTERM let through

// How often a vanishing radio looks whether the program has read its last bytes.
constexpr int64_t kDrainCheck = 10000000;

void OnStopSignal(int) {
  stop_requested = 1;
}

// SIGINT and SIGTERM are let through only while the loop waits, so that a
// stop request can never fall between a test of the flag and the wait.
void CatchStopSignals() {
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop_signals, &serving_mask);
  sigdelset(&serving_mask, SIGINT);
  sigdelset(&serving_mask, SIGTERM);
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// The wait of one turn of the serving loop: for the next byte due, for room
// on a full line, or, while vanishing, for the next look at the drain.
int WaitForLine(struct pollfd& port, int64_t now) {
  port = {line_fd, static_cast<short>(vanishing ? 0 : POLLIN), 0};
  int64_t wake = LineNextWake();
  int64_t held = ExchangeNextWake();
  if (held >= 0 && (wake < 0 || held < wake)) wake = held;
  if (LineBlocked()) {
    port.events |= POLLOUT;
    wake = -1;
  }
  if (vanishing) wake = wake < 0 ? now + kDrainCheck : std::min(wake, now + kDrainCheck);
  struct timespec pause;
  struct timespec* timeout = nullptr;
  if (wake >= 0) {
    int64_t wait = std::max<int64_t>(0, wake - now);
    pause.tv_sec = wait / 1000000000;
    pause.tv_nsec = wait % 1000000000;
    timeout = &pause;
  }
  return ppoll(&port, 1, timeout, &serving_mask);
}

// The serving loop; returns the exit status.
int Serve() {
  while (!stop_requested) {
    int64_t now = NowNs();
    ExchangeDue(now);
    if (!LineDeliver(now)) {
      std::perror("quenmar-radio-sim: writing to the terminal");
      return 1;
    }
    if (vanishing && LineDrained(now) && ExchangeNextWake() < 0) return 0;
    struct pollfd port;
    int ready = WaitForLine(port, now);
    if (ready < 0 && errno != EINTR) {
      std::perror("quenmar-radio-sim: poll");
      return 1;
    }
    if (ready <= 0) continue;
    // Our own slave side keeps the master from a hang-up; one now is an error.
    if (port.revents & (POLLERR | POLLNVAL | POLLHUP)) {
      std::fputs("quenmar-radio-sim: the terminal failed\n", stderr);
      return 1;
    }
    if (port.revents & POLLIN) TakeInput();
  }
  return 0;
}

// The radio before the line opens: its timing, its channels (the memory
// file's, the demo's, then --channel's) and its log; 0 or the exit status.
int SetUpRadio() {
  if (options.rate > 0) byte_time_ns = 10000000000LL / options.rate;
  UseRadioAddress(static_cast<char>(options.address));
  batch_ns = options.batch_ms * 1000000LL;
  ExchangeBegin();
  struct stat seen;
  if (!options.memory.empty() && stat(options.memory.c_str(), &seen) == 0) {
    if (!LoadChannels(options.memory)) {
      std::fprintf(stderr, "quenmar-radio-sim: cannot read %s\n", options.memory.c_str());
      return 1;
    }
  } else if (options.demo) {
    FillDemoChannels();
  }
  for (const std::string& text : options.channels) {
    if (!FillChannel(text)) {
      std::fprintf(stderr, "quenmar-radio-sim: bad --channel %s (see --help)\n", text.c_str());
      return 2;
    }
  }
  if (!options.log.empty() && !LogOpen(options.log)) {
    std::fprintf(stderr, "quenmar-radio-sim: cannot open the log %s: %s\n", options.log.c_str(),
                 std::strerror(errno));
    return 1;
  }
  return 0;
}

void RemoveLink(const std::string& target) {
  if (options.link.empty()) return;
  char pointed[PATH_MAX];
  ssize_t n = readlink(options.link.c_str(), pointed, sizeof pointed - 1);
  // Only our own link: another radio may have taken the name since.
  if (n >= 0 && std::string(pointed, n) == target) unlink(options.link.c_str());
}

bool MakeLink(const std::string& target) {
  if (options.link.empty()) return true;
  struct stat seen;
  if (lstat(options.link.c_str(), &seen) == 0 && S_ISLNK(seen.st_mode))
    unlink(options.link.c_str());  // left behind by a radio that was killed
  return symlink(target.c_str(), options.link.c_str()) == 0;
}

// Opens the line, makes the link and prints the terminal's path; the path,
// or "" once the failure has been reported.
std::string OpenLine() {
  std::string slave = LineOpen(options.rate);
  if (slave.empty()) {
    std::perror("quenmar-radio-sim: cannot make a pseudo-terminal");
    return "";
  }
  if (!MakeLink(slave)) {
    std::fprintf(stderr, "quenmar-radio-sim: cannot make the link %s: %s\n", options.link.c_str(),
                 std::strerror(errno));
    LineClose();
    return "";
  }
  std::printf("%s\n", slave.c_str());
  std::fflush(stdout);
  return slave;
}

}  // namespace

int main(int argc, char** argv) {
  int parsed = ParseOptions(argc, argv);
  if (parsed != 0) return parsed < 0 ? 0 : parsed;
  NowNs();  // the log's times count from here
  CatchStopSignals();
  if (int status = SetUpRadio(); status != 0) return status;
  std::string slave = OpenLine();
  if (slave.empty()) return 1;

  int status = Serve();
  ExchangeEnd();
  LineClose();
  RemoveLink(slave);
  if (!options.memory.empty() && !SaveChannels(options.memory)) {
    std::fprintf(stderr, "quenmar-radio-sim: cannot save the channels into %s\n",
                 options.memory.c_str());
    if (status == 0) status = 1;
  }
  return status;
}
