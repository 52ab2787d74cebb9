// The one serial port to the radio, and the monotonic clock that times replies.
// The port is a plain byte stream: no translation, no buffering of its own.
//
// PortOpen         opens and configures the port; 0, or error 1, 2 or 8
// PortHasInput     true when a received byte is waiting (never waits)
// PortPending      how many received bytes are waiting (never waits)
// PortWaitInput    waits up to the given seconds for a received byte
// PortRead         up to n bytes; waits at most 100 ms for bytes not yet there
// PortWrite        hands every byte to the driver, waiting at most the given seconds
// PortHungUp       true once the line has hung up (the far end closed, the adapter
//                  was pulled out): from then on no byte will come
// PortClose        puts back the driver settings it changed, releases the port
// PortAbandon      the same from a signal handler
// SecondsNow       seconds from a monotonic clock, double precision
// DevicePath       the device that port number n stands for on this system
//                  (the one named by --port, when given, for every n); ""
//                  when a setting names it but is empty
// PortNamesHelp    how a port number finds its device here, for --help
// PortEnvironmentHelp  the environment variables that name devices here, for --help
// ExamplesHelp     examples of the jobs as written on this system, for --help
// PortListing      the serial devices of this system and the port numbers
//                  that stand for them, in lines for the user; opens none
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "link/line_settings.h"

// The device named by --port, "" when not given; written by ReadCommandLine
// (app/command_line.cpp), read by DevicePath.
extern std::string port_device;

// Why the last PortOpen failed, in words for the user (device, reason, hint);
// written by PortOpen, printed by start-up just before the abort report.
extern std::string port_problem;

// Steps each system supplies (serial_port_posix.cpp, serial_port_win32.cpp)
// to the open and the modem waits of serial_port.cpp:
// PortIsOpen        whether the port is open
// DeviceOpen        opens the device for reading and writing; 0, or 2 with
//                   port_problem said
// DeviceConfigure   queues, timeouts and line state; 0, 1 (refused) or 8 (no serial port)
// ModemLineOn       reads whether a modem line is on; false when the status read fails
// PauseMilliseconds sleeps that long
// SerialDevices     the system's serial devices and what it says of each,
//                   without opening any
// DeviceKey         a device's name in the one form that every name of the
//                   same device shares
enum class ModemLine { Carrier, Dsr };
bool PortIsOpen();
int DeviceOpen(const std::string& path, unsigned port);
int DeviceConfigure(const LineSettings& settings);
bool ModemLineOn(ModemLine line, bool& on);
void PauseMilliseconds(int ms);
struct SerialDevice {
  std::string path;
  std::vector<std::string> about;  // driver, USB ids, product, other names
};
std::vector<SerialDevice> SerialDevices();
std::string DeviceKey(const std::string& path);

// The settings of the open port; written by PortOpen, read by the modem waits.
extern LineSettings port_settings_in_use;
bool ModemWaits();

int PortOpen(const std::string& device_text);
bool PortHasInput();
unsigned PortPending();
bool PortWaitInput(double seconds);
std::string PortRead(unsigned count);
void PortWrite(const std::string& bytes, double seconds);
bool PortHungUp();
void PortClose();
void PortAbandon();
double SecondsNow();
std::string DevicePath(unsigned port);
const char* PortNamesHelp();
const char* PortEnvironmentHelp();
const char* ExamplesHelp();
std::vector<std::string> PortListing();
