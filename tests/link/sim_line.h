// SPDX-License-Identifier: MIT
#pragma once
// Fixture: the link's port 3 is a simulated module on a pseudo-terminal and
// every other port has nothing behind it.

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "deadline.h"
#include "frame_trace.h"
#include "frames.h"
#include "port_names.h"
#include "serial_port.h"
#include "sim_module.h"
#include "sim_port.h"

class SimLine : public ::testing::Test {
 protected:
  static constexpr int kPort = 3;
  // Only an upper bound for waits on conditions; nothing waits this long
  // unless something is broken.
  static constexpr std::chrono::milliseconds kWait{5000};

  void SetUp() override {
    ASSERT_TRUE(module.Start());
    serial::SetPortTable(sim::SimPortTable(module.SlavePath(), kPort));
  }

  void TearDown() override {
    if (HasFailure()) {
      for (const std::string& line : module.LogLines()) std::printf("  sim: %s\n", line.c_str());
    }
    if (serial::PortIsOpen(link)) serial::ClosePort(link);
    serial::SetPortTable([](const std::string&) { return std::optional<std::string>(std::string()); });
    module.Stop();
  }

  bool Open(const std::string& setting = "19200,e,8,1") { return serial::OpenPort(link, kPort, setting); }

  // SendCommand, sent again only when the line was too slow: a machine under
  // heavy load can hold a pseudo-terminal's bytes back past the reply window.
  // Then nothing at all was received although the module did answer; once
  // the late reply has been written, the command goes out once more (the
  // link drops the late reply from its input before the frame). Any reply
  // received in the window, right or wrong, is the result. Only for commands
  // that may be repeated: a fault with a count of 1 would be used up by the
  // first try.
  bool Exchange(const std::string& command) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      uint64_t written = module.Timing().replies;
      if (serial::SendCommand(link, command)) return true;
      if (!NothingReceived() || !module.WaitForReplies(written + 1, kWait)) return false;
    }
    return false;
  }

  // For a command that must not be sent twice (it changes the module's line):
  // true when the reply came in the window, or when nothing at all was
  // received but the module did write its reply, too late for a busy line.
  bool AnsweredOnce(const std::string& command) {
    uint64_t written = module.Timing().replies;
    if (serial::SendCommand(link, command)) return true;
    return NothingReceived() && module.WaitForReplies(written + 1, kWait);
  }

  // The buffer is cleared before every frame and the module sends no zeros.
  bool NothingReceived() const {
    return link.ReplyPos == 0 && std::all_of(std::begin(link.ReplyBuffer), std::end(link.ReplyBuffer),
                                             [](uint8_t byte) { return byte == 0; });
  }

  // A count of -1 keeps the fault until ClearFaults, so Exchange may repeat.
  void AddFault(sim::FaultKind kind, const std::string& command, int value = 0, int count = -1) {
    sim::Fault fault;
    fault.kind = kind;
    fault.command = command;
    fault.value = value;
    fault.count = count;
    module.AddFault(fault);
  }

  // Replaces every reply to command with bytes, until the next call.
  void ReplyRaw(const std::string& command, const std::string& bytes) {
    module.ClearFaults();
    sim::Fault fault;
    fault.kind = sim::FaultKind::RawReply;
    fault.command = command;
    fault.count = -1;
    fault.bytes = bytes;
    module.AddFault(fault);
  }

  sim::SimModule module;
  // The test's connection: a fresh one for every test, so nothing carries
  // over from another.
  serial::LinkState link{serial::PortScope::AnyPort()};
};

// A descriptor of the test's own on the line's slave side, to read and set
// its termios as another program would.
class OwnDescriptor {
 public:
  explicit OwnDescriptor(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  ~OwnDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  OwnDescriptor(const OwnDescriptor&) = delete;
  OwnDescriptor& operator=(const OwnDescriptor&) = delete;
  int fd() const { return fd_; }
  termios Get() const {
    termios tio{};
    tcgetattr(fd_, &tio);
    return tio;
  }
  void Set(const termios& tio) const { tcsetattr(fd_, TCSANOW, &tio); }

 private:
  int fd_;
};
