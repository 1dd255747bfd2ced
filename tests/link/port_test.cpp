// SPDX-License-Identifier: MIT
// The serial port on a real pseudo-terminal: opening, exclusivity, line
// parameters, timeouts and a peer that goes away.

#include <sys/file.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "sim_line.h"

namespace {

using sim::FaultKind;

TEST_F(SimLine, PortWithoutDeviceDoesNotOpen) {
  EXPECT_FALSE(serial::OpenPort(link, 5, "19200,e,8,1"));
  EXPECT_FALSE(serial::PortIsOpen(link));
  EXPECT_FALSE(serial::OpenPort(link, 0, "19200,e,8,1"));
  EXPECT_FALSE(serial::PortIsOpen(link));
  EXPECT_TRUE(Open());
  EXPECT_TRUE(serial::PortIsOpen(link));
}

TEST_F(SimLine, PortHeldByAnotherProgramDoesNotOpen) {
  {
    OwnDescriptor other(module.SlavePath());
    ASSERT_GE(other.fd(), 0);
    ASSERT_EQ(flock(other.fd(), LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(Open());
    EXPECT_FALSE(serial::PortIsOpen(link));
  }
  EXPECT_TRUE(Open());
  // And while we hold it, nobody else gets the lock.
  OwnDescriptor other(module.SlavePath());
  EXPECT_NE(flock(other.fd(), LOCK_EX | LOCK_NB), 0);
}

TEST_F(SimLine, ReadPortByteDeliversWaitingBytesOnly) {
  ASSERT_TRUE(Open());
  uint8_t byte = 0;
  EXPECT_FALSE(serial::ReadPortByte(link, byte));
  module.WriteRaw("AB");
  ASSERT_TRUE(module.WaitForLogLine("-> AB", kWait));
  ASSERT_TRUE(serial::ReadPortByte(link, byte));
  EXPECT_EQ(byte, 'A');
  ASSERT_TRUE(serial::ReadPortByte(link, byte));
  EXPECT_EQ(byte, 'B');
  EXPECT_FALSE(serial::ReadPortByte(link, byte));
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
  serial::ClosePort(link);

  termios after = own.Get();
  EXPECT_EQ(after.c_cc[VMIN], 5);
  EXPECT_EQ(after.c_cc[VTIME], 7);
  EXPECT_EQ(cfgetospeed(&after), B38400);
}

TEST_F(SimLine, OpenPortNeverTakesOverAnOpenPort) {
  OwnDescriptor own(module.SlavePath());
  termios before = own.Get();
  before.c_cc[VMIN] = 5;
  before.c_cc[VTIME] = 7;
  own.Set(before);
  ASSERT_TRUE(Open());
  module.WriteRaw("AB");
  ASSERT_TRUE(module.WaitForLogLine("-> AB", kWait));

  // The same port and another one: both refused, while the open port stays.
  EXPECT_FALSE(Open("9600,n,8,1"));
  EXPECT_EQ(serial::LastPortOpenFailure(link).problem, serial::PortOpenProblem::AlreadyOpen);
  EXPECT_EQ(serial::LastPortOpenFailure(link).devicePath, module.SlavePath());
  EXPECT_FALSE(serial::OpenPort(link, 5, "19200,e,8,1"));
  EXPECT_EQ(serial::LastPortOpenFailure(link).problem, serial::PortOpenProblem::AlreadyOpen);
  EXPECT_EQ(serial::LastPortOpenFailure(link).portNumber, 5);
  EXPECT_TRUE(serial::PortIsOpen(link));

  // Not reopened: the bytes received before are still there, the line
  // setting is the first open's.
  uint8_t byte = 0;
  ASSERT_TRUE(serial::ReadPortByte(link, byte));
  EXPECT_EQ(byte, 'A');
  termios during = own.Get();
  EXPECT_EQ(cfgetospeed(&during), B19200);
  EXPECT_TRUE(Exchange("H00M"));

  // And the port's own timeouts, not the link's, go back at the close.
  serial::ClosePort(link);
  termios after = own.Get();
  EXPECT_EQ(after.c_cc[VMIN], 5);
  EXPECT_EQ(after.c_cc[VTIME], 7);
  EXPECT_TRUE(Open()) << "a closed port opens again";
}

TEST_F(SimLine, FailedOpenTellsWhatThePortWasAndWhy) {
  EXPECT_FALSE(serial::OpenPort(link, 5, "19200,e,8,1"));
  EXPECT_EQ(serial::LastPortOpenFailure(link).portNumber, 5);
  EXPECT_EQ(serial::LastPortOpenFailure(link).problem, serial::PortOpenProblem::NothingBehindPort);
  EXPECT_EQ(serial::LastPortOpenFailure(link).devicePath, "");
  EXPECT_EQ(serial::DescribePortOpenFailure(serial::LastPortOpenFailure(link)),
            "COM5: no device behind this port number");

  // A path that does not exist.
  const std::string missing = ::testing::TempDir() + "rt420-no-such-port-" + std::to_string(getpid());
  serial::SetPortTable(sim::SimPortTable(missing, 2));
  EXPECT_FALSE(serial::OpenPort(link, 2, "19200,e,8,1"));
  EXPECT_EQ(serial::LastPortOpenFailure(link).problem, serial::PortOpenProblem::Missing);
  EXPECT_EQ(serial::LastPortOpenFailure(link).devicePath, missing);
  EXPECT_EQ(serial::LastPortOpenFailure(link).systemText, std::strerror(ENOENT));
  EXPECT_EQ(serial::DescribePortOpenFailure(serial::LastPortOpenFailure(link)),
            "COM2 (" + missing + "): missing (" + std::strerror(ENOENT) + ")");

  // A plain file is no serial device.
  const std::string plain = missing + ".txt";
  { std::ofstream(plain) << "not a port\n"; }
  serial::SetPortTable(sim::SimPortTable(plain, 2));
  EXPECT_FALSE(serial::OpenPort(link, 2, "19200,e,8,1"));
  EXPECT_EQ(serial::LastPortOpenFailure(link).problem, serial::PortOpenProblem::NotATerminal);
  std::remove(plain.c_str());
}

TEST_F(SimLine, FailedOpenOfARealTerminalTellsWhy) {
  // Held by another program.
  {
    OwnDescriptor other(module.SlavePath());
    ASSERT_EQ(flock(other.fd(), LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(Open());
    EXPECT_EQ(serial::LastPortOpenFailure(link).portNumber, kPort);
    EXPECT_EQ(serial::LastPortOpenFailure(link).devicePath, module.SlavePath());
    EXPECT_EQ(serial::LastPortOpenFailure(link).problem, serial::PortOpenProblem::Busy);
    EXPECT_NE(serial::DescribePortOpenFailure(serial::LastPortOpenFailure(link)).find("busy, held by another program"),
              std::string::npos);
  }
  ASSERT_TRUE(Open());
  EXPECT_EQ(serial::LastPortOpenFailure(link).problem, serial::PortOpenProblem::None);
  EXPECT_EQ(serial::LastPortOpenFailure(link).devicePath, module.SlavePath());
  serial::ClosePort(link);

  // A terminal whose other side has gone: its device path is gone with it.
  const std::string path = module.SlavePath();
  module.Stop();
  EXPECT_FALSE(Open());
  EXPECT_EQ(serial::LastPortOpenFailure(link).devicePath, path);
  EXPECT_EQ(serial::LastPortOpenFailure(link).problem, serial::PortOpenProblem::Missing);
}

TEST_F(SimLine, UnparseableSettingOpensAndKeepsTheSpeed) {
  OwnDescriptor own(module.SlavePath());
  termios tio = own.Get();
  cfsetospeed(&tio, B4800);
  cfsetispeed(&tio, B4800);
  own.Set(tio);
  for (const char* setting : {"", "fast", "19200,x,8,1", "19200,e,9,1", "19200,e,8"}) {
    SCOPED_TRACE(setting);
    ASSERT_TRUE(serial::OpenPort(link, kPort, setting));
    termios now = own.Get();
    EXPECT_EQ(cfgetospeed(&now), B4800);
    serial::ClosePort(link);
  }
}

TEST_F(SimLine, ModuleAtAnotherSpeedStaysSilent) {
  ASSERT_TRUE(Open("9600,e,8,1"));
  EXPECT_FALSE(serial::SendCommand(link, "H00M"));
  // The frame must be judged before the port changes speed below.
  EXPECT_TRUE(module.WaitForLogLine("ignored: line speed 9600, module at 19200", kWait));
  EXPECT_TRUE(module.Commands().empty());
  serial::ClosePort(link);
  // The parity letter cannot be seen on a pseudo-terminal; the speed decides.
  ASSERT_TRUE(Open("19200,n,8,1"));
  EXPECT_TRUE(Exchange("H00M"));
}

TEST_F(SimLine, PeerHangingUpMidReplyEndsTheExchangeWithoutSpinning) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  AddFault(FaultKind::HangUp, "H00V");
  // The reader lets the window work once per read that brought no byte; a
  // read that returned at once on the gone device would spin.
  int emptyReads = 0;
  link.ProcessPendingEvents = [&emptyReads] { ++emptyReads; };
  auto wallBefore = std::chrono::steady_clock::now();
  EXPECT_FALSE(serial::SendCommand(link, "H00V"));
  // After the hang-up every read reports "no byte": still false, still no spin.
  EXPECT_FALSE(serial::SendCommand(link, "H00M"));
  double wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallBefore).count();
  link.ProcessPendingEvents = nullptr;
  EXPECT_GT(emptyReads, 0);
  EXPECT_GE(wallMs, emptyReads * 1.0) << emptyReads << " empty reads, each at least 1 ms";
  EXPECT_EQ(link.LastReply, "\nM01:1234567874\r");
  serial::ClosePort(link);
  EXPECT_FALSE(Open()) << "the line is gone";
}

}  // namespace
