// The serial port and the frame exchange over a pseudo-terminal pair: the
// program holds the slave as its port, the test plays the line and the radio
// from the master side.
#include "link/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "jobs/jobs.h"
#include "link/civ_frame.h"
#include "link/port_trace.h"
#include "unit_support.h"

namespace {

const char kProgramsDevice[] = "COM1:1200,N,8,1,CS,RS,DS,CD";

class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
      slave_path_ = ptsname(master_);
    }
  }
  ~PseudoTerminal() {
    if (master_ >= 0) close(master_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ok() const { return !slave_path_.empty(); }
  // The far end goes away, as a USB adapter pulled out does.
  void Close() {
    close(master_);
    master_ = -1;
  }
  int master() const { return master_; }
  const std::string& slave_path() const { return slave_path_; }

  // What the line sends to the program.
  void Send(const std::string& bytes) const {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // What the program has put on the line: up to `count` bytes, waiting at
  // most `seconds` for each one that has not come yet.
  std::string Received(size_t count, double seconds = 2.0) const {
    std::string bytes;
    while (bytes.size() < count) {
      struct pollfd in = {master_, POLLIN, 0};
      if (poll(&in, 1, static_cast<int>(seconds * 1000)) <= 0 || !(in.revents & POLLIN)) break;
      char buffer[512];
      ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
      if (n <= 0) break;
      bytes.append(buffer, n);
    }
    return bytes;
  }

 private:
  int master_ = -1;
  std::string slave_path_;
};

// Bytes written to the master reach the slave's input a moment later.
bool WaitPending(unsigned count) {
  double deadline = SecondsNow() + 2.0;
  while (PortPending() < count) {
    if (SecondsNow() > deadline) return false;
    poll(nullptr, 0, 1);
  }
  return true;
}

class PortTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line.ok());
    setenv("QUENMAR_COM1", line.slave_path().c_str(), 1);
  }
  void TearDown() override { PortClose(); }

  PseudoTerminal line;
};

// ---- Opening ----

TEST_F(PortTest, TheProgramsSettingsGiveARaw1200Baud8N1Line) {
  ASSERT_EQ(PortOpen(kProgramsDevice), 0) << port_problem;
  struct termios mode;
  ASSERT_EQ(tcgetattr(line.master(), &mode), 0);  // the master reports the slave's settings
  EXPECT_EQ(cfgetospeed(&mode), static_cast<speed_t>(B1200));
  EXPECT_EQ(cfgetispeed(&mode), static_cast<speed_t>(B1200));
  EXPECT_EQ(mode.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(mode.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(mode.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(mode.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(mode.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
  EXPECT_EQ(mode.c_oflag & OPOST, 0u);
  EXPECT_EQ(mode.c_cc[VMIN], 0);
  EXPECT_EQ(mode.c_cc[VTIME], 0);
}

struct LineCase {
  std::string device_text;
  speed_t speed;
  tcflag_t size;   // CS5 .. CS8
  tcflag_t set;    // other c_cflag bits that must be on
  tcflag_t clear;  // c_cflag bits that must be off
};

void PrintTo(const LineCase& c, std::ostream* out) {
  *out << "[" << c.device_text << "]";
}

class PortSettingsTest : public PortTest, public testing::WithParamInterface<LineCase> {};

TEST_P(PortSettingsTest, ReachTheLine) {
  const LineCase& c = GetParam();
  ASSERT_EQ(PortOpen(c.device_text), 0) << c.device_text << ": " << port_problem;
  struct termios mode;
  ASSERT_EQ(tcgetattr(line.master(), &mode), 0);
  EXPECT_EQ(cfgetospeed(&mode), c.speed) << c.device_text;
  EXPECT_EQ(mode.c_cflag & CSIZE, c.size) << c.device_text;
  EXPECT_EQ(mode.c_cflag & c.set, c.set) << c.device_text;
  EXPECT_EQ(mode.c_cflag & c.clear, 0u) << c.device_text;
}

INSTANTIATE_TEST_SUITE_P(
    DeviceTexts, PortSettingsTest,
    testing::Values(LineCase{"COM1:2400,N,8,2,CS,RS,DS,CD", B2400, CS8, CSTOPB, PARENB | CRTSCTS},
                    LineCase{"com:9600,n,8,,cs,rs,ds,cd", B9600, CS8, 0, PARENB | CSTOPB | CRTSCTS},
                    // CTS flow control when a CTS time is given.
                    LineCase{"COM0:1200,N,8,1,CS500,RS,DS,CD", B1200, CS8, CRTSCTS, PARENB}));

TEST_F(PortTest, AnotherSpeedOnTheOpenPortKeepsTheLineAndTheCloseStillPutsBackTheOwnMode) {
  struct termios own;
  ASSERT_EQ(tcgetattr(line.master(), &own), 0);
  ASSERT_EQ(PortOpen(kProgramsDevice), 0) << port_problem;
  ASSERT_EQ(PortSetSpeed(9600), 0);
  struct termios mode;
  ASSERT_EQ(tcgetattr(line.master(), &mode), 0);
  EXPECT_EQ(cfgetospeed(&mode), static_cast<speed_t>(B9600));
  EXPECT_EQ(mode.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(PortSpeed(), 9600u);
  EXPECT_DOUBLE_EQ(ByteTime(), 10.0 / 9600);
  PortClose();
  ASSERT_EQ(tcgetattr(line.master(), &mode), 0);
  EXPECT_EQ(cfgetospeed(&mode), cfgetospeed(&own));
  EXPECT_EQ(mode.c_lflag & ICANON, own.c_lflag & ICANON);
}

TEST_F(PortTest, AHighPortNumberIsItsOwnDevice) {
  setenv("QUENMAR_COM12", line.slave_path().c_str(), 1);
  setenv("QUENMAR_COM1", "/nonexistent/quenmar-port", 1);
  EXPECT_EQ(PortOpen("COM12:1200,N,8,1,CS,RS,DS,CD"), 0) << port_problem;
  unsetenv("QUENMAR_COM12");
}

TEST(DevicePath, WithoutTheVariableIsTheNumberedSerialDevice) {
  unsetenv("QUENMAR_COM3");
  EXPECT_EQ(DevicePath(3), "/dev/ttyS2");
  setenv("QUENMAR_COM3", "/dev/ttyUSB0", 1);
  EXPECT_EQ(DevicePath(3), "/dev/ttyUSB0");
  unsetenv("QUENMAR_COM3");
}

struct OpenErrorCase {
  std::string device_text;
  int error;
};

void PrintTo(const OpenErrorCase& c, std::ostream* out) {
  *out << "[" << c.device_text << "]";
}

class PortOpenErrorTest : public PortTest, public testing::WithParamInterface<OpenErrorCase> {};

TEST_P(PortOpenErrorTest, OnAPseudoTerminal) {
  EXPECT_EQ(PortOpen(GetParam().device_text), GetParam().error) << GetParam().device_text;
  PortClose();
  // The failed open left the pseudo-terminal free.
  EXPECT_EQ(PortOpen(kProgramsDevice), 0) << port_problem;
}

INSTANTIATE_TEST_SUITE_P(
    DeviceTexts, PortOpenErrorTest,
    testing::Values(OpenErrorCase{"COM1:1234,N,8,1", 1},
                    OpenErrorCase{"COM1:1200,N,8,1,CS,RS,DS,CD,IR1", 1},
                    OpenErrorCase{"COM1:1200,X", 1},
                    // A pseudo-terminal keeps 8 data bits and no parity whatever it is
                    // asked: the settings read back show that the line refused them.
                    OpenErrorCase{"COM1:1200,E,8,1,CS,RS,DS,CD", 1},
                    OpenErrorCase{"COM1:1200,N,7,1,CS,RS,DS,CD", 1},
                    OpenErrorCase{"COM1:9600:1200,N,8,1,CS,RS,DS,CD", 1},
                    // A wait for DSR or carrier on a line without modem lines fails.
                    OpenErrorCase{"COM1:1200,N,8,1,CS,RS,DS100,CD", 1},
                    OpenErrorCase{"COM1:1200,N,8,1,CS,RS,DS,CD100", 1},
                    OpenErrorCase{"COMX:1200,N,8,1,CS,RS,DS,CD", 2},
                    OpenErrorCase{"COM1 :1200,N,8,1,CS,RS,DS,CD", 2},
                    OpenErrorCase{"LPT1:1200,N,8,1,CS,RS,DS,CD", 2}));

TEST(PortOpen, AMissingDeviceIsError2) {
  ScratchDirectory directory;
  setenv("QUENMAR_COM1", (directory / "no-such-port").c_str(), 1);
  EXPECT_EQ(PortOpen(kProgramsDevice), 2);
  PortClose();
}

TEST(PortOpen, SomethingThatIsNoSerialPortIsError8) {
  ScratchDirectory directory;
  std::string file = directory / "plain-file";
  std::ofstream(file) << "not a port";
  for (const std::string& path : {std::string("/dev/null"), file}) {
    setenv("QUENMAR_COM1", path.c_str(), 1);
    EXPECT_EQ(PortOpen(kProgramsDevice), 8) << path;
    PortClose();
  }
}

TEST_F(PortTest, APortHeldByAnotherProgramIsError2) {
  int other = open(line.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(PortOpen(kProgramsDevice), 2);
  PortClose();
  close(other);
  EXPECT_EQ(PortOpen(kProgramsDevice), 0) << port_problem;
}

TEST_F(PortTest, ASecondOpenOfTheHeldPortFailsAndLeavesTheFirstWorking) {
  ASSERT_EQ(PortOpen(kProgramsDevice), 0) << port_problem;
  EXPECT_EQ(PortOpen(kProgramsDevice), 2);
  PortWrite("\xFD", 1.0);
  EXPECT_EQ(Hex(line.Received(1, 0.5)), "FD ");
}

// ---- Bytes in and out ----

class OpenPortTest : public PortTest {
 protected:
  void SetUp() override {
    PortTest::SetUp();
    ASSERT_EQ(PortOpen(kProgramsDevice), 0) << port_problem;
  }
};

TEST_F(OpenPortTest, WaitingBytesAreCountedAndReadAtOnce) {
  EXPECT_FALSE(PortHasInput());
  EXPECT_EQ(PortPending(), 0u);
  line.Send(Bytes({0x00, 0xFE, 0x0D}));
  ASSERT_TRUE(WaitPending(3));
  EXPECT_TRUE(PortHasInput());
  EXPECT_EQ(PortPending(), 3u);
  EXPECT_EQ(Hex(PortRead(3)), Hex(Bytes({0x00, 0xFE, 0x0D})));
  EXPECT_FALSE(PortHasInput());
  EXPECT_EQ(PortPending(), 0u);
  // A read of bytes already there does not wait its 100 ms for more: twenty
  // of them take far less than the 2 s they would take waiting, even on a
  // busy machine.
  double start = SecondsNow();
  for (int read = 0; read < 20; read++) {
    line.Send("x");
    ASSERT_TRUE(WaitPending(1));
    EXPECT_EQ(PortRead(1), "x");
  }
  EXPECT_LT(SecondsNow() - start, 1.5);
}

TEST_F(OpenPortTest, AReadOfMoreThanHasComeReturnsWhatCame) {
  line.Send("abc");
  ASSERT_TRUE(WaitPending(3));
  double start = SecondsNow();
  EXPECT_EQ(PortRead(100), "abc");
  EXPECT_EQ(PortRead(1), "");
  EXPECT_LT(SecondsNow() - start, 2.0);  // two waits of 100 ms, not one for each byte asked
}

TEST_F(OpenPortTest, AReadWaitsForAByteThatIsOnItsWay) {
  // The echo of a written byte comes back a few milliseconds later (8.3 ms
  // per byte at 1200 bit/s): the read after the write must wait for it.
  std::thread far_end([&] {
    poll(nullptr, 0, 10);
    line.Send("e");
  });
  std::string got = PortRead(1);
  far_end.join();
  EXPECT_EQ(got, "e");
}

TEST_F(OpenPortTest, EveryByteValuePassesBothWays) {
  std::string all;
  for (int byte = 0; byte < 256; byte++) all += static_cast<char>(byte);
  PortWrite(all, 1.0);
  EXPECT_EQ(Hex(line.Received(256)), Hex(all));
  line.Send(all);
  ASSERT_TRUE(WaitPending(256));
  EXPECT_EQ(Hex(PortRead(256)), Hex(all));
}

TEST_F(OpenPortTest, AWriteSaysWhetherEveryByteWentOut) {
  EXPECT_EQ(PortWrite("\xFD", 1.0), 0);
  // Nobody reads at the far end: the driver's buffer fills, and the rest
  // cannot be handed over in time.
  double start = SecondsNow();
  EXPECT_EQ(PortWrite(std::string(1 << 20, 'x'), 0.2), kTimedOut);
  EXPECT_LT(SecondsNow() - start, 2.5);  // ended at its 0.2 s, not held by the driver
  line.Close();
  EXPECT_EQ(PortWrite("\xFD", 1.0), kHungUp);
  EXPECT_TRUE(PortHungUp());
  PortClose();
  EXPECT_EQ(PortWrite("\xFD", 1.0), kPortFailed);
}

// ---- Frames ----

const std::string kClockFrame =
    Bytes({0xFE, 0xFE, 0x04, 0xF1, 0x14, 0x07, 0x03, 0x24, 0x09, 0x05, 0x30, 0xFD});
const std::string kReplyOk = Bytes({0xFE, 0xFE, 0xF1, 0x04, 0xFB, 0xFD});

TEST_F(OpenPortTest, WithoutEchoTheWholeFrameStillGoesOut) {
  double start = SecondsNow();
  FrameSent sent = SendFrame(kClockFrame);
  EXPECT_LT(SecondsNow() - start, 3.0);
  EXPECT_EQ(Hex(line.Received(kClockFrame.size() + 1, 0.2)), Hex(kClockFrame));
  EXPECT_EQ(Hex(civ_buffer), Hex(kClockFrame));
  EXPECT_FALSE(sent.echo_as_sent);
}

// The line and the radio: each try of the frame comes back as it was
// received, but for the bytes the try's `changes` entry puts in (a
// collision); after the last try, the reply. What the radio received is in
// `heard`.
void EchoesThenReply(const PseudoTerminal& line, std::vector<std::string> changes,
                     std::string& heard) {
  for (const std::string& changed : changes) {
    std::string frame = line.Received(kClockFrame.size());
    heard += frame;
    for (size_t i = 0; i < changed.size() && i < frame.size(); i++)
      if (changed[i]) frame[i] = changed[i];
    line.Send(frame);
  }
  line.Send(kReplyOk);
}

struct CollisionCase {
  std::vector<std::string> echoes;  // per try: the bytes another device changed
  bool answered;
};

TEST_F(OpenPortTest, AChangedEchoIsACollisionAndTheFrameGoesOutAgainUpToThreeTimes) {
  const std::string changed = Bytes({0, 0, 0, 0, 0x15});
  const CollisionCase cases[] = {
      {{""}, true},
      {{changed, ""}, true},
      {{changed, changed, ""}, true},
      {{changed, changed, changed}, false},
  };
  for (const CollisionCase& c : cases) {
    std::string heard;
    std::thread radio(EchoesThenReply, std::cref(line), c.echoes, std::ref(heard));
    ExchangeResult exchanged = Exchange(kClockFrame);
    radio.join();
    int tries = static_cast<int>(c.echoes.size());
    EXPECT_EQ(exchanged.sent.tries, tries);
    EXPECT_EQ(exchanged.answered, c.answered) << tries << " tries";
    EXPECT_EQ(exchanged.sent.echo_changed, !c.answered);
    std::string every_try;
    for (int i = 0; i < tries; i++) every_try += kClockFrame;
    EXPECT_EQ(Hex(heard), Hex(every_try));
    if (c.answered) {
      EXPECT_EQ(Hex(exchanged.reply), Hex(kReplyOk));
    }
  }
}

TEST_F(OpenPortTest, ALateEchoIsLateNotMissingOrChanged) {
  // A busy machine keeps the far end waiting: before the echo, or after its
  // first bytes, for longer than the frame's own line time. Sent once,
  // answered.
  for (size_t before_pause : {0, 4}) {
    std::thread radio([&] {
      std::string frame = line.Received(kClockFrame.size());
      line.Send(frame.substr(0, before_pause));
      poll(nullptr, 0, 300);
      line.Send(frame.substr(before_pause));
      line.Send(kReplyOk);
    });
    ExchangeResult exchanged = Exchange(kClockFrame);
    radio.join();
    EXPECT_EQ(exchanged.sent.tries, 1) << before_pause;
    EXPECT_TRUE(exchanged.sent.echo_as_sent) << before_pause;
    EXPECT_TRUE(exchanged.answered) << before_pause;
  }
}

TEST_F(OpenPortTest, TheRadiosReplyInPlaceOfTheEchoIsNoCollision) {
  line.Send(kReplyOk);  // a cable without echo: the reply is all that comes
  FrameSent sent = SendFrame(kClockFrame);
  EXPECT_EQ(sent.tries, 1);
  EXPECT_FALSE(sent.echo_as_sent);
  EXPECT_FALSE(sent.echo_changed);
}

TEST_F(OpenPortTest, AReplyThatCameTooLateIsNeitherTheNextEchoNorItsReply) {
  // A refusal that came after its window closed, still waiting at the port.
  line.Send(Bytes({0xFE, 0xFE, 0xF1, 0x04, 0xFA, 0xFD}));
  ASSERT_TRUE(WaitPending(6));
  std::string heard;
  std::thread radio(EchoesThenReply, std::cref(line), std::vector<std::string>{""},
                    std::ref(heard));
  ExchangeResult exchanged = Exchange(kClockFrame);
  radio.join();
  EXPECT_TRUE(exchanged.answered);
  EXPECT_EQ(exchanged.sent.tries, 1);
  EXPECT_EQ(Hex(exchanged.reply), Hex(kReplyOk));
}

TEST(ForSomeoneElse, IsAWholeFrameNotFromTheRadioToTheProgram) {
  const struct {
    std::string bytes;
    bool other;
  } cases[] = {
      {Bytes({0xFE, 0xFE, 0x00, 0x04, 0x00, 0x00, 0x45, 0x23, 0x14, 0xFD}), true},  // announcement
      {Bytes({0xFE, 0xFE, 0x04, 0xE0, 0x04, 0xFD}), true},              // another controller asks
      {Bytes({0xFE, 0xFE, 0xE0, 0x04, 0x04, 0x01, 0x02, 0xFD}), true},  // and is answered
      {Bytes({0x33, 0xFE, 0xFE, 0xFE, 0x00, 0x04, 0x00, 0xFD}), true},  // noise, long preamble
      {Bytes({0xFE, 0xFE, 0x04, 0xF1, 0x14, 0xFD}), true},              // our own frame
      {Bytes({0xFE, 0xFE, 0xF1, 0xE0, 0xFB, 0xFD}), true},              // to us, not from 04
      {kReplyOk, false},
      {Bytes({0x33, 0x01}) + kReplyOk, false},         // noise, then the reply
      {Bytes({0x01, 0x02, 0xFD}), false},              // no frame: noise
      {Bytes({0xFE, 0xFE, 0x00, 0x04, 0xFD}), false},  // addresses only
  };
  for (const auto& c : cases) EXPECT_EQ(ForSomeoneElse(c.bytes), c.other) << Hex(c.bytes);
}

TEST(ForSomeoneElse, FollowsTheRadiosAddressAndAtTheBroadcastAddressTakesAnyRadio) {
  const struct {
    char address;
    int source;
    bool other;
  } cases[] = {{0x5C, 0x04, true}, {0x5C, 0x5C, false}, {0x00, 0x5C, false}, {0x00, 0x04, false}};
  for (const auto& c : cases) {
    UseRadioAddress(c.address);
    EXPECT_EQ(ForSomeoneElse(Bytes({0xFE, 0xFE, 0xF1, c.source, 0xFB, 0xFD})), c.other)
        << int(c.address) << " " << c.source;
  }
  // At the broadcast address, frames to other devices are still theirs.
  EXPECT_TRUE(ForSomeoneElse(Bytes({0xFE, 0xFE, 0xE0, 0x04, 0xFB, 0xFD})));
  UseRadioAddress(kDefaultRadioAddress);
  EXPECT_EQ(frame_header, Bytes({0xFE, 0xFE, 0x04, 0xF1}));
}

TEST_F(OpenPortTest, FramesForOtherDevicesPassByAndTheWindowGoesOn) {
  const std::string announcement = Bytes({0xFE, 0xFE, 0x00, 0x04, 0x00, 0, 0x45, 0x23, 0x14, 0xFD});
  const std::string question = Bytes({0xFE, 0xFE, 0x04, 0xE0, 0x04, 0xFD});
  const std::string answer = Bytes({0xFE, 0xFE, 0xE0, 0x04, 0x04, 0x01, 0x02, 0xFD});
  line.Send(announcement + question + answer + Bytes({0x33}) + kReplyOk);
  ASSERT_TRUE(WaitPending(31));
  std::string reply;
  EXPECT_TRUE(ReceiveReply(reply));
  EXPECT_EQ(Hex(reply), Hex(kReplyOk));
}

TEST_F(OpenPortTest, NoiseBeforeTheReplyIsDroppedAndTheWindowGoesOn) {
  const std::string cases[] = {
      Bytes({0x12, 0x34, 0xFD}),              // stray bytes ending in FD
      Bytes({0xFE, 0x33, 0xFD}),              // a garbled preamble
      Bytes({0xFE, 0xFE, 0xF1}),              // a frame cut short: FE FE starts it again
      Bytes({0xFE, 0xFE, 0xF1, 0x04, 0xFD}),  // a frame with no status byte
      Bytes({0xFE, 0xFE, 0x00, 0xFD}),        // a fragment of another device's frame
      Bytes({0xFE}),                          // a longer preamble
  };
  for (const std::string& noise : cases) {
    line.Send(noise + kReplyOk + kReplyOk);
    ASSERT_TRUE(WaitPending(noise.size() + 2 * kReplyOk.size()));
    std::string reply;
    EXPECT_TRUE(ReceiveReply(reply)) << Hex(noise);
    EXPECT_EQ(Hex(reply), Hex(kReplyOk)) << Hex(noise);
    PortRead(PortPending());
  }
}

TEST_F(OpenPortTest, AFloodEndsTheWindowAtItsBoundUnanswered) {
  line.Send(std::string(1000, '\x01'));
  ASSERT_TRUE(WaitPending(1000));
  double start = SecondsNow();
  std::string reply;
  EXPECT_FALSE(ReceiveReply(reply));
  EXPECT_LT(SecondsNow() - start, 2.5);  // not the whole 3 s window
  EXPECT_EQ(reply, "");                  // noise, all of it
}

TEST_F(OpenPortTest, AHangUpEndsTheExchangeAtOnce) {
  line.Close();
  std::FILE* trace = std::tmpfile();
  TraceStart(trace);
  double start = SecondsNow();
  ExchangeResult exchanged = Exchange(kClockFrame);
  EXPECT_LT(SecondsNow() - start, 2.5);  // not the 3 s window
  EXPECT_FALSE(exchanged.answered);
  EXPECT_TRUE(exchanged.hung_up);
  EXPECT_EQ(exchanged.sent.tries, 1);
  // The trace says why no echo came.
  TraceStart(nullptr);
  std::rewind(trace);
  std::string traced(4096, '\0');
  traced.resize(std::fread(traced.data(), 1, traced.size(), trace));
  std::fclose(trace);
  EXPECT_NE(traced.find("the port hung up during the write"), std::string::npos) << traced;
}

TEST_F(OpenPortTest, StaleInputIsThrownAwayBeforeAFrame) {
  line.Send(Bytes({0x01, 0x02, 0xFD}));
  ASSERT_TRUE(WaitPending(3));
  SendFrame(Bytes({0xFD}));
  EXPECT_EQ(PortPending(), 0u);
  EXPECT_EQ(Hex(line.Received(1)), "FD ");
  line.Send(kReplyOk);
  ASSERT_TRUE(WaitPending(kReplyOk.size()));
  std::string reply;
  ReceiveReply(reply);
  EXPECT_EQ(Hex(reply), Hex(kReplyOk));
}

TEST_F(OpenPortTest, AReplyEndsAtItsFirstFdAndWhatCameBehindIsDropped) {
  line.Send(kReplyOk + Bytes({0x01, 0xFD}));
  ASSERT_TRUE(WaitPending(8));
  double start = SecondsNow();
  std::string reply;
  EXPECT_TRUE(ReceiveReply(reply));
  EXPECT_LT(SecondsNow() - start, 2.5);  // not the 3 s window
  EXPECT_EQ(Hex(reply), Hex(kReplyOk));
}

TEST_F(OpenPortTest, ASilentRadioGivesAnEmptyReplyAfterThreeSeconds) {
  std::string reply = kClockFrame;
  double start = SecondsNow();
  bool complete = ReceiveReply(reply);
  double waited = SecondsNow() - start;
  EXPECT_EQ(reply, "");
  EXPECT_FALSE(complete);
  EXPECT_GE(waited, 2.95);
  EXPECT_LT(waited, 5.0);
  EXPECT_EQ(DecodeFrequency(reply), "000000000");
}

}  // namespace
