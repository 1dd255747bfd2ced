// SPDX-License-Identifier: MIT
#pragma once
// The module link's state, in one object for the whole program: the open port,
// the last reply and what is known of replies still on their way. Only serial_port.cpp and frames.cpp change it; the
// module operations read LastReply and ReplyPos after SendCommand.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial_device.h"

constexpr int kReplyBufferSize = 1024;
// The default of LinkState::FloodLimitMs.
constexpr uint32_t kFloodLimitMs = 2000;

struct LinkState {
  // The open device; empty while the port is closed or after an open that
  // failed (the invalid handle).
  std::unique_ptr<SerialDevice> PortHandle;
  // The port's own timeouts as read at open, written back at close.
  NativeTimeouts SavedTimeouts;
  // Applied at open: a read waits at most 1 ms, writes have no limit.
  CommTimeouts LinkTimeouts{0, 0, 1, 0, 0};

  // Bytes received since the last frame was written, in order.
  uint8_t ReplyBuffer[kReplyBufferSize] = {};
  // Where the next received byte goes; after an accepted reply, its length.
  int32_t ReplyPos = 0;
  // The last complete reply as received, LF first and CR last.
  std::string LastReply;

  // Attribution of replies: a reply is the answer to the frame just written
  // only when no earlier frame can still be answered. FramesSinceQuiet counts
  // the frames written since the line was last known quiet, RepliesSinceQuiet
  // the complete replies received since (at most one per frame); while the
  // first is larger, an earlier frame may still be answered. The line is
  // quiet once kLateReplyGuardMs have passed with no frame written and no
  // byte received: LastLineActivityAt is the tick of the later of the two.
  // LastCommand and LastFrameAt are the text and the tick of the last frame
  // written. The counts hold for the device and line setting named by
  // OpenPortKey (the port open now, or the last one opened); a port opened
  // on another device or line setting starts them afresh.
  uint32_t FramesSinceQuiet = 0;
  uint32_t RepliesSinceQuiet = 0;
  std::string LastCommand;
  uint32_t LastFrameAt = 0;
  uint32_t LastLineActivityAt = 0;
  std::string OpenPortKey;

  // How long a line that keeps sending may hold one exchange: the reading of
  // a reply, or the wait for a quiet line before a frame. Tests may shorten it.
  uint32_t FloodLimitMs = kFloodLimitMs;

  // Called while SendCommand waits for a reply and no byte is waiting, so
  // the window can repaint and handle its pending events. No-op by default.
  std::function<void()> ProcessPendingEvents;
};

extern LinkState Link;
