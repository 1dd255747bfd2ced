// SPDX-License-Identifier: MIT
// The link test's rate against its floor, on a simulated bus: each exchange
// costs at least the production pause (40 ms), the frame (7 ms) and the
// reply's time, so the floor rate is one exchange per that sum. The reply's
// time is the mean of the measured ones (from the end of the frame to the
// reply's last byte), as the line and the simulated bus delivered them; its
// time on the line alone is printed for comparison.
//
//   bench_linktest [ROUNDS]
// Prints the exchanges, the time, the rate, the floor rate and their ratio
// (goal: at least 0.99).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "line_settings.h"
#include "link_test.h"
#include "port_names.h"
#include "sim_bus.h"
#include "sim_port.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPort = 3;
constexpr int kDefaultRounds = 50;
constexpr double kPollPauseMs = 40, kFrameMs = 7;
constexpr double kReplyMs = 9 * 11 * 1000.0 / 19200 + sim::kBusTurnaroundUs / 1000.0;

sim::ModuleConfig Module(const char* id1, const char* id2, int k) {
  sim::ModuleConfig c;
  c.id1 = id1;
  c.id2 = id2;
  c.serial1 = std::to_string(10000000 + k);
  c.serial2 = std::to_string(20000000 + k);
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRounds;
  sim::SimBus bus({Module("01", "02", 0), Module("03", "04", 1)});
  if (!bus.Start()) {
    std::fprintf(stderr, "bench_linktest: cannot start the bus\n");
    return 1;
  }
  serial::SetPortTable(sim::SimPortTable(bus.SlavePath(), kPort));
  serial::LinkState link{serial::PortScope::AnyPort()};
  site::LinkTestResult result;
  const Clock::time_point start = Clock::now();
  if (site::RunLinkTest(link, {kPort, serial::kDefaultLineSettingNo, {1, 2, 3, 4}, rounds}, result) !=
      site::LinkTestOutcome::Done) {
    std::fprintf(stderr, "bench_linktest: the link test did not run\n");
    return 1;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  uint64_t exchanges = 0, ok = 0;
  for (const site::IdLinkFigures& f : result.ids) {
    exchanges += f.figures.Sent();
    ok += f.figures.Ok();
  }
  const double rate = exchanges / seconds;
  const site::LatencySummary whole = result.ids.front().figures.WholeReply();
  std::printf("whole reply:   p50 %s, max %s after the frame (on the line alone: %.3f ms)\n",
              site::Millis(whole.p50).c_str(), site::Millis(whole.max).c_str(), kReplyMs);
  double replySumMs = 0;
  size_t replies = 0;
  for (const site::IdLinkFigures& f : result.ids) {
    for (site::Micros t : f.figures.WholeReplyTimes()) replySumMs += t.count() / 1000.0;
    replies += f.figures.WholeReplyTimes().size();
  }
  const double replyMs = replies ? replySumMs / replies : kReplyMs;
  const double floorRate = 1000.0 / (kPollPauseMs + kFrameMs + replyMs);
  std::printf("exchanges:     %llu (%llu ok) in %.2f s\n", static_cast<unsigned long long>(exchanges),
              static_cast<unsigned long long>(ok), seconds);
  std::printf("rate:          %.2f exchanges/s\n", rate);
  std::printf("floor rate:    %.2f exchanges/s\n", floorRate);
  std::printf("ratio:         %.3f (goal: at least 0.99)\n", rate / floorRate);
  bus.Stop();
  return 0;
}
