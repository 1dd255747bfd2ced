// SPDX-License-Identifier: MIT
// bench_link_wine [N]: N exchanges of "H00M" (default 200) through the Win32
// serial device on COM3 of wine, which leads to the simulated module on a
// pseudo-terminal, and the CPU the reply reader uses while it waits out a
// reply window on a silent line. Prints figures only. Run it through
// tests/windows/run-with-sim.sh with RT420_SIM=1 (see the README).
//
// The floor of one exchange is the same as on Linux (bench/link): the 7 ms
// of pauses after the frame's five writes plus the module's own reply time,
// here taken from the module's frame log (frame received to reply written).

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "frames.h"
#include "serial_port.h"
#include "sim_log.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPort = 3;
constexpr double kFramePausesMs = 7.0;
constexpr int kSilentExchanges = 10;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// User and kernel time of this process so far. Under wine the time spent in
// wine's own server process is not included.
double CpuMs() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
  };
  return ms(kernel) + ms(user);
}

double MeanOfLast(const std::vector<double>& values, size_t count) {
  count = std::min(count, values.size());
  if (count == 0) return 0;
  return std::accumulate(values.end() - static_cast<std::ptrdiff_t>(count), values.end(), 0.0) /
         static_cast<double>(count);
}

void ExchangeTime(serial::LinkState& link, const SimLog& log, int count) {
  serial::SendCommand(link, "H00M");  // warm-up: first exchange of everything
  const size_t repliesBefore = log.Replies();
  int answered = 0;
  double slowestMs = 0;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i) {
    const Clock::time_point one = Clock::now();
    answered += serial::SendCommand(link, "H00M") ? 1 : 0;
    slowestMs = std::max(slowestMs, Ms(Clock::now() - one));
  }
  const double meanMs = Ms(Clock::now() - start) / count;
  log.WaitForReplies(repliesBefore + static_cast<size_t>(count), std::chrono::seconds(5));
  const double moduleMs = MeanOfLast(log.ReplyTimesMs(), static_cast<size_t>(count));
  const double floorMs = kFramePausesMs + moduleMs;
  std::printf("exchanges of \"H00M\" under wine: %d (%d answered)\n", count, answered);
  std::printf("  mean SendCommand time:  %8.3f ms (slowest %.3f ms)\n", meanMs, slowestMs);
  std::printf("  floor (7 ms pauses + %.3f ms module reply time): %8.3f ms\n", moduleMs, floorMs);
  std::printf("  ratio mean / floor:     %8.3f\n", meanMs / floorMs);
}

void SilentWindowCpu(serial::LinkState& link) {
  const double cpuStart = CpuMs();
  const Clock::time_point start = Clock::now();
  int answered = 0;
  // "H99Z" goes unanswered: each exchange waits out the whole reply window.
  for (int i = 0; i < kSilentExchanges; ++i) answered += serial::SendCommand(link, "H99Z") ? 1 : 0;
  const double wallMs = Ms(Clock::now() - start) / kSilentExchanges;
  const double cpuMs = (CpuMs() - cpuStart) / kSilentExchanges;
  std::printf("silent exchanges: %d (%d answered)\n", kSilentExchanges, answered);
  std::printf("  per exchange: %.1f ms wall (reply window %u ms), %.3f ms CPU\n", wallMs,
              static_cast<unsigned>(serial::kReplyWindowMs), cpuMs);
  std::printf("  CPU while waiting: %.2f %% of one core (this process only)\n", 100.0 * cpuMs / wallMs);
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 200;
  if (count <= 0) count = 200;
  if (SimLog::PathFromEnvironment().empty()) {
    std::fprintf(stderr, "bench_link_wine: no module log (RT420_SIM_LOG); run it through run-with-sim.sh\n");
    return 1;
  }
  const SimLog log(SimLog::PathFromEnvironment());
  serial::LinkState link{serial::PortScope::AnyPort()};
  if (!serial::OpenPort(link, kPort, "19200,e,8,1")) {
    std::fprintf(stderr, "bench_link_wine: cannot open COM%d\n", kPort);
    return 1;
  }
  ExchangeTime(link, log, count);
  SilentWindowCpu(link);
  serial::ClosePort(link);
  return 0;
}
