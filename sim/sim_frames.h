// SPDX-License-Identifier: MIT
#pragma once
// Frame handling on the module's side of the line, written independently of
// the tool's link code so that a fault in one shows up against the other.
//
// Command frame (tool to module): TAB, text, two upper-case hexadecimal
// checksum characters, CR; the checksum is the XOR of the TAB and the text.
// Reply frame (module to tool): LF, text, checksum of the LF and the text, CR.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

constexpr char kTab = 0x09;
constexpr char kLf = 0x0A;
constexpr char kCr = 0x0D;

// Longest command frame the module takes, TAB and CR included. Anything
// longer is dropped: a real module has a small receive buffer too.
constexpr size_t kMaxCommandFrame = 300;

// XOR of seed and every byte.
uint8_t XorOf(uint8_t seed, std::string_view bytes);

// Two hexadecimal characters, high nibble first.
std::string HexByte(uint8_t value, bool lowerCase = false);

// The bytes of a correct reply frame for a reply text.
std::string ReplyFrame(std::string_view text);

// Splits the incoming byte stream into command frames. A frame starts at a
// TAB (a TAB inside a frame starts it afresh) and ends at a CR. Bytes outside
// a frame and frames longer than kMaxCommandFrame are dropped; the buffer
// never grows beyond that bound.
class FrameParser {
 public:
  struct Event {
    enum class Kind { Command, BadChecksum, Dropped };
    Kind kind;
    std::string text;    // Command: the command text
    std::string raw;     // the bytes concerned (for Dropped, at most a sample)
    std::string reason;  // BadChecksum, Dropped: why
  };

  void Feed(const char* bytes, size_t length, std::vector<Event>& events);

 private:
  void EndFrame(std::vector<Event>& events);
  void DropGarbage(std::vector<Event>& events);

  bool inFrame_ = false;
  bool overlong_ = false;
  std::string frame_;    // the frame so far, TAB first
  std::string garbage_;  // a sample of the bytes dropped outside frames
  size_t garbageCount_ = 0;
};

// Log helpers: bytes as text with non-printables escaped (\t, \r, \n, \xNN),
// and as space-separated upper-case hex. Both stop after `limit` bytes and
// then say how many more there were.
std::string Printable(std::string_view bytes, size_t limit = 80);
std::string HexBytes(std::string_view bytes, size_t limit = 64);

}  // namespace sim
