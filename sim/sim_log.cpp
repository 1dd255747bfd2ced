// SPDX-License-Identifier: MIT
#include "sim_log.h"

#include <algorithm>
#include <cstdio>

#include "sim_frames.h"

namespace sim {

void SimLog::Add(const std::string& direction, const std::string& text, Clock::time_point at) {
  auto ms = std::chrono::duration<double, std::milli>(at - origin_).count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%10.1f ", ms);
  lines_.push_back(stamp + direction + " " + text);
  total_ += 1;
  if (lines_.size() > limit_) lines_.pop_front();
}

void SimLog::AddBytes(const std::string& direction, std::string_view bytes, Clock::time_point at) {
  Add(direction, Printable(bytes) + "  [" + HexBytes(bytes) + "]", at);
}

bool SimLog::Find(const std::string& fragment, uint64_t& from) const {
  for (from = std::max(from, FirstKept()); from < total_; ++from) {
    if (lines_[static_cast<size_t>(from - FirstKept())].find(fragment) != std::string::npos) return true;
  }
  return false;
}

SimLog::Sink SimLog::TakeUnsent(std::vector<std::string>& lines) {
  lines.clear();
  if (!sink_) return {};
  for (uint64_t i = std::max(sent_, FirstKept()); i < total_; ++i) {
    lines.push_back(lines_[static_cast<size_t>(i - FirstKept())]);
  }
  sent_ = total_;
  return sink_;
}

}  // namespace sim
