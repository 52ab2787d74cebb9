// The one serial port to the radio, and the monotonic clock that times replies.
// The port is a plain byte stream: no translation, no buffering of its own.
//
// ParseDeviceText  splits "COMn:options" into the port number and LineSettings
// PortOpen         opens and configures the port; 0, or error 1, 2 or 8
// PortHasInput     true when a received byte is waiting (never waits)
// PortPending      how many received bytes are waiting (never waits)
// PortWaitInput    waits up to the given seconds for a received byte
// PortRead         up to n bytes; waits at most 100 ms for bytes not yet there
// PortWrite        hands every byte to the driver, waiting at most the given seconds
// PortClose        puts back the driver settings it changed, releases the port
// PortAbandon      the same from a signal handler
// SecondsNow       seconds from a monotonic clock, double precision
// DevicePath       the device that port number n stands for on this system
//                  (the one named by --port, when given, for every n)
// PortNamesHelp    how a port number finds its device here, for --help
#pragma once
#include <cstdint>
#include <string>

enum class Parity { None, Even, Odd, Space, Mark };
enum class StopBits { One, OneAndHalf, Two };

struct LineSettings {
  uint32_t speed = 300;
  Parity parity = Parity::Even;
  uint32_t data_bits = 7;
  StopBits stop_bits = StopBits::One;
  uint32_t cts_time = 1000;  // ms
  uint32_t dsr_time = 1000;  // ms
  uint32_t cd_time = 0;      // ms
  bool suppress_rts = false;
  bool text_mode = false;
  bool check_parity = false;
  bool keep_dtr = false;
  uint32_t transmit_queue = 0;
  uint32_t receive_queue = 0;
  uint32_t ir_number = 0;
  uint32_t op_number = 0;
  bool fe_flag = false;
  bool me_flag = false;
};

// The device named by --port, "" when not given; written by ReadCommandLine
// (app/command_line.cpp), read by DevicePath.
extern std::string port_device;

// Why the last PortOpen failed, in words for the user (device, reason, hint);
// written by PortOpen, printed by start-up just before the abort report.
extern std::string port_problem;

// Returns 0 and fills `port` and `settings`, or 1 for bad options, or 2 when
// the text names no serial port.
int ParseDeviceText(const std::string& device_text, unsigned& port, LineSettings& settings);
int ParseLineSettings(const std::string& options, LineSettings& settings);

// Steps of PortOpen shared by every system (serial_port.cpp): the device text
// read into port and settings (0, or 1 or 2 with port_problem said), and the
// result of the configuring steps and the modem waits (0, 1 or 8).
int CheckDeviceText(const std::string& device_text, unsigned& port, LineSettings& settings);
int OpenOutcome(int configured, bool modem_lines_on, const std::string& path);

int PortOpen(const std::string& device_text);
bool PortHasInput();
unsigned PortPending();
bool PortWaitInput(double seconds);
std::string PortRead(unsigned count);
void PortWrite(const std::string& bytes, double seconds);
void PortClose();
void PortAbandon();
double SecondsNow();
std::string DevicePath(unsigned port);
const char* PortNamesHelp();
