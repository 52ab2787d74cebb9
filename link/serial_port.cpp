// The parts of the port that are the same on every system: the sequence of an
// open, reading the device text, the settings asked of the driver, turning
// each step's outcome into PortOpen's status and words for the user, the
// waits for the modem lines, and the read and the write around them. Each
// system's file supplies the small steps (port_steps.h).
#include "link/serial_port.h"

#include <string>

#include "ending/fatal.h"
#include "ending/system_error.h"
#include "link/port_steps.h"

std::string port_problem;
std::string step_reason;
bool port_hung_up = false;

namespace {

// The settings of the open port; written by PortOpen, read by the modem waits.
LineSettings settings_in_use;

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

// The flow control the settings ask for: output held back by CTS when a CTS
// time is given, RTS used for input flow control unless RS holds it off. The
// program's own settings ask for neither.
LineRequest RequestFor(const LineSettings& settings) {
  LineRequest request;
  request.settings = settings;
  request.cts_flow = settings.cts_time > 0;
  request.rts_flow = !settings.suppress_rts;
  request.dsr_gate = settings.dsr_time > 0;
  request.dtr_control = settings.keep_dtr;
  request.binary = !settings.text_mode;
  return request;
}

// What the user can do about a device that would not open, after the
// system's words for it.
std::string OpenAdvice(int error, unsigned port) {
  std::string example = port_words.example;
  if (error == kDeviceBusy) return "the port is in use by another program";
  if (error == kAccessDenied && *port_words.access) return step_reason + "; " + port_words.access;
  if (error != kNoDevice) return step_reason;
  // Where port numbers are the system's own names, the user picks another
  // from the system's list; elsewhere a number stands for a device by
  // default, and the user's adapter is usually another one.
  if (port_words.system_names_ports)
    return std::string("there is no such port; ") + port_words.where_listed;
  if (!port_device.empty()) return step_reason + "; " + port_words.where_listed;
  return step_reason + "; name your adapter's device with --port " + example + " or QUENMAR_COM" +
         std::to_string(port) + "=" + example;
}

// The result of the configuring step and the modem waits: 0, 1 or 8.
int OpenOutcome(int configured, bool modem_lines_on, const std::string& path) {
  if (configured == kNotSerialPort) {
    port_problem = path + " is not a serial port";
    return 8;
  }
  if (configured != 0) {
    port_problem = path + " does not take the line settings";
    return 1;
  }
  // The modem waits run even after a failed step; the first failure counts.
  if (!modem_lines_on) {
    port_problem = path + ": the radio interface does not answer (no DSR or carrier)";
    return 1;
  }
  return 0;
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

// The waits for carrier and DSR that the settings ask for, at the open and
// before every read and write: true when both lines came on in time.
bool ModemWaits() {
  if (settings_in_use.cd_time > 0 && !WaitForModemLine(ModemLine::Carrier, settings_in_use.cd_time))
    return false;
  if (settings_in_use.dsr_time > 0 && !WaitForModemLine(ModemLine::Dsr, settings_in_use.dsr_time))
    return false;
  return true;
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
  AddCloser(PortAbandon);  // every ending gives the driver its settings back
  int opened = DeviceOpen(path);
  if (opened != 0) {
    port_problem =
        "cannot open COM" + std::to_string(port) + " (" + path + "): " + OpenAdvice(opened, port);
    return 2;
  }
  settings_in_use = settings;
  int configured = DeviceConfigure(RequestFor(settings));
  int result = OpenOutcome(configured, ModemWaits(), path);
  if (result != 0) PortClose();
  return result;
}

int PortSetSpeed(uint32_t speed) {
  if (!PortIsOpen()) return kPortFailed;
  LineSettings settings = settings_in_use;
  settings.speed = speed;
  int configured = DeviceConfigure(RequestFor(settings));
  if (configured == 0) settings_in_use = settings;
  return configured;
}

uint32_t PortSpeed() {
  return PortIsOpen() && settings_in_use.speed > 0 ? settings_in_use.speed : 1200;
}

int Failed(int failure, unsigned long error) {
  step_reason = SystemErrorText(error);
  return failure;
}

int HungUp(unsigned long error) {
  port_hung_up = true;
  return Failed(kHungUp, error);
}

bool PortHungUp() {
  return port_hung_up;
}

bool PortHasInput() {
  return PortPending() > 0;
}

std::string PortRead(unsigned count) {
  std::string bytes;
  if (!PortIsOpen() || count == 0 || !ModemWaits()) return bytes;
  DeviceRead(count, bytes);
  return bytes;
}

int PortWrite(const std::string& bytes, double seconds) {
  if (!PortIsOpen()) return kPortFailed;
  if (!ModemWaits()) return kNoModemLine;
  // A driver that takes only part of the bytes gets the rest as room comes
  // free, until the caller's time is up. A step that ran out of time says
  // so; whether time is left to try again is decided here.
  double deadline = SecondsNow() + seconds;
  size_t done = 0;
  while (done < bytes.size()) {
    size_t written = 0;
    int error =
        DeviceWrite(bytes.data() + done, bytes.size() - done, deadline - SecondsNow(), written);
    done += written;
    if (error != 0 && error != kTimedOut) return error;
    if (done < bytes.size() && SecondsNow() >= deadline) return kTimedOut;
  }
  return 0;
}
