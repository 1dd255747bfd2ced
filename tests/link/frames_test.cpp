// SPDX-License-Identifier: MIT
// Command frames and replies against the simulated module over a real
// pseudo-terminal.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "frame_trace.h"
#include "sim_line.h"

namespace {

using sim::FaultKind;
using Clock = std::chrono::steady_clock;

const std::string kIdentityReply = "\nM01:1234567874\r";
constexpr uint32_t kShortFloodLimitMs = 300;
constexpr int kLateQueueMs = 200;
constexpr unsigned kOperationPauseMs = 100;

TEST(FrameChecksum, SeedIsTabAndDigitsAreUpperCase) {
  const uint8_t text[] = {'H', '0', '0', 'M'};
  EXPECT_EQ(serial::FrameChecksum(text, 4), 0x0C);
  EXPECT_EQ(serial::FrameChecksum(text, 0), 0x09);
  EXPECT_EQ(serial::FrameChecksum(text, -3), 0x09);
  EXPECT_EQ(serial::ByteToHex(0x0C), "0C");
  EXPECT_EQ(serial::ByteToHex(0xAF), "AF");
  EXPECT_EQ(serial::ByteToHex(0x00), "00");
}

TEST_F(SimLine, FrameOnTheLineAndIdentityReply) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  EXPECT_TRUE(module.WaitForLogLine("<- \\tH00M0C\\r  [09 48 30 30 4D 30 43 0D]", kWait));
  EXPECT_EQ(module.Commands().front(), "H00M");
  EXPECT_EQ(link.LastReply, kIdentityReply);
  EXPECT_EQ(link.ReplyPos, 16);
  EXPECT_EQ(serial::ReplyChars(link, 3, 4), "01");
  EXPECT_EQ(serial::ReplyChars(link, 6, 13), "12345678");
  EXPECT_EQ(serial::ReplyChars(link, 15, 40), "4\r");  // clipped at the end of the reply
}

TEST_F(SimLine, ShortestRepliesAndCaseOfChecksum) {
  ASSERT_TRUE(Open());
  // LF alone has the checksum 0A: the shortest reply that can be right.
  ReplyRaw("H00M", "\n0A\r");
  EXPECT_TRUE(Exchange("H00M"));
  EXPECT_EQ(link.ReplyPos, 4);
  EXPECT_EQ(link.LastReply, "\n0A\r");

  // Lower-case hex does not match, but the reply still becomes the last one.
  ReplyRaw("H00M", "\n0a\r");
  EXPECT_FALSE(Exchange("H00M"));
  EXPECT_EQ(link.ReplyPos, 4);
  EXPECT_EQ(link.LastReply, "\n0a\r");

  ReplyRaw("H00M", "\n\r");
  EXPECT_FALSE(Exchange("H00M"));
  EXPECT_EQ(link.ReplyPos, 2);
  EXPECT_EQ(link.LastReply, "\n\r");

  ReplyRaw("H00M", "\nX\r");
  EXPECT_FALSE(Exchange("H00M"));
  EXPECT_EQ(link.ReplyPos, 3);
  EXPECT_EQ(link.LastReply, "\nX\r");
}

TEST_F(SimLine, ByteBeforeTheReplyMakesTheExchangeFail) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  // Written after the frame, just before the reply: the reply must be the
  // first thing received, so this exchange fails.
  AddFault(FaultKind::StrayByte, "H00B");
  EXPECT_FALSE(Exchange("H00B"));
  EXPECT_EQ(link.ReplyBuffer[0], 'X');
  EXPECT_EQ(link.LastReply, kIdentityReply);
  module.ClearFaults();
  EXPECT_TRUE(Exchange("H00B"));
}

// A two-wire adapter hands back every frame the tool writes. An exact copy
// that comes first is dropped and traced as the echo; nothing else is ever
// dropped, so a copy that differs or breaks off, a second copy, or a stray
// byte after the echo still fails the exchange with the bytes as received.
TEST_F(SimLine, TheAdaptersEchoOfTheFrameIsDroppedAndNothingElseIs) {
  const std::string frame = "\tH00M0C\r";
  struct Case {
    const char* name;
    bool lineEchoes;
    std::string raw;  // replaces the module's reply when not empty
    bool answered;
    bool echoHeard;
    char firstKept;   // ReplyBuffer[0] after the exchange
  };
  const Case cases[] = {
      {"echoing line", true, "", true, true, '\n'},
      {"copy from the module's side", false, frame + kIdentityReply, true, true, '\n'},
      {"copy that differs", false, "\tH00M0D\r" + kIdentityReply, false, false, '\t'},
      {"copy that breaks off", false, "\tH00" + kIdentityReply, false, false, '\t'},
      {"second copy after the echo", true, frame + kIdentityReply, false, true, '\t'},
      {"stray byte after the echo", true, "X" + kIdentityReply, false, true, 'X'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    module.ClearFaults();
    module.SetEcho(c.lineEchoes);
    if (!c.raw.empty()) ReplyRaw("H00M", c.raw);
    serial::LinkState fresh{serial::PortScope::AnyPort()};
    std::vector<serial::TraceDirection> events;
    fresh.TraceHook = [&events](const serial::TraceEvent& e) {
      if (events.empty() || events.back() != e.direction) events.push_back(e.direction);
    };
    ASSERT_TRUE(serial::OpenPort(fresh, kPort, "19200,e,8,1"));
    // A loaded machine may hold the whole answer back past the window; the
    // bytes then say nothing about the echo, so the exchange is made again.
    bool answered = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
      const uint64_t written = module.Timing().replies;
      answered = serial::SendCommand(fresh, "H00M");
      if (answered || fresh.ReplyPos != 0) break;
      ASSERT_TRUE(module.WaitForReplies(written + 1, kWait));
    }
    EXPECT_EQ(answered, c.answered);
    EXPECT_EQ(fresh.EchoHeard, c.echoHeard);
    EXPECT_EQ(fresh.ReplyBuffer[0], static_cast<uint8_t>(c.firstKept));
    if (c.answered) {
      EXPECT_EQ(fresh.LastReply, kIdentityReply);
    }
    const bool echoTraced = std::find(events.begin(), events.end(), serial::TraceDirection::Echo) != events.end();
    EXPECT_EQ(echoTraced, c.echoHeard);
    serial::ClosePort(fresh);
  }
}

TEST_F(SimLine, BytesLeftFromEarlierExchangesAreDroppedBeforeTheFrame) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));

  // A byte that came in after the last reply, while the port was open.
  module.WriteRaw("Q");
  ASSERT_TRUE(module.WaitForLogLine("-> Q", kWait));
  EXPECT_TRUE(Exchange("H00B"));
  EXPECT_EQ(link.ReplyBuffer[0], '\n');
  EXPECT_EQ(link.LastReply.substr(0, 5), "\nB00:");

  // Bytes that came in while the port was closed.
  serial::ClosePort(link);
  module.WriteRaw("R\r");
  ASSERT_TRUE(module.WaitForLogLine("-> R\\r", kWait));
  ASSERT_TRUE(Open());
  EXPECT_TRUE(Exchange("H00V"));
  EXPECT_EQ(link.LastReply.substr(0, 5), "\nV00:");
}

TEST_F(SimLine, LateReplyIsNotHeardAndLastReplyStays) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  AddFault(FaultKind::Delay, "H00V", 250, 1);
  EXPECT_FALSE(serial::SendCommand(link, "H00V"));
  EXPECT_EQ(link.ReplyPos, 0);
  EXPECT_EQ(link.LastReply, kIdentityReply);
}

TEST_F(SimLine, LateReplyIsNotTakenForTheAnswerToTheNextCommand) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  AddFault(FaultKind::Delay, "", 200, -1);  // every reply 200 ms late
  uint64_t written = module.Timing().replies;
  EXPECT_FALSE(serial::SendCommand(link, "H00V"));
  EXPECT_EQ(link.ReplyPos, 0);
  // The version reply reaches the port's input before the next frame goes out.
  ASSERT_TRUE(module.WaitForReplies(written + 1, kWait));

  EXPECT_FALSE(serial::SendCommand(link, "H00L"));
  EXPECT_EQ(link.ReplyPos, 0) << "the late version reply was read as the key count reply";
  EXPECT_EQ(link.LastReply, kIdentityReply);

  // With the line in time again, the answer is the key count's own.
  ASSERT_TRUE(module.WaitForReplies(written + 2, kWait));
  module.ClearFaults();
  ASSERT_TRUE(Exchange("H00L"));
  EXPECT_EQ(serial::ReplyChars(link, 2, 5), "L00:");
}

// The next frame goes out right after the window, before the late reply has
// come: a different command waits for it and throws it away; a repeat of the
// same command takes its own answer either way.
TEST_F(SimLine, AReplyStillOnItsWayIsNeverTheAnswerToAnotherCommand) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  AddFault(FaultKind::Delay, "H00V", 200, 1);
  EXPECT_FALSE(serial::SendCommand(link, "H00V"));
  const uint32_t versionFrameAt = link.LastFrameAt;
  ASSERT_TRUE(Exchange("H00L"));
  EXPECT_EQ(serial::ReplyChars(link, 2, 5), "L00:") << "the late version reply was read as the key count reply";
  EXPECT_GE(link.LastFrameAt - versionFrameAt, serial::kLateReplyGuardMs);

  AddFault(FaultKind::Delay, "H00M", 200, 1);
  EXPECT_FALSE(serial::SendCommand(link, "H00M"));
  ASSERT_TRUE(Exchange("H00M"));
  EXPECT_EQ(link.LastReply, kIdentityReply);
}

TEST_F(SimLine, TrickledReplyKeepsTheReaderGoing) {
  ASSERT_TRUE(Open());
  // 16 bytes 4 ms apart: gaps the reader must wait through, all in the window.
  AddFault(FaultKind::Trickle, "H00M", 4);
  EXPECT_TRUE(Exchange("H00M"));
  EXPECT_EQ(link.LastReply, kIdentityReply);
}

TEST_F(SimLine, ReplyAsLongAsTheBufferWrapsAndIsRejected) {
  ASSERT_TRUE(Open());
  AddFault(FaultKind::WrongLength, "H00M", 1023);
  EXPECT_TRUE(Exchange("H00M"));
  EXPECT_EQ(link.ReplyPos, 1023);
  EXPECT_EQ(link.LastReply.size(), 1023u);
  module.ClearFaults();

  // The CR lands on position 1023: the fill position wraps to 0, the end
  // mark goes to position 0 and the reply is empty.
  AddFault(FaultKind::WrongLength, "H00M", 1024);
  EXPECT_FALSE(Exchange("H00M"));
  EXPECT_EQ(link.ReplyPos, 0);
  EXPECT_EQ(link.LastReply, "");
}

TEST_F(SimLine, FloodWithoutFrameEndsTheExchange) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  AddFault(FaultKind::Flood, "H00B", 0, 1);
  EXPECT_FALSE(serial::SendCommand(link, "H00B"));
  EXPECT_EQ(link.ReplyPos, sim::kFloodBytes % serial::kReplyBufferSize);
  EXPECT_EQ(link.LastReply, kIdentityReply);
  // Everything was read: the next exchange is clean.
  EXPECT_TRUE(Exchange("H00B"));
}

// One flood is given up after the limit and ends when the port closes; a
// second, given up sooner (only where it ends matters), ends at the next
// frame, which only a repeat of the same command may send while it lasts.
TEST_F(SimLine, EndlessFloodIsGivenUpAndEndsWithThePortOrTheNextFrame) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  AddFault(FaultKind::EndlessFlood, "H00B", 0, 1);
  Clock::time_point start = Clock::now();
  EXPECT_FALSE(serial::SendCommand(link, "H00B"));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(serial::kFloodLimitMs));
  EXPECT_EQ(link.ReplyBuffer[0], 'Z');
  EXPECT_EQ(link.LastReply, kIdentityReply);

  serial::ClosePort(link);
  ASSERT_TRUE(module.WaitForLogLine("bytes: the port was closed", kWait));
  ASSERT_TRUE(Open());
  EXPECT_TRUE(Exchange("H00M"));
  EXPECT_EQ(link.LastReply, kIdentityReply);

  link.FloodLimitMs = kShortFloodLimitMs;
  AddFault(FaultKind::EndlessFlood, "H00B", 0, 1);
  EXPECT_FALSE(serial::SendCommand(link, "H00B"));
  uint64_t framesSent = 0;
  link.TraceHook = ([&framesSent](const serial::TraceEvent& e) {
    framesSent += e.direction == serial::TraceDirection::Sent ? 1 : 0;
  });
  EXPECT_FALSE(serial::SendCommand(link, "H00V")) << "another command went out while the line floods";
  EXPECT_EQ(framesSent, 0u);
  link.TraceHook = {};
  // The repeat's frame ends the flood. Flood bytes still stand before its
  // reply; the next repeat's frame goes out after the input is cleared.
  serial::SendCommand(link, "H00B");
  ASSERT_TRUE(module.WaitForLogLine("bytes: a frame came in", kWait));
  EXPECT_TRUE(Exchange("H00B"));
  EXPECT_TRUE(Exchange("H00V"));
  EXPECT_EQ(serial::ReplyChars(link, 2, 5), "V00:");
}

// A module that answers every command 200 ms late and queues what comes in
// meanwhile, asked as the scan asks it: each identity attempt is sent once
// the last window has run out, the version after a pause. Without the wait
// for a quiet line, the version window would catch a queued identity reply. Whatever the attempts got, the next
// command's answer is its own or none, and the backlog is traced as thrown
// away.
TEST_F(SimLine, ASlowModulesBacklogIsNeverTheAnswerToAnotherCommand) {
  ASSERT_TRUE(Open());
  AddFault(FaultKind::LateQueue, "", kLateQueueMs, -1);
  std::string discarded;
  link.TraceHook = ([&discarded](const serial::TraceEvent& e) {
    if (e.direction == serial::TraceDirection::Discarded)
      discarded.append(reinterpret_cast<const char*>(e.bytes), e.length);
  });
  bool identified = false;
  for (int attempt = 0; attempt < 3 && !identified; ++attempt) identified = serial::SendCommand(link, "H00M");
  ASSERT_TRUE(identified) << "a late reply to an earlier attempt answers a repeat";
  EXPECT_EQ(link.LastReply, kIdentityReply);
  serial::SleepMs(kOperationPauseMs);  // as the scan pauses before it asks for the version
  const bool versionRead = serial::SendCommand(link, "H00V");
  link.TraceHook = {};
  EXPECT_EQ(link.ReplyPos, versionRead ? 16 : 0);
  EXPECT_EQ(link.LastReply, versionRead ? "\nV00:03.20-0165\r" : kIdentityReply);
  EXPECT_NE(discarded.find(kIdentityReply), std::string::npos) << "the backlog was not traced as discarded";
}

// When each byte of the first frame with this text reached the module, from
// the module's record of its reads after a point in time; empty when the
// frame is not there.
std::vector<Clock::time_point> FrameByteTimes(const std::vector<sim::LineChunk>& chunks, const std::string& frame,
                                              Clock::time_point after) {
  std::string bytes;
  std::vector<Clock::time_point> times;
  for (const sim::LineChunk& chunk : chunks) {
    if (chunk.direction != sim::LineChunk::Direction::FromTool || chunk.at < after) continue;
    bytes += chunk.bytes;
    times.insert(times.end(), chunk.bytes.size(), chunk.at);
  }
  size_t found = bytes.find(frame);
  if (found == std::string::npos) return {};
  return {times.begin() + static_cast<ptrdiff_t>(found), times.begin() + static_cast<ptrdiff_t>(found + frame.size())};
}

TEST_F(SimLine, PausesOfTheFrameAndBeforeItAsTheModuleSeesThem) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  struct Step {
    std::string command;
    unsigned pauseMs;   // the caller's pause before the command
    std::string frame;  // as it must reach the module
  };
  const std::vector<Step> steps = {{"H00V", 0, "\tH00V17\r"},
                                   {"H00L", 100, "\tH00L0D\r"},
                                   {"H00A", 1, "\tH00A00\r"},
                                   {"H00N", 100, "\tH00N0F\r"},
                                   {"H00B", 3, "\tH00B03\r"}};
  std::vector<Clock::time_point> pauseStarts;
  for (const Step& step : steps) {
    pauseStarts.push_back(Clock::now());
    serial::SleepMs(step.pauseMs);
    ASSERT_TRUE(Exchange(step.command));
  }

  // Each byte can reach the module no sooner than the pauses before its
  // write: the caller's, then 1 ms after the TAB, 3 ms after the text and
  // 1 ms after each checksum character. A late read only makes it later.
  std::vector<sim::LineChunk> chunks = module.LineChunks();
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(steps[i].command);
    const std::string& frame = steps[i].frame;
    std::vector<Clock::time_point> times = FrameByteTimes(chunks, frame, pauseStarts[i]);
    ASSERT_EQ(times.size(), frame.size());
    const size_t lastText = frame.size() - 4;  // then the two checksum characters and the CR
    for (size_t k = 0; k < frame.size(); ++k) {
      double earliestMs = steps[i].pauseMs + (k >= 1 ? 1 : 0) + (k > lastText ? 3 : 0) + (k > lastText + 1 ? 1 : 0) +
                          (k > lastText + 2 ? 1 : 0);
      double atMs = std::chrono::duration<double, std::milli>(times[k] - pauseStarts[i]).count();
      EXPECT_GE(atMs, earliestMs) << "byte " << k;
    }
  }
}

}  // namespace
