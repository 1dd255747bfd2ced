// SPDX-License-Identifier: MIT
#include "bench_ports.h"

#include <exception>
#include <filesystem>
#include <map>
#include <thread>

#include "port_names.h"

std::vector<BenchPort> ResolveBench(const std::vector<int>& ports) {
  std::vector<BenchPort> bench;
  std::map<std::string, int> firstWithIdentity;
  for (int port : ports) {
    BenchPort p;
    p.port = port;
    p.device = serial::ResolvePort(port);
    if (p.device) {
      std::error_code ec;
      p.present = std::filesystem::exists(*p.device, ec);
      auto [first, isFirst] = firstWithIdentity.try_emplace(serial::DeviceIdentity(*p.device), port);
      if (!isFirst) p.sameDeviceAs = first->second;
    }
    bench.push_back(std::move(p));
  }
  return bench;
}

void RunOnEachDevice(const std::vector<BenchPort>& bench, const BenchWork& work, const BenchFailure& failed) {
  auto run = [&work, &failed](const BenchPort& port, size_t index) {
    try {
      work(port, index);
    } catch (const std::exception& error) {
      failed(port, error.what());
    }
  };
  // Each jthread joins when the vector goes, on every path.
  std::vector<std::jthread> threads;
  threads.reserve(bench.size());
  for (size_t i = 0; i < bench.size(); ++i)
    if (!bench[i].sameDeviceAs) threads.emplace_back(run, std::cref(bench[i]), i);
}
