// The line settings of a device text such as "COM1:1200,N,8,1,CS,RS,DS,CD":
// the port number, the speed, parity, data and stop bits, and the keywords.
//
// ParseDeviceText    splits "COMn:options" into the port number and LineSettings
// ParseLineSettings  reads the option text after the colon into LineSettings
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
};

// Returns 0 and fills `port` and `settings`, or 1 for bad options, or 2 when
// the text names no serial port.
int ParseDeviceText(const std::string& device_text, unsigned& port, LineSettings& settings);
int ParseLineSettings(const std::string& options, LineSettings& settings);
