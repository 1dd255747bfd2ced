// The serial port on a real pseudo-terminal: opening, exclusivity, line
// parameters, timeouts and a peer that goes away.

#include <sys/file.h>
#include <time.h>

#include "sim_line.h"

namespace {

using sim::FaultKind;

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

TEST_F(SimLine, PortWithoutDeviceDoesNotOpen) {
  EXPECT_FALSE(OpenPort(5, "19200,e,8,1"));
  EXPECT_FALSE(PortIsOpen());
  EXPECT_FALSE(OpenPort(0, "19200,e,8,1"));
  EXPECT_FALSE(PortIsOpen());
  EXPECT_TRUE(Open());
  EXPECT_TRUE(PortIsOpen());
}

TEST_F(SimLine, PortHeldByAnotherProgramDoesNotOpen) {
  {
    OwnDescriptor other(module.SlavePath());
    ASSERT_GE(other.fd(), 0);
    ASSERT_EQ(flock(other.fd(), LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(Open());
    EXPECT_FALSE(PortIsOpen());
  }
  EXPECT_TRUE(Open());
  // And while we hold it, nobody else gets the lock.
  OwnDescriptor other(module.SlavePath());
  EXPECT_NE(flock(other.fd(), LOCK_EX | LOCK_NB), 0);
}

TEST_F(SimLine, ReadPortByteDeliversWaitingBytesOnly) {
  ASSERT_TRUE(Open());
  uint8_t byte = 0;
  EXPECT_FALSE(ReadPortByte(byte));
  module.WriteRaw("AB");
  ASSERT_TRUE(module.WaitForLogLine("-> AB", kWait));
  ASSERT_TRUE(ReadPortByte(byte));
  EXPECT_EQ(byte, 'A');
  ASSERT_TRUE(ReadPortByte(byte));
  EXPECT_EQ(byte, 'B');
  EXPECT_FALSE(ReadPortByte(byte));
}

TEST_F(SimLine, CloseRestoresTimeoutsButKeepsTheLine) {
  OwnDescriptor own(module.SlavePath());
  ASSERT_GE(own.fd(), 0);
  termios before = own.Get();
  before.c_cc[VMIN] = 5;
  before.c_cc[VTIME] = 7;
  cfsetospeed(&before, B4800);
  cfsetispeed(&before, B4800);
  own.Set(before);

  ASSERT_TRUE(Open("38400,n,8,1"));
  termios during = own.Get();
  EXPECT_EQ(during.c_cc[VMIN], 0);
  EXPECT_EQ(during.c_cc[VTIME], 0);
  EXPECT_EQ(cfgetospeed(&during), B38400);
  EXPECT_EQ(during.c_lflag & ECHO, 0u);
  EXPECT_EQ(during.c_iflag & (IXON | IXOFF), 0u);
  ClosePort();

  termios after = own.Get();
  EXPECT_EQ(after.c_cc[VMIN], 5);
  EXPECT_EQ(after.c_cc[VTIME], 7);
  EXPECT_EQ(cfgetospeed(&after), B38400);

  // Opening again while open must not take the link's timeouts for the
  // port's own.
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Open());
  ClosePort();
  after = own.Get();
  EXPECT_EQ(after.c_cc[VMIN], 5);
  EXPECT_EQ(after.c_cc[VTIME], 7);
}

TEST_F(SimLine, UnparseableSettingOpensAndKeepsTheSpeed) {
  OwnDescriptor own(module.SlavePath());
  termios tio = own.Get();
  cfsetospeed(&tio, B4800);
  cfsetispeed(&tio, B4800);
  own.Set(tio);
  for (const char* setting : {"", "fast", "19200,x,8,1", "19200,e,9,1", "19200,e,8"}) {
    SCOPED_TRACE(setting);
    ASSERT_TRUE(OpenPort(kPort, setting));
    termios now = own.Get();
    EXPECT_EQ(cfgetospeed(&now), B4800);
    ClosePort();
  }
}

TEST_F(SimLine, ModuleAtAnotherSpeedStaysSilent) {
  ASSERT_TRUE(Open("9600,e,8,1"));
  EXPECT_FALSE(SendCommand("H00M"));
  // The frame must be judged before the port changes speed below.
  EXPECT_TRUE(module.WaitForLogLine("ignored: line speed 9600, module at 19200", kWait));
  EXPECT_TRUE(module.Commands().empty());
  ClosePort();
  // The parity letter cannot be seen on a pseudo-terminal; the speed decides.
  ASSERT_TRUE(Open("19200,n,8,1"));
  EXPECT_TRUE(Exchange("H00M"));
}

TEST_F(SimLine, PeerHangingUpMidReplyEndsTheExchangeWithoutSpinning) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  AddFault(FaultKind::HangUp, "H00V");
  double cpuBefore = CpuSeconds();
  auto wallBefore = std::chrono::steady_clock::now();
  EXPECT_FALSE(SendCommand("H00V"));
  // After the hang-up every read reports "no byte": still false, still no spin.
  EXPECT_FALSE(SendCommand("H00M"));
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  double cpu = CpuSeconds() - cpuBefore;
  EXPECT_LT(wall, 2.0) << "the reply window must end the exchange";
  EXPECT_LT(cpu, 0.5 * wall) << "cpu " << cpu << " s in " << wall << " s";
  EXPECT_EQ(Link.LastReply, "\nM01:1234567874\r");
  ClosePort();
  EXPECT_FALSE(Open()) << "the line is gone";
}

}  // namespace
