// SPDX-License-Identifier: MIT
// Fuzz target: what a survey or a link test makes of the bytes after a poll.
//
// One input is one capture after the poll of a reader, checked against rules
// that this file states in code of its own (not the judging's):
// - ok only for exactly one reply frame after the echo: LF first, CR last
//   and nowhere else, the upper-case hexadecimal XOR of the LF and the text
//   before the CR, the text beginning with "F" and the polled ID, its first
//   byte inside the window;
// - a capture holding two LF..CR frames is never ok;
// - absent exactly when nothing but the echo came;
// - an echo is reported exactly when the capture begins with the frame.
// A broken rule aborts with its name.
//
// Input layout: byte 0 the polled ID (1 to 99, taken modulo 99, plus 1);
// byte 1 bit 0 set: the frame's echo comes first; byte 2 the first byte's
// time in ms; byte 3 the gap between bytes in 10 us; then the bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "poll_reading.h"

namespace {
void Require(bool rule, const char* name) {
  if (rule) return;
  std::fprintf(stderr, "broken rule: %s\n", name);
  std::abort();
}

std::string WithChecksum(char first, const std::string& text) {
  unsigned sum = static_cast<unsigned char>(first);
  for (char c : text) sum ^= static_cast<unsigned char>(c);
  static const char kHex[] = "0123456789ABCDEF";
  return std::string(1, first) + text + kHex[(sum >> 4) & 15] + kHex[sum & 15] + '\r';
}

// Exactly one reply frame, correct, for this reader.
bool OneGoodReply(const std::string& bytes, const std::string& idText) {
  if (bytes.size() < 4 || bytes.front() != '\n' || bytes.back() != '\r') return false;
  if (bytes.find('\r') != bytes.size() - 1) return false;
  if (bytes.compare(1, 3, "F" + idText) != 0) return false;
  return WithChecksum('\n', bytes.substr(1, bytes.size() - 4)) == bytes;
}

// Two frames that each begin with LF and end at a CR.
bool TwoFrames(const std::string& bytes) {
  size_t first = bytes.find('\n');
  if (first == std::string::npos) return false;
  size_t cr = bytes.find('\r', first);
  if (cr == std::string::npos) return false;
  size_t second = bytes.find('\n', cr);
  return second != std::string::npos && bytes.find('\r', second) != std::string::npos;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int id = data[0] % 99 + 1;
  const bool echoFirst = data[1] & 1;
  const auto start = std::chrono::milliseconds(data[2]);
  const auto gap = std::chrono::microseconds(10 * data[3]);
  const std::string idText = std::string(1, static_cast<char>('0' + id / 10)) + static_cast<char>('0' + id % 10);
  const std::string frame = WithChecksum('\t', "H" + idText + "F");

  std::string sent(reinterpret_cast<const char*>(data + 4), size - 4);
  if (echoFirst) sent = frame + sent;
  std::vector<site::TimedByte> bytes;
  for (size_t i = 0; i < sent.size(); ++i)
    bytes.push_back({static_cast<uint8_t>(sent[i]), start + gap * static_cast<long>(i)});

  const site::PollReading reading = site::ReadPoll(frame, bytes, "F" + idText);
  const bool echo = sent.compare(0, frame.size(), frame) == 0;
  const std::string heard = echo ? sent.substr(frame.size()) : sent;

  Require(reading.echo == echo, "an echo is reported exactly when the capture begins with the frame");
  Require((reading.status == site::PollStatus::Absent) == heard.empty(), "absent exactly when nothing came");
  if (reading.status == site::PollStatus::Ok) {
    Require(OneGoodReply(heard, idText), "ok only for exactly one correct reply");
    const auto firstHeard = start + gap * static_cast<long>(sent.size() - heard.size());
    Require(firstHeard <= site::kReplyWindow, "ok only inside the window");
  }
  Require(!(TwoFrames(heard) && reading.status == site::PollStatus::Ok), "a doubled reply is never ok");
  return 0;
}
