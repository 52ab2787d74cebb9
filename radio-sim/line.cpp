// The virtual radio's pseudo-terminal, the timing of its bytes and its log.
#include "radio-sim/line.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "text/text.h"

int line_fd = -1;
int64_t byte_time_ns = 0;
int64_t batch_ns = 0;

namespace {

constexpr int64_t kSecond = 1000000000;
// A pseudo-terminal hands written bytes to the reader a little later, not at
// once; before that the reader's queue looks empty.
constexpr int64_t kHandOverTime = kSecond / 50;
// How long the bytes sent last may lie unread before the line is closed anyway.
constexpr int64_t kReadWait = 2 * kSecond;

struct TimedByte {
  int64_t due;
  char byte;
};

int own_slave_fd = -1;
std::deque<TimedByte> timetable;
int64_t last_due = 0;
int64_t last_write = 0;
bool blocked = false;
int log_fd = -1;

// The terminal speeds of the radios' rates, in bit/s.
const struct {
  long rate;
  speed_t constant;
} kSpeeds[] = {{300, B300},   {600, B600},     {1200, B1200},   {2400, B2400},   {4800, B4800},
               {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

speed_t SpeedConstant(long rate) {
  for (const auto& known : kSpeeds)
    if (known.rate == rate) return known.constant;
  return B0;
}

int64_t MonotonicNs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * kSecond + now.tv_nsec;
}

int64_t DeliveryTime(int64_t due) {
  if (batch_ns <= 0) return due;
  return (due + batch_ns - 1) / batch_ns * batch_ns;
}

int SlaveUnread() {
  int count = 0;
  if (own_slave_fd < 0 || ioctl(own_slave_fd, FIONREAD, &count) != 0) return 0;
  return count;
}

}  // namespace

int64_t NowNs() {
  static const int64_t start = MonotonicNs();
  return MonotonicNs() - start;
}

std::string LineOpen(long rate) {
  line_fd = posix_openpt(O_RDWR | O_NOCTTY);
  if (line_fd < 0) return "";
  fcntl(line_fd, F_SETFD, FD_CLOEXEC);
  const char* name = nullptr;
  if (grantpt(line_fd) != 0 || unlockpt(line_fd) != 0 || !(name = ptsname(line_fd))) {
    LineClose();
    return "";
  }
  std::string path = name;
  // Our own slave side stays open for the whole run: without it the master
  // reads EIO whenever no program has the port open, between two runs.
  // O_NOCTTY, or a process without a terminal would adopt it as its own.
  own_slave_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  struct termios mode;
  if (own_slave_fd < 0 || tcgetattr(own_slave_fd, &mode) != 0) {
    LineClose();
    return "";
  }
  // A fresh slave is canonical with echo on; the radio's line is raw. A
  // pseudo-terminal does not pace, the timetable does; its speed is what the
  // program sets and the radio compares with its own.
  speed_t speed = SpeedConstant(rate) == B0 ? B1200 : SpeedConstant(rate);
  cfmakeraw(&mode);
  cfsetispeed(&mode, speed);
  cfsetospeed(&mode, speed);
  if (tcsetattr(own_slave_fd, TCSANOW, &mode) != 0) {
    LineClose();
    return "";
  }
  fcntl(line_fd, F_SETFL, fcntl(line_fd, F_GETFL) | O_NONBLOCK);
  return path;
}

bool LineAtSpeed(long rate) {
  struct termios mode;
  if (rate == 0 || own_slave_fd < 0 || tcgetattr(own_slave_fd, &mode) != 0) return true;
  return cfgetospeed(&mode) == SpeedConstant(rate);
}

int64_t LineByteTimeNs() {
  struct termios mode;
  if (own_slave_fd < 0 || tcgetattr(own_slave_fd, &mode) != 0) return 0;
  for (const auto& known : kSpeeds)
    if (known.constant == cfgetospeed(&mode)) return 10 * kSecond / known.rate;
  return 0;
}

void LineClose() {
  if (line_fd >= 0) close(line_fd);
  if (own_slave_fd >= 0) close(own_slave_fd);
  line_fd = own_slave_fd = -1;
}

std::string LineRead() {
  char buffer[4096];
  for (;;) {
    ssize_t n = read(line_fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    return n > 0 ? std::string(buffer, n) : std::string();
  }
}

void LineSchedule(const std::string& bytes, int64_t earliest, int64_t gap, int64_t byte_ns) {
  int64_t due = std::max(earliest, last_due) + gap;
  for (char byte : bytes) {
    due += byte_ns < 0 ? byte_time_ns : byte_ns;
    timetable.push_back({due, byte});
  }
  last_due = due;
}

bool LineDeliver(int64_t now) {
  std::string due_bytes;
  for (const TimedByte& entry : timetable) {
    if (DeliveryTime(entry.due) > now) break;
    due_bytes += entry.byte;
  }
  if (due_bytes.empty()) return true;
  ssize_t n;
  do {
    n = write(line_fd, due_bytes.data(), due_bytes.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0 && errno != EAGAIN) return false;
  size_t written = n < 0 ? 0 : static_cast<size_t>(n);
  timetable.erase(timetable.begin(), timetable.begin() + written);
  if (written > 0) last_write = now;
  // Bytes it did not take wait for room; the timetable behind them waits too.
  blocked = written < due_bytes.size();
  return true;
}

int64_t LineNextWake() {
  if (timetable.empty()) return -1;
  return DeliveryTime(timetable.front().due);
}

bool LineBlocked() {
  return blocked;
}

bool LineDrained(int64_t now) {
  if (!timetable.empty()) return false;
  // Closing the master throws away what the program has not read yet.
  if (now - last_write >= kReadWait) return true;
  return now - last_write >= kHandOverTime && SlaveUnread() == 0;
}

bool LogOpen(const std::string& path) {
  log_fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  return log_fd >= 0;
}

void LogBytes(const char* kind, const std::string& bytes, int64_t when) {
  if (log_fd < 0) return;
  char head[64];
  std::snprintf(head, sizeof head, "%lld.%06lld %s", static_cast<long long>(when / kSecond),
                static_cast<long long>(when % kSecond / 1000), kind);
  std::string line = head;
  for (char byte : bytes) line += " " + Hex2(static_cast<unsigned char>(byte));
  line += '\n';
  // One write per line, so that a reader never sees half of one.
  if (write(log_fd, line.data(), line.size()) < 0) {
    // A log that cannot be written is no reason to stop the radio.
  }
}
