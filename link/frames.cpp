// SPDX-License-Identifier: MIT
#include "frames.h"

#include <cstring>
#include <string_view>

#include "deadline.h"
#include "frame_bytes.h"
#include "frame_trace.h"
#include "serial_port.h"

namespace serial {

namespace {
void Trace(LinkState& link, TraceDirection direction, const uint8_t* bytes, size_t length) {
  if (link.TraceHook) link.TraceHook(TraceEvent{direction, TickCount(), bytes, length, link.OpenPortNumber});
}

// Recognises the adapter's copy of the frame just written. A two-wire
// adapter hears its own driver, so the frame comes back before any reply.
// Bytes that may still be that copy are held back; an exact copy is dropped
// and traced as the echo, and a copy that breaks off or differs is handed
// on byte for byte, as if it had never been held (a stray TAB still fails
// the exchange). A reply starts with LF, never with the frame's TAB.
class EchoFilter {
 public:
  explicit EchoFilter(const std::string& frame) : frame_(frame) {}

  // Takes one received byte; returns the bytes to handle as received now
  // (none while the byte may belong to the echo).
  std::string_view Take(LinkState& link, uint8_t byte) {
    if (over_) {
      single_ = static_cast<char>(byte);
      return {&single_, 1};
    }
    if (byte == static_cast<uint8_t>(frame_[held_])) {
      held_ += 1;
      if (held_ < frame_.size()) return {};
      over_ = true;
      held_ = 0;
      link.EchoHeard = true;
      Trace(link, TraceDirection::Echo, reinterpret_cast<const uint8_t*>(frame_.data()), frame_.size());
      return {};
    }
    over_ = true;
    pending_.assign(frame_, 0, held_);
    pending_ += static_cast<char>(byte);
    held_ = 0;
    return pending_;
  }

  // The bytes still held when no more will come.
  std::string_view Rest() {
    over_ = true;
    pending_.assign(frame_, 0, held_);
    held_ = 0;
    return pending_;
  }

 private:
  const std::string& frame_;
  size_t held_ = 0;
  bool over_ = false;
  std::string pending_;
  char single_ = 0;
};

// Stores a received byte; true when it completes a reply.
bool StoreByte(LinkState& link, uint8_t byte) {
  link.ReplyBuffer[link.ReplyPos] = byte;
  link.ReplyPos += 1;
  if (link.ReplyPos >= kReplyBufferSize) link.ReplyPos = 0;
  return byte == kFrameCr && link.ReplyBuffer[0] == kFrameLf;
}

void TakeLastReply(LinkState& link) {
  link.ReplyBuffer[link.ReplyPos] = 0;
  const char* start = reinterpret_cast<const char*>(link.ReplyBuffer);
  link.LastReply.assign(start, strnlen(start, kReplyBufferSize));
}

enum class ReplyOutcome { Accepted, Rejected, Missing };

// Handles received bytes in order; true when one of them completes a reply.
bool HandleReceived(LinkState& link, std::string_view bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<uint8_t>(bytes[i]);
    Trace(link, TraceDirection::Received, &byte, 1);
    if (StoreByte(link, byte)) return true;
  }
  return false;
}

ReplyOutcome CompleteReply(LinkState& link) {
  TakeLastReply(link);
  return VerifyReply(link) ? ReplyOutcome::Accepted : ReplyOutcome::Rejected;
}

// Reads the reply of the frame just written; see SendCommand. Missing: no
// complete reply came (the window ran out, or the line flooded).
ReplyOutcome ReadReply(LinkState& link, const std::string& frame) {
  const uint32_t start = link.LastFrameAt;
  uint32_t elapsed = 0;
  uint32_t received = 0;
  EchoFilter echo(frame);
  do {
    uint8_t byte = 0;
    if (ReadPortByte(link, byte)) {
      link.LastLineActivityAt = TickCount();
      if (HandleReceived(link, echo.Take(link, byte))) return CompleteReply(link);
      // A line that never falls silent must not hold the window forever.
      if (++received % kFloodCheckBytes == 0 && TickCount() - start > link.FloodLimitMs) break;
    } else {
      if (link.ProcessPendingEvents) link.ProcessPendingEvents();
      elapsed = TickCount() - start;  // modulo 2^32
    }
  } while (elapsed <= kReplyWindowMs);
  // A copy of the frame that broke off is what was received, as it is (it
  // starts with TAB, so it completes no reply).
  HandleReceived(link, echo.Rest());
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

std::string WriteFrame(LinkState& link, const std::string& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  int length = static_cast<int>(text.size());
  std::string checksum = ByteToHex(FrameChecksum(bytes, length));
  WritePortByte(link, kFrameTab);
  WritePortBlock(link, bytes, length);
  WritePortByte(link, static_cast<uint8_t>(checksum[0]));
  WritePortByte(link, static_cast<uint8_t>(checksum[1]));
  WritePortByte(link, kFrameCr);
  const std::string frame = static_cast<char>(kFrameTab) + text + checksum + static_cast<char>(kFrameCr);
  Trace(link, TraceDirection::Sent, reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
  return frame;
}

bool SendCommand(LinkState& link, const std::string& text) {
  std::memset(link.ReplyBuffer, 0, sizeof link.ReplyBuffer);
  if (!ClearLineBeforeFrame(link, text)) {
    link.ReplyPos = 0;
    Trace(link, TraceDirection::Ended, nullptr, 0);
    return false;
  }
  const std::string frame = WriteFrame(link, text);
  link.LastCommand = text;
  link.ReplyPos = 0;
  link.LastFrameAt = TickCount();
  link.LastLineActivityAt = link.LastFrameAt;
  const ReplyOutcome outcome = ReadReply(link, frame);
  CountExchange(link, outcome);
  if (outcome == ReplyOutcome::Rejected || (outcome == ReplyOutcome::Missing && link.ReplyPos != 0)) {
    link.GarbledExchanges += 1;
    link.LastGarbledSetting = link.OpenPortKey.substr(link.OpenPortKey.find('\n') + 1);
  }
  Trace(link, TraceDirection::Ended, nullptr, 0);
  return outcome == ReplyOutcome::Accepted;
}

uint8_t FrameChecksum(const uint8_t* bytes, int length) {
  uint8_t sum = kFrameTab;
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
