// SPDX-License-Identifier: MIT
// bench_link [N]: N exchanges of "H00M" (default 200) with the simulated
// module over a pseudo-terminal, and the CPU the reply reader uses while it
// waits out a reply window on a silent line. Prints figures only.
//
// The floor of one exchange is the 7 ms of pauses after the frame's five
// writes plus the module's own reply time (measured by the module from the
// frame's CR to the reply written); the ratio shows what the link adds.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "frames.h"
#include "port_names.h"
#include "serial_port.h"
#include "sim_module.h"
#include "sim_port.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPort = 1;
constexpr double kFramePausesMs = 7.0;
constexpr int kSilentExchanges = 10;

double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void ExchangeTime(serial::LinkState& link, sim::SimModule& module, int count) {
  serial::SendCommand(link, "H00M");  // warm-up: first open of everything
  sim::ReplyTiming before = module.Timing();
  int answered = 0;
  double slowestMs = 0;
  Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i) {
    Clock::time_point one = Clock::now();
    answered += serial::SendCommand(link, "H00M") ? 1 : 0;
    slowestMs = std::max(slowestMs, Ms(Clock::now() - one));
  }
  double meanMs = Ms(Clock::now() - start) / count;
  sim::ReplyTiming after = module.Timing();

  uint64_t replies = after.replies - before.replies;
  double moduleMs = replies > 0 ? Ms(after.total - before.total) / static_cast<double>(replies) : 0.0;
  double floorMs = kFramePausesMs + moduleMs;
  std::printf("exchanges of \"H00M\": %d (%d answered)\n", count, answered);
  std::printf("  mean SendCommand time:  %8.3f ms (slowest %.3f ms)\n", meanMs, slowestMs);
  std::printf("  floor (7 ms pauses + %.3f ms module reply time): %8.3f ms\n", moduleMs, floorMs);
  std::printf("  ratio mean / floor:     %8.3f\n", meanMs / floorMs);
}

void SilentWindowCpu(serial::LinkState& link) {
  double cpuStart = CpuMs();
  Clock::time_point start = Clock::now();
  int answered = 0;
  // "H99Z" goes unanswered: each exchange waits out the whole reply window.
  for (int i = 0; i < kSilentExchanges; ++i) answered += serial::SendCommand(link, "H99Z") ? 1 : 0;
  double wallMs = Ms(Clock::now() - start) / kSilentExchanges;
  double cpuMs = (CpuMs() - cpuStart) / kSilentExchanges;
  std::printf("silent exchanges: %d (%d answered)\n", kSilentExchanges, answered);
  std::printf("  per exchange: %.1f ms wall (reply window %u ms), %.3f ms CPU\n", wallMs,
              static_cast<unsigned>(serial::kReplyWindowMs), cpuMs);
  std::printf("  CPU while waiting: %.2f %% of one core\n", 100.0 * cpuMs / wallMs);
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 200;
  if (count <= 0) count = 200;

  sim::SimModule module;
  if (!module.Start()) {
    std::fprintf(stderr, "bench_link: cannot create a pseudo-terminal\n");
    return 1;
  }
  serial::SetPortTable(sim::SimPortTable(module.SlavePath(), kPort));
  serial::LinkState link{serial::PortScope::AnyPort()};
  if (!serial::OpenPort(link, kPort, "19200,e,8,1")) {
    std::fprintf(stderr, "bench_link: cannot open %s\n", module.SlavePath().c_str());
    return 1;
  }
  ExchangeTime(link, module, count);
  SilentWindowCpu(link);
  serial::ClosePort(link);
  module.Stop();
  return 0;
}
