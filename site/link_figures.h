// SPDX-License-Identifier: MIT
#pragma once
// The figures of a link test: per reader ID, how its exchanges went, how
// long its replies took, and a verdict against fixed thresholds.
//
// Counts: every exchange is sent once and ends in exactly one of ok,
// timeout (nothing came back in the window), checksum error (a complete
// reply whose checksum failed), partial (a reply without its CR) or other
// (anything else garbled, doubled or late); extra bytes are counted apart,
// over all exchanges: bytes that came besides the reply and the echo.
//
// Latency: the time from the end of the frame's write to the reply's first
// byte and to its CR, over the exchanges that came back ok. Percentiles are
// nearest-rank: p95 of 20 values is the 19th smallest.
//
// Verdict: PASS when at least kPassOkShare of the exchanges were ok and
// the whole reply's p99 stayed within kPassP99; MARGINAL when at least
// kMarginalOkShare were ok and the p99 stayed within kMarginalP99; FAIL
// otherwise, and always when none came back ok.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "poll_reading.h"

namespace site {

inline constexpr double kPassOkShare = 0.999;
inline constexpr double kMarginalOkShare = 0.99;
inline constexpr Micros kPassP99{60'000};
inline constexpr Micros kMarginalP99{100'000};

struct LatencySummary {
  size_t count = 0;
  Micros p50{0}, p95{0}, p99{0}, max{0};
};

// Nearest-rank percentiles of the values (in any order); all zero when
// there are none.
LatencySummary Summarise(std::vector<Micros> values);

enum class Verdict { Pass, Marginal, Fail };
const char* VerdictName(Verdict verdict);  // "PASS", "MARGINAL", "FAIL"

// The thresholds in one line, as the report prints them.
std::string VerdictThresholds();

class LinkFigures {
 public:
  // Adds one exchange as it was judged.
  void Take(const PollReading& reading);

  uint64_t Sent() const { return sent_; }
  uint64_t Ok() const { return ok_; }
  uint64_t Timeouts() const { return timeouts_; }
  uint64_t ChecksumErrors() const { return checksumErrors_; }
  uint64_t Partial() const { return partial_; }
  uint64_t Other() const { return other_; }
  uint64_t ExtraBytes() const { return extraBytes_; }
  uint64_t Echoes() const { return echoes_; }

  LatencySummary FirstByte() const { return Summarise(firstByte_); }
  LatencySummary WholeReply() const { return Summarise(wholeReply_); }
  const std::vector<Micros>& WholeReplyTimes() const { return wholeReply_; }

  Verdict Judge() const;

 private:
  uint64_t sent_ = 0, ok_ = 0, timeouts_ = 0, checksumErrors_ = 0, partial_ = 0, other_ = 0;
  uint64_t extraBytes_ = 0, echoes_ = 0;
  std::vector<Micros> firstByte_, wholeReply_;
};

// A text histogram of the times, one line per bucket of kHistogramBucket
// from 0 up to the reply window and one for anything later, each with its
// count and a bar of at most `width` characters scaled to the largest
// bucket; empty buckets after the last filled one are left out.
inline constexpr Micros kHistogramBucket{5'000};
std::vector<std::string> LatencyHistogram(const std::vector<Micros>& values, size_t width = 40);

// "12.345 ms": milliseconds with three decimals.
std::string Millis(Micros value);

}  // namespace site
