// The serial port's steps on Linux: termios in raw mode, flock against a
// second user, modem lines through their ioctls, poll(2) for every wait.
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
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/port_steps.h"
#include "link/serial_port.h"

namespace {

int port_fd = -1;
bool exclusive_set = false;

// What the port had before the program changed it, put back at every ending
// (PutBackDriverSettings). The flags are set only once the saved state is
// complete, so a signal at any moment finds either nothing or a whole state.
struct termios line_mode_before;
volatile sig_atomic_t line_mode_saved = 0;
volatile sig_atomic_t low_latency_set = 0;  // the program switched it on

// What a failed open or lock means, by its errno.
int OpenFailure(int error) {
  if (error == ENOENT || error == ENODEV || error == ENXIO) return kNoDevice;
  if (error == EBUSY || error == EWOULDBLOCK) return kDeviceBusy;
  if (error == EACCES || error == EPERM) return kAccessDenied;
  return kPortFailed;
}

int Milliseconds(double seconds) {
  if (seconds <= 0) return 0;
  return static_cast<int>(std::ceil(seconds * 1000.0));
}

// The speeds the kernel has a constant for, in bit/s.
const struct {
  uint32_t bits;
  speed_t constant;
} kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

speed_t SpeedConstant(uint32_t speed) {
  for (const auto& known : kSpeeds)
    if (known.bits == speed) return known.constant;
  return B0;
}

// The framing bits of the settings in c_cflag: false for data bits this
// system has no size for.
bool SetFraming(const LineSettings& s, tcflag_t& flags) {
  flags &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  switch (s.data_bits) {
    case 5:
      flags |= CS5;
      break;
    case 6:
      flags |= CS6;
      break;
    case 7:
      flags |= CS7;
      break;
    case 8:
      flags |= CS8;
      break;
    default:
      return false;
  }
  if (s.parity != Parity::None) flags |= PARENB;
  if (s.parity == Parity::Odd || s.parity == Parity::Mark) flags |= PARODD;
  if (s.parity == Parity::Space || s.parity == Parity::Mark) flags |= CMSPAR;
  // No 1.5 stop bits here: asking for 2 stop bits with 5 data bits gives 1.5
  // on the usual UARTs, and that is what 1.5 asks for.
  if (s.stop_bits != StopBits::One) flags |= CSTOPB;
  return true;
}

// The raw mode of the request at that speed. Linux has no text mode for a
// serial line and no gate on DSR: the line is always raw, and the DSR time
// acts only through the program's own waits.
bool RawMode(const LineRequest& request, speed_t speed, struct termios& mode) {
  cfmakeraw(&mode);
  mode.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR);
  if (request.settings.check_parity) mode.c_iflag |= INPCK;
  if (!SetFraming(request.settings, mode.c_cflag)) return false;
  // Output held back by CTS and RTS used for input flow control are both
  // CRTSCTS here.
  mode.c_cflag &= ~CRTSCTS;
  if (request.cts_flow || request.rts_flow) mode.c_cflag |= CRTSCTS;
  // CLOCAL: no wait for carrier at open or read; the CD and DSR waits of the
  // settings are made by the program itself. HUPCL stays as the port had it:
  // it acts only at the close, when the port's own mode is back, so whether
  // DTR drops then is the port owner's setting, the same for every program.
  mode.c_cflag |= CLOCAL | CREAD;
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  cfsetispeed(&mode, speed);
  cfsetospeed(&mode, speed);
  return true;
}

// Applies the mode and reads it back: tcsetattr reports success when any
// one change applied.
int ApplyMode(const struct termios& mode) {
  if (tcsetattr(port_fd, TCSANOW, &mode) != 0) return Failed(kSettingsRefused, errno);
  struct termios applied;
  if (tcgetattr(port_fd, &applied) != 0) return Failed(kNotSerialPort, errno);
  const tcflag_t checked = CSIZE | PARENB | PARODD | CSTOPB;
  if (cfgetospeed(&applied) != cfgetospeed(&mode) ||
      (applied.c_cflag & checked) != (mode.c_cflag & checked))
    return Failed(kSettingsRefused, EINVAL);
  return 0;
}

// Linux raises RTS during open: RTS down unless it does flow control, DTR
// up. A pseudo-terminal has no modem lines and refuses these; that is not a
// failure.
void SwitchModemLines(bool rts_flow) {
  int rts = TIOCM_RTS, dtr = TIOCM_DTR;
  ioctl(port_fd, rts_flow ? TIOCMBIS : TIOCMBIC, &rts);
  ioctl(port_fd, TIOCMBIS, &dtr);
}

// USB adapters hold received bytes for a latency period; ask for them at
// once where the driver can (ignored where it can't).
void AskLowLatency() {
  struct serial_struct serial;
  if (ioctl(port_fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
    serial.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(port_fd, TIOCSSERIAL, &serial) == 0) low_latency_set = 1;
  }
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

}  // namespace

// A port number has no name of the system's own here: by default it is the
// kernel's numbered serial port, ttyS0 for COM1.
const PortWords port_words = {
    false,
    "/dev/ttyUSB0",
    "/dev/ttyS(n-1)",
    "ls /dev/serial/by-id/ lists the adapters plugged in",
    "add your user to the device's group (dialout on most systems) and log in again",
    "Your user needs access to the device: join the group that owns it (dialout\n"
    "on most systems, uucp on Arch Linux; ls -l DEVICE shows it).\n",
    "",
    "crontab -e",
    "0 3 * * * quenmar-setup --port /dev/ttyUSB0 --clock",
};

std::string DefaultDevice(unsigned port) {
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
  return devices;
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry; entry++) entries.push_back(*entry);
  return entries;
}

bool PortIsOpen() {
  return port_fd >= 0;
}

int DeviceOpen(const std::string& path) {
  port_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  port_hung_up = false;
  if (port_fd < 0) {
    int error = errno;
    return Failed(OpenFailure(error), error);
  }
  // One program at a time: flock for everyone, TIOCEXCL too (root ignores it).
  if (flock(port_fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    close(port_fd);
    port_fd = -1;
    return Failed(OpenFailure(error), error);
  }
  exclusive_set = ioctl(port_fd, TIOCEXCL) == 0;
  return 0;
}

int DeviceConfigure(const LineRequest& request) {
  struct termios mode;
  if (tcgetattr(port_fd, &mode) != 0) return Failed(kNotSerialPort, errno);
  speed_t speed = SpeedConstant(request.settings.speed);
  if (speed == B0) return Failed(kSettingsRefused, EINVAL);
  // The port's own mode, from before this run changed it: kept at the
  // first configuring only, when a later one changes the speed.
  if (!line_mode_saved) {
    line_mode_before = mode;
    line_mode_saved = 1;
  }
  if (!RawMode(request, speed, mode)) return Failed(kSettingsRefused, EINVAL);
  int applied = ApplyMode(mode);
  if (applied != 0) return applied;
  SwitchModemLines(request.rts_flow);
  AskLowLatency();
  return 0;
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
    port_hung_up = true;
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

int DeviceRead(unsigned count, std::string& bytes) {
  size_t wanted = bytes.size() + count;
  double deadline = SecondsNow() + kReadWaitMs / 1000.0;
  while (bytes.size() < wanted) {
    char buffer[256];
    ssize_t n = read(port_fd, buffer, std::min<size_t>(sizeof buffer, wanted - bytes.size()));
    if (n > 0) {
      bytes.append(buffer, n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // With VMIN and VTIME 0 a terminal answers 0, not EAGAIN, when nothing
    // has come: wait for the byte. Any other failure is a hang-up or worse.
    if (n < 0 && errno != EAGAIN) return HungUp(errno);
    double left = deadline - SecondsNow();
    if (left <= 0) return 0;
    struct pollfd in = {port_fd, POLLIN, 0};
    if (poll(&in, 1, Milliseconds(left)) <= 0) return 0;
    if (in.revents & (POLLHUP | POLLERR | POLLNVAL)) return HungUp(EIO);
  }
  return 0;
}

int DeviceWrite(const char* data, size_t size, double seconds, size_t& written) {
  written = 0;
  ssize_t n = write(port_fd, data, size);
  if (n > 0) {
    written = n;
    return 0;
  }
  if (n < 0 && errno == EINTR) return 0;
  if (n < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV)) return HungUp(errno);
  if (n < 0 && errno != EAGAIN) return Failed(kPortFailed, errno);
  // No room: wait for some, as long as the caller's time lasts.
  struct pollfd out = {port_fd, POLLOUT, 0};
  int ready = seconds > 0 ? poll(&out, 1, Milliseconds(seconds)) : 0;
  if (ready < 0 && errno != EINTR) return Failed(kPortFailed, errno);
  if (ready == 0) return Failed(kTimedOut, ETIMEDOUT);
  return 0;
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
