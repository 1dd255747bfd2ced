// SPDX-License-Identifier: MIT
// bench_discover [RUNS]: `rt420ctl --no-beep discover` over 16 ports, RUNS
// times (default 3) each case. Prints figures only.
//
// Worst case: every one of the 16 ports opens and no module answers on any
// of them (an empty pseudo-terminal behind each). Each port then tries all
// 12 line settings with 2 attempts each. The floor of one attempt is the
// frame's write pauses plus the whole reply window; the sequential floor is
// that times 16 ports x 12 settings x 2 attempts, what a search made one
// port after another cannot beat. The figure is the wall time of the whole
// program (start and end included) against that floor, and against the floor
// of one port's search (what a search of all ports at once cannot beat).
//
// Best case, for information: a module on each of the 16 ports, at line
// settings spread over all twelve.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "frames.h"
#include "line_settings.h"
#include "sim_bench.h"

namespace {

constexpr int kPorts = 16;
constexpr int kAttemptsPerSetting = 2;
// The pauses after the five writes of one frame.
constexpr double kFramePausesMs = 7.0;
constexpr double kAttemptFloorMs = kFramePausesMs + serial::kReplyWindowMs;
// The exchanges that read a module once it has answered: H00M, H00V, H00L,
// H00A, H00N.
constexpr int kReadExchanges = 5;
constexpr int kDefaultRuns = 3;

const std::string kDiscoverCommand = "rt420ctl --no-beep discover";

CtlRun RunDiscover(const SimBench& bench) { return bench.Run({"--no-beep", "discover"}); }

// The summary line the command ends with, or "" when it has none.
std::string SummaryLine(const std::string& out) {
  std::vector<std::string> lines = SplitLines(out);
  return lines.empty() ? "" : lines.back();
}

std::string FoundLine(int modules) {
  return "found " + std::to_string(modules) + " module(s) on " + std::to_string(kPorts) + " port(s) searched";
}

void WorstCase(SimBench& bench, int run) {
  bench.DrainEmptyLines();
  CtlRun r = RunDiscover(bench);
  const std::vector<std::string> lines = SplitLines(r.result.out);
  const long silentPorts = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.size() > 11 && line.compare(line.size() - 11, 11, ": no module") == 0;
  });
  if (r.result.exitCode != 1 || silentPorts != kPorts || SummaryLine(r.result.out) != FoundLine(0))
    FailBench("exit code 1, " + std::to_string(kPorts) + " lines \"COMn (...): no module\" and \"" + FoundLine(0) +
                  "\" from " + kDiscoverCommand,
              r);
  const double sequentialFloor = kPorts * serial::kLineSettingCount * kAttemptsPerSetting * kAttemptFloorMs / 1000.0;
  const double onePortFloor = serial::kLineSettingCount * kAttemptsPerSetting * kAttemptFloorMs / 1000.0;
  std::printf("worst case, run %d: %.3f s; sequential floor %.3f s: ratio %.3f (%.1f times faster); "
              "one port's floor %.3f s: ratio %.3f; CPU %.1f %% of one core\n",
              run, r.wallSeconds, sequentialFloor, r.wallSeconds / sequentialFloor, sequentialFloor / r.wallSeconds,
              onePortFloor, r.wallSeconds / onePortFloor, 100.0 * r.cpuSeconds / r.wallSeconds);
}

// The line setting a module at index is found at: the pseudo-terminal shows
// the speed alone, so the first setting of the same speed (parity "n").
int FoundAtIndex(int index) { return index - index % 2; }

void BestCase(int run) {
  SimBench bench;
  int slowestUnanswered = 0;
  for (int port = 1; port <= kPorts; ++port) {
    sim::ModuleConfig config;
    config.lineIndex = (port - 1) % serial::kLineSettingCount;
    config.serial1 = "300000" + std::string(port < 10 ? "0" : "") + std::to_string(port);
    if (!bench.AddModule(port, config)) StopBench("cannot start a simulated module");
    slowestUnanswered = std::max(slowestUnanswered, kAttemptsPerSetting * FoundAtIndex(config.lineIndex));
  }
  bench.WriteSettings();
  CtlRun r = RunDiscover(bench);
  if (r.result.exitCode != 0 || SummaryLine(r.result.out) != FoundLine(kPorts))
    FailBench("exit code 0 and \"" + FoundLine(kPorts) + "\" from " + kDiscoverCommand, r);
  const double slowestPortFloor = (slowestUnanswered * kAttemptFloorMs + kReadExchanges * kFramePausesMs) / 1000.0;
  std::printf("best case, run %d: %.3f s for %d modules at line settings 0 to 11; the slowest port's floor "
              "(%d unanswered attempts, %d read exchanges) %.3f s: ratio %.3f; CPU %.1f %% of one core\n",
              run, r.wallSeconds, kPorts, slowestUnanswered, kReadExchanges, slowestPortFloor,
              r.wallSeconds / slowestPortFloor, 100.0 * r.cpuSeconds / r.wallSeconds);
}

void RunAll(int runs) {
  std::printf("%s: one attempt's floor is %.0f ms of frame pauses + the %u ms reply window = %.0f ms; "
              "sequential floor = %d ports x %d line settings x %d attempts x %.0f ms\n",
              kDiscoverCommand.c_str(), kFramePausesMs, static_cast<unsigned>(serial::kReplyWindowMs), kAttemptFloorMs, kPorts,
              serial::kLineSettingCount, kAttemptsPerSetting, kAttemptFloorMs);
  std::fflush(stdout);
  SimBench worst;
  for (int port = 1; port <= kPorts; ++port) {
    if (!worst.AddEmptyLine(port)) StopBench("cannot make a pseudo-terminal");
  }
  worst.WriteSettings();
  for (int run = 1; run <= runs; ++run) WorstCase(worst, run);
  for (int run = 1; run <= runs; ++run) BestCase(run);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : kDefaultRuns;
  if (runs <= 0) runs = kDefaultRuns;
  try {
    RunAll(runs);
  } catch (const BenchStopped&) {
    return 1;
  }
  return 0;
}
