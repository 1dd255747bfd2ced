// SPDX-License-Identifier: MIT
// rt420ctl as a process against the floors of the window's benchmarks.
//
// scan: the full search (the program's default leaves the lock box
// unchecked): COM1 holds a module that never answers, COM2 the module at
// 115200,n,8,1 (index 10). Floor: 44 unanswered exchanges of 7 ms of frame
// pauses and the 120 ms reply window, plus 400 ms of information pauses.
// The program's start and end are part of the figure.
//
// watch: polling cycles per second for S seconds in one- and two-reader mode
// (the mode the scan reads from the module). Floor: a 40 ms pause and one
// exchange of at least 7 ms per poll. The polls are counted in the module's
// log; the time is the --seconds the program polls for.
//
// CPU is the child's user and system time over its whole run.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "child_process.h"
#include "settings_file.h"
#include "sim_module.h"

namespace {
constexpr std::chrono::milliseconds kLimit{600000};

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Timed {
  ChildResult result;
  double wall = 0, cpu = 0;
};

Timed RunCtl(const std::string& config, const std::vector<std::string>& arguments) {
  Timed timed;
  double wall = WallSeconds(), cpu = ChildrenCpuSeconds();
  ChildProcess child(RT420CTL_PATH, arguments, {{"XDG_CONFIG_HOME", config}});
  timed.result = child.Finish(kLimit);
  timed.wall = WallSeconds() - wall;
  timed.cpu = ChildrenCpuSeconds() - cpu;
  return timed;
}

std::string FreshConfig(const std::map<int, std::string>& ports, const std::string& mainValues) {
  char pattern[] = "/tmp/rt420-bench-cli-XXXXXX";
  std::string dir = mkdtemp(pattern);
  WriteSettingsFile(dir + "/TAVIX/Corvel.reg", mainValues, ports);
  return dir;
}

void BenchScan() {
  sim::SimModule silent;
  silent.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "", 1000000, 0));
  sim::ModuleConfig config;
  config.lineIndex = 10;
  sim::SimModule module(config);
  if (!silent.Start() || !module.Start()) return;
  std::string dir = FreshConfig({{1, silent.SlavePath()}, {2, module.SlavePath()}}, "");
  Timed t = RunCtl(dir, {"--no-beep", "scan"});
  std::filesystem::remove_all(dir);
  const int unanswered = 12 * 2 + 10 * 2;
  const double floor = unanswered * 0.127 + 0.4 + 6 * 0.007;
  std::printf("rt420ctl scan: exit %d, time %.3f s, floor %.3f s, ratio %.3f; CPU %.3f s = %.1f %% of one core\n",
              t.result.exitCode, t.wall, floor, t.wall / floor, t.cpu, 100.0 * t.cpu / t.wall);
}

void BenchWatch(char mode, double seconds) {
  sim::ModuleConfig config;
  config.mode = mode;
  sim::SimModule module(config);
  if (!module.Start()) return;
  std::string dir = FreshConfig({{3, module.SlavePath()}},
                                "\"ScanCommNo\"=dword:00000003\n\"ScanBaudRate\"=\"19200,e,8,1\"\n"
                                "\"ScanBaudRateNo\"=dword:00000005\n");
  Timed t = RunCtl(dir, {"--no-beep", "watch", "--seconds", std::to_string(seconds)});
  std::filesystem::remove_all(dir);
  double polls = 0;
  for (const std::string& command : module.Commands()) polls += command.size() == 4 && command.back() == 'F';
  const int pollsPerCycle = mode == '0' ? 2 : 1;
  const double cycles = polls / pollsPerCycle;
  const double floorCycle = pollsPerCycle * (0.040 + 0.007);
  std::printf("rt420ctl watch %s: exit %d, %.1f cycles/s, floor %.1f cycles/s, ratio %.2f; CPU %.1f %% of one core\n",
              mode == '0' ? "two readers" : "one reader", t.result.exitCode, cycles / seconds, 1.0 / floorCycle,
              (seconds / cycles) / floorCycle, 100.0 * t.cpu / t.wall);
}
}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 3;
  if (seconds <= 0) seconds = 3;
  BenchScan();
  BenchWatch('1', seconds);
  BenchWatch('0', seconds);
  return 0;
}
