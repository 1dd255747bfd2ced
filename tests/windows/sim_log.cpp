// SPDX-License-Identifier: MIT
#include "sim_log.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>

namespace {

// How often a wait looks at the log again. The file is written by another
// program; the wait ends at its limit.
constexpr DWORD kPollIntervalMs = 5;

std::optional<double> Stamp(const std::string& line) {
  char* end = nullptr;
  double ms = std::strtod(line.c_str(), &end);
  if (end == line.c_str()) return std::nullopt;
  return ms;
}

bool Holds(const std::string& line, const char* fragment) { return line.find(fragment) != std::string::npos; }

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    Sleep(kPollIntervalMs);
  }
  return true;
}

}  // namespace

std::string SimLog::PathFromEnvironment() {
  const char* path = std::getenv("RT420_SIM_LOG");
  return path != nullptr ? path : "";
}

std::vector<std::string> SimLog::Lines() const {
  std::vector<std::string> lines;
  std::ifstream file(path_, std::ios::binary);
  std::string line;
  size_t total = 0;
  while (total < kMaxBytes && std::getline(file, line)) {
    total += line.size() + 1;
    lines.push_back(line);
  }
  return lines;
}

size_t SimLog::Count(const std::string& fragment) const {
  size_t count = 0;
  for (const std::string& line : Lines()) count += Holds(line, fragment.c_str()) ? 1 : 0;
  return count;
}

bool SimLog::WaitForCount(const std::string& fragment, size_t count, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return Count(fragment) >= count; }, timeout);
}

std::vector<double> SimLog::ReplyTimesMs() const {
  std::vector<double> times;
  std::optional<double> received;
  for (const std::string& line : Lines()) {
    if (Holds(line, kReceivedMark)) received = Stamp(line);
    if (Holds(line, kReplyMark) && received) {
      if (auto written = Stamp(line)) times.push_back(*written - *received);
      received.reset();
    }
  }
  return times;
}
