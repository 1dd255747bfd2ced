// SPDX-License-Identifier: MIT
#pragma once
// The log of a simulated line: one stamped line per event,
//   "<ms since origin> <direction> <text>"
// where direction is "<-" (from the tool), "->" (to the tool) or "--"
// (anything else); the last `limit` lines are kept. Not thread-safe by
// itself: its owner calls it under its own mutex, and hands the lines to
// its sink with the mutex released.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class SimLog {
 public:
  using Clock = std::chrono::steady_clock;
  using Sink = std::function<void(const std::string& line)>;

  explicit SimLog(size_t limit, Clock::time_point origin = Clock::now()) : limit_(limit), origin_(origin) {}

  void SetOrigin(Clock::time_point origin) { origin_ = origin; }
  void Add(const std::string& direction, const std::string& text, Clock::time_point at = Clock::now());
  // Bytes as text with non-printables escaped, then as hex.
  void AddBytes(const std::string& direction, std::string_view bytes, Clock::time_point at = Clock::now());

  std::vector<std::string> Lines() const { return {lines_.begin(), lines_.end()}; }

  // A place in the log for Find: every line logged from now on is after it.
  uint64_t End() const { return total_; }
  // Whether a line kept from `from` on contains fragment; moves `from` to
  // that line, or past every line searched, so that a repeated search looks
  // only at new ones.
  bool Find(const std::string& fragment, uint64_t& from) const;

  void SetSink(Sink sink) { sink_ = std::move(sink); }
  // The sink and the kept lines it has not had yet. While no sink is set,
  // lines wait for one (as far as the log keeps them).
  Sink TakeUnsent(std::vector<std::string>& lines);

 private:
  uint64_t FirstKept() const { return total_ - lines_.size(); }

  size_t limit_;
  Clock::time_point origin_;
  std::deque<std::string> lines_;
  uint64_t total_ = 0;  // lines ever logged; lines_ holds the last of them
  uint64_t sent_ = 0;   // lines handed to the sink or lost before it was set
  Sink sink_;
};

}  // namespace sim
