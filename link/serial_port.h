// The one serial port to the radio, and the monotonic clock that times replies.
// The port is a plain byte stream: no translation, no buffering of its own.
// serial_port.cpp holds the open, the reads and the writes, port_names.cpp the
// names and the help; each system's file supplies the small steps beneath
// them (port_steps.h).
//
// PortOpen         opens and configures the port; 0, or error 1, 2 or 8
// PortHasInput     true when a received byte is waiting (never waits)
// PortPending      how many received bytes are waiting (never waits)
// PortWaitInput    waits up to the given seconds for a received byte
// PortRead         up to n bytes: first the waits for carrier and DSR when the
//                  settings ask for them (up to their CD and DSR times), then
//                  at most 100 ms for bytes not yet there (on Windows a CTS
//                  time puts the driver's interval timeout in its place)
// PortWrite        after the same modem waits, hands the bytes to the driver
//                  until the given seconds are up (on Windows a write under
//                  way then ends at its own timeout); 0, or kTimedOut,
//                  kNoModemLine (a modem wait failed), kHungUp or kPortFailed
// PortSetSpeed     the open port's line at another speed, every other setting
//                  kept; 0, or a PortError with step_reason said
// PortSpeed        the speed of the open port's line, bit/s (1200 when closed)
// PortHungUp       true once the line has hung up (the far end closed, the adapter
//                  was pulled out): from then on no byte will come
// PortClose        puts back the driver settings it changed, releases the port
// PortAbandon      the same from a signal handler
// PauseMilliseconds  sleeps that long
// SecondsNow       seconds from a monotonic clock, double precision
// DevicePath       the device that port number n stands for on this system
//                  (the one named by --port, when given, for every n); ""
//                  when a setting names it but is empty
// PortAdvice       how to write an argument that names a device (COM3, with
//                  its number 3; /dev/ttyUSB0, without one) so that it opens
//                  here: "C=3", "C=3 or --port COM3", "--port /dev/ttyUSB0"
// PortNamesHelp    how a port number finds its device here, for --help
// PortEnvironmentHelp  the environment variables that name devices here, for --help
// ExamplesHelp     examples of the jobs as written on this system, for --help
// ListedDevices    the devices PortListing lists, in its order
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

// What went wrong, the same number on every system: PortWrite's result, and
// the result of each system's steps beneath the port (port_steps.h).
enum PortError {
  kNoDevice = 1,     // there is no such device
  kDeviceBusy,       // another program holds the device
  kAccessDenied,     // this user may not open the device
  kNotSerialPort,    // the device opened, but has no serial line settings
  kSettingsRefused,  // the driver refused the settings or did not apply them
  kHungUp,           // the line is gone: nothing will pass again (PortHungUp)
  kTimedOut,         // the time ran out before every byte was handed over
  kPortFailed,       // any other failure, the port not being open included
  kNoModemLine,      // the carrier or DSR the settings wait for did not come
};

int PortOpen(const std::string& device_text);
bool PortHasInput();
unsigned PortPending();
bool PortWaitInput(double seconds);
std::string PortRead(unsigned count);
int PortWrite(const std::string& bytes, double seconds);
int PortSetSpeed(uint32_t speed);
uint32_t PortSpeed();
bool PortHungUp();
void PortClose();
void PortAbandon();
void PauseMilliseconds(int ms);
double SecondsNow();
std::string DevicePath(unsigned port);
std::string PortAdvice(const std::string& argument, const std::string& number);
const char* PortNamesHelp();
const char* PortEnvironmentHelp();
const char* ExamplesHelp();
std::vector<std::string> ListedDevices();
std::vector<std::string> PortListing();
