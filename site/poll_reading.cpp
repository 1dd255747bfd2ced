// SPDX-License-Identifier: MIT
#include "poll_reading.h"

#include "frame_bytes.h"

namespace site {

namespace {
constexpr size_t kShortestReply = 4;  // LF, two checksum characters, CR

char HexDigit(unsigned nibble) { return "0123456789ABCDEF"[nibble & 0x0F]; }

// The capture without the adapter's echo: an exact copy of the frame at the
// very start. A copy that breaks off or differs stays in.
std::span<const TimedByte> WithoutEcho(std::string_view frame, std::span<const TimedByte> bytes, bool& echo) {
  echo = false;
  if (frame.empty() || bytes.size() < frame.size()) return bytes;
  for (size_t i = 0; i < frame.size(); ++i) {
    if (bytes[i].value != static_cast<uint8_t>(frame[i])) return bytes;
  }
  echo = true;
  return bytes.subspan(frame.size());
}

// Where the frame that starts at `from` ends (the index of its CR), or
// npos when no CR follows.
size_t FrameEnd(std::span<const TimedByte> bytes, size_t from) {
  for (size_t i = from; i < bytes.size(); ++i) {
    if (bytes[i].value == serial::kFrameCr) return i;
  }
  return std::string_view::npos;
}

std::string Text(std::span<const TimedByte> bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const TimedByte& b : bytes) text.push_back(static_cast<char>(b.value));
  return text;
}

// What follows a complete reply: nothing, a second LF-led frame, or bytes
// that are neither.
PollStatus AfterReply(std::span<const TimedByte> rest) {
  if (rest.empty()) return PollStatus::Ok;
  if (rest[0].value == serial::kFrameLf && FrameEnd(rest, 1) != std::string_view::npos) return PollStatus::Double;
  return PollStatus::Garbled;
}
}  // namespace

const char* StatusName(PollStatus status) {
  switch (status) {
    case PollStatus::Ok: return "ok";
    case PollStatus::Absent: return "absent";
    case PollStatus::Garbled: return "garbled";
    case PollStatus::Double: return "double";
    case PollStatus::Partial: return "partial";
    case PollStatus::Late: return "late";
  }
  return "garbled";
}

bool IsValidReplyFrame(std::string_view bytes) {
  if (bytes.size() < kShortestReply) return false;
  if (static_cast<uint8_t>(bytes.front()) != serial::kFrameLf || static_cast<uint8_t>(bytes.back()) != serial::kFrameCr) return false;
  if (bytes.substr(0, bytes.size() - 1).find(static_cast<char>(serial::kFrameCr)) != std::string_view::npos) return false;
  unsigned sum = 0;
  for (size_t i = 0; i + 3 < bytes.size(); ++i) sum ^= static_cast<uint8_t>(bytes[i]);
  return bytes[bytes.size() - 3] == HexDigit(sum >> 4) && bytes[bytes.size() - 2] == HexDigit(sum);
}

PollReading ReadPoll(std::string_view frame, std::span<const TimedByte> bytes, std::string_view replyText,
                     Micros window) {
  PollReading reading;
  std::span<const TimedByte> heard = WithoutEcho(frame, bytes, reading.echo);
  if (heard.empty()) return reading;  // absent
  reading.firstByte = heard.front().at;
  reading.status = PollStatus::Garbled;
  if (heard.front().value != serial::kFrameLf) {
    reading.extraBytes = heard.size();
    return reading;
  }
  const size_t end = FrameEnd(heard, 1);
  if (end == std::string_view::npos) {
    reading.status = PollStatus::Partial;
    reading.extraBytes = heard.size();
    return reading;
  }
  reading.reply = Text(heard.first(end + 1));
  reading.wholeReply = heard[end].at;
  const std::span<const TimedByte> rest = heard.subspan(end + 1);
  reading.extraBytes = rest.size();
  if (!IsValidReplyFrame(reading.reply)) {
    reading.checksumError = true;
    return reading;  // garbled
  }
  if (reading.reply.compare(1, replyText.size(), replyText) != 0) return reading;  // garbled
  reading.status = AfterReply(rest);
  if (reading.status == PollStatus::Ok && *reading.firstByte > window) reading.status = PollStatus::Late;
  return reading;
}

}  // namespace site
