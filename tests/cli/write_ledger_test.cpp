// SPDX-License-Identifier: MIT
// The write ledger: which values the module took, judged from the frames
// sent and the replies received as the trace records them.
#include <gtest/gtest.h>

#include "write_ledger.h"

namespace {
serial::TraceRecord Sent(const std::string& frame) { return {0, serial::TraceDirection::Sent, frame, 0}; }
serial::TraceRecord Received(const std::string& bytes) { return {0, serial::TraceDirection::Received, bytes, 0}; }

// "\tH00L06" + checksum + CR, and a valid reply "\nL06" + checksum + CR;
// the checksums written out as the line carries them.
const std::string kKeyFrame = "\tH00L060B\r";
const std::string kGoodReply = "\nL0640\r";

TEST(WriteLedgerTest, CountsOnlyWritesWithAValidReply) {
  struct Case {
    const char* name;
    std::vector<serial::TraceRecord> records;
    std::vector<WrittenValue> accepted;
  };
  const Case cases[] = {
      {"valid reply", {Sent(kKeyFrame), Received(kGoodReply)}, {{"key-count", "key count", "06"}}},
      {"no reply", {Sent(kKeyFrame)}, {}},
      {"bad checksum", {Sent(kKeyFrame), Received("\nL0641\r")}, {}},
      {"stray byte first", {Sent(kKeyFrame), Received("x"), Received(kGoodReply)}, {}},
      {"a read is no write", {Sent("\tH00L0D\r"), Received(kGoodReply)}, {}},
  };
  for (const Case& c : cases) {
    WriteLedger ledger;
    for (const serial::TraceRecord& record : c.records) ledger.Take(record);
    EXPECT_EQ(ledger.Accepted(), c.accepted) << c.name;
  }
}

TEST(WriteLedgerTest, ReadsTheValuesOfEachWriteCommand) {
  const std::pair<std::pair<std::string, std::string>, std::vector<WrittenValue>> cases[] = {
      {{"H00C1234567812", "H00M"}, {{"id1", "ID 1", "12"}}},
      {{"H00C8765432107", "H00N"}, {{"id2", "ID 2", "07"}}},
      {{"H00A102", "H00M"}, {{"mode", "mode", "one"}, {"rs485", "RS-485", "40"}}},
      {{"H00EB", "H00M"}, {{"line-setting", "line setting", "115200,e,8,1"}}},
      {{"H00EC", "H00M"}, {}},
      {{"H00M", ""}, {}},
  };
  for (const auto& [command, values] : cases)
    EXPECT_EQ(ValuesWrittenBy(command.first, command.second), values) << command.first;
}
}  // namespace
