// SPDX-License-Identifier: MIT
#pragma once
// What a UART on a shared two-wire line receives when several drivers talk
// on it: a pure function of what each driver sent and when. No I/O, no
// clock; times are nanoseconds from any origin the caller picks.
//
// The line. Every driver sends asynchronous characters back to back: a start
// bit (low), 8 data bits, least significant first, an even parity bit where
// its framing has one, and one stop bit (high). While no driver sends, the
// line is idle (high: the bias resistors hold it there). Where drivers
// overlap, the line carries the wired-AND of their bit streams: one driver
// sending a low bit pulls the whole line low. Two drivers that start a
// fraction of a character apart therefore garble each other almost
// everywhere; a driver alone comes through exactly.
//
// The receiver. A UART with its own framing (baud rate and parity) hunts
// for a start bit: the line low while it hunts (after a character whose stop
// bit it read low, it first waits for the line to go high). From the start
// it samples the middle of every bit: the start bit (read high: a false
// start, and it hunts again from there), the data bits, the parity bit,
// the stop bit. It hands over the data bits at the stop bit's sample, also
// when the parity or the stop bit is wrong, as a port without input parity
// checking does; a break (everything low) arrives as a zero byte.
//
// Noise. With a bit-error rate, each sample the receiver takes inside a
// character reads the opposite level with that probability. Whether a
// sample flips depends only on the seed, the number of the character (how
// many the receiver handed over before it), the start attempt within it and
// the sample's place, never on the time: decoding the same line again, or
// from a later state on, gives the same bytes, and the same characters
// arriving at other moments meet the same noise. An idle line stays idle:
// noise never makes a character of its own.

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace sim {

// Nanoseconds on the line's own time axis.
using LineTime = int64_t;

inline constexpr LineTime kLineNsPerSecond = 1'000'000'000;

struct Framing {
  uint32_t baud = 19200;  // bits per second; at least 1 (ReceiveLine receives
                          // nothing with a receiver at 0)
  bool evenParity = true;
};

// The framing of a line-setting index (0 to 11); 19200 even for others.
Framing FramingOfLine(int lineIndex);

// Bits per character: start, 8 data, parity if any, stop.
int BitsPerChar(const Framing& framing);
// Nanoseconds from a character's start to the start of the next one sent
// back to back (rounded up).
LineTime CharTime(const Framing& framing);

// One driver's run of characters, sent back to back from start on.
struct Transmission {
  LineTime start = 0;
  Framing framing;
  std::string bytes;
};

// When the transmission's last stop bit ends.
LineTime EndOf(const Transmission& transmission);

// The level one transmission puts on the line at time t: true (high) before
// its start, at and after its end, and for its 1 bits.
bool LevelOf(const Transmission& transmission, LineTime t);

// What the receiver hands over.
struct ReceivedChar {
  uint64_t sequence = 0;      // how many characters the receiver handed over before
  LineTime at = 0;            // the stop bit's sample time
  uint8_t byte = 0;           // the data bits as sampled
  bool parityError = false;   // the framing has parity and it did not match
  bool framingError = false;  // the stop bit was read low
};

struct Noise {
  double bitErrorRate = 0;  // 0 to 1
  uint64_t seed = 0;
};

// Where the receiver stands: hunting for a start bit from `from` on; with
// needHigh, it must see the line high before a low counts as a start;
// `received` characters handed over so far.
struct ReceiverState {
  LineTime from = std::numeric_limits<LineTime>::min();
  bool needHigh = false;
  uint64_t received = 0;
};

inline ReceiverState StateAfter(const ReceivedChar& c) { return {c.at, c.framingError, c.sequence + 1}; }

// The characters a receiver with the given framing decodes from the
// wired-AND of the transmissions, from `state` on, in order: every one whose
// stop bit is sampled at or before `until`, and the first one after it, if
// there is one (so the caller knows when the next is due). Transmissions may
// come in any order. The work is bounded by the bits of the transmissions
// and of the characters returned.
std::vector<ReceivedChar> ReceiveLine(const std::vector<Transmission>& line, const Framing& receiver,
                                      const Noise& noise = {}, ReceiverState state = {},
                                      LineTime until = std::numeric_limits<LineTime>::max());

// The bytes of ReceiveLine's characters, for tests and logs.
std::string BytesOf(const std::vector<ReceivedChar>& chars);

}  // namespace sim
