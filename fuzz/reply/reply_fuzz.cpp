// SPDX-License-Identifier: MIT
// Fuzz target: the reply reader under arbitrary bytes arriving after a frame.
//
// One input is one SendCommand over the scripted device (scripted_line.h) on
// a virtual clock, from a fresh link state, optionally after an earlier
// exchange that went unanswered, and is checked against the rules of the
// reply reader:
// - the link waits for a quiet line before the frame exactly when an earlier
//   frame of another command may still be answered (it went unanswered less
//   than 250 ms ago at the same line setting); the wait reads and throws
//   away what arrives, traces each such byte as discarded, and ends at the
//   first read without a byte that finds 250 ms gone since the later of the
//   earlier frame and the last byte; a wait that passes the flood limit
//   ends the exchange without a frame: false, ReplyPos 0, LastReply kept;
// - then the input is cleared; the frame is TAB, text, checksum, CR in five
//   writes with at least 1, 3, 1 and 1 ms between them, and the reading
//   starts at least 1 ms after the CR;
// - the reader stops at the first read without a byte that finds more than
//   120 ms gone since the reading started, at the flood limit (checked every
//   64th byte), or at a complete reply (a CR while buffer position 0 holds
//   an LF), and never reads past a complete reply;
// - ReplyPos, ReplyBuffer, LastReply and the result are what the bytes read
//   make of them: a complete reply becomes LastReply and the result is its
//   checksum test; otherwise LastReply stays and the result is false;
// - the window is given a chance to work once per read without a byte.
// A broken rule aborts with its name: a finding for libFuzzer, a failed
// test for the corpus replay.
//
// Input layout:
//   byte 0: bits 0-2 bytes already waiting in the input, bits 3-4 the
//           command, bits 5-6 where the millisecond counter starts (one
//           start lets it wrap during the exchange)
//   byte 1: time between arriving bytes, in 10 us
//   byte 2: time from the last write to the first arriving byte, in ms
//   when bit 7 of byte 0 is set, an earlier exchange on a silent line:
//     byte 3: bits 0-1 its command, bit 2 set when it ran at another line
//             setting
//     byte 4: time from its end to this exchange, in 2 ms
//     (the arriving bytes then count from its frame until this frame)
//   then the waiting bytes, then the arriving bytes, where
//     FE g  (g > 0) is a silence of g ms, FE 00 a literal FE;
//     FD n b (n > 0) is b repeated 64 n times, FD 00 a literal FD.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "frame_trace.h"
#include "frames.h"
#include "port_names.h"
#include "scripted_line.h"
#include "serial_port.h"

namespace {

using Buffer = std::array<uint8_t, serial::kReplyBufferSize>;

constexpr uint64_t kUsPerMs = 1000;
constexpr uint64_t kCounterWrapUs = (uint64_t{1} << 32) * kUsPerMs;
constexpr uint64_t kStarts[] = {0, 5000 * kUsPerMs, kCounterWrapUs - 60 * kUsPerMs, kCounterWrapUs - 3 * kUsPerMs / 2};
const char* const kCommands[] = {"H00M", "H00V", "H01F", "H00A102"};
const std::string kEarlierReply = "\nearlier reply\r";
constexpr uint8_t kSilence = 0xFE;
constexpr uint8_t kRepeat = 0xFD;
constexpr unsigned kRepeatUnit = 64;
constexpr size_t kMaxArrivals = 8192;  // at 1 ms apart, far past the flood limit
constexpr uint64_t kFramePausesUs[] = {1000, 3000, 1000, 1000, 1000};
constexpr uint8_t kLf = 0x0A, kCr = 0x0D, kTab = 0x09;

constexpr uint8_t kEarlierExchange = 0x80;
constexpr uint8_t kEarlierAtOtherSetting = 0x04;
constexpr uint64_t kEarlierGapUnitUs = 2 * kUsPerMs;
const char kLineSetting[] = "19200,e,8,1";
const char kOtherLineSetting[] = "9600,n,8,1";

struct Script {
  std::string command;
  uint64_t startUs = 0;
  bool earlier = false;
  std::string earlierCommand;
  bool earlierAtOtherSetting = false;
  uint64_t gapUs = 0;
  std::vector<uint8_t> waiting;
  std::vector<scripted::Arrival> arrivals;
};

void Require(bool kept, const char* rule) {
  if (kept) return;
  std::fprintf(stderr, "reply reader broke a rule: %s\n", rule);
  std::abort();
}

class InputBytes {
 public:
  InputBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool More() const { return pos_ < size_; }
  uint8_t Next() { return More() ? data_[pos_++] : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

void Arrive(Script& script, uint64_t& atUs, uint64_t spacingUs, uint8_t byte, unsigned count) {
  for (unsigned i = 0; i < count && script.arrivals.size() < kMaxArrivals; ++i) {
    script.arrivals.push_back({atUs, byte});
    atUs += spacingUs;
  }
}

Script Decode(const uint8_t* data, size_t size) {
  InputBytes in(data, size);
  Script script;
  const uint8_t flags = in.Next();
  const uint64_t spacingUs = in.Next() * uint64_t{10};
  uint64_t atUs = in.Next() * kUsPerMs;
  script.command = kCommands[(flags >> 3) & 3];
  script.startUs = kStarts[(flags >> 5) & 3];
  if (flags & kEarlierExchange) {
    const uint8_t earlier = in.Next();
    script.earlier = true;
    script.earlierCommand = kCommands[earlier & 3];
    script.earlierAtOtherSetting = (earlier & kEarlierAtOtherSetting) != 0;
    script.gapUs = in.Next() * kEarlierGapUnitUs;
  }
  for (int i = 0; i < (flags & 7) && in.More(); ++i) script.waiting.push_back(in.Next());
  while (in.More() && script.arrivals.size() < kMaxArrivals) {
    const uint8_t byte = in.Next();
    if (byte == kSilence && in.More()) {
      if (const uint8_t ms = in.Next(); ms > 0) {
        atUs += ms * kUsPerMs;
        continue;
      }
    } else if (byte == kRepeat && in.More()) {
      if (const uint8_t units = in.Next(); units > 0) {
        Arrive(script, atUs, spacingUs, in.Next(), units * kRepeatUnit);
        continue;
      }
    }
    Arrive(script, atUs, spacingUs, byte, 1);
  }
  return script;
}

std::string Hex(uint8_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 15]};
}

uint32_t Tick(uint64_t us) { return static_cast<uint32_t>(us / kUsPerMs); }

// The reads the link made before anything else: the wait for a quiet line.
size_t ReadsBeforeTheFrame(const scripted::Line& line) {
  size_t reads = 0;
  while (reads < line.events.size() && line.events[reads] == scripted::Event::Read) ++reads;
  return reads;
}

// What the link knows of the earlier exchange when this one begins.
struct Earlier {
  bool mayBeAnswered = false;  // unanswered, at this line setting
  std::string command;
  uint32_t frameTick = 0;
};

// The wait before the frame (see the rules above); true when the frame went out.
bool CheckWait(const Earlier& earlier, const std::string& command, uint32_t entryTick, const scripted::Line& line,
               size_t waitReads, size_t discardedTraced) {
  const bool framed = !line.writes.empty();
  const bool suspicion = earlier.mayBeAnswered && entryTick - earlier.frameTick < serial::kLateReplyGuardMs;
  const bool mustWait = suspicion && earlier.command != command;
  Require(mustWait == (waitReads > 0), "the link waits for a quiet line exactly when another command's reply may come");
  Require(framed || mustWait, "only a wait for a quiet line keeps the frame back");
  uint32_t activity = earlier.frameTick;
  size_t discarded = 0;
  for (size_t i = 0; i < waitReads; ++i) {
    const scripted::Read& read = line.reads[i];
    Require(Tick(read.startUs) - entryTick <= serial::kFloodLimitMs, "the wait reads only within the flood limit");
    if (read.delivered) {
      activity = Tick(read.endUs);
      ++discarded;
    }
    const bool quiet = !read.delivered && Tick(read.endUs) - activity >= serial::kLateReplyGuardMs;
    if (i + 1 < waitReads) {
      Require(!quiet, "the wait goes on until the line is quiet");
    } else if (framed) {
      Require(quiet, "the frame goes out only once the line is quiet");
    } else {
      Require(!quiet && Tick(read.endUs) - entryTick > serial::kFloodLimitMs,
              "the wait gives up only at the flood limit");
    }
  }
  Require(discarded == discardedTraced, "every byte thrown away is traced as discarded");
  return framed;
}

void CheckRefused(const serial::LinkState& link, bool result) {
  Require(!result, "false without a frame");
  Require(link.ReplyPos == 0, "ReplyPos 0 without a frame");
  Require(link.LastReply == kEarlierReply, "LastReply stays without a frame");
  Require(std::all_of(std::begin(link.ReplyBuffer), std::end(link.ReplyBuffer), [](uint8_t b) { return b == 0; }),
          "the buffer is cleared without a frame");
}

void CheckFrame(const std::string& command, const scripted::Line& line, size_t waitReads) {
  using scripted::Event;
  const size_t discard = waitReads;
  Require(line.events.size() > discard + 6 && line.events[discard] == Event::Discard,
          "the input is cleared before the frame");
  for (size_t i = discard + 1; i < line.events.size(); ++i) {
    Require(line.events[i] == (i <= discard + 5 ? Event::Write : Event::Read), "clear, five writes, then reads only");
  }
  Require(waitReads > 0 || line.waitingDelivered == 0, "bytes waiting before the frame are read only by a wait");
  uint8_t sum = kTab;
  for (char c : command) sum ^= static_cast<uint8_t>(c);
  const std::string hex = Hex(sum);
  const std::vector<std::vector<uint8_t>> frame = {
      {kTab}, {command.begin(), command.end()}, {uint8_t(hex[0])}, {uint8_t(hex[1])}, {kCr}};
  for (size_t i = 0; i < frame.size(); ++i) {
    Require(line.writes[i].bytes == frame[i], "TAB, text, upper-case checksum, CR");
    const uint64_t next = i + 1 < frame.size() ? line.writes[i + 1].atUs : line.reads[waitReads].startUs;
    Require(next - line.writes[i].atUs >= kFramePausesUs[i], "each pause after a write is at least its length");
  }
}

// Where the first complete reply ends in the arriving bytes: a CR while
// buffer position 0 holds an LF, position 0 being refilled every 1024 bytes.
size_t CompleteAt(const std::vector<scripted::Arrival>& arrivals) {
  for (size_t i = 0; i < arrivals.size(); ++i) {
    const size_t atPositionZero = i - i % serial::kReplyBufferSize;
    if (arrivals[i].byte == kCr && arrivals[atPositionZero].byte == kLf) return i;
  }
  return arrivals.size();
}

void CheckStop(const std::vector<scripted::Read>& reads, bool complete) {
  const uint32_t start = Tick(reads.front().startUs);
  size_t delivered = 0;
  for (size_t i = 0; i < reads.size(); ++i) {
    const scripted::Read& read = reads[i];
    const uint32_t elapsed = Tick(read.endUs) - start;  // modulo 2^32
    delivered += read.delivered ? 1 : 0;
    const bool windowOver = !read.delivered && elapsed > serial::kReplyWindowMs;
    const bool floodOver =
        read.delivered && delivered % serial::kFloodCheckBytes == 0 && elapsed > serial::kFloodLimitMs;
    if (i + 1 < reads.size()) {
      Require(!windowOver && !floodOver, "the reader goes on within the window and the flood limit");
    } else {
      Require(complete ? read.delivered : windowOver || floodOver,
              "the reader stops only at a complete reply, the window's end or the flood limit");
    }
  }
}

bool ChecksumHolds(const Buffer& buffer, int length) {
  if (length < 4) return false;
  uint8_t sum = 0;
  for (int i = 0; i <= length - 4; ++i) sum ^= buffer[i];
  const std::string hex = Hex(sum);
  return buffer[length - 3] == uint8_t(hex[0]) && buffer[length - 2] == uint8_t(hex[1]);
}

void CheckResult(const serial::LinkState& link, bool result, const std::vector<scripted::Arrival>& arrivals,
                 size_t read, bool complete) {
  Buffer expected{};
  for (size_t i = 0; i < read; ++i) expected[i % serial::kReplyBufferSize] = arrivals[i].byte;
  const int length = static_cast<int>(read % serial::kReplyBufferSize);
  Require(link.ReplyPos == length, "ReplyPos counts the bytes read, modulo the buffer");
  if (!complete) {
    Require(!result, "false without a complete reply");
    Require(link.LastReply == kEarlierReply, "LastReply stays without a complete reply");
    Require(std::memcmp(link.ReplyBuffer, expected.data(), expected.size()) == 0, "the buffer holds the bytes read");
    return;
  }
  expected[length] = 0;
  Require(std::memcmp(link.ReplyBuffer, expected.data(), expected.size()) == 0, "the buffer holds the reply, then 0");
  const char* text = reinterpret_cast<const char*>(expected.data());
  Require(link.LastReply == std::string(text, strnlen(text, expected.size())), "LastReply: the buffer to its first 0");
  Require(result == ChecksumHolds(expected, length), "the result is the reply's checksum test");
}

int emptyReads = 0;
size_t discardedTraced = 0;

bool PointPortOneAtTheScriptedDevice() {
  serial::SetPortTable([](const std::string& name) {
    return std::optional<std::string>(name == serial::PortName(1) ? scripted::kScriptedPath : std::string());
  });
  return true;
}

// Counts the empty reads and the discarded bytes of one input's link.
void Observe(serial::LinkState& link) {
  link.TraceHook = [](const serial::TraceEvent& event) {
    if (event.direction == serial::TraceDirection::Discarded) discardedTraced += event.length;
  };
  link.ProcessPendingEvents = [] { ++emptyReads; };
}

// The earlier exchange: a frame on a silent line, then the port closed.
Earlier RunEarlierExchange(serial::LinkState& link, const Script& script) {
  scripted::Reset(script.startUs, {}, {});
  Require(serial::OpenPort(link, 1, script.earlierAtOtherSetting ? kOtherLineSetting : kLineSetting),
          "the scripted port opens");
  Require(!serial::SendCommand(link, script.earlierCommand), "a silent line answers nothing");
  Earlier earlier;
  earlier.mayBeAnswered = !script.earlierAtOtherSetting;
  earlier.command = script.earlierCommand;
  earlier.frameTick = Tick(scripted::Observed().reads.front().startUs);
  serial::ClosePort(link);
  scripted::Continue(script.gapUs, script.waiting, script.arrivals);
  return earlier;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = PointPortOneAtTheScriptedDevice();
  Require(ready, "set up");
  // A fresh link per input, as a program starts with: nothing carries over.
  serial::LinkState link{serial::PortScope::AnyPort()};
  Observe(link);
  const Script script = Decode(data, size);
  Earlier earlier;
  if (script.earlier) {
    earlier = RunEarlierExchange(link, script);
  } else {
    scripted::Reset(script.startUs, script.waiting, script.arrivals);
  }
  Require(serial::OpenPort(link, 1, kLineSetting), "the scripted port opens");
  link.LastReply = kEarlierReply;
  std::memset(link.ReplyBuffer, 0xA5, sizeof link.ReplyBuffer);  // SendCommand must clear it
  emptyReads = 0;
  discardedTraced = 0;
  const uint32_t entryTick = Tick(scripted::NowUs());

  const bool result = serial::SendCommand(link, script.command);
  const scripted::Line& line = scripted::Observed();
  const size_t waitReads = ReadsBeforeTheFrame(line);
  size_t empty = 0;
  for (const scripted::Read& r : line.reads) empty += r.delivered ? 0 : 1;
  Require(static_cast<size_t>(emptyReads) == empty, "the window works once per read without a byte");
  if (!CheckWait(earlier, script.command, entryTick, line, waitReads, discardedTraced)) {
    CheckRefused(link, result);
    serial::ClosePort(link);
    return 0;
  }
  CheckFrame(script.command, line, waitReads);
  const std::vector<scripted::Arrival> arrivals(
      script.arrivals.begin() + static_cast<std::ptrdiff_t>(line.arrivalsTakenAtDiscard), script.arrivals.end());
  const std::vector<scripted::Read> reads(line.reads.begin() + static_cast<std::ptrdiff_t>(waitReads),
                                          line.reads.end());
  const size_t completeAt = CompleteAt(arrivals);
  const size_t read = line.arrivalsDelivered - line.arrivalsDeliveredAtDiscard;
  Require(read <= completeAt + 1, "nothing is read past a complete reply");
  const bool complete = completeAt < arrivals.size() && read == completeAt + 1;
  CheckStop(reads, complete);
  CheckResult(link, result, arrivals, read, complete);
  serial::ClosePort(link);
  return 0;
}
