// SPDX-License-Identifier: MIT
// The module link as a Windows program: the Win32 serial device on a COM
// port of wine that leads to the simulated module on a pseudo-terminal.
//
// Each group runs against a module started with its own faults (see
// CMakeLists.txt beside this file):
//   Exchanges  noreply on H00V, delay 250 ms on H00L, trickle 4 ms on H00A,
//              a stray byte before H00B, a flood for H00N, a wrong checksum
//              on every poll;
//   Line       no faults;
//   HangUp     the line hangs up in the middle of the reply to H00V.

#include <windows.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "port_names.h"
#include "serial_device.h"
#include "sim_com.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kIdentityReply = "\nM01:1234567874\r";
// A read with no byte waiting waits about 1 ms; half of that is the least
// any empty read may take.
constexpr double kLeastReadWaitMs = 0.5;
constexpr int kFloodBytes = 1500;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class Exchanges : public SimCom {};
class Line : public SimCom {};
class HangUp : public SimCom {};

TEST_F(Exchanges, FrameOnTheLineAndIdentityReply) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  EXPECT_TRUE(log.WaitForLine("<- \\tH00M0C\\r  [09 48 30 30 4D 30 43 0D]", kWait));
  EXPECT_EQ(link.LastReply, kIdentityReply);
  EXPECT_EQ(link.ReplyPos, 16);
}

TEST_F(Exchanges, EmptyReadsWaitForTheirByte) {
  ASSERT_TRUE(Open());
  constexpr int kReads = 50;
  int delivered = 0;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kReads; ++i) {
    uint8_t byte = 0;
    delivered += serial::ReadPortByte(link, byte) ? 1 : 0;
  }
  EXPECT_EQ(delivered, 0);
  EXPECT_GE(MsSince(start), kReads * kLeastReadWaitMs) << "an empty read must wait, not return at once";
}

TEST_F(Exchanges, SilentModuleEndsTheExchangeAfterTheWindow) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  int emptyReads = 0;
  link.ProcessPendingEvents = [&] { ++emptyReads; };
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(serial::SendCommand(link, "H00V"));
  const double elapsedMs = MsSince(start);
  EXPECT_GE(elapsedMs, serial::kReplyWindowMs);
  EXPECT_GE(elapsedMs, emptyReads * kLeastReadWaitMs);
  EXPECT_GT(emptyReads, 0) << "the window lets the caller handle its events";
  EXPECT_EQ(link.ReplyPos, 0);
  EXPECT_EQ(link.LastReply, kIdentityReply);
  EXPECT_TRUE(log.WaitForLine("<- \\tH00V", kWait)) << "the module got the frame and kept silent";
}

TEST_F(Exchanges, LateReplyIsNotHeardAndStaysInTheInput) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  EXPECT_FALSE(serial::SendCommand(link, "H00L"));
  EXPECT_EQ(link.ReplyPos, 0);
  EXPECT_EQ(link.LastReply, kIdentityReply);
  // The input is never purged: the late reply is still there to be read.
  EXPECT_EQ(Drain(300).substr(0, 5), "\nL00:");
}

TEST_F(Exchanges, TrickledReplyKeepsTheReaderGoing) {
  ASSERT_TRUE(Open());
  EXPECT_TRUE(Exchange("H00A"));
  EXPECT_EQ(link.LastReply.substr(0, 8), "\nA00:001");
  EXPECT_EQ(link.ReplyPos, 11);
}

TEST_F(Exchanges, ByteBeforeTheReplyMakesTheExchangeFail) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  EXPECT_FALSE(Exchange("H00B"));
  EXPECT_EQ(link.ReplyBuffer[0], 'X');
  EXPECT_EQ(link.LastReply, kIdentityReply);
}

TEST_F(Exchanges, FloodWithoutFrameEndsTheExchange) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  // Sent again only when a loaded machine held the whole flood back past
  // the window (see Exchange); every "H00N" floods.
  bool answered = serial::SendCommand(link, "H00N");
  for (int retry = 0; retry < 2 && !answered && NothingReceived(); ++retry) {
    Drain();
    answered = serial::SendCommand(link, "H00N");
  }
  EXPECT_FALSE(answered);
  EXPECT_EQ(link.ReplyPos, kFloodBytes % serial::kReplyBufferSize);
  EXPECT_EQ(link.ReplyBuffer[0], 'Z');
  EXPECT_EQ(link.LastReply, kIdentityReply);
  // Everything was read: the next exchange is clean.
  EXPECT_TRUE(Exchange("H00M"));
}

TEST_F(Exchanges, WrongChecksumIsRejectedButKept) {
  ASSERT_TRUE(Open());
  EXPECT_FALSE(Exchange("H01F"));
  ASSERT_GE(link.LastReply.size(), 4u);
  EXPECT_EQ(link.LastReply.substr(0, 5), "\nF01:");
  EXPECT_EQ(link.LastReply.back(), '\r');
  EXPECT_EQ(link.ReplyPos, static_cast<int32_t>(link.LastReply.size()));
}

TEST_F(Line, PortWithoutDeviceDoesNotOpen) {
  EXPECT_FALSE(serial::OpenPort(link, kNoPort, "19200,e,8,1"));
  EXPECT_FALSE(serial::PortIsOpen(link));
  EXPECT_FALSE(serial::OpenPort(link, 0, "19200,e,8,1"));
  EXPECT_FALSE(serial::PortIsOpen(link));
  EXPECT_TRUE(Open());
  EXPECT_TRUE(serial::PortIsOpen(link));
}

// Only COM1 to COM9 are predefined names; COM10 and above open by the
// device name "\\.\COMn".
TEST_F(Line, PortsAboveNineOpenByTheirDeviceName) {
  EXPECT_EQ(serial::ResolvePort(kHighPort), "\\\\.\\COM12");
  EXPECT_EQ(serial::ResolvePort(kPort), "\\\\.\\COM3");
  ASSERT_TRUE(serial::OpenPort(link, kHighPort, "19200,e,8,1"));
  EXPECT_TRUE(Exchange("H00M"));
  EXPECT_EQ(link.LastReply, kIdentityReply);
}

TEST_F(Line, SystemListsItsPortsByNumber) {
  const std::vector<std::string> ports = serial::ListSerialDevices();
  auto at = [&](const std::string& path) { return std::find(ports.begin(), ports.end(), path) - ports.begin(); };
  const auto com3 = at("\\\\.\\COM3");
  const auto com12 = at("\\\\.\\COM12");
  ASSERT_LT(com3, static_cast<long long>(ports.size()));
  ASSERT_LT(com12, static_cast<long long>(ports.size()));
  // By number, not by text: "COM12" sorts before "COM3" as text.
  EXPECT_LT(com3, com12);
  EXPECT_EQ(at("\\\\.\\COM99"), static_cast<long long>(ports.size()));
}

TEST_F(Line, ModuleAtAnotherSpeedStaysSilent) {
  ASSERT_TRUE(Open("9600,e,8,1"));
  EXPECT_FALSE(serial::SendCommand(link, "H00M"));
  EXPECT_TRUE(log.WaitForLine("ignored: line speed 9600, module at 19200", kWait));
  serial::ClosePort(link);
  // Parity cannot be seen on a pseudo-terminal; the speed decides.
  ASSERT_TRUE(Open("19200,n,8,1"));
  EXPECT_TRUE(Exchange("H00M"));
}

TEST_F(Line, RejectedSettingOpensAndKeepsTheLine) {
  const std::string ignored = "ignored: line speed 4800";
  ASSERT_TRUE(Open("4800,n,8,1"));
  serial::ClosePort(link);
  for (const char* setting : {"", "fast", "19200,x,8,1", "19200,e,9,1", "19200,e,8"}) {
    SCOPED_TRACE(setting);
    const size_t before = log.Count(ignored);
    ASSERT_TRUE(serial::OpenPort(link, kPort, setting));
    EXPECT_FALSE(serial::SendCommand(link, "H00M"));
    EXPECT_TRUE(log.WaitForCount(ignored, before + 1, kWait)) << "the port kept 4800 baud";
    serial::ClosePort(link);
  }
  ASSERT_TRUE(Open());
  EXPECT_TRUE(Exchange("H00M"));
}

TEST_F(Line, DeviceTimeoutsReadBackAsWritten) {
  std::unique_ptr<serial::SerialDevice> device = serial::OpenSerialDevice("\\\\.\\COM3").device;
  ASSERT_TRUE(device);
  serial::NativeTimeouts own;
  own.known = true;
  for (uint32_t i = 0; i < 5; ++i) own.words[i] = 10 + i;
  device->SetTimeouts(own);
  serial::NativeTimeouts read = device->GetTimeouts();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(read.words[i], own.words[i]) << "field " << i;

  device->ApplyTimeouts(link.LinkTimeouts);
  read = device->GetTimeouts();
  const uint32_t link[5] = {0, 0, 1, 0, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(read.words[i], link[i]) << "field " << i;
}

// A record that could not be read from the port is not written back.
TEST_F(Line, UnknownTimeoutsAreNotWrittenBack) {
  std::unique_ptr<serial::SerialDevice> device = serial::OpenSerialDevice("\\\\.\\COM3").device;
  ASSERT_TRUE(device);
  serial::NativeTimeouts own;
  own.known = true;
  for (uint32_t i = 0; i < 5; ++i) own.words[i] = 20 + i;
  device->SetTimeouts(own);
  device->SetTimeouts(serial::NativeTimeouts{});  // all zeros, not known
  const serial::NativeTimeouts read = device->GetTimeouts();
  EXPECT_TRUE(read.known);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(read.words[i], own.words[i]) << "field " << i;
}

// The setting text reaches the system as it is. Besides the speed (parity
// cannot be seen on a pseudo-terminal) it switches flow control off, and
// DTR and RTS on, whatever the port's previous owner left. (wine reports
// DTR and RTS as on whatever was set; Windows keeps what was set.)
TEST_F(Line, SettingTextSetsTheWholeLine) {
  HANDLE raw = CreateFileA("\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  DCB block{};
  block.DCBlength = sizeof block;
  ASSERT_TRUE(GetCommState(raw, &block));
  block.BaudRate = 4800;
  block.Parity = NOPARITY;
  block.fOutxCtsFlow = TRUE;
  block.fOutX = TRUE;
  block.fInX = TRUE;
  block.fDtrControl = DTR_CONTROL_DISABLE;
  block.fRtsControl = RTS_CONTROL_DISABLE;
  ASSERT_TRUE(SetCommState(raw, &block));

  std::unique_ptr<serial::SerialDevice> device = serial::OpenSerialDevice("\\\\.\\COM3").device;
  ASSERT_TRUE(device);
  std::optional<serial::LineParameters> line = serial::ParseLineSetting("19200,e,8,1");
  ASSERT_TRUE(line);
  device->ApplyLine(*line);

  DCB applied{};
  applied.DCBlength = sizeof applied;
  EXPECT_TRUE(GetCommState(raw, &applied));
  CloseHandle(raw);
  EXPECT_EQ(applied.BaudRate, 19200u);
  EXPECT_EQ(applied.ByteSize, 8);
  EXPECT_EQ(applied.StopBits, ONESTOPBIT);
  EXPECT_FALSE(applied.fOutxCtsFlow);
  EXPECT_FALSE(applied.fOutX);
  EXPECT_FALSE(applied.fInX);
  EXPECT_EQ(applied.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
  EXPECT_EQ(applied.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
}

TEST_F(HangUp, PeerHangingUpMidReplyEndsTheExchangeWithoutSpinning) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  int emptyReads = 0;
  link.ProcessPendingEvents = [&] { ++emptyReads; };
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(serial::SendCommand(link, "H00V"));
  // After the hang-up every read reports "no byte" after its wait.
  EXPECT_FALSE(serial::SendCommand(link, "H00M"));
  const double elapsedMs = MsSince(start);
  EXPECT_TRUE(log.WaitForLine("hang-up", kWait));
  EXPECT_GE(elapsedMs, 2 * serial::kReplyWindowMs);
  EXPECT_GT(emptyReads, 0);
  EXPECT_GE(elapsedMs, emptyReads * kLeastReadWaitMs) << emptyReads << " empty reads in " << elapsedMs << " ms";
  EXPECT_EQ(link.LastReply, kIdentityReply);
}

}  // namespace
