// SPDX-License-Identifier: MIT
#pragma once
// Fixture: COM3 (and COM12) of wine lead to the simulated module that
// run-with-sim.sh started for this test program, with the faults the test's
// CTest entry gives it. Every other port up to COM16 opens and has nothing
// behind it; COM99 is no port at all.

#include <algorithm>
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "deadline.h"
#include "frames.h"
#include "link_state.h"
#include "serial_port.h"
#include "sim_log.h"

class SimCom : public ::testing::Test {
 protected:
  static constexpr int kPort = 3;
  static constexpr int kHighPort = 12;
  static constexpr int kNoPort = 99;
  // Only an upper bound for waits on conditions; nothing waits this long
  // unless something is broken.
  static constexpr std::chrono::milliseconds kWait{5000};

  void SetUp() override {
    ASSERT_FALSE(SimLog::PathFromEnvironment().empty()) << "run through run-with-sim.sh with RT420_SIM set";
  }

  void TearDown() override {
    if (serial::PortIsOpen(link)) serial::ClosePort(link);
  }

  bool Open(const std::string& setting = "19200,e,8,1") { return serial::OpenPort(link, kPort, setting); }

  // SendCommand, sent again only when the line was too slow: on a loaded
  // machine wine and the pseudo-terminal can hold the module's bytes back
  // past the reply window. Then nothing at all was received although the
  // module did answer; its late reply is read off the line (so it cannot
  // pass for the next reply) and the command goes out once more. Any reply
  // received in the window, right or wrong, is the result.
  bool Exchange(const std::string& command) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      const size_t written = log.Replies();
      if (serial::SendCommand(link, command)) return true;
      if (!NothingReceived() || !log.WaitForReplies(written + 1, kWait)) return false;
      if (!ReadThroughCr()) return false;
    }
    return false;
  }

  // The buffer is cleared before every frame and the module sends no zeros.
  bool NothingReceived() const {
    return link.ReplyPos == 0 && std::all_of(std::begin(link.ReplyBuffer), std::end(link.ReplyBuffer),
                                             [](uint8_t byte) { return byte == 0; });
  }

  // Reads the line up to and including the next CR.
  bool ReadThroughCr() {
    serial::Deadline deadline(kWait);
    uint8_t byte = 0;
    while (!deadline.Expired()) {
      if (serial::ReadPortByte(link, byte) && byte == '\r') return true;
    }
    return false;
  }

  // Reads whatever arrives until the line has been quiet for quietMs.
  std::string Drain(unsigned quietMs = 200) {
    std::string bytes;
    serial::Deadline limit(kWait);
    uint32_t lastByte = serial::TickCount();
    uint8_t byte = 0;
    while (!limit.Expired() && serial::TickCount() - lastByte < quietMs) {
      if (serial::ReadPortByte(link, byte)) {
        bytes.push_back(static_cast<char>(byte));
        lastByte = serial::TickCount();
      }
    }
    return bytes;
  }

  SimLog log{SimLog::PathFromEnvironment()};
  serial::LinkState link{serial::PortScope::AnyPort()};
};
