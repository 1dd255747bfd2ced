// SPDX-License-Identifier: MIT
#include "frames.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "deadline.h"
#include "frame_trace.h"
#include "serial_port.h"

namespace {
constexpr uint8_t kTab = 0x09;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kCr = 0x0D;

// The hook every connection shares, replaced whole under the lock; an
// exchange takes its own reference once, so the lock is not taken per byte.
std::mutex hookMutex;
std::shared_ptr<const FrameTraceHook> sharedHook;
// The hook of the exchange this thread's connection is in.
thread_local std::shared_ptr<const FrameTraceHook> exchangeHook;

// Holds the shared hook for one exchange and lets go of it at the end.
class ExchangeHookScope {
 public:
  ExchangeHookScope() {
    std::lock_guard<std::mutex> lock(hookMutex);
    exchangeHook = sharedHook;
  }
  ~ExchangeHookScope() { exchangeHook.reset(); }
  ExchangeHookScope(const ExchangeHookScope&) = delete;
  ExchangeHookScope& operator=(const ExchangeHookScope&) = delete;
};

void Trace(TraceDirection direction, const uint8_t* bytes, size_t length) {
  if (exchangeHook) (*exchangeHook)(TraceEvent{direction, TickCount(), bytes, length, Link.OpenPortNumber});
}

void TraceSentFrame(const std::string& text, const std::string& checksum) {
  if (!exchangeHook) return;
  std::string frame = static_cast<char>(kTab) + text + checksum + static_cast<char>(kCr);
  Trace(TraceDirection::Sent, reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
}

void WriteFrame(const std::string& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  int length = static_cast<int>(text.size());
  std::string checksum = ByteToHex(FrameChecksum(bytes, length));
  WritePortByte(kTab);
  WritePortBlock(bytes, length);
  WritePortByte(static_cast<uint8_t>(checksum[0]));
  WritePortByte(static_cast<uint8_t>(checksum[1]));
  WritePortByte(kCr);
  TraceSentFrame(text, checksum);
}

// Stores a received byte; true when it completes a reply.
bool StoreByte(uint8_t byte) {
  Link.ReplyBuffer[Link.ReplyPos] = byte;
  Link.ReplyPos += 1;
  if (Link.ReplyPos >= kReplyBufferSize) Link.ReplyPos = 0;
  return byte == kCr && Link.ReplyBuffer[0] == kLf;
}

void TakeLastReply() {
  Link.ReplyBuffer[Link.ReplyPos] = 0;
  const char* start = reinterpret_cast<const char*>(Link.ReplyBuffer);
  Link.LastReply.assign(start, strnlen(start, kReplyBufferSize));
}

enum class ReplyOutcome { Accepted, Rejected, Missing };

// Reads the reply of the frame just written; see SendCommand. Missing: no
// complete reply came (the window ran out, or the line flooded).
ReplyOutcome ReadReply() {
  const uint32_t start = Link.LastFrameAt;
  uint32_t elapsed = 0;
  uint32_t received = 0;
  do {
    uint8_t byte = 0;
    if (ReadPortByte(byte)) {
      Link.LastLineActivityAt = TickCount();
      Trace(TraceDirection::Received, &byte, 1);
      if (StoreByte(byte)) {
        TakeLastReply();
        return VerifyReply() ? ReplyOutcome::Accepted : ReplyOutcome::Rejected;
      }
      // A line that never falls silent must not hold the window forever.
      if (++received % kFloodCheckBytes == 0 && TickCount() - start > Link.FloodLimitMs) return ReplyOutcome::Missing;
    } else {
      if (Link.ProcessPendingEvents) Link.ProcessPendingEvents();
      elapsed = TickCount() - start;  // modulo 2^32
    }
  } while (elapsed <= kReplyWindowMs);
  return ReplyOutcome::Missing;
}

bool EarlierFrameMayBeAnswered() { return Link.FramesSinceQuiet > Link.RepliesSinceQuiet; }

bool LineIsQuiet() { return TickCount() - Link.LastLineActivityAt >= kLateReplyGuardMs; }

void ForgetEarlierFrames() {
  Link.FramesSinceQuiet = 0;
  Link.RepliesSinceQuiet = 0;
}

// Reads and throws away (tracing it as discarded) whatever arrives until the
// line is quiet, handling pending events meanwhile; false when it is still
// not quiet Link.FloodLimitMs after the wait began.
bool WaitForQuietLine() {
  const uint32_t began = TickCount();
  uint8_t byte = 0;
  while (TickCount() - began <= Link.FloodLimitMs) {
    if (ReadPortByte(byte)) {
      Link.LastLineActivityAt = TickCount();
      Trace(TraceDirection::Discarded, &byte, 1);
    } else {
      if (Link.ProcessPendingEvents) Link.ProcessPendingEvents();
      if (LineIsQuiet()) return true;
    }
  }
  return false;
}

// Makes sure that no earlier frame can be answered inside this frame's
// window, unless it was the same command; then clears the input. False when
// the line never fell quiet: the frame must not go out.
bool ClearLineBeforeFrame(const std::string& text) {
  if (EarlierFrameMayBeAnswered() && LineIsQuiet()) ForgetEarlierFrames();
  if (EarlierFrameMayBeAnswered() && text != Link.LastCommand) {
    if (!WaitForQuietLine()) return false;
    ForgetEarlierFrames();
  }
  DiscardPortInput();
  return true;
}

// Counts this exchange's frame and reply; once every frame has had its
// reply, nothing is outstanding and the counts start again.
void CountExchange(ReplyOutcome outcome) {
  Link.FramesSinceQuiet += 1;
  if (outcome != ReplyOutcome::Missing) Link.RepliesSinceQuiet += 1;
  if (!EarlierFrameMayBeAnswered()) ForgetEarlierFrames();
}
}  // namespace

bool SendCommand(const std::string& text) {
  ExchangeHookScope hook;
  std::memset(Link.ReplyBuffer, 0, sizeof Link.ReplyBuffer);
  if (!ClearLineBeforeFrame(text)) {
    Link.ReplyPos = 0;
    Trace(TraceDirection::Ended, nullptr, 0);
    return false;
  }
  WriteFrame(text);
  Link.LastCommand = text;
  Link.ReplyPos = 0;
  Link.LastFrameAt = TickCount();
  Link.LastLineActivityAt = Link.LastFrameAt;
  const ReplyOutcome outcome = ReadReply();
  CountExchange(outcome);
  Trace(TraceDirection::Ended, nullptr, 0);
  return outcome == ReplyOutcome::Accepted;
}

void SetFrameTrace(FrameTraceHook hook) {
  auto installed = hook ? std::make_shared<const FrameTraceHook>(std::move(hook)) : nullptr;
  std::lock_guard<std::mutex> lock(hookMutex);
  sharedHook = std::move(installed);
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

bool VerifyReply() {
  if (Link.ReplyPos < 4) return false;
  uint8_t sum = 0;
  for (int i = 0; i <= Link.ReplyPos - 4; ++i) sum ^= Link.ReplyBuffer[i];
  std::string hex = ByteToHex(sum);
  return Link.ReplyBuffer[Link.ReplyPos - 3] == static_cast<uint8_t>(hex[0]) &&
         Link.ReplyBuffer[Link.ReplyPos - 2] == static_cast<uint8_t>(hex[1]);
}

std::string ReplyChars(int first, int last) {
  if (first < 1) first = 1;
  int size = static_cast<int>(Link.LastReply.size());
  if (last > size) last = size;
  if (last < first) return {};
  return Link.LastReply.substr(static_cast<size_t>(first - 1), static_cast<size_t>(last - first + 1));
}
