// The parts of the port that are the same on every system: the sequence of an
// open, reading the device text, turning each step's outcome into words for
// the user, and the waits for the modem lines. Each system's file supplies
// the small steps (serial_port.h lists them).
#include "link/serial_port.h"

#include <string>
#include <vector>

std::string port_device;
std::string port_problem;
LineSettings port_settings_in_use;

namespace {

// The port numbers --list-ports looks at: far beyond any real machine's.
constexpr unsigned kListedPorts = 256;

// The device text read into port and settings: 0, or 1 or 2 with port_problem said.
int CheckDeviceText(const std::string& device_text, unsigned& port, LineSettings& settings) {
  int parsed = ParseDeviceText(device_text, port, settings);
  if (parsed == 2) {
    port_problem = "\"" + device_text.substr(0, device_text.find(':')) +
                   "\" names no serial port; give its number, for example C=1";
    return 2;
  }
  if (parsed != 0 || settings.ir_number != 0) {
    port_problem = "the line settings \"" + device_text.substr(device_text.find(':') + 1) +
                   "\" cannot be used";
    return 1;
  }
  return 0;
}

// The result of the configuring steps and the modem waits: 0, 1 or 8.
int OpenOutcome(int configured, bool modem_lines_on, const std::string& path) {
  if (configured == 8) port_problem = path + " is not a serial port";
  if (configured == 1) port_problem = path + " does not take the line settings";
  // The modem waits run even after a failed step; the first failure counts.
  if (!modem_lines_on && configured == 0) {
    port_problem = path + ": the radio interface does not answer (no DSR or carrier)";
    return 1;
  }
  return configured;
}

// Waits up to `limit` ms for a modem line to come on, reading its status every
// millisecond; true when it is on. A failed status read fails the wait.
bool WaitForModemLine(ModemLine line, uint32_t limit) {
  bool on = false;
  if (!ModemLineOn(line, on)) return false;
  double start = SecondsNow();
  for (;;) {
    if (SecondsNow() - start > limit / 1000.0) return on;
    if (on) return true;
    PauseMilliseconds(1);
    if (!ModemLineOn(line, on)) return false;
  }
}

}  // namespace

int PortOpen(const std::string& device_text) {
  unsigned port = 1;
  LineSettings settings;
  int checked = CheckDeviceText(device_text, port, settings);
  if (checked != 0) return checked;
  if (PortIsOpen()) {
    port_problem = "the port is already open";
    return 2;
  }
  std::string path = DevicePath(port);
  if (path.empty()) {
    port_problem = "COM" + std::to_string(port) + " is set to an empty device name";
    return 2;
  }
  if (DeviceOpen(path, port) != 0) return 2;
  port_settings_in_use = settings;
  int configured = DeviceConfigure(settings);
  int result = OpenOutcome(configured, ModemWaits(), path);
  if (result != 0) PortClose();
  return result;
}

bool ModemWaits() {
  if (port_settings_in_use.cd_time > 0 &&
      !WaitForModemLine(ModemLine::Carrier, port_settings_in_use.cd_time))
    return false;
  if (port_settings_in_use.dsr_time > 0 &&
      !WaitForModemLine(ModemLine::Dsr, port_settings_in_use.dsr_time))
    return false;
  return true;
}

bool PortHasInput() {
  return PortPending() > 0;
}

std::vector<std::string> PortListing() {
  std::vector<std::string> lines;
  std::vector<std::string> port_keys(kListedPorts + 1);
  for (unsigned port = 1; port <= kListedPorts; port++) {
    std::string path = DevicePath(port);
    if (!path.empty()) port_keys[port] = DeviceKey(path);
  }
  for (const SerialDevice& device : SerialDevices()) {
    std::string key = DeviceKey(device.path);
    std::string ports;
    if (!port_device.empty()) {
      if (key == port_keys[1]) ports = "every COMn (--port)";
    } else {
      for (unsigned port = 1; port <= kListedPorts; port++) {
        if (port_keys[port] != key) continue;
        ports += (ports.empty() ? "" : ", ") + std::string("COM") + std::to_string(port);
      }
    }
    lines.push_back(device.path + (ports.empty() ? "" : ": " + ports));
    for (const std::string& about : device.about) lines.push_back("    " + about);
  }
  if (lines.empty()) lines.push_back("no serial devices found");
  return lines;
}
