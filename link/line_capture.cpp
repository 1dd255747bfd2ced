// SPDX-License-Identifier: MIT
#include "line_capture.h"

#include "deadline.h"
#include "frame_trace.h"
#include "frames.h"
#include "serial_port.h"

namespace serial {

namespace {

void TraceHeard(LinkState& link, TraceDirection direction, const uint8_t* bytes, size_t length) {
  if (link.TraceHook) link.TraceHook(TraceEvent{direction, TickCount(), bytes, length, link.OpenPortNumber});
}

void Keep(LinkState& link, LineClock::time_point origin, uint8_t byte, Heard& heard) {
  link.LastLineActivityAt = TickCount();
  TraceHeard(link, TraceDirection::Received, &byte, 1);
  if (heard.bytes.size() >= kMaxHeardBytes) {
    heard.dropped += 1;
    return;
  }
  const auto at = std::chrono::duration_cast<std::chrono::microseconds>(LineClock::now() - origin);
  heard.bytes.push_back(HeardByte{byte, at});
}

void EndInTrace(LinkState& link, size_t before, const Heard& heard) {
  if (heard.bytes.size() + heard.dropped != before) TraceHeard(link, TraceDirection::Ended, nullptr, 0);
}

}  // namespace

void DrainInput(LinkState& link, LineClock::time_point origin, Heard& heard) {
  const size_t before = heard.bytes.size() + heard.dropped;
  uint8_t byte = 0;
  // Only what is there: a read of an empty port would wait. Bounded like a
  // flood: a line that never stops is left to the listen.
  for (size_t i = 0; i < kMaxHeardBytes && PortInputWaiting(link) > 0 && ReadPortByte(link, byte); ++i)
    Keep(link, origin, byte, heard);
  EndInTrace(link, before, heard);
}

WrittenFrame WriteCommandFrame(LinkState& link, const std::string& text) {
  WrittenFrame written;
  written.bytes = WriteFrame(link, text);
  written.end = LineClock::now();
  link.LastCommand = text;
  link.LastFrameAt = TickCount();
  return written;
}

void ListenUntil(LinkState& link, LineClock::time_point origin, LineClock::time_point end, Heard& heard,
                 const std::function<bool(const Heard&)>& enough) {
  const size_t before = heard.bytes.size() + heard.dropped;
  uint8_t byte = 0;
  // A read waits up to kReadWait for a byte; the last stretch before the
  // end is slept instead, so that the listen ends on time, not up to a
  // read's wait later.
  constexpr auto kReadWait = std::chrono::milliseconds(1);
  while (LineClock::now() < end) {
    if (end - LineClock::now() < kReadWait && PortInputWaiting(link) == 0) {
      SleepUntil(end);
      continue;
    }
    if (ReadPortByte(link, byte)) {
      Keep(link, origin, byte, heard);
      if (enough && enough(heard)) break;
    } else if (link.ProcessPendingEvents) {
      link.ProcessPendingEvents();
    }
  }
  if (!enough || !enough(heard)) DrainInput(link, origin, heard);
  EndInTrace(link, before, heard);
}

}  // namespace serial
