// SPDX-License-Identifier: MIT
#include "frames.h"

#include <cstring>

#include "deadline.h"
#include "frame_trace.h"
#include "serial_port.h"

namespace serial {

namespace {
constexpr uint8_t kTab = 0x09;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kCr = 0x0D;

void Trace(LinkState& link, TraceDirection direction, const uint8_t* bytes, size_t length) {
  if (link.TraceHook) link.TraceHook(TraceEvent{direction, TickCount(), bytes, length, link.OpenPortNumber});
}

void TraceSentFrame(LinkState& link, const std::string& text, const std::string& checksum) {
  if (!link.TraceHook) return;
  std::string frame = static_cast<char>(kTab) + text + checksum + static_cast<char>(kCr);
  Trace(link, TraceDirection::Sent, reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
}

void WriteFrame(LinkState& link, const std::string& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  int length = static_cast<int>(text.size());
  std::string checksum = ByteToHex(FrameChecksum(bytes, length));
  WritePortByte(link, kTab);
  WritePortBlock(link, bytes, length);
  WritePortByte(link, static_cast<uint8_t>(checksum[0]));
  WritePortByte(link, static_cast<uint8_t>(checksum[1]));
  WritePortByte(link, kCr);
  TraceSentFrame(link, text, checksum);
}

// Stores a received byte; true when it completes a reply.
bool StoreByte(LinkState& link, uint8_t byte) {
  link.ReplyBuffer[link.ReplyPos] = byte;
  link.ReplyPos += 1;
  if (link.ReplyPos >= kReplyBufferSize) link.ReplyPos = 0;
  return byte == kCr && link.ReplyBuffer[0] == kLf;
}

void TakeLastReply(LinkState& link) {
  link.ReplyBuffer[link.ReplyPos] = 0;
  const char* start = reinterpret_cast<const char*>(link.ReplyBuffer);
  link.LastReply.assign(start, strnlen(start, kReplyBufferSize));
}

enum class ReplyOutcome { Accepted, Rejected, Missing };

// Reads the reply of the frame just written; see SendCommand. Missing: no
// complete reply came (the window ran out, or the line flooded).
ReplyOutcome ReadReply(LinkState& link) {
  const uint32_t start = link.LastFrameAt;
  uint32_t elapsed = 0;
  uint32_t received = 0;
  do {
    uint8_t byte = 0;
    if (ReadPortByte(link, byte)) {
      link.LastLineActivityAt = TickCount();
      Trace(link, TraceDirection::Received, &byte, 1);
      if (StoreByte(link, byte)) {
        TakeLastReply(link);
        return VerifyReply(link) ? ReplyOutcome::Accepted : ReplyOutcome::Rejected;
      }
      // A line that never falls silent must not hold the window forever.
      if (++received % kFloodCheckBytes == 0 && TickCount() - start > link.FloodLimitMs) return ReplyOutcome::Missing;
    } else {
      if (link.ProcessPendingEvents) link.ProcessPendingEvents();
      elapsed = TickCount() - start;  // modulo 2^32
    }
  } while (elapsed <= kReplyWindowMs);
  return ReplyOutcome::Missing;
}

bool EarlierFrameMayBeAnswered(const LinkState& link) { return link.FramesSinceQuiet > link.RepliesSinceQuiet; }

bool LineIsQuiet(const LinkState& link) { return TickCount() - link.LastLineActivityAt >= kLateReplyGuardMs; }

void ForgetEarlierFrames(LinkState& link) {
  link.FramesSinceQuiet = 0;
  link.RepliesSinceQuiet = 0;
}

// Reads and throws away (tracing it as discarded) whatever arrives until the
// line is quiet, handling pending events meanwhile; false when it is still
// not quiet link.FloodLimitMs after the wait began.
bool WaitForQuietLine(LinkState& link) {
  const uint32_t began = TickCount();
  uint8_t byte = 0;
  while (TickCount() - began <= link.FloodLimitMs) {
    if (ReadPortByte(link, byte)) {
      link.LastLineActivityAt = TickCount();
      Trace(link, TraceDirection::Discarded, &byte, 1);
    } else {
      if (link.ProcessPendingEvents) link.ProcessPendingEvents();
      if (LineIsQuiet(link)) return true;
    }
  }
  return false;
}

// Makes sure that no earlier frame can be answered inside this frame's
// window, unless it was the same command; then clears the input. False when
// the line never fell quiet: the frame must not go out.
bool ClearLineBeforeFrame(LinkState& link, const std::string& text) {
  if (EarlierFrameMayBeAnswered(link) && LineIsQuiet(link)) ForgetEarlierFrames(link);
  if (EarlierFrameMayBeAnswered(link) && text != link.LastCommand) {
    if (!WaitForQuietLine(link)) return false;
    ForgetEarlierFrames(link);
  }
  DiscardPortInput(link);
  return true;
}

// Counts this exchange's frame and reply; once every frame has had its
// reply, nothing is outstanding and the counts start again.
void CountExchange(LinkState& link, ReplyOutcome outcome) {
  link.FramesSinceQuiet += 1;
  if (outcome != ReplyOutcome::Missing) link.RepliesSinceQuiet += 1;
  if (!EarlierFrameMayBeAnswered(link)) ForgetEarlierFrames(link);
}
}  // namespace

bool SendCommand(LinkState& link, const std::string& text) {
  std::memset(link.ReplyBuffer, 0, sizeof link.ReplyBuffer);
  if (!ClearLineBeforeFrame(link, text)) {
    link.ReplyPos = 0;
    Trace(link, TraceDirection::Ended, nullptr, 0);
    return false;
  }
  WriteFrame(link, text);
  link.LastCommand = text;
  link.ReplyPos = 0;
  link.LastFrameAt = TickCount();
  link.LastLineActivityAt = link.LastFrameAt;
  const ReplyOutcome outcome = ReadReply(link);
  CountExchange(link, outcome);
  Trace(link, TraceDirection::Ended, nullptr, 0);
  return outcome == ReplyOutcome::Accepted;
}

uint8_t FrameChecksum(const uint8_t* bytes, int length) {
  uint8_t sum = kTab;
  for (int i = 0; i < length; ++i) sum ^= bytes[i];
  return sum;
}

std::string ByteToHex(uint8_t byte) {
  static const char kDigits[] = "0123456789ABCDEF";
  return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

bool VerifyReply(const LinkState& link) {
  if (link.ReplyPos < 4) return false;
  uint8_t sum = 0;
  for (int i = 0; i <= link.ReplyPos - 4; ++i) sum ^= link.ReplyBuffer[i];
  std::string hex = ByteToHex(sum);
  return link.ReplyBuffer[link.ReplyPos - 3] == static_cast<uint8_t>(hex[0]) &&
         link.ReplyBuffer[link.ReplyPos - 2] == static_cast<uint8_t>(hex[1]);
}

std::string ReplyChars(const LinkState& link, int first, int last) {
  if (first < 1) first = 1;
  int size = static_cast<int>(link.LastReply.size());
  if (last > size) last = size;
  if (last < first) return {};
  return link.LastReply.substr(static_cast<size_t>(first - 1), static_cast<size_t>(last - first + 1));
}

}  // namespace serial
