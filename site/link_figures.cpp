// SPDX-License-Identifier: MIT
#include "link_figures.h"

#include <algorithm>
#include <cstdio>

namespace site {

LatencySummary Summarise(std::vector<Micros> values) {
  LatencySummary summary;
  summary.count = values.size();
  if (values.empty()) return summary;
  std::sort(values.begin(), values.end());
  // Nearest rank: the smallest value with at least p % of the values at or
  // below it.
  const auto rank = [&values](unsigned percent) {
    size_t position = (values.size() * percent + 99) / 100;
    return values[std::max<size_t>(position, 1) - 1];
  };
  summary.p50 = rank(50);
  summary.p95 = rank(95);
  summary.p99 = rank(99);
  summary.max = values.back();
  return summary;
}

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Pass: return "PASS";
    case Verdict::Marginal: return "MARGINAL";
    case Verdict::Fail: return "FAIL";
  }
  return "FAIL";
}

std::string VerdictThresholds() {
  char line[200];
  std::snprintf(line, sizeof line,
                "PASS: at least %.1f %% ok and p99 within %s; MARGINAL: at least %.0f %% ok and p99 within %s; "
                "FAIL: otherwise",
                kPassOkShare * 100, Millis(kPassP99).c_str(), kMarginalOkShare * 100, Millis(kMarginalP99).c_str());
  return line;
}

void LinkFigures::Take(const PollReading& reading) {
  sent_ += 1;
  extraBytes_ += reading.extraBytes;
  if (reading.echo) echoes_ += 1;
  switch (reading.status) {
    case PollStatus::Ok:
      ok_ += 1;
      if (reading.firstByte) firstByte_.push_back(*reading.firstByte);
      if (reading.wholeReply) wholeReply_.push_back(*reading.wholeReply);
      return;
    case PollStatus::Absent: timeouts_ += 1; return;
    case PollStatus::Partial: partial_ += 1; return;
    default: break;
  }
  if (reading.checksumError)
    checksumErrors_ += 1;
  else
    other_ += 1;
}

Verdict LinkFigures::Judge() const {
  if (ok_ == 0) return Verdict::Fail;
  const double share = static_cast<double>(ok_) / static_cast<double>(sent_);
  const Micros p99 = WholeReply().p99;
  if (share >= kPassOkShare && p99 <= kPassP99) return Verdict::Pass;
  if (share >= kMarginalOkShare && p99 <= kMarginalP99) return Verdict::Marginal;
  return Verdict::Fail;
}

std::string Millis(Micros value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f ms", static_cast<double>(value.count()) / 1000.0);
  return text;
}

std::vector<std::string> LatencyHistogram(const std::vector<Micros>& values, size_t width) {
  const size_t inWindow = static_cast<size_t>(kReplyWindow / kHistogramBucket);
  std::vector<size_t> counts(inWindow + 1, 0);  // the last: after the window
  for (Micros value : values) {
    size_t bucket = value < Micros(0) ? 0 : static_cast<size_t>(value / kHistogramBucket);
    counts[std::min(bucket, inWindow)] += 1;
  }
  const size_t largest = *std::max_element(counts.begin(), counts.end());
  size_t last = counts.size();
  while (last > 0 && counts[last - 1] == 0) --last;
  std::vector<std::string> lines;
  const long step = static_cast<long>(kHistogramBucket.count() / 1000);
  for (size_t i = 0; i < last; ++i) {
    char label[48];
    if (i == inWindow)
      std::snprintf(label, sizeof label, "  >%3ld ms", static_cast<long>(i) * step);
    else
      std::snprintf(label, sizeof label, "%3ld-%3ld ms", static_cast<long>(i) * step, static_cast<long>(i + 1) * step);
    size_t bar = largest == 0 ? 0 : (counts[i] * width + largest - 1) / largest;
    char count[32];
    std::snprintf(count, sizeof count, " %6zu ", counts[i]);
    lines.push_back(std::string(label) + count + std::string(bar, '#'));
  }
  return lines;
}

}  // namespace site
