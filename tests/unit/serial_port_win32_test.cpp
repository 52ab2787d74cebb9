// The serial port on Windows, as far as it can be seen without a port: the
// names of the ports, the errors of an open that fails before or at the
// device, calls without an open port, and the clock.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "link/serial_port.h"

namespace {

TEST(DevicePath, OneToNineArePlainNames) {
  EXPECT_EQ(DevicePath(1), "COM1");
  EXPECT_EQ(DevicePath(3), "COM3");
  EXPECT_EQ(DevicePath(9), "COM9");
}

TEST(DevicePath, TenAndAboveAreInTheDeviceNamespace) {
  EXPECT_EQ(DevicePath(10), "\\\\.\\COM10");
  EXPECT_EQ(DevicePath(12), "\\\\.\\COM12");
  EXPECT_EQ(DevicePath(255), "\\\\.\\COM255");
}

TEST(PortOpen, OptionsThatDoNotParseAreErrorOneBeforeTheDevice) {
  // COM199 exists nowhere; the options are refused before it is looked for.
  EXPECT_EQ(PortOpen("COM199:1200,X"), 1);
  EXPECT_EQ(PortOpen("COM199:9600:1200,N,8,1,CS,RS,DS,CD"), 1);
  EXPECT_EQ(PortOpen("COM199:1200,N,8,1,CS,RS,DS,CD,IR1"), 1);
}

TEST(PortOpen, TextsThatNameNoPortAreErrorTwo) {
  EXPECT_EQ(PortOpen("COMX:1200,N,8,1,CS,RS,DS,CD"), 2);
  EXPECT_EQ(PortOpen("LPT1:1200,N,8,1,CS,RS,DS,CD"), 2);
  EXPECT_EQ(PortOpen("COM1 :1200,N,8,1,CS,RS,DS,CD"), 2);
}

TEST(PortOpen, APortThatDoesNotExistIsErrorTwo) {
  EXPECT_EQ(PortOpen("COM199:1200,N,8,1,CS,RS,DS,CD"), 2);
  EXPECT_NE(port_problem.find("COM199"), std::string::npos) << port_problem;
  EXPECT_NE(port_problem.find("\\\\.\\COM199"), std::string::npos) << port_problem;
  PortClose();
}

TEST(Port, WithoutAnOpenPortNothingWaitsAndNothingComes) {
  PortClose();
  EXPECT_FALSE(PortHasInput());
  EXPECT_EQ(PortPending(), 0u);
  EXPECT_EQ(PortRead(3), "");
  EXPECT_EQ(PortWrite("\xFD", 1.0), kPortFailed);
  // Without a port a wait ends at once: ten of them take far less than the
  // 5 s they would take waiting.
  double start = SecondsNow();
  for (int wait = 0; wait < 10; wait++) EXPECT_FALSE(PortWaitInput(0.5));
  EXPECT_LT(SecondsNow() - start, 2.5);
}

TEST(SecondsNow, NeverGoesBackAndMovesOn) {
  // Every wait ends at SecondsNow() plus its length: a clock that went back
  // or stood still would never end one.
  double last = SecondsNow();
  for (int i = 0; i < 1000; i++) {
    double now = SecondsNow();
    ASSERT_GE(now, last);
    last = now;
  }
  Sleep(20);
  EXPECT_GT(SecondsNow(), last);
}

}  // namespace
