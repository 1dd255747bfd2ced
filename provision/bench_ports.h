// SPDX-License-Identifier: MIT
#pragma once
// A bench of ports: several ports worked at once, each on a thread of its
// own. Each port is resolved to a device once, when the bench's run begins
// (ResolveBench), and its connection keeps to that device for the whole run:
// unplugging one adapter renumbers no other port, and a connection never
// reaches another port's module. Ports that resolve to the same device (the
// same path once links are followed, or the same device number) are one
// device: the lowest of them runs, the others do not.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One port of a bench as resolved when the run began.
struct BenchPort {
  int port = 0;
  std::optional<std::string> device;  // nullopt: nothing is behind the port
  bool present = false;               // the device existed then
  int sameDeviceAs = 0;               // a lower port of the bench with the same device
};

// Resolves each port once (in the order given, lowest first).
std::vector<BenchPort> ResolveBench(const std::vector<int>& ports);

// Runs work once for each port of the bench that is not the same device as
// a lower one, all at the same time, each on a thread of its own (index:
// the port's place in bench). Returns when every thread has ended; a work
// that throws ends its own port only, and failed hears why.
using BenchWork = std::function<void(const BenchPort& port, size_t index)>;
using BenchFailure = std::function<void(const BenchPort& port, const std::string& why)>;
void RunOnEachDevice(const std::vector<BenchPort>& bench, const BenchWork& work, const BenchFailure& failed);
