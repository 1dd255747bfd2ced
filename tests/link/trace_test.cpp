// SPDX-License-Identifier: MIT
// The frame trace against the simulated module: what the hook sees of an
// exchange, in order, and that removing it leaves the link untouched.
#include <string>
#include <vector>

#include "frame_trace.h"
#include "frames.h"
#include "sim_line.h"

namespace {
struct Seen {
  serial::TraceDirection direction;
  uint32_t tickMs;
  std::string bytes;
};

class TraceTest : public SimLine {
 protected:
  void SetUp() override {
    SimLine::SetUp();
    ASSERT_TRUE(Open());
    link.TraceHook = ([this](const serial::TraceEvent& e) {
      seen.push_back({e.direction, e.tickMs, std::string(reinterpret_cast<const char*>(e.bytes), e.length)});
    });
  }
  void TearDown() override {
    link.TraceHook = {};
    SimLine::TearDown();
  }

  // The events of the last exchange: its frame to its end. Exchange() may
  // have sent the frame again on a slow line.
  std::vector<Seen> LastExchange() const {
    size_t start = 0;
    for (size_t i = 0; i < seen.size(); ++i)
      if (seen[i].direction == serial::TraceDirection::Sent) start = i;
    return {seen.begin() + static_cast<std::ptrdiff_t>(start), seen.end()};
  }

  std::vector<Seen> seen;
};
}  // namespace

TEST_F(TraceTest, AnExchangeIsTheFrameThenEachReplyByteThenTheEnd) {
  ASSERT_TRUE(Exchange("H00M"));
  std::vector<Seen> last = LastExchange();
  ASSERT_GE(last.size(), 3u);
  EXPECT_EQ(last.front().direction, serial::TraceDirection::Sent);
  EXPECT_EQ(last.front().bytes, std::string("\tH00M0C\r"));
  EXPECT_EQ(last.back().direction, serial::TraceDirection::Ended);
  std::string received;
  for (size_t i = 1; i + 1 < last.size(); ++i) {
    EXPECT_EQ(last[i].direction, serial::TraceDirection::Received);
    EXPECT_EQ(last[i].bytes.size(), 1u);
    received += last[i].bytes;
  }
  EXPECT_EQ(received, link.LastReply);
  // Times never run backwards along the trace.
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1].tickMs, seen[i].tickMs);
}

TEST_F(TraceTest, AnUnansweredFrameStillEndsItsExchange) {
  AddFault(sim::FaultKind::NoReply, "H00V");
  EXPECT_FALSE(serial::SendCommand(link, "H00V"));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].direction, serial::TraceDirection::Sent);
  EXPECT_EQ(seen[1].direction, serial::TraceDirection::Ended);
  // The reply window lies between the frame and the end.
  EXPECT_GT(seen[1].tickMs - seen[0].tickMs, serial::kReplyWindowMs);
}

TEST_F(TraceTest, FramesComeInTheOrderSentAndStopWithTheHook) {
  for (const char* command : {"H00M", "H00V", "H00L"}) ASSERT_TRUE(Exchange(command));
  std::vector<std::string> sent;
  for (const Seen& s : seen)
    if (s.direction == serial::TraceDirection::Sent) sent.push_back(s.bytes.substr(1, 4));
  sent.erase(std::unique(sent.begin(), sent.end()), sent.end());  // resent frames
  EXPECT_EQ(sent, (std::vector<std::string>{"H00M", "H00V", "H00L"}));
  link.TraceHook = {};
  size_t before = seen.size();
  ASSERT_TRUE(Exchange("H00M"));
  EXPECT_EQ(seen.size(), before);
}
