// SPDX-License-Identifier: MIT
#include "line_model.h"

#include <algorithm>
#include <bit>

#include "module_logic.h"

namespace sim {

namespace {

constexpr LineTime kNever = std::numeric_limits<LineTime>::max();
constexpr int kDataBits = 8;

// Integer ceiling of a / b for a >= 0, b > 0.
LineTime CeilDiv(LineTime a, LineTime b) { return (a + b - 1) / b; }

int64_t BitCount(const Transmission& t) {
  return static_cast<int64_t>(t.bytes.size()) * BitsPerChar(t.framing);
}

// Bit k of a transmission starts at start + ceil(k * 1e9 / baud), so that
// the bit at t is floor((t - start) * baud / 1e9): one rule both ways.
LineTime BitStart(const Transmission& t, int64_t k) {
  return t.start + CeilDiv(k * kLineNsPerSecond, t.framing.baud);
}

int64_t BitAt(const Transmission& t, LineTime time) {
  return (time - t.start) * static_cast<int64_t>(t.framing.baud) / kLineNsPerSecond;
}

bool EvenParityBit(uint8_t byte) { return (std::popcount(byte) & 1) != 0; }

// The first bit boundary of the transmission after t (its start, a bit's
// start or its end); kNever after its end.
LineTime BoundaryAfter(const Transmission& t, LineTime time) {
  if (time < t.start) return t.start;
  const LineTime end = EndOf(t);
  if (time >= end) return kNever;
  const int64_t next = BitAt(t, time) + 1;
  return next >= BitCount(t) ? end : BitStart(t, next);
}

// The receiver's view of the line: the wired-AND of every driver, with
// noise on the samples it takes.
class WiredLine {
 public:
  WiredLine(const std::vector<Transmission>& transmissions, const Noise& noise)
      : transmissions_(transmissions), noise_(noise) {}

  bool Level(LineTime t) const {
    return std::all_of(transmissions_.begin(), transmissions_.end(),
                       [t](const Transmission& x) { return LevelOf(x, t); });
  }

  LineTime NextBoundary(LineTime t) const {
    LineTime next = kNever;
    for (const Transmission& x : transmissions_) next = std::min(next, BoundaryAfter(x, t));
    return next;
  }

  // The level at t as the receiver reads it: sample `place` of start
  // attempt `attempt` of character `sequence`.
  bool Sample(LineTime t, uint64_t sequence, uint64_t attempt, int place) const {
    return Level(t) != Flips(sequence, attempt, place);
  }

 private:
  static uint64_t Mix(uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  bool Flips(uint64_t sequence, uint64_t attempt, int place) const {
    if (noise_.bitErrorRate <= 0) return false;
    if (noise_.bitErrorRate >= 1) return true;
    uint64_t h = Mix(Mix(Mix(noise_.seed ^ sequence) ^ attempt) ^ static_cast<uint64_t>(place));
    double uniform = static_cast<double>(h >> 11) * 0x1.0p-53;
    return uniform < noise_.bitErrorRate;
  }

  const std::vector<Transmission>& transmissions_;
  Noise noise_;
};

// The middle of bit j of a character whose start bit began at start.
LineTime SampleTime(LineTime start, int j, uint32_t baud) {
  return start + (static_cast<LineTime>(2 * j + 1) * kLineNsPerSecond) / (2 * static_cast<LineTime>(baud));
}

// Where the next start bit begins at or after t: the line low there (after
// it has been high, when needHigh). kNever when it stays high.
LineTime HuntStart(const WiredLine& line, LineTime t, bool needHigh) {
  if (needHigh) {
    while (!line.Level(t)) t = line.NextBoundary(t);  // ends: after every end the line is high
  }
  while (line.Level(t)) {
    t = line.NextBoundary(t);
    if (t == kNever) return kNever;
  }
  return t;
}

}  // namespace

Framing FramingOfLine(int lineIndex) {
  const uint32_t baud = LineBaud(lineIndex);
  if (baud == 0) return {};
  return {baud, lineIndex % 2 == 1};
}

int BitsPerChar(const Framing& framing) { return 1 + kDataBits + (framing.evenParity ? 1 : 0) + 1; }

LineTime CharTime(const Framing& framing) { return CeilDiv(BitsPerChar(framing) * kLineNsPerSecond, framing.baud); }

LineTime EndOf(const Transmission& transmission) { return BitStart(transmission, BitCount(transmission)); }

bool LevelOf(const Transmission& t, LineTime time) {
  if (time < t.start || time >= EndOf(t)) return true;
  const int64_t bit = BitAt(t, time);
  const int perChar = BitsPerChar(t.framing);
  const auto byte = static_cast<uint8_t>(t.bytes[static_cast<size_t>(bit / perChar)]);
  const int position = static_cast<int>(bit % perChar);
  if (position == 0) return false;                                   // start bit
  if (position <= kDataBits) return ((byte >> (position - 1)) & 1) != 0;
  if (t.framing.evenParity && position == kDataBits + 1) return EvenParityBit(byte);
  return true;                                                       // stop bit
}

std::vector<ReceivedChar> ReceiveLine(const std::vector<Transmission>& transmissions, const Framing& receiver,
                                      const Noise& noise, ReceiverState state, LineTime until) {
  std::vector<ReceivedChar> received;
  if (transmissions.empty() || receiver.baud == 0) return received;
  const WiredLine line(transmissions, noise);
  LineTime first = kNever;
  for (const Transmission& t : transmissions) first = std::min(first, t.start);
  LineTime t = std::max(state.from, first);
  bool needHigh = state.needHigh;
  uint64_t sequence = state.received;
  uint64_t attempt = 0;
  const int stopBit = receiver.evenParity ? kDataBits + 2 : kDataBits + 1;
  while (true) {
    const LineTime start = HuntStart(line, t, needHigh);
    if (start == kNever) return received;
    auto sample = [&](int place) {
      return line.Sample(SampleTime(start, place, receiver.baud), sequence, attempt, place);
    };
    if (sample(0)) {  // a false start: hunt again from its sample
      t = SampleTime(start, 0, receiver.baud);
      needHigh = false;
      ++attempt;
      continue;
    }
    ReceivedChar c;
    c.sequence = sequence;
    for (int i = 0; i < kDataBits; ++i) {
      if (sample(1 + i)) c.byte |= static_cast<uint8_t>(1u << i);
    }
    if (receiver.evenParity) c.parityError = sample(kDataBits + 1) != EvenParityBit(c.byte);
    c.at = SampleTime(start, stopBit, receiver.baud);
    c.framingError = !sample(stopBit);
    received.push_back(c);
    if (c.at > until) return received;
    t = c.at;
    needHigh = c.framingError;
    ++sequence;
    attempt = 0;
  }
}

std::string BytesOf(const std::vector<ReceivedChar>& chars) {
  std::string bytes;
  for (const ReceivedChar& c : chars) bytes += static_cast<char>(c.byte);
  return bytes;
}

}  // namespace sim
