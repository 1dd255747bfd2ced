// SPDX-License-Identifier: MIT
#pragma once
// What one exchange on a bus brought back, judged from the bytes alone.
//
// A survey, a walk test and a link test write a frame and then listen: for
// the reply window, and after a complete reply on into the next poll's pause,
// so that a second module answering the same address is heard too. Every
// byte is kept with the time it was read, counted from the end of the
// frame's write. ReadPoll turns such a capture into one status:
//
// - absent   nothing at all came back;
// - ok       exactly one reply: LF first, a correct checksum, CR last,
//            nothing after it, its first byte inside the reply window, and
//            (where the caller names what the reply must begin with, "F01"
//            for a poll of reader 01) its text begins so;
// - late     one such reply, but its first byte came after the window;
// - double   a complete reply, then a second LF-led frame: two modules
//            answered one after the other;
// - partial  LF first, but no CR before the capture ended;
// - garbled  anything else: a first byte that is not LF, a checksum that
//            fails, bytes after the reply that are not a second frame, a
//            reply that begins otherwise than asked. Two modules answering at once
//            garble each other's bytes on a real line.
//
// An exact copy of the frame just written that arrives first is the
// adapter's echo (two-wire adapters hear their own driver): it is taken off
// and noted, never judged. A copy that breaks off or differs is not an
// echo; its bytes are judged like any others.
//
// Nothing here reads a port or a clock: the engine and the fuzz target feed
// it the same way.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "line_capture.h"

namespace site {

using Micros = std::chrono::microseconds;

// One byte as read, with its time after the end of the frame's write.
using TimedByte = serial::HeardByte;

enum class PollStatus { Ok, Absent, Garbled, Double, Partial, Late };

// "ok", "absent", "garbled", "double", "partial", "late".
const char* StatusName(PollStatus status);

struct PollReading {
  PollStatus status = PollStatus::Absent;
  // The adapter echoed the frame (taken off before judging).
  bool echo = false;
  // The first complete LF..CR frame, as received; empty when none came.
  std::string reply;
  // It came complete but its checksum failed (or it is shorter than 4 bytes).
  bool checksumError = false;
  // Bytes that are neither the echo nor the first reply: before it, after
  // it, or all of them when no reply completed.
  size_t extraBytes = 0;
  // Times of the first byte after the echo and of the reply's CR; empty
  // when there was none.
  std::optional<Micros> firstByte;
  std::optional<Micros> wholeReply;
};

// The reply window of the link (from the end of the frame's write).
inline constexpr Micros kReplyWindow{120'000};

// frame: the command frame exactly as written (TAB to CR). replyText: what
// the reply's text must begin with ("F" + ID for a poll), or empty when any
// reply will do (a presence check).
PollReading ReadPoll(std::string_view frame, std::span<const TimedByte> bytes, std::string_view replyText = {},
                     Micros window = kReplyWindow);

// Whether the bytes are one whole reply frame: LF first, CR last, no CR
// before, at least 4 bytes, and the checksum of the LF and the text in
// upper-case hexadecimal before the CR.
bool IsValidReplyFrame(std::string_view bytes);

}  // namespace site
