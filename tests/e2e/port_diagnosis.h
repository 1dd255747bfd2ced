// SPDX-License-Identifier: MIT
#pragma once
// Diagnoses for the end-to-end tests, taken from the system itself rather
// than from the link's state: why a port did not open, and which descriptors
// are open on a pseudo-terminal.

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "frame_trace.h"

namespace serial {
struct LinkState;
}  // namespace serial

// What COM<port> resolves to now (through the port table that the window
// installed), and what happens when that path is opened the way the link
// opens it: open(2) and its errno, the advisory lock, and which processes
// hold the device open. One paragraph, for an assertion's message.
std::string ExplainPort(int port);

// The device number of the character device at path (symlinks followed);
// 0 when there is none.
dev_t DeviceNumber(const std::string& path);

// How many of this process's descriptors are open on that character device.
int DescriptorsOn(dev_t device);

// Counts the command frames written on a connection while it lives, through
// the connection's frame trace hook (it takes the hook over, hands every
// event on to the hook it found, and puts that hook back). A frame that was
// never written cannot arrive late, so a count taken when a click returns
// settles "nothing was sent" without waiting for stragglers.
class SentFrameCounter {
 public:
  explicit SentFrameCounter(serial::LinkState& link);
  ~SentFrameCounter();
  SentFrameCounter(const SentFrameCounter&) = delete;
  SentFrameCounter& operator=(const SentFrameCounter&) = delete;

  size_t Count() const { return count_; }

 private:
  serial::LinkState& link_;
  serial::FrameTraceHook previous_;
  std::atomic<size_t> count_{0};  // written by the hook on the thread that sends
};
