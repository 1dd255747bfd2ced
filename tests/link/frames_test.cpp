// Command frames and replies against the simulated module over a real
// pseudo-terminal.

#include <cstring>

#include "sim_line.h"

namespace {

using sim::FaultKind;

const std::string kIdentityReply = "\nM01:1234567874\r";

TEST(FrameChecksum, SeedIsTabAndDigitsAreUpperCase) {
  const uint8_t text[] = {'H', '0', '0', 'M'};
  EXPECT_EQ(FrameChecksum(text, 4), 0x0C);
  EXPECT_EQ(FrameChecksum(text, 0), 0x09);
  EXPECT_EQ(FrameChecksum(text, -3), 0x09);
  EXPECT_EQ(ByteToHex(0x0C), "0C");
  EXPECT_EQ(ByteToHex(0xAF), "AF");
  EXPECT_EQ(ByteToHex(0x00), "00");
}

TEST_F(SimLine, FrameOnTheLineAndIdentityReply) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  EXPECT_TRUE(module.WaitForLogLine("<- \\tH00M0C\\r  [09 48 30 30 4D 30 43 0D]", kWait));
  EXPECT_EQ(module.Commands().front(), "H00M");
  EXPECT_EQ(Link.LastReply, kIdentityReply);
  EXPECT_EQ(Link.ReplyPos, 16);
  EXPECT_EQ(ReplyChars(3, 4), "01");
  EXPECT_EQ(ReplyChars(6, 13), "12345678");
  EXPECT_EQ(ReplyChars(15, 40), "4\r");  // clipped at the end of the reply
}

TEST_F(SimLine, ShortestRepliesAndCaseOfChecksum) {
  ASSERT_TRUE(Open());
  // LF alone has the checksum 0A: the shortest reply that can be right.
  ReplyRaw("H00M", "\n0A\r");
  EXPECT_TRUE(Exchange("H00M"));
  EXPECT_EQ(Link.ReplyPos, 4);
  EXPECT_EQ(Link.LastReply, "\n0A\r");

  // Lower-case hex does not match, but the reply still becomes the last one.
  ReplyRaw("H00M", "\n0a\r");
  EXPECT_FALSE(Exchange("H00M"));
  EXPECT_EQ(Link.ReplyPos, 4);
  EXPECT_EQ(Link.LastReply, "\n0a\r");

  ReplyRaw("H00M", "\n\r");
  EXPECT_FALSE(Exchange("H00M"));
  EXPECT_EQ(Link.ReplyPos, 2);
  EXPECT_EQ(Link.LastReply, "\n\r");

  ReplyRaw("H00M", "\nX\r");
  EXPECT_FALSE(Exchange("H00M"));
  EXPECT_EQ(Link.ReplyPos, 3);
  EXPECT_EQ(Link.LastReply, "\nX\r");
}

TEST_F(SimLine, ByteBeforeTheReplyMakesTheExchangeFail) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));

  AddFault(FaultKind::StrayByte, "H00B");
  EXPECT_FALSE(Exchange("H00B"));
  EXPECT_EQ(Link.ReplyBuffer[0], 'X');
  EXPECT_EQ(Link.LastReply, kIdentityReply);
  module.ClearFaults();

  // A byte left in the input while the port was closed is never purged.
  ClosePort();
  module.WriteRaw("Q");
  ASSERT_TRUE(module.WaitForLogLine("-> Q", kWait));
  ASSERT_TRUE(Open());
  EXPECT_FALSE(SendCommand("H00B"));
  EXPECT_EQ(Link.ReplyBuffer[0], 'Q');
  EXPECT_EQ(Link.LastReply, kIdentityReply);

  // Once it has been read, the next exchange is clean again.
  EXPECT_TRUE(Exchange("H00B"));
  EXPECT_EQ(Link.LastReply.substr(0, 5), "\nB00:");
}

TEST_F(SimLine, LateReplyIsNotHeardAndLastReplyStays) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  AddFault(FaultKind::Delay, "H00V", 250, 1);
  EXPECT_FALSE(SendCommand("H00V"));
  EXPECT_EQ(Link.ReplyPos, 0);
  EXPECT_EQ(Link.LastReply, kIdentityReply);
}

TEST_F(SimLine, TrickledReplyKeepsTheReaderGoing) {
  ASSERT_TRUE(Open());
  // 16 bytes 4 ms apart: gaps the reader must wait through, all in the window.
  AddFault(FaultKind::Trickle, "H00M", 4);
  EXPECT_TRUE(Exchange("H00M"));
  EXPECT_EQ(Link.LastReply, kIdentityReply);
}

TEST_F(SimLine, ReplyAsLongAsTheBufferWrapsAndIsRejected) {
  ASSERT_TRUE(Open());
  AddFault(FaultKind::WrongLength, "H00M", 1023);
  EXPECT_TRUE(Exchange("H00M"));
  EXPECT_EQ(Link.ReplyPos, 1023);
  EXPECT_EQ(Link.LastReply.size(), 1023u);
  module.ClearFaults();

  // The CR lands on position 1023: the fill position wraps to 0, the end
  // mark goes to position 0 and the reply is empty.
  AddFault(FaultKind::WrongLength, "H00M", 1024);
  EXPECT_FALSE(Exchange("H00M"));
  EXPECT_EQ(Link.ReplyPos, 0);
  EXPECT_EQ(Link.LastReply, "");
}

TEST_F(SimLine, FloodWithoutFrameEndsTheExchange) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00M"));
  AddFault(FaultKind::Flood, "H00B", 0, 1);
  EXPECT_FALSE(SendCommand("H00B"));
  EXPECT_EQ(Link.ReplyPos, sim::kFloodBytes % kReplyBufferSize);
  EXPECT_EQ(Link.LastReply, kIdentityReply);
  // Everything was read: the next exchange is clean.
  EXPECT_TRUE(Exchange("H00B"));
}

}  // namespace
