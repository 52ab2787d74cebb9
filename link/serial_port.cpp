// The parts of opening the port that are the same on every system: reading
// the device text, and turning each step's outcome into words for the user.
#include <string>

#include "link/serial_port.h"

std::string port_device;
std::string port_problem;

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

bool PortHasInput() { return PortPending() > 0; }
