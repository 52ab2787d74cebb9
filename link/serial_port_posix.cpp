// The serial port on Linux: termios in raw mode, flock against a second user,
// modem lines through their ioctls, poll(2) for every wait.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace {

constexpr double kReadWait = 0.1;  // the longest a read waits for a byte not yet there

int port_fd = -1;
// Whether the open port has hung up; written by the reads, waits and writes.
bool hung_up = false;
bool exclusive_set = false;

// What the port had before the program changed it, put back at every ending
// (PutBackDriverSettings). The flags are set only once the saved state is
// complete, so a signal at any moment finds either nothing or a whole state.
struct termios line_mode_before;
volatile sig_atomic_t line_mode_saved = 0;
volatile sig_atomic_t low_latency_set = 0;  // the program switched it on

int Milliseconds(double seconds) {
  if (seconds <= 0) return 0;
  return static_cast<int>(std::ceil(seconds * 1000.0));
}

speed_t SpeedConstant(uint32_t speed) {
  switch (speed) {
    case 50:
      return B50;
    case 75:
      return B75;
    case 110:
      return B110;
    case 134:
      return B134;
    case 150:
      return B150;
    case 200:
      return B200;
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 1800:
      return B1800;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 500000:
      return B500000;
    case 576000:
      return B576000;
    case 921600:
      return B921600;
    case 1000000:
      return B1000000;
  }
  return B0;
}

// The line state of the settings. Linux has no driver queue sizes to set and
// no 1.5 stop bits: asking for 2 stop bits with 5 data bits gives 1.5 on the
// usual UARTs, and that is what 1.5 asks for.
int ApplyLineState(const LineSettings& s) {
  struct termios mode;
  if (tcgetattr(port_fd, &mode) != 0) return 8;
  speed_t speed = SpeedConstant(s.speed);
  if (speed == B0) return 1;
  line_mode_before = mode;
  line_mode_saved = 1;
  cfmakeraw(&mode);
  mode.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR);
  if (s.check_parity) mode.c_iflag |= INPCK;
  mode.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  switch (s.data_bits) {
    case 5:
      mode.c_cflag |= CS5;
      break;
    case 6:
      mode.c_cflag |= CS6;
      break;
    case 7:
      mode.c_cflag |= CS7;
      break;
    case 8:
      mode.c_cflag |= CS8;
      break;
    default:
      return 1;
  }
  switch (s.parity) {
    case Parity::None:
      break;
    case Parity::Even:
      mode.c_cflag |= PARENB;
      break;
    case Parity::Odd:
      mode.c_cflag |= PARENB | PARODD;
      break;
    case Parity::Space:
      mode.c_cflag |= PARENB | CMSPAR;
      break;
    case Parity::Mark:
      mode.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
  }
  if (s.stop_bits != StopBits::One) mode.c_cflag |= CSTOPB;
  // Output held back by CTS, or RTS used for input flow control: both are
  // CRTSCTS here. The program's own settings ask for neither.
  if (s.cts_time > 0 || !s.suppress_rts) mode.c_cflag |= CRTSCTS;
  // CLOCAL: no wait for carrier at open or read; the CD and DSR waits of the
  // settings are made by the program itself. HUPCL stays as the port had it:
  // it acts only at the close, when the port's own mode is back, so whether
  // DTR drops then is the port owner's setting, the same for every program.
  mode.c_cflag |= CLOCAL | CREAD;
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  cfsetispeed(&mode, speed);
  cfsetospeed(&mode, speed);
  if (tcsetattr(port_fd, TCSANOW, &mode) != 0) return 1;
  // tcsetattr reports success when any one change applied: read it back.
  struct termios applied;
  if (tcgetattr(port_fd, &applied) != 0) return 8;
  const tcflag_t checked = CSIZE | PARENB | PARODD | CSTOPB;
  if (cfgetospeed(&applied) != speed || (applied.c_cflag & checked) != (mode.c_cflag & checked))
    return 1;
  // Linux raises RTS during open: put it down, DTR up. A pseudo-terminal has
  // no modem lines and refuses these; that is not a failure.
  int rts = TIOCM_RTS, dtr = TIOCM_DTR;
  ioctl(port_fd, s.suppress_rts ? TIOCMBIC : TIOCMBIS, &rts);
  ioctl(port_fd, TIOCMBIS, &dtr);
  // USB adapters hold received bytes for a latency period; ask for them at
  // once where the driver can (ignored where it can't).
  struct serial_struct serial;
  if (ioctl(port_fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
    serial.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(port_fd, TIOCSSERIAL, &serial) == 0) low_latency_set = 1;
  }
  return 0;
}

// Gives the driver back what the program changed: the low-latency flag and
// the line mode (speed, framing, flow control, HUPCL). The modem lines are
// left as the run switched them. Only system calls, for the signal handler.
void PutBackDriverSettings() {
  if (low_latency_set) {
    low_latency_set = 0;
    struct serial_struct serial;
    if (ioctl(port_fd, TIOCGSERIAL, &serial) == 0) {
      serial.flags &= ~ASYNC_LOW_LATENCY;
      ioctl(port_fd, TIOCSSERIAL, &serial);
    }
  }
  if (line_mode_saved) {
    line_mode_saved = 0;
    tcsetattr(port_fd, TCSANOW, &line_mode_before);
  }
  if (exclusive_set) ioctl(port_fd, TIOCNXCL);
}

void DescribeOpenFailure(const std::string& path, unsigned port, int error) {
  std::string env = "QUENMAR_COM" + std::to_string(port);
  port_problem = "cannot open COM" + std::to_string(port) + " (" + path + "): ";
  if (error == EWOULDBLOCK || error == EBUSY) {
    port_problem += "the port is in use by another program";
  } else {
    port_problem += std::strerror(error);
    if (error == EACCES || error == EPERM)
      port_problem +=
          "; add your user to the device's group (dialout on most systems) and log in again";
    else if (error == ENOENT || error == ENODEV || error == ENXIO)
      port_problem +=
          port_device.empty()
              ? "; name your adapter's device with --port /dev/ttyUSB0 or " + env + "=/dev/ttyUSB0"
              : "; ls /dev/serial/by-id/ lists the adapters plugged in";
  }
}

}  // namespace

std::string DevicePath(unsigned port) {
  if (!port_device.empty()) return port_device;
  std::string variable = "QUENMAR_COM" + std::to_string(port);
  // Set but empty is "" (an error for the caller), never the default.
  const char* named = std::getenv(variable.c_str());
  if (named) return named;
  return "/dev/ttyS" + std::to_string(port - 1);
}

std::string DeviceKey(const std::string& path) {
  std::error_code error;
  std::filesystem::path real = std::filesystem::canonical(path, error);
  return error ? path : real.string();
}

namespace {

// The first line of a small sysfs file, "" when there is none.
std::string SysfsLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// What sysfs says of a tty that has a device behind it: its driver, and for
// a USB one the vendor and product numbers and the product's name.
std::vector<std::string> DeviceDetails(const std::filesystem::path& tty) {
  namespace fs = std::filesystem;
  std::vector<std::string> about;
  std::error_code error;
  // Since Linux 6.5 the serial core puts its own port and controller devices
  // (bus serial-base) between a UART's tty and the driver that named it.
  fs::path device = fs::canonical(tty / "device", error);
  for (; !error && device.has_relative_path(); device = device.parent_path()) {
    fs::path driver = fs::canonical(device / "driver", error);
    if (error) break;
    if (driver.parent_path().parent_path().filename() == "serial-base") continue;
    about.push_back("driver " + driver.filename().string());
    break;
  }
  error.clear();
  // The USB device is a folder above the tty's own, the one with idVendor.
  fs::path up = fs::canonical(tty / "device", error);
  for (; !error && up.has_relative_path(); up = up.parent_path()) {
    std::string vendor = SysfsLine(up / "idVendor");
    if (vendor.empty()) continue;
    std::string product = SysfsLine(up / "product");
    about.push_back("USB " + vendor + ":" + SysfsLine(up / "idProduct") +
                    (product.empty() ? "" : " " + product));
    break;
  }
  return about;
}

}  // namespace

std::vector<SerialDevice> SerialDevices() {
  namespace fs = std::filesystem;
  std::vector<SerialDevice> devices;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/sys/class/tty", error)) {
    // Virtual consoles and pseudo-terminals have no device behind them.
    if (!fs::exists(entry.path() / "device", error)) continue;
    std::string name = entry.path().filename().string();
    // The 8250 driver makes a ttyS for every slot it has, UART or not; an
    // empty slot reports the port type 0.
    if (SysfsLine(entry.path() / "type") == "0") continue;
    devices.push_back({"/dev/" + name, DeviceDetails(entry.path())});
  }
  std::sort(devices.begin(), devices.end(),
            [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
  // The names udev gives USB adapters, which stay the same across replugging.
  for (const fs::directory_entry& link : fs::directory_iterator("/dev/serial/by-id", error)) {
    std::string key = DeviceKey(link.path().string());
    for (SerialDevice& device : devices) {
      if (DeviceKey(device.path) == key) device.about.push_back(link.path().string());
    }
  }
  // Devices named by QUENMAR_COMn, which may be anything the system does not
  // list as a serial port (an adapter's other name, a pseudo-terminal).
  for (char** variable = environ; *variable; variable++) {
    std::string text = *variable;
    size_t equals = text.find('=');
    if (text.compare(0, 11, "QUENMAR_COM") != 0 || equals == 11 || equals + 1 >= text.size() ||
        text.find_first_not_of("0123456789", 11) != equals)
      continue;
    std::string path = text.substr(equals + 1);
    std::string note = "named by " + text.substr(0, equals);
    auto same = std::find_if(devices.begin(), devices.end(), [&](const SerialDevice& device) {
      return DeviceKey(device.path) == DeviceKey(path);
    });
    if (same == devices.end()) {
      devices.push_back({path, {note}});
    } else {
      same->about.push_back(note);
    }
  }
  return devices;
}

const char* PortEnvironmentHelp() {
  return "  QUENMAR_COMn    the device of port n, for example QUENMAR_COM1=/dev/ttyUSB0;\n"
         "                  set but empty, it is an error\n";
}

const char* ExamplesHelp() {
  return "Examples:\n"
         "  quenmar-setup --list-ports\n"
         "  quenmar-setup --port /dev/ttyUSB0 --probe\n"
         "  quenmar-setup --port /dev/ttyUSB0 --save backup.txt\n"
         "  quenmar-setup --to-csv memories.txt memories.csv\n"
         "  quenmar-setup --from-csv club-list.csv memories.txt\n"
         "To set the clock every night at 03:00 (crontab -e):\n"
         "  0 3 * * * quenmar-setup --port /dev/ttyUSB0 --clock\n";
}

const char* PortNamesHelp() {
  return "Port n is the device named by --port when it is given, else the one named\n"
         "by the environment variable QUENMAR_COMn when it is set, for example\n"
         "QUENMAR_COM1=/dev/ttyUSB0, and /dev/ttyS(n-1) otherwise (COM1 is /dev/ttyS0).\n"
         "Your user needs access to the device: join the group that owns it (dialout\n"
         "on most systems, uucp on Arch Linux; ls -l DEVICE shows it).\n";
}

bool PortIsOpen() {
  return port_fd >= 0;
}

int DeviceOpen(const std::string& path, unsigned port) {
  port_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  hung_up = false;
  if (port_fd < 0) {
    DescribeOpenFailure(path, port, errno);
    return 2;
  }
  // One program at a time: flock for everyone, TIOCEXCL too (root ignores it).
  if (flock(port_fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    close(port_fd);
    port_fd = -1;
    DescribeOpenFailure(path, port, error == EWOULDBLOCK ? EBUSY : error);
    return 2;
  }
  exclusive_set = ioctl(port_fd, TIOCEXCL) == 0;
  return 0;
}

int DeviceConfigure(const LineSettings& settings) {
  return ApplyLineState(settings);
}

bool ModemLineOn(ModemLine line, bool& on) {
  int status = 0;
  if (ioctl(port_fd, TIOCMGET, &status) != 0) return false;
  on = (status & (line == ModemLine::Carrier ? TIOCM_CD : TIOCM_DSR)) != 0;
  return true;
}

void PauseMilliseconds(int ms) {
  struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&pause, nullptr);
}

unsigned PortPending() {
  int count = 0;
  if (port_fd < 0 || ioctl(port_fd, FIONREAD, &count) != 0 || count < 0) return 0;
  return static_cast<unsigned>(count);
}

bool PortWaitInput(double seconds) {
  if (port_fd < 0) return false;
  int ms = Milliseconds(seconds);
  struct pollfd in = {port_fd, POLLIN, 0};
  int ready = poll(&in, 1, ms);
  if (ready > 0 && (in.revents & (POLLHUP | POLLERR | POLLNVAL)) && PortPending() == 0) {
    // The far end has gone: nothing will come, and the caller is told at once.
    hung_up = true;
    return false;
  }
  if (ready > 0 && PortPending() == 0) {
    // Ready with nothing to read: the far end has hung up, and poll would
    // answer at once forever. Sit out the wait instead.
    poll(nullptr, 0, ms);
    return false;
  }
  return ready > 0;
}

std::string PortRead(unsigned count) {
  std::string bytes;
  if (port_fd < 0 || !ModemWaits()) return bytes;
  double deadline = SecondsNow() + kReadWait;
  while (bytes.size() < count) {
    char buffer[256];
    size_t want = std::min<size_t>(sizeof buffer, count - bytes.size());
    ssize_t n = read(port_fd, buffer, want);
    if (n > 0) {
      bytes.append(buffer, n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // With VMIN and VTIME 0 a terminal answers 0, not EAGAIN, when nothing
    // has come: wait for the byte. Any other failure is a hang-up or worse.
    if (n < 0 && errno != EAGAIN) {
      hung_up = true;
      break;
    }
    double left = deadline - SecondsNow();
    if (left <= 0) break;
    struct pollfd in = {port_fd, POLLIN, 0};
    if (poll(&in, 1, Milliseconds(left)) <= 0) break;
    if (in.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      hung_up = true;
      break;
    }
  }
  return bytes;
}

void PortWrite(const std::string& bytes, double seconds) {
  if (port_fd < 0 || !ModemWaits()) return;
  // One write; a driver that takes only part of it gets the rest as room
  // comes free, until the caller's time is up.
  double deadline = SecondsNow() + seconds;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(port_fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      if (errno == EIO || errno == ENXIO || errno == ENODEV) hung_up = true;
      return;
    }
    double left = deadline - SecondsNow();
    if (left <= 0) return;
    struct pollfd out = {port_fd, POLLOUT, 0};
    if (poll(&out, 1, Milliseconds(left)) <= 0) return;
  }
}

bool PortHungUp() {
  return hung_up;
}

void PortClose() {
  if (port_fd < 0) return;
  PutBackDriverSettings();
  close(port_fd);
  port_fd = -1;
  exclusive_set = false;
}

void PortAbandon() {
  if (port_fd < 0) return;
  PutBackDriverSettings();
  close(port_fd);
}

double SecondsNow() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}
