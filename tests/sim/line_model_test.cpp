// SPDX-License-Identifier: MIT
// The line model: what a UART receives from one or several drivers on a
// shared line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "line_model.h"

namespace {

using sim::Framing;
using sim::LineTime;
using sim::Transmission;

const Framing k19200e{19200, true};
const Framing k19200n{19200, false};
const Framing k4800n{4800, false};
const Framing k115200e{115200, true};

const std::string kReplyA = "\nM01:1234567874\r";
const std::string kReplyB = "\nM01:8765432174\r";

struct LineCase {
  const char* name;
  std::vector<Transmission> line;
  Framing receiver;
  std::string expected;  // empty: anything but each transmission's bytes and their sequence
  bool clean;            // no parity or framing error in what is received
};

LineTime Chars(const Framing& f, double count) { return static_cast<LineTime>(count * sim::CharTime(f)); }

std::vector<LineCase> Cases() {
  const std::string allBytes = [] {
    std::string s;
    for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
    return s;
  }();
  return {
      {"AloneIsExact8E1", {{1000, k19200e, kReplyA}}, k19200e, kReplyA, true},
      {"AloneIsExact8N1AllBytes", {{0, k4800n, allBytes}}, k4800n, allBytes, true},
      {"AloneIsExactFast", {{5, k115200e, allBytes}}, k115200e, allBytes, true},
      {"FarApartBothWhole",
       {{Chars(k19200e, 40), k19200e, kReplyB}, {0, k19200e, kReplyA}},
       k19200e, kReplyA + kReplyB, true},
      {"BackToBackBothWhole",
       {{0, k19200e, kReplyA}, {sim::EndOf({0, k19200e, kReplyA}), k19200e, kReplyB}},
       k19200e, kReplyA + kReplyB, true},
      {"SameBitsAtOnceAreOneCopy", {{0, k19200e, kReplyA}, {0, k19200e, kReplyA}}, k19200e, kReplyA, true},
      {"OverlapAFractionApartGarbles",
       {{0, k19200e, kReplyA}, {Chars(k19200e, 0.3), k19200e, kReplyB}}, k19200e, "", false},
      {"SameRepliesAFractionApartGarble",
       {{0, k19200e, kReplyA}, {Chars(k19200e, 0.3), k19200e, kReplyA}}, k19200e, "", false},
      {"SlowerSenderGarbles", {{0, Framing{9600, true}, kReplyA}}, k19200e, "", false},
      // Odd bit counts carry a parity bit 1, which an 8N1 receiver reads as
      // its stop bit; back to back they still arrive whole.
      {"ParityBitOneReadAsStop", {{0, k19200e, "\x01\x07\x80"}}, k19200n, "\x01\x07\x80", true},
  };
}

class LineModel : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineModel, ReceivesWhatTheWiredAndCarries) {
  const LineCase& c = GetParam();
  std::vector<sim::ReceivedChar> chars = sim::ReceiveLine(c.line, c.receiver);
  std::string received = sim::BytesOf(chars);
  bool clean = std::none_of(chars.begin(), chars.end(),
                            [](const sim::ReceivedChar& r) { return r.parityError || r.framingError; });
  if (!c.expected.empty()) {
    EXPECT_EQ(received, c.expected);
  } else {
    std::string all;
    for (const Transmission& t : c.line) {
      EXPECT_NE(received, t.bytes);
      all += t.bytes;
    }
    EXPECT_NE(received, all);
    EXPECT_FALSE(received.empty());
  }
  EXPECT_EQ(clean, c.clean);
  LineTime lastEnd = 0;
  for (const Transmission& t : c.line) lastEnd = std::max(lastEnd, sim::EndOf(t));
  for (size_t i = 1; i < chars.size(); ++i) EXPECT_LT(chars[i - 1].at, chars[i].at);
  if (c.clean && !chars.empty()) {
    EXPECT_LE(chars.back().at, lastEnd) << "handed over at the stop bit's middle";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LineModel, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

// An even bit count carries a parity bit 0: an 8N1 receiver sees a stop bit
// low (framing error) but still hands over the right data bits; an 8E1
// receiver checks the parity an 8N1 sender never sent.
TEST(LineModelParity, WrongFramingIsFlaggedOnTheRightBits) {
  std::vector<sim::ReceivedChar> chars = sim::ReceiveLine({{0, k19200e, "\x03"}}, k19200n);
  ASSERT_EQ(chars.size(), 1u);
  EXPECT_EQ(chars[0].byte, 0x03);
  EXPECT_TRUE(chars[0].framingError);

  chars = sim::ReceiveLine({{0, k19200n, "\x03"}}, k19200e);  // idle high read as parity 1
  ASSERT_EQ(chars.size(), 1u);
  EXPECT_EQ(chars[0].byte, 0x03);
  EXPECT_TRUE(chars[0].parityError);
  EXPECT_FALSE(chars[0].framingError);

  // Zero bytes sent slower than the receiver: a break arrives as zero bytes
  // with their stop bits low.
  chars = sim::ReceiveLine({{0, k4800n, std::string(2, '\0')}}, k19200e);
  ASSERT_FALSE(chars.empty());
  EXPECT_EQ(chars[0].byte, 0);
  EXPECT_TRUE(chars[0].framingError);
}

std::string ManyReplies() {
  std::string s;
  for (int i = 0; i < 400; ++i) s += kReplyA;
  return s;
}

TEST(LineModelNoise, FlipsSamplesAtItsRateAndRepeatsWithItsSeed) {
  const std::vector<Transmission> line{{0, k19200e, ManyReplies()}};
  const std::string sent = line[0].bytes;
  auto receive = [&](double rate, uint64_t seed) {
    return sim::BytesOf(sim::ReceiveLine(line, k19200e, {rate, seed}));
  };
  auto damaged = [&](const std::string& got) {
    size_t differing = got.size() > sent.size() ? got.size() - sent.size() : sent.size() - got.size();
    for (size_t i = 0; i < std::min(got.size(), sent.size()); ++i) differing += got[i] != sent[i];
    return differing;
  };
  EXPECT_EQ(receive(0, 7), sent);
  const std::string noisy = receive(0.01, 7);
  EXPECT_EQ(noisy, receive(0.01, 7)) << "the same seed gives the same noise";
  EXPECT_NE(noisy, receive(0.01, 8));
  // 11 samples a character at 1 %: about one character in ten damaged (a
  // lost start shifts the rest, so the count is only bounded loosely).
  EXPECT_GT(damaged(noisy), sent.size() / 50);
  EXPECT_LT(damaged(receive(0.0001, 7)), sent.size() / 50);
}

// The bus decodes in pieces as time passes: resuming from the state after
// the last character handed over gives what one pass gives.
TEST(LineModelResume, DecodingInPiecesEqualsOnePass) {
  const std::vector<Transmission> line{{0, k19200e, kReplyA},
                                       {Chars(k19200e, 0.3), k19200e, kReplyB},
                                       {Chars(k19200e, 30), k19200e, ManyReplies().substr(0, 200)}};
  const sim::Noise noise{0.003, 42};
  const std::vector<sim::ReceivedChar> whole = sim::ReceiveLine(line, k19200e, noise);
  std::vector<sim::ReceivedChar> pieces;
  sim::ReceiverState state;
  const LineTime end = sim::EndOf(line[2]) + Chars(k19200e, 3);
  for (LineTime until = 0; until < end; until += Chars(k19200e, 2.5)) {
    for (const sim::ReceivedChar& c : sim::ReceiveLine(line, k19200e, noise, state, until)) {
      if (c.at > until) break;  // not yet handed over
      pieces.push_back(c);
      state = sim::StateAfter(c);
    }
  }
  ASSERT_EQ(pieces.size(), whole.size());
  for (size_t i = 0; i < whole.size(); ++i) {
    EXPECT_EQ(pieces[i].at, whole[i].at);
    EXPECT_EQ(pieces[i].byte, whole[i].byte);
    EXPECT_EQ(pieces[i].framingError, whole[i].framingError);
  }
}

}  // namespace
