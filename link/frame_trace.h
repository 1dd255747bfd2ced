// SPDX-License-Identifier: MIT
#pragma once
// The frame trace: a connection's hook (LinkState::TraceHook) that sees every
// frame the link writes on it and every byte it receives, with the time on
// the link's millisecond counter. A command-line trace and the window's
// trace view are its consumers.
//
// Events, in the order they happen within one SendCommand:
// - Sent: the whole command frame (TAB to CR), once it has been written;
// - Echo: the adapter's exact copy of that frame, when it came back before
//   anything else (a two-wire adapter hears its own driver), in one event;
// - Received: one byte as it is read, length 1, as many as arrive (bytes
//   that began like the echo but broke off or differed come only once it is
//   clear they are not one);
// - Ended: the exchange is over (reply complete, window ran out, or the line
//   flooded), length 0; a consumer closes any partial reply here.
// Before Sent, while the link waits for a quiet line (frames.h), each byte
// it reads and throws away is a Discarded event, length 1. When the line
// never falls quiet, no frame is written and Ended follows the discarded
// bytes.
// With no hook set, the link only tests an empty function per event. The
// hook runs on the thread that called SendCommand and must not call
// SendCommand or touch the port. Each event names its connection's port, so
// several connections may hand their events to one consumer; that consumer
// must then be safe to call from several threads.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace serial {

enum class TraceDirection { Sent, Received, Discarded, Echo, Ended };

struct TraceEvent {
  TraceDirection direction;
  uint32_t tickMs;  // TickCount() when the event happened
  const uint8_t* bytes;
  size_t length;
  int port = 0;  // the port number of the connection's open port (0: none)
};

using FrameTraceHook = std::function<void(const TraceEvent& event)>;

}  // namespace serial
