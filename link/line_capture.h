// SPDX-License-Identifier: MIT
#pragma once
// Hearing a shared line. SendCommand takes the first reply to a frame and
// stops; a bus of several modules needs everything that comes back (a second
// module answering the same address, a reply after the window, another
// host's frames), each byte with the time it was read. The survey, the walk
// test and the link test build on these three calls:
//
// - DrainInput reads what the port holds now, without waiting for any.
// - WriteCommandFrame writes the frame of a command text exactly as
//   SendCommand writes it (TAB, text, checksum, CR, with the same pauses),
//   traces it and returns the frame and the time its write ended. It neither
//   drops the input nor waits for a quiet line: the caller hears the line.
// - ListenUntil reads every byte that arrives until a time, or until
//   `enough` says the bytes heard so far are enough, whichever comes first.
//
// Times are steady-clock times; a byte's time is counted from the origin the
// caller gives (the end of its frame), with the resolution of a read's wait
// (about 1 ms). Received bytes are traced as SendCommand traces them; each
// call that received something ends with an exchange's end in the trace.
// While no byte is waiting, the link's pending-events call runs about once a
// millisecond. At most kMaxHeardBytes bytes are kept per call; a line that
// floods is read on (and counted in `dropped`) until the time is up, so the
// next frame never meets the flood's rest.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link_state.h"

namespace serial {

using LineClock = std::chrono::steady_clock;

struct HeardByte {
  uint8_t value = 0;
  std::chrono::microseconds at{0};
};

inline constexpr size_t kMaxHeardBytes = 4096;

struct Heard {
  std::vector<HeardByte> bytes;
  size_t dropped = 0;  // bytes read beyond kMaxHeardBytes
};

void DrainInput(LinkState& link, LineClock::time_point origin, Heard& heard);

struct WrittenFrame {
  std::string bytes;  // TAB to CR, as written
  LineClock::time_point end;
};

WrittenFrame WriteCommandFrame(LinkState& link, const std::string& text);

void ListenUntil(LinkState& link, LineClock::time_point origin, LineClock::time_point end, Heard& heard,
                 const std::function<bool(const Heard&)>& enough = {});

}  // namespace serial
