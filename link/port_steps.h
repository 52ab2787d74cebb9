// The steps each system's serial port file supplies (serial_port_posix.cpp,
// serial_port_win32.cpp) to the shared files above them: serial_port.cpp
// decides the open, the reads and the writes, port_names.cpp the names and
// the help. A step returns 0, or a PortError (serial_port.h) with the
// system's own words for the failure left in step_reason; the same failure
// gives the same number on every system.
//
// PortIsOpen        whether the port is open
// DeviceOpen        opens the device for reading and writing, for this program alone
// DeviceConfigure   applies a LineRequest: queues, timeouts, line state, modem lines;
//                   again on the open port for another speed, the driver's own
//                   settings from before the first one kept to be put back
// DeviceRead        appends up to n received bytes, waiting at most kReadWaitMs
//                   for bytes not yet there
// DeviceWrite       hands the driver what it takes of the bytes, waiting at most
//                   the given seconds for room; says how many it took
// ModemLineOn       reads whether a modem line is on; false when the status read fails
// DefaultDevice     the device port number n stands for on this system when
//                   nothing names another
// SerialDevices     the system's serial devices and what it says of each,
//                   without opening any
// DeviceKey         a device's name in the one form that every name of the
//                   same device shares
// EnvironmentEntries  the environment, one NAME=value text an entry
//
// Shared by the steps, made in serial_port.cpp:
// Failed            a failed step's outcome: the system's words for its error
//                   number in step_reason, and the program's number for the failure
// HungUp            the same for a line that has hung up, which port_hung_up
//                   then says until the next open
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/line_settings.h"
#include "link/serial_port.h"

// The system's words for the last failed step ("No such file or directory");
// written by the failing step, read by serial_port.cpp for the user's advice.
extern std::string step_reason;

// Whether the open port has hung up (the far end closed, the adapter was
// pulled out); written by the steps, cleared by DeviceOpen, read by PortHungUp.
extern bool port_hung_up;

// The longest a read waits for a byte not yet there: long enough for the
// echo of a byte just written at 1200 bit/s, short enough that a silent
// line never holds the program.
constexpr int kReadWaitMs = 100;

// What the open asks of the driver: the settings as given and the choices
// serial_port.cpp makes from them. Each system applies them as far as it
// has the means, and says in its file what it cannot do.
struct LineRequest {
  LineSettings settings;
  bool cts_flow = false;     // output waits while CTS is off
  bool rts_flow = false;     // RTS tells the far end to hold back; else RTS is held off
  bool dsr_gate = false;     // received bytes count only while DSR is on
  bool dtr_control = false;  // DTR under the driver's control (it is switched on either way)
  bool binary = true;        // every byte value passes untranslated
};

// This system's words for its ports, which the shared help and advice put
// in their places; each system's file defines it.
struct PortWords {
  bool system_names_ports;    // port n has a name of the system's own (COMn)
  const char* example;        // a device as the user writes it
  const char* numbering;      // the device of port n when nothing names another
  const char* where_listed;   // where the user finds the ports plugged in
  const char* access;         // what lets a refused user open a device; "" where no
                              // refusal of this system is the user's to lift
  const char* naming_notes;   // the rest of what --help says of port names
  const char* typed_in;       // where the examples are typed; "" when it goes without saying
  const char* scheduler;      // how a job is run every night
  const char* nightly_clock;  // the clock job at 03:00, as that scheduler takes it
};
extern const PortWords port_words;

enum class ModemLine { Carrier, Dsr };
struct SerialDevice {
  std::string path;
  std::vector<std::string> about;  // driver, USB ids, product, other names
};

bool PortIsOpen();
int DeviceOpen(const std::string& path);
int DeviceConfigure(const LineRequest& request);
int DeviceRead(unsigned count, std::string& bytes);
int DeviceWrite(const char* data, size_t size, double seconds, size_t& written);
bool ModemLineOn(ModemLine line, bool& on);
std::string DefaultDevice(unsigned port);
std::vector<SerialDevice> SerialDevices();
std::string DeviceKey(const std::string& path);
std::vector<std::string> EnvironmentEntries();
int Failed(int failure, unsigned long error);
int HungUp(unsigned long error);
