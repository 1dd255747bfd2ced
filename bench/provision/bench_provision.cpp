// SPDX-License-Identifier: MIT
// bench_provision [ROUNDS]: the production bench's throughput, in modules
// provisioned per minute, with 1, 4 and 8 simulated modules provisioned at
// once by `rt420ctl --no-beep apply PROFILE --ports LIST --csv FILE`, ROUNDS
// rounds each (default 3). Prints figures only.
//
// Every round starts fresh modules (factory state, all at the same line
// setting, so that each port does the same work) on COM1 to COMn, and the
// profile differs from that state in ID 1, ID 2, key count and mode, so every
// module is searched, written and read back. A module counts as provisioned
// when the program said so (exit code 0) and the module itself holds the
// profile afterwards; one CSV record per module is expected as well.
// Throughput = modules provisioned / wall time of the runs (the program's
// start and end included).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "sim_bench.h"

namespace {

constexpr int kBenchSizes[] = {1, 4, 8};
constexpr int kDefaultRounds = 3;
// The 8-at-once throughput the bench aims at, as a multiple of one at a time.
constexpr double kGoalRatio = 6.0;

// Differs from the simulated module's factory state (01, 05, 04, two).
const char kProfile[] = "[module]\nid1 = 21\nid2 = 22\nkey-count = 6\nmode = one\n";

bool HoldsProfile(const sim::ModuleConfig& state) {
  return state.id1 == "21" && state.id2 == "22" && state.keyCount == "06" && state.mode == '1';
}

std::string PortList(int modules) { return modules == 1 ? "1" : "1-" + std::to_string(modules); }

struct Throughput {
  int provisioned = 0;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  double PerMinute() const { return wallSeconds > 0 ? 60.0 * provisioned / wallSeconds : 0; }
};

// One round: n fresh modules provisioned at once; ends the benchmark when
// the run did not provision every one of them.
void ProvisionRound(int modules, int round, Throughput& total) {
  SimBench bench;
  for (int port = 1; port <= modules; ++port) {
    sim::ModuleConfig config;
    char serial[16];
    std::snprintf(serial, sizeof serial, "4%03d%04d", round % 1000, port);
    config.serial1 = serial;
    if (!bench.AddModule(port, config)) StopBench("cannot start a simulated module");
  }
  bench.WriteSettings();
  const std::string profile = bench.FilePath("profile.ini"), csv = bench.FilePath("bench.csv");
  std::ofstream out(profile);
  out << kProfile;
  out.close();
  if (!out) StopBench("cannot write " + profile);
  const std::vector<std::string> arguments = {"--no-beep", "apply", profile, "--ports",
                                              PortList(modules), "--csv", csv};
  CtlRun r = bench.Run(arguments);
  std::string command = "rt420ctl";
  for (const std::string& argument : arguments) command += " " + argument;
  if (r.result.exitCode != 0) FailBench("exit code 0 from " + command, r);
  int holding = 0;
  for (const auto& module : bench.Modules()) holding += HoldsProfile(module->State()) ? 1 : 0;
  if (holding != modules) FailBench("all " + std::to_string(modules) + " modules to hold the profile, " +
                                        std::to_string(holding) + " do, after " + command, r);
  const size_t lines = SplitLines(ReadWholeFile(csv)).size();
  if (lines != static_cast<size_t>(modules) + 1)
    FailBench("a header and " + std::to_string(modules) + " records in " + csv + ", found " + std::to_string(lines) +
                  " lines, after " + command, r);
  total.provisioned += holding;
  total.wallSeconds += r.wallSeconds;
  total.cpuSeconds += r.cpuSeconds;
}

void RunAll(int rounds) {
  std::printf("rt420ctl --no-beep apply PROFILE --ports LIST --csv FILE: %d round(s) of fresh modules per bench size\n",
              rounds);
  std::fflush(stdout);
  double onePerMinute = 0, eightPerMinute = 0;
  for (int modules : kBenchSizes) {
    Throughput total;
    for (int round = 1; round <= rounds; ++round) ProvisionRound(modules, round, total);
    std::printf("%d at once: %d modules provisioned in %.3f s: %.1f modules/min; CPU %.1f %% of one core\n", modules,
                total.provisioned, total.wallSeconds, total.PerMinute(), 100.0 * total.cpuSeconds / total.wallSeconds);
    std::fflush(stdout);
    if (modules == 1) onePerMinute = total.PerMinute();
    if (modules == 8) eightPerMinute = total.PerMinute();
  }
  std::printf("8 at once against 1: %.2f times the throughput (goal %.0f or more)\n", eightPerMinute / onePerMinute,
              kGoalRatio);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : kDefaultRounds;
  if (rounds <= 0) rounds = kDefaultRounds;
  try {
    RunAll(rounds);
  } catch (const BenchStopped&) {
    return 1;
  }
  return 0;
}
