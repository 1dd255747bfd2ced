// SPDX-License-Identifier: MIT
#pragma once
// The link's platform services for the reply reader's fuzz target, linked in
// place of the platform files (tick_*.cpp, serial_device_*.cpp,
// port_names_*.cpp): a virtual clock and one scripted serial device, the
// test double of the device alone. Everything above them is the link's own
// code. Deterministic: time moves only when the link sleeps or waits for a
// byte, never by itself.
//
// The device: OpenSerialDevice(kScriptedPath) opens it, any other path is
// missing. Its input holds the waiting bytes at once and each scripted
// arrival from afterUs after the last write on. A read delivers the next byte
// when it has arrived, waits for it when it arrives within the read time
// (the clock moves to its arrival), and otherwise lets the read time pass
// and reports no byte. DiscardInput drops every byte that has arrived.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace scripted {

inline const std::string kScriptedPath = "scripted";

struct Arrival {
  uint64_t afterUs;  // after the last write; not decreasing along the script
  uint8_t byte;
};

struct Write {
  uint64_t atUs;
  std::vector<uint8_t> bytes;
};

struct Read {
  uint64_t startUs;  // when the read was asked for
  uint64_t endUs;    // when it returned
  bool delivered;
};

// What the link did to the device, in order.
enum class Event { Discard, Write, Read };

struct Line {
  std::vector<uint8_t> waiting;
  std::vector<Arrival> arrivals;

  std::vector<Event> events;
  std::vector<Write> writes;
  std::vector<Read> reads;
  size_t waitingTaken = 0;   // delivered or discarded
  size_t waitingDelivered = 0;
  size_t arrivalsTaken = 0;  // delivered or discarded
  size_t arrivalsDelivered = 0;
  // The counts above as they stood right after the input was cleared.
  size_t arrivalsTakenAtDiscard = 0;
  size_t arrivalsDeliveredAtDiscard = 0;
};

// Starts a new script with the clock at startUs.
void Reset(uint64_t startUs, std::vector<uint8_t> waiting, std::vector<Arrival> arrivals);
// Starts a new script gapUs after the last one, on the same line: arrivals
// count from the last write of the script before until the next write.
void Continue(uint64_t gapUs, std::vector<uint8_t> waiting, std::vector<Arrival> arrivals);
const Line& Observed();
uint64_t NowUs();

}  // namespace scripted
