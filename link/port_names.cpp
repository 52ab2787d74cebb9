// Which device a port number stands for, the list of the system's serial
// devices with the numbers that stand for them, and the help on both: the
// same rules on every system, written with the system's own words for its
// ports (port_words, port_steps.h).
#include <cstdlib>
#include <string>
#include <vector>

#include "link/port_steps.h"
#include "link/serial_port.h"

std::string port_device;

namespace {

// The port numbers --list-ports looks at: far beyond any real machine's.
constexpr unsigned kListedPorts = 256;
const char kVariable[] = "QUENMAR_COM";  // QUENMAR_COMn names the device of port n
constexpr size_t kVariableLength = sizeof kVariable - 1;

// Where the system has no name of its own for port n, QUENMAR_COMn may name
// its device, which may be anything the system does not list as a serial
// port (an adapter's other name, a pseudo-terminal).
bool VariablesNamePorts() {
  return !port_words.system_names_ports;
}

// The devices named by QUENMAR_COMn, each added to the list with a note, or
// a note added to the device already there.
void AddNamedDevices(std::vector<SerialDevice>& devices) {
  for (const std::string& text : EnvironmentEntries()) {
    size_t equals = text.find('=');
    if (text.compare(0, kVariableLength, kVariable) != 0 || equals == kVariableLength ||
        equals + 1 >= text.size() ||
        text.find_first_not_of("0123456789", kVariableLength) != equals)
      continue;
    std::string path = text.substr(equals + 1);
    std::string note = "named by " + text.substr(0, equals);
    std::string key = DeviceKey(path);
    bool listed = false;
    for (SerialDevice& device : devices) {
      if (listed || DeviceKey(device.path) != key) continue;
      device.about.push_back(note);
      listed = true;
    }
    if (!listed) devices.push_back({path, {note}});
  }
}

}  // namespace

std::string DevicePath(unsigned port) {
  if (!port_device.empty()) return port_device;
  if (VariablesNamePorts()) {
    // Set but empty is "" (an error for the caller), never the default.
    const char* named = std::getenv((kVariable + std::to_string(port)).c_str());
    if (named) return named;
  }
  return DefaultDevice(port);
}

std::vector<std::string> ListedDevices() {
  std::vector<SerialDevice> devices = SerialDevices();
  if (VariablesNamePorts()) AddNamedDevices(devices);
  std::vector<std::string> paths;
  for (const SerialDevice& device : devices) paths.push_back(device.path);
  return paths;
}

std::vector<std::string> PortListing() {
  std::vector<std::string> lines;
  std::vector<std::string> port_keys(kListedPorts + 1);
  for (unsigned port = 1; port <= kListedPorts; port++) {
    std::string path = DevicePath(port);
    if (!path.empty()) port_keys[port] = DeviceKey(path);
  }
  std::vector<SerialDevice> devices = SerialDevices();
  if (VariablesNamePorts()) AddNamedDevices(devices);
  for (const SerialDevice& device : devices) {
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

std::string PortAdvice(const std::string& argument, const std::string& number) {
  std::string device = argument;
  // A device's own name without its folder (ttyUSB0) opens only from there:
  // the folder is the one of this system's example device.
  if (!port_words.system_names_ports && argument.find_first_of("/\\") == std::string::npos) {
    std::string example = port_words.example;
    device = example.substr(0, example.rfind('/') + 1) + argument;
  }
  // Where COMn is no name of the system's own, --port COMn opens a file of
  // that name in the current folder: C=n is the only way there.
  if (number.empty()) return "--port " + device;
  if (!port_words.system_names_ports) return "C=" + number;
  return "C=" + number + " or --port " + argument;
}

const char* PortEnvironmentHelp() {
  static const std::string text = VariablesNamePorts()
                                      ? std::string(
                                            "  QUENMAR_COMn    the device of port n, for example "
                                            "QUENMAR_COM1=") +
                                            port_words.example +
                                            ";\n"
                                            "                  set but empty, it is an error\n"
                                      : "";
  return text.c_str();
}

const char* ExamplesHelp() {
  static const std::string example = port_words.example;
  static const std::string text =
      std::string("Examples") + port_words.typed_in + ":\n" +
      "  quenmar-setup --list-ports\n"
      "  quenmar-setup --port " +
      example + " --probe\n" + "  quenmar-setup --port " + example + " --save backup.txt\n" +
      "  quenmar-setup --list backup.txt\n" + "  quenmar-setup --port " + example +
      " --list-radio\n" + "  quenmar-setup --port " + example +
      " --edit backup.txt  (F5 sends the changes)\n" +
      "  quenmar-setup --to-csv memories.txt memories.csv\n"
      "  quenmar-setup --from-csv club-list.csv memories.txt\n"
      "To set the clock every night at 03:00 (" +
      port_words.scheduler + "):\n" + "  " + port_words.nightly_clock + "\n";
  return text.c_str();
}

const char* PortNamesHelp() {
  static const std::string example = port_words.example;
  static const std::string text =
      VariablesNamePorts()
          ? "Port n is the device named by --port when it is given, else the one named\n"
            "by the environment variable QUENMAR_COMn when it is set, for example\n"
            "QUENMAR_COM1=" +
                example + ", and " + port_words.numbering + " otherwise (COM1 is " +
                DefaultDevice(1) + ").\n" + port_words.naming_notes
          : std::string("Port n is ") + port_words.numbering + ".\n" + port_words.naming_notes +
                "--port names the device to open instead, for example --port " + example + ".\n";
  return text.c_str();
}
