// SPDX-License-Identifier: MIT
#pragma once
// The frame log of the simulated module that runs beside a Windows test.
//
// The module is a Linux program; run-with-sim.sh starts it, maps COM3 and
// COM12 of wine to it and hands its log file to the test in RT420_SIM_LOG (a
// path on wine's drive Z:). The log has one line per frame received and
// written and per decision of the module:
//   "<ms since start> <- <text>  [<hex>]"   received
//   "<ms since start> -> <text>  [<hex>]"   written
//   "<ms since start> -- <note>"            anything else
// The file is read afresh at every call; it only grows while the module runs.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class SimLog {
 public:
  // The log named by RT420_SIM_LOG; empty when the variable is not set.
  static std::string PathFromEnvironment();

  explicit SimLog(std::string path) : path_(std::move(path)) {}

  // The whole log now, one entry per line (at most the first kMaxBytes).
  std::vector<std::string> Lines() const;
  // The number of lines holding fragment.
  size_t Count(const std::string& fragment) const;
  // Waits until at least count lines hold fragment (lines already logged
  // count); false when they did not come within timeout.
  bool WaitForCount(const std::string& fragment, size_t count, std::chrono::milliseconds timeout) const;
  bool WaitForLine(const std::string& fragment, std::chrono::milliseconds timeout) const {
    return WaitForCount(fragment, 1, timeout);
  }
  // The number of frames the module has written so far.
  size_t Replies() const { return Count(kReplyMark); }
  bool WaitForReplies(size_t count, std::chrono::milliseconds timeout) const {
    return WaitForCount(kReplyMark, count, timeout);
  }
  // The module's reply time of each answered frame: from the line of the
  // received frame to the line of the reply written, in milliseconds.
  std::vector<double> ReplyTimesMs() const;

  static constexpr size_t kMaxBytes = 16 * 1024 * 1024;
  static constexpr const char* kReplyMark = " -> ";
  static constexpr const char* kReceivedMark = " <- ";

 private:
  std::string path_;
};
