// SPDX-License-Identifier: MIT
// The trace log against the simulated module: which records an exchange
// makes, where a received record closes, the bounds, and the two text forms.
#include <string>
#include <vector>

#include "frames.h"
#include "sim_line.h"
#include "trace_log.h"

namespace {
class TraceLogTest : public SimLine {
 protected:
  void SetUp() override {
    SimLine::SetUp();
    ASSERT_TRUE(Open());
  }
  void TearDown() override {
    log.reset();
    SimLine::TearDown();
  }

  serial::TraceLog& Attach(size_t maxRecords = serial::kTraceRecordsKept, size_t maxBytes = serial::kTraceRecordBytes) {
    log = std::make_unique<serial::TraceLog>(maxRecords, maxBytes);
    log->SetCallback([this](const serial::TraceRecord& r) { handed.push_back(r); });
    log->Attach(link);
    return *log;
  }

  // The records of the last exchange: its sent frame and what followed.
  std::vector<serial::TraceRecord> LastExchange() const {
    std::vector<serial::TraceRecord> all = log->Records();
    size_t start = 0;
    for (size_t i = 0; i < all.size(); ++i)
      if (all[i].direction == serial::TraceDirection::Sent) start = i;
    return {all.begin() + static_cast<std::ptrdiff_t>(start), all.end()};
  }

  std::unique_ptr<serial::TraceLog> log;
  std::vector<serial::TraceRecord> handed;
};

// Reads TraceText back into bytes.
std::string Unescape(const std::string& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      bytes += text[i];
      continue;
    }
    char kind = text[++i];
    if (kind == 't') bytes += '\t';
    else if (kind == 'r') bytes += '\r';
    else if (kind == 'n') bytes += '\n';
    else if (kind == '\\') bytes += '\\';
    else {
      bytes += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    }
  }
  return bytes;
}
}  // namespace

TEST_F(TraceLogTest, AnExchangeIsOneSentAndOneReceivedRecord) {
  Attach();
  ASSERT_TRUE(Exchange("H00M"));
  std::vector<serial::TraceRecord> last = LastExchange();
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(last[0].direction, serial::TraceDirection::Sent);
  EXPECT_EQ(last[0].bytes, "\tH00M0C\r");
  EXPECT_EQ(last[1].direction, serial::TraceDirection::Received);
  EXPECT_EQ(last[1].bytes, link.LastReply);
  EXPECT_EQ(last[1].omitted, 0u);
  EXPECT_LE(last[0].tickMs, last[1].tickMs);
  // The callback saw every record kept, in the same order.
  std::vector<serial::TraceRecord> kept = log->Records();
  ASSERT_EQ(handed.size(), kept.size());
  for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(handed[i].bytes, kept[i].bytes);
}

TEST_F(TraceLogTest, ExchangesFollowEachOtherInOrder) {
  Attach();
  for (const char* command : {"H00M", "H00V", "H00N"}) ASSERT_TRUE(Exchange(command));
  std::vector<std::string> sent, received;
  for (const serial::TraceRecord& r : log->Records()) {
    if (r.direction == serial::TraceDirection::Sent) sent.push_back(r.bytes.substr(1, 4));
    if (r.direction == serial::TraceDirection::Received) received.push_back(r.bytes.substr(1, 1));
  }
  sent.erase(std::unique(sent.begin(), sent.end()), sent.end());  // a frame sent again on a slow line
  EXPECT_EQ(sent, (std::vector<std::string>{"H00M", "H00V", "H00N"}));
  // Each reply's letter names its command.
  ASSERT_GE(received.size(), 3u);
  EXPECT_EQ(received[received.size() - 3], "M");
  EXPECT_EQ(received[received.size() - 2], "V");
  EXPECT_EQ(received[received.size() - 1], "N");
}

TEST_F(TraceLogTest, AnUnansweredFrameMakesNoReceivedRecord) {
  Attach();
  AddFault(sim::FaultKind::NoReply, "H00V");
  EXPECT_FALSE(serial::SendCommand(link, "H00V"));
  std::vector<serial::TraceRecord> kept = log->Records();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].direction, serial::TraceDirection::Sent);
}

TEST_F(TraceLogTest, BytesThatCompleteNoReplyCloseAtTheExchangesEnd) {
  Attach();
  // A stray byte first: the CR no longer completes a reply, so the record
  // runs to the end of the exchange and holds the stray byte and the reply.
  AddFault(sim::FaultKind::StrayByte, "H00M", 0, 1);
  EXPECT_FALSE(serial::SendCommand(link, "H00M"));
  std::vector<serial::TraceRecord> last = LastExchange();
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(last[1].bytes.substr(0, 2), "X\n");
  EXPECT_EQ(last[1].bytes.back(), '\r');
}

TEST_F(TraceLogTest, ARecordKeepsItsBoundAndCountsTheRest) {
  Attach(serial::kTraceRecordsKept, 64);
  AddFault(sim::FaultKind::Flood, "H00M", 0, 1);
  EXPECT_FALSE(serial::SendCommand(link, "H00M"));
  std::vector<serial::TraceRecord> kept = log->Records();
  ASSERT_GE(kept.size(), 2u);
  EXPECT_EQ(kept[1].bytes, std::string(64, 'Z'));
  EXPECT_GT(kept[1].omitted, 0u);
  EXPECT_NE(serial::TraceLine(kept[1]).find("bytes not kept"), std::string::npos);
}

TEST_F(TraceLogTest, TheLogKeepsTheLastRecordsAndCountsTheDropped) {
  Attach(3);
  for (const char* command : {"H00M", "H00V", "H00L"}) ASSERT_TRUE(Exchange(command));
  std::vector<serial::TraceRecord> kept = log->Records();
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_GE(log->DroppedRecords(), 3u);
  EXPECT_EQ(kept.back().bytes, link.LastReply);
  EXPECT_EQ(kept[kept.size() - 2].bytes.substr(1, 4), "H00L");
  log->Clear();
  EXPECT_TRUE(log->Records().empty());
  EXPECT_EQ(log->DroppedRecords(), 0u);
}

TEST_F(TraceLogTest, DetachingStopsTheRecords) {
  serial::TraceLog& attached = Attach();
  ASSERT_TRUE(Exchange("H00M"));
  attached.Detach(link);
  size_t before = attached.Records().size();
  ASSERT_TRUE(Exchange("H00V"));
  EXPECT_EQ(attached.Records().size(), before);
}

TEST(TraceForms, HexAndTextOfAFrame) {
  EXPECT_EQ(serial::TraceHex("\tH00M0C\r"), "09 48 30 30 4D 30 43 0D");
  EXPECT_EQ(serial::TraceText("\tH00M0C\r"), "\\tH00M0C\\r");
  EXPECT_EQ(serial::TraceText("\nA\x1b[2J\xff"), "\\nA\\x1B[2J\\xFF");
  serial::TraceRecord received{1234, serial::TraceDirection::Received, "\nM01:\r", 0};
  EXPECT_EQ(serial::TraceLine(received), "    1234 ms < 0A 4D 30 31 3A 0D  \\nM01:\\r");
}

TEST(TraceForms, TextIsPrintableAndGivesBackEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string text = serial::TraceText(all);
  for (unsigned char c : text) {
    EXPECT_GE(c, 0x20);
    EXPECT_LE(c, 0x7E);
  }
  EXPECT_EQ(Unescape(text), all);
  EXPECT_EQ(serial::TraceHex(all).size(), 256u * 3 - 1);
}

// Bytes thrown away while the link waits for a quiet line: one record per
// CR, closed also where the wait ends, each line marked as discarded.
TEST(TraceForms, DiscardedBytesMakeMarkedRecordsOfTheirOwn) {
  serial::TraceLog log;
  const std::string backlog = "\nM01:1234567874\r\nM01:12";
  for (size_t i = 0; i < backlog.size(); ++i) {
    log.Take(serial::TraceEvent{serial::TraceDirection::Discarded, static_cast<uint32_t>(100 + i),
                                reinterpret_cast<const uint8_t*>(&backlog[i]), 1});
  }
  const std::string frame = "\tH00V17\r";
  log.Take(serial::TraceEvent{serial::TraceDirection::Sent, 500, reinterpret_cast<const uint8_t*>(frame.data()),
                              frame.size()});
  const std::vector<serial::TraceRecord> records = log.Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].direction, serial::TraceDirection::Discarded);
  EXPECT_EQ(records[0].bytes, "\nM01:1234567874\r");
  EXPECT_EQ(records[1].direction, serial::TraceDirection::Discarded);
  EXPECT_EQ(records[1].bytes, "\nM01:12");
  EXPECT_EQ(records[1].tickMs, 116u);
  EXPECT_EQ(records[2].direction, serial::TraceDirection::Sent);
  EXPECT_EQ(serial::TraceLine(records[1]), "     116 ms < 0A 4D 30 31 3A 31 32  \\nM01:12  (discarded)");
}
