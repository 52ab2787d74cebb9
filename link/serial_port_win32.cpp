// The serial port's steps on Windows: a synchronous handle from CreateFileA, the
// driver's queues, timeouts and DCB set through the Comm functions, the
// driver's count of received bytes from ClearCommError, and the clock from
// the performance counter.
#include <windows.h>
// After windows.h, which it needs.
#include <setupapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "link/port_steps.h"
#include "link/serial_port.h"
#include "text/text.h"

namespace {

constexpr DWORD kDefaultQueue = 16384;  // bytes, when the driver names no size
// A write may take its bytes' line time and this much more.
constexpr DWORD kWriteMarginMs = 100;

HANDLE port_handle = INVALID_HANDLE_VALUE;
// A pulled-out USB adapter fails every call on its handle, with codes that
// vary by driver: any failed call on the open handle is taken for a hang-up
// (port_hung_up).

// The timeouts and line state the port had before the program changed them,
// put back at every ending (PutBackDriverSettings). Each flag is set once its
// saved state is complete. The queue sizes cannot be read back: they stay.
COMMTIMEOUTS timeouts_before{};
DCB line_before{};
volatile LONG timeouts_saved = 0;
volatile LONG line_saved = 0;

DWORD QueueSize(uint32_t asked, DWORD current, DWORD maximum) {
  if (asked > 0) return asked;
  if (current > 0) return current;
  if (maximum > 0) return maximum;
  return kDefaultQueue;
}

BYTE ParityValue(Parity parity) {
  switch (parity) {
    case Parity::None:
      return NOPARITY;
    case Parity::Even:
      return EVENPARITY;
    case Parity::Odd:
      return ODDPARITY;
    case Parity::Space:
      return SPACEPARITY;
    case Parity::Mark:
      return MARKPARITY;
  }
  return NOPARITY;
}

BYTE StopBitsValue(StopBits stop_bits) {
  switch (stop_bits) {
    case StopBits::One:
      return ONESTOPBIT;
    case StopBits::OneAndHalf:
      return ONE5STOPBITS;
    case StopBits::Two:
      return TWOSTOPBITS;
  }
  return ONESTOPBIT;
}

// The driver's queues: the sizes asked for, else the driver's own.
int SetQueues(const LineSettings& s) {
  COMMPROP properties{};
  if (!GetCommProperties(port_handle, &properties)) return Failed(kNotSerialPort, GetLastError());
  DWORD receive = QueueSize(s.receive_queue, properties.dwCurrentRxQueue, properties.dwMaxRxQueue);
  DWORD transmit =
      QueueSize(s.transmit_queue, properties.dwCurrentTxQueue, properties.dwMaxTxQueue);
  if (!SetupComm(port_handle, receive, transmit)) return Failed(kSettingsRefused, GetLastError());
  return 0;
}

// The read and write timeouts. With a CTS time, a read ends that long after
// a byte with no next one, and waits for its first byte as long as the
// driver does; without one, a read waits at most kReadWaitMs.
int SetTimeouts(const LineSettings& s) {
  COMMTIMEOUTS timeouts{};
  if (!GetCommTimeouts(port_handle, &timeouts)) return Failed(kNotSerialPort, GetLastError());
  // The driver's own, from before this run: kept at the first configuring
  // only, when a later one changes the speed.
  if (!timeouts_saved) {
    timeouts_before = timeouts;
    timeouts_saved = 1;
  }
  if (s.cts_time > 0) {
    timeouts.ReadIntervalTimeout = s.cts_time;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
  } else {
    // The driver's own read timeouts may be none at all, and then a read
    // for an echo that never comes would wait for ever. This combination
    // makes ReadFile return at once with the bytes already received, or
    // as soon as the first one arrives, or after kReadWaitMs with none.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = kReadWaitMs;
  }
  // A write ends at the latest after its bytes' own line time (10 bits a
  // byte) and a margin (plus the CTS time, when output waits for CTS),
  // whatever the driver's defaults are: a stalled driver must not hold the
  // frame writer for ever.
  timeouts.WriteTotalTimeoutMultiplier = s.speed > 0 ? (10000 + s.speed - 1) / s.speed : 0;
  timeouts.WriteTotalTimeoutConstant = kWriteMarginMs + s.cts_time;
  if (!SetCommTimeouts(port_handle, &timeouts)) return Failed(kSettingsRefused, GetLastError());
  return 0;
}

// The line state of the request; DTR on after it.
int SetLineState(const LineRequest& request) {
  const LineSettings& s = request.settings;
  DCB line{};
  line.DCBlength = sizeof line;
  if (!GetCommState(port_handle, &line)) return Failed(kNotSerialPort, GetLastError());
  if (!line_saved) {
    line_before = line;
    line_saved = 1;
  }
  line.BaudRate = s.speed;
  line.ByteSize = static_cast<BYTE>(s.data_bits);
  line.Parity = ParityValue(s.parity);
  line.StopBits = StopBitsValue(s.stop_bits);
  line.fBinary = request.binary ? TRUE : FALSE;
  line.fParity = s.check_parity ? TRUE : FALSE;
  line.fOutxCtsFlow = request.cts_flow ? TRUE : FALSE;
  line.fOutxDsrFlow = FALSE;
  line.fDtrControl = request.dtr_control ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  line.fDsrSensitivity = request.dsr_gate ? TRUE : FALSE;
  line.fOutX = FALSE;
  line.fInX = FALSE;
  line.fNull = FALSE;
  line.fRtsControl = request.rts_flow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
  line.fAbortOnError = FALSE;
  if (!SetCommState(port_handle, &line)) return Failed(kSettingsRefused, GetLastError());
  // DTR on whatever fDtrControl says; a driver without modem lines may
  // refuse, and that is no reason to give up the port.
  EscapeCommFunction(port_handle, SETDTR);
  return 0;
}

// Gives the driver back the timeouts and line state the program changed; the
// line state brings back the port's own DTR and RTS control with it.
void PutBackDriverSettings() {
  if (InterlockedExchange(&line_saved, 0) != 0) SetCommState(port_handle, &line_before);
  if (InterlockedExchange(&timeouts_saved, 0) != 0) SetCommTimeouts(port_handle, &timeouts_before);
}

}  // namespace

// Port n is the system's own COMn; no setting names another for it.
const PortWords port_words = {
    true,
    "COM3",
    "COMn, as Device Manager lists it under \"Ports (COM & LPT)\"",
    "Device Manager lists the ports under \"Ports (COM & LPT)\"",
    "",
    "COM10 and above are opened through their device names (\\\\.\\COMn).\n",
    " (Command Prompt or PowerShell)",
    "Task Scheduler, from the command line",
    "schtasks /create /sc daily /st 03:00 /tn \"Radio clock\" /tr "
    "\"C:\\quenmar\\quenmar-setup.exe --port COM3 --clock\"",
};

std::string DefaultDevice(unsigned port) {
  std::string name = "COM" + std::to_string(port);
  // Only COM1 to COM9 are reserved names in every folder; the others exist
  // in the device namespace alone.
  if (port >= 10) name = "\\\\.\\" + name;
  return name;
}

std::string DeviceKey(const std::string& path) {
  std::string name = path.compare(0, 4, "\\\\.\\") == 0 ? path.substr(4) : path;
  return UpperCase(name);
}

namespace {

// What Device Manager calls each port ("USB Serial Port (COM3)"), by COM name.
std::vector<SerialDevice> PortDescriptions() {
  std::vector<SerialDevice> found;
  GUID ports;
  DWORD count = 0;
  if (!SetupDiClassGuidsFromNameA("Ports", &ports, 1, &count) || count == 0) return found;
  HDEVINFO set = SetupDiGetClassDevsA(&ports, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return found;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); index++) {
    BYTE friendly[256] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, nullptr, friendly,
                                           sizeof friendly - 1, nullptr))
      continue;
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    BYTE name[64] = {};
    DWORD size = sizeof name - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, "PortName", nullptr, &type, name, &size) == ERROR_SUCCESS &&
        type == REG_SZ)
      found.push_back({reinterpret_cast<char*>(name), {reinterpret_cast<char*>(friendly)}});
    RegCloseKey(key);
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

}  // namespace

std::vector<SerialDevice> SerialDevices() {
  // The system's map of its serial ports: one value a port, named after the
  // driver's device ("\Device\Serial0"), holding the COM name.
  std::vector<SerialDevice> devices;
  HKEY map;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map) !=
      ERROR_SUCCESS)
    return devices;
  for (DWORD index = 0;; index++) {
    char name[256];
    DWORD name_size = sizeof name;
    BYTE data[256] = {};
    DWORD data_size = sizeof data - 1;
    DWORD type = 0;
    LONG result = RegEnumValueA(map, index, name, &name_size, nullptr, &type, data, &data_size);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    devices.push_back({reinterpret_cast<char*>(data), {std::string("system device ") + name}});
  }
  RegCloseKey(map);
  for (const SerialDevice& described : PortDescriptions()) {
    for (SerialDevice& device : devices) {
      if (DeviceKey(device.path) == DeviceKey(described.path))
        device.about.insert(device.about.begin(), described.about[0]);
    }
  }
  return devices;
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char** entry = _environ; entry && *entry; entry++) entries.push_back(*entry);
  return entries;
}

bool PortIsOpen() {
  return port_handle != INVALID_HANDLE_VALUE;
}

int DeviceOpen(const std::string& path) {
  port_handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  port_hung_up = false;
  if (port_handle != INVALID_HANDLE_VALUE) return 0;
  DWORD code = GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return Failed(kNoDevice, code);
  // A COM port open in another program is refused as access denied.
  if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION)
    return Failed(kDeviceBusy, code);
  return Failed(kPortFailed, code);
}

// Queues, timeouts and line state, each only after the one before it
// succeeded.
int DeviceConfigure(const LineRequest& request) {
  int done = SetQueues(request.settings);
  if (done == 0) done = SetTimeouts(request.settings);
  if (done == 0) done = SetLineState(request);
  return done;
}

bool ModemLineOn(ModemLine line, bool& on) {
  DWORD status = 0;
  if (!GetCommModemStatus(port_handle, &status)) return false;
  on = (status & (line == ModemLine::Carrier ? MS_RLSD_ON : MS_DSR_ON)) != 0;
  return true;
}

void PauseMilliseconds(int ms) {
  Sleep(static_cast<DWORD>(ms));
}

unsigned PortPending() {
  DWORD errors = 0;
  COMSTAT status{};
  if (port_handle == INVALID_HANDLE_VALUE) return 0;
  if (!ClearCommError(port_handle, &errors, &status)) {
    port_hung_up = true;  // a USB adapter pulled out fails every call on its handle
    return 0;
  }
  return status.cbInQue;
}

bool PortWaitInput(double seconds) {
  if (port_handle == INVALID_HANDLE_VALUE) return false;
  double deadline = SecondsNow() + seconds;
  for (;;) {
    if (PortPending() > 0) return true;
    if (port_hung_up || SecondsNow() >= deadline) return false;
    // A millisecond is a tenth of a byte at 1200 bit/s: short enough to
    // miss nothing, long enough not to spin.
    Sleep(1);
  }
}

int DeviceRead(unsigned count, std::string& bytes) {
  size_t had = bytes.size();
  bytes.resize(had + count);
  DWORD got = 0;
  int failed =
      ReadFile(port_handle, bytes.data() + had, count, &got, nullptr) ? 0 : HungUp(GetLastError());
  bytes.resize(had + (failed ? 0 : got));
  return failed;
}

// One WriteFile, which ends at the latest after the write timeout set at
// the open; bytes it did not take are the caller's to offer again.
int DeviceWrite(const char* data, size_t size, double /*seconds*/, size_t& written) {
  DWORD took = 0;
  written = 0;
  if (!WriteFile(port_handle, data, static_cast<DWORD>(size), &took, nullptr))
    return HungUp(GetLastError());
  written = took;
  return took < size ? Failed(kTimedOut, ERROR_TIMEOUT) : 0;
}

void PortClose() {
  if (port_handle == INVALID_HANDLE_VALUE) return;
  PutBackDriverSettings();
  CloseHandle(port_handle);
  port_handle = INVALID_HANDLE_VALUE;
}

void PortAbandon() {
  // From the console's control handler, on another thread: the main thread
  // may still hold the handle in a call, so it is only closed, not cleared.
  if (port_handle == INVALID_HANDLE_VALUE) return;
  PutBackDriverSettings();
  CloseHandle(port_handle);
}

double SecondsNow() {
  static bool asked = false;
  static double tick_seconds = 0;  // 1 / the counter's frequency; 0 without a counter
  if (!asked) {
    asked = true;
    LARGE_INTEGER frequency;
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0)
      tick_seconds = 1.0 / static_cast<double>(frequency.QuadPart);
  }
  if (tick_seconds > 0) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * tick_seconds;
  }
  return GetTickCount() * 0.001;
}
