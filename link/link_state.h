#pragma once
// The module link's state, in one object for the whole program: the open port
// and the last reply. Only serial_port.cpp and frames.cpp change it; the
// module operations read LastReply and ReplyPos after SendCommand.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial_device.h"

constexpr int kReplyBufferSize = 1024;

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

  // A reply may still be on its way: an exchange got no complete reply, and
  // no frame of another command has waited for it since. LastCommand and
  // LastFrameAt are the text and the tick of the last frame written; the
  // suspicion holds for the device and line setting named by LatePort, and
  // OpenPortKey names those of the port open now.
  bool ReplyMayBeLate = false;
  std::string LastCommand;
  uint32_t LastFrameAt = 0;
  std::string LatePort;
  std::string OpenPortKey;

  // Called while SendCommand waits for a reply and no byte is waiting, so
  // the window can repaint and handle its pending events. No-op by default.
  std::function<void()> ProcessPendingEvents;
};

extern LinkState Link;
