// SPDX-License-Identifier: MIT
#include "adapter_info.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace serial {

namespace {
// Enough for the number and its newline; a longer file is not a timer.
constexpr size_t kLatencyFileLimit = 16;
constexpr int kLongestLatencyTimerMs = 255;
}  // namespace

std::optional<int> UsbLatencyTimerMs(const std::string& devicePath) {
  std::error_code error;
  const std::filesystem::path device = std::filesystem::canonical(devicePath, error);
  if (error) return std::nullopt;
  const std::string file = "/sys/class/tty/" + device.filename().string() + "/device/latency_timer";
  FILE* f = std::fopen(file.c_str(), "re");
  if (!f) return std::nullopt;
  char text[kLatencyFileLimit + 1] = {};
  const size_t n = std::fread(text, 1, kLatencyFileLimit, f);
  std::fclose(f);
  if (n == 0 || n == kLatencyFileLimit) return std::nullopt;
  char* end = nullptr;
  const long ms = std::strtol(text, &end, 10);
  if (end == text || ms < 0 || ms > kLongestLatencyTimerMs) return std::nullopt;
  return static_cast<int>(ms);
}

}  // namespace serial
