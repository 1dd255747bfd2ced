// SPDX-License-Identifier: MIT
// The link test's counts, percentiles, verdicts and histogram.

#include <gtest/gtest.h>

#include <vector>

#include "link_figures.h"

namespace {
using site::Micros;
using site::PollStatus;
using namespace std::chrono_literals;

site::PollReading Reading(PollStatus status, Micros whole = 10ms, bool checksumError = false, size_t extra = 0) {
  site::PollReading r;
  r.status = status;
  r.checksumError = checksumError;
  r.extraBytes = extra;
  if (status == PollStatus::Ok) {
    r.firstByte = whole - 2ms;
    r.wholeReply = whole;
  }
  return r;
}

TEST(LinkFigures, EveryExchangeCountsOnceInItsOwnColumn) {
  site::LinkFigures f;
  for (const auto& r : {Reading(PollStatus::Ok), Reading(PollStatus::Ok, 12ms, false, 3),
                        Reading(PollStatus::Absent), Reading(PollStatus::Garbled, 0ms, true),
                        Reading(PollStatus::Garbled, 0ms, false, 5), Reading(PollStatus::Double),
                        Reading(PollStatus::Partial), Reading(PollStatus::Late)})
    f.Take(r);
  EXPECT_EQ(f.Sent(), 8u);
  EXPECT_EQ(f.Ok(), 2u);
  EXPECT_EQ(f.Timeouts(), 1u);
  EXPECT_EQ(f.ChecksumErrors(), 1u);
  EXPECT_EQ(f.Partial(), 1u);
  EXPECT_EQ(f.Other(), 3u);
  EXPECT_EQ(f.ExtraBytes(), 8u);
  EXPECT_EQ(f.Ok() + f.Timeouts() + f.ChecksumErrors() + f.Partial() + f.Other(), f.Sent());
  EXPECT_EQ(f.WholeReply().count, 2u);
  EXPECT_EQ(f.FirstByte().max, 10ms);
}

TEST(LinkFigures, PercentilesAreNearestRank) {
  std::vector<Micros> values;
  for (int i = 100; i >= 1; --i) values.push_back(Micros(i * 1000));
  const site::LatencySummary s = site::Summarise(values);
  EXPECT_EQ(s.count, 100u);
  EXPECT_EQ(s.p50, 50ms);
  EXPECT_EQ(s.p95, 95ms);
  EXPECT_EQ(s.p99, 99ms);
  EXPECT_EQ(s.max, 100ms);
  const site::LatencySummary one = site::Summarise({7ms});
  EXPECT_EQ(one.p50, 7ms);
  EXPECT_EQ(one.p99, 7ms);
  EXPECT_EQ(site::Summarise({}).count, 0u);
}

TEST(LinkFigures, VerdictsFollowTheThresholds) {
  struct Case {
    int ok, absent;
    Micros whole;
    site::Verdict verdict;
  } cases[] = {
      {1000, 0, 10ms, site::Verdict::Pass},     {999, 1, 10ms, site::Verdict::Pass},
      {998, 2, 10ms, site::Verdict::Marginal},  {1000, 0, 61ms, site::Verdict::Marginal},
      {990, 10, 10ms, site::Verdict::Marginal}, {989, 11, 10ms, site::Verdict::Fail},
      {1000, 0, 101ms, site::Verdict::Fail},    {0, 5, 10ms, site::Verdict::Fail},
  };
  for (const Case& c : cases) {
    site::LinkFigures f;
    for (int i = 0; i < c.ok; ++i) f.Take(Reading(PollStatus::Ok, c.whole));
    for (int i = 0; i < c.absent; ++i) f.Take(Reading(PollStatus::Absent));
    EXPECT_EQ(site::VerdictName(f.Judge()), std::string(site::VerdictName(c.verdict))) << c.ok << "/" << c.absent;
  }
}

TEST(LinkFigures, TheHistogramCountsEveryValueInItsBucket) {
  const auto lines = site::LatencyHistogram({1ms, 4ms, 6ms, 200ms}, 10);
  ASSERT_EQ(lines.size(), 25u);  // 24 buckets up to 120 ms, then the late one
  EXPECT_NE(lines[0].find("  0-  5 ms      2 ##########"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("      1 #####"), std::string::npos) << lines[1];
  EXPECT_NE(lines[24].find(">120 ms      1"), std::string::npos) << lines[24];
  EXPECT_EQ(site::LatencyHistogram({3ms}, 10).size(), 1u);
}

}  // namespace
