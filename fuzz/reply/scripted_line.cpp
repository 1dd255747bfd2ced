// SPDX-License-Identifier: MIT
#include "scripted_line.h"

#include <optional>
#include <utility>

#include "deadline.h"
#include "port_names.h"
#include "serial_device.h"

namespace scripted {
namespace {
constexpr uint64_t kUsPerMs = 1000;

uint64_t now = 0;
Line line;
// When the last write happened; arrivals count from there.
std::optional<uint64_t> lastWrite;

std::optional<uint64_t> NextArrival() {
  if (!lastWrite || line.arrivalsTaken >= line.arrivals.size()) return std::nullopt;
  return *lastWrite + line.arrivals[line.arrivalsTaken].afterUs;
}

bool TakeArrived(uint8_t& byte) {
  if (line.waitingTaken < line.waiting.size()) {
    byte = line.waiting[line.waitingTaken++];
    ++line.waitingDelivered;
    return true;
  }
  std::optional<uint64_t> next = NextArrival();
  if (!next || *next > now) return false;
  byte = line.arrivals[line.arrivalsTaken++].byte;
  ++line.arrivalsDelivered;
  return true;
}

class ScriptedDevice final : public serial::SerialDevice {
 public:
  serial::NativeTimeouts GetTimeouts() override { return {}; }
  void SetTimeouts(const serial::NativeTimeouts&) override {}
  void ApplyTimeouts(const serial::CommTimeouts& timeouts) override {
    readWaitUs_ = timeouts.ReadTotalTimeoutConstant * kUsPerMs;
  }
  void ApplyLine(const serial::LineParameters&) override {}

  void Write(const uint8_t* bytes, size_t length) override {
    line.events.push_back(Event::Write);
    line.writes.push_back({now, std::vector<uint8_t>(bytes, bytes + length)});
    lastWrite = now;
  }

  bool ReadByte(uint8_t& byte) override {
    line.events.push_back(Event::Read);
    const uint64_t start = now;
    bool delivered = TakeArrived(byte);
    if (!delivered) {
      std::optional<uint64_t> next = NextArrival();
      bool comesInTime = next && *next <= now + readWaitUs_;
      now = comesInTime ? *next : now + readWaitUs_;
      delivered = comesInTime && TakeArrived(byte);
    }
    line.reads.push_back({start, now, delivered});
    return delivered;
  }

  void DiscardInput() override {
    line.events.push_back(Event::Discard);
    line.waitingTaken = line.waiting.size();
    while (NextArrival() && *NextArrival() <= now) ++line.arrivalsTaken;
    line.arrivalsTakenAtDiscard = line.arrivalsTaken;
    line.arrivalsDeliveredAtDiscard = line.arrivalsDelivered;
  }

 private:
  uint64_t readWaitUs_ = 0;
};
}  // namespace

void Reset(uint64_t startUs, std::vector<uint8_t> waiting, std::vector<Arrival> arrivals) {
  now = startUs;
  line = Line{};
  line.waiting = std::move(waiting);
  line.arrivals = std::move(arrivals);
  lastWrite.reset();
}

void Continue(uint64_t gapUs, std::vector<uint8_t> waiting, std::vector<Arrival> arrivals) {
  now += gapUs;
  line = Line{};
  line.waiting = std::move(waiting);
  line.arrivals = std::move(arrivals);
}

const Line& Observed() { return line; }

uint64_t NowUs() { return now; }

}  // namespace scripted

// ---- the platform services, virtual

uint32_t serial::TickCount() { return static_cast<uint32_t>(scripted::now / scripted::kUsPerMs); }

void serial::SleepMs(unsigned ms) { scripted::now += ms * scripted::kUsPerMs; }

void serial::UseExactTimers() {}

serial::DeviceOpenResult serial::OpenSerialDevice(const std::string& path) {
  serial::DeviceOpenResult result;
  if (path == scripted::kScriptedPath) {
    result.device = std::make_unique<scripted::ScriptedDevice>();
  } else {
    result.error = serial::DeviceOpenError::Missing;
  }
  return result;
}

std::optional<std::string> serial::SystemPortPath(int) { return std::nullopt; }

std::vector<std::string> serial::ListSerialDevices() { return {}; }

// The scripted line is one device under one path.
std::string serial::DeviceIdentity(const std::string& path) { return path; }
