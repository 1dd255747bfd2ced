// SPDX-License-Identifier: MIT
// Captures after a poll, byte by byte with their times, and what each is
// judged to be.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "poll_reading.h"

namespace {
using site::Micros;
using site::PollStatus;
using namespace std::chrono_literals;

// A correct frame for a text: TAB/LF first, the checksum of that byte and
// the text, CR.
std::string Frame(char first, const std::string& text) {
  unsigned sum = static_cast<unsigned char>(first);
  for (char c : text) sum ^= static_cast<unsigned char>(c);
  const char* hex = "0123456789ABCDEF";
  return std::string(1, first) + text + hex[(sum >> 4) & 0xF] + hex[sum & 0xF] + '\r';
}
std::string Command(const std::string& text) { return Frame('\t', text); }
std::string Reply(const std::string& text) { return Frame('\n', text); }

// Bytes arriving from `start`, one every 500 us.
std::vector<site::TimedByte> Arriving(const std::string& bytes, Micros start = 5ms) {
  std::vector<site::TimedByte> out;
  for (size_t i = 0; i < bytes.size(); ++i)
    out.push_back({static_cast<uint8_t>(bytes[i]), start + Micros(500 * static_cast<long>(i))});
  return out;
}

struct CaptureCase {
  const char* name;
  std::string bytes;
  Micros start;
  PollStatus status;
  bool echo;
  bool checksumError;
};

const std::string kPoll = Command("H03F");
const std::string kCard = Reply("F03:1ABC");

TEST(PollReading, EachCaptureGetsOneStatus) {
  std::string badSum = kCard;
  badSum[badSum.size() - 2] ^= 0x01;
  const std::vector<CaptureCase> cases = {
      {"nothing came back", "", 5ms, PollStatus::Absent, false, false},
      {"one reply in the window", kCard, 5ms, PollStatus::Ok, false, false},
      {"the echo, then one reply", kPoll + kCard, 1ms, PollStatus::Ok, true, false},
      {"the echo alone", kPoll, 1ms, PollStatus::Absent, true, false},
      {"an echo that breaks off", kPoll.substr(0, 3), 1ms, PollStatus::Garbled, false, false},
      {"an echo that differs", Command("H04F") + kCard, 1ms, PollStatus::Garbled, false, false},
      {"a reply after the window", kCard, 121ms, PollStatus::Late, false, false},
      {"a reply whose checksum fails", badSum, 5ms, PollStatus::Garbled, false, true},
      {"a reply for another reader", Reply("F04:0"), 5ms, PollStatus::Garbled, false, false},
      {"two replies one after the other", kCard + Reply("F03:0"), 5ms, PollStatus::Double, false, false},
      {"a reply, then a broken second one", kCard + Reply("F03:0").substr(0, 4) + "\r", 5ms, PollStatus::Double,
       false, false},
      {"a reply, then stray bytes", kCard + "\xff\x00", 5ms, PollStatus::Garbled, false, false},
      {"a stray byte before the reply", "X" + kCard, 5ms, PollStatus::Garbled, false, false},
      {"a reply cut off", kCard.substr(0, 6), 5ms, PollStatus::Partial, false, false},
      {"LF and CR alone", "\n\r", 5ms, PollStatus::Garbled, false, true},
  };
  for (const CaptureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = Arriving(c.bytes, c.start);
    const site::PollReading reading = site::ReadPoll(kPoll, bytes, "F03");
    EXPECT_EQ(site::StatusName(reading.status), std::string(site::StatusName(c.status)));
    EXPECT_EQ(reading.echo, c.echo);
    EXPECT_EQ(reading.checksumError, c.checksumError);
  }
}

TEST(PollReading, TimesAndCountsComeFromTheBytesAfterTheEcho) {
  const auto bytes = Arriving(kPoll + kCard + "ZZ", 2ms);
  const site::PollReading reading = site::ReadPoll(kPoll, bytes, "F03");
  EXPECT_EQ(reading.status, PollStatus::Garbled);
  EXPECT_EQ(reading.reply, kCard);
  EXPECT_EQ(reading.extraBytes, 2u);
  ASSERT_TRUE(reading.firstByte && reading.wholeReply);
  EXPECT_EQ(*reading.firstByte, bytes[kPoll.size()].at);
  EXPECT_EQ(*reading.wholeReply, bytes[kPoll.size() + kCard.size() - 1].at);
}

TEST(PollReading, APresenceCheckTakesAnyValidReply) {
  const auto bytes = Arriving(Reply("M07:12345678"));
  EXPECT_EQ(site::ReadPoll(Command("H00M"), bytes).status, PollStatus::Ok);
}

TEST(PollReading, OnlyUpperCaseChecksumsAreValid) {
  // The XOR of LF alone is 0A: "0A" is valid, "0a" is not.
  EXPECT_TRUE(site::IsValidReplyFrame("\n0A\r"));
  EXPECT_FALSE(site::IsValidReplyFrame("\n0a\r"));
  EXPECT_FALSE(site::IsValidReplyFrame("\n0\r"));
  EXPECT_FALSE(site::IsValidReplyFrame("\n0A\r\r"));
}

}  // namespace
