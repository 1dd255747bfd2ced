// SPDX-License-Identifier: MIT
// The survey's time against its floor, on a simulated bus with the line
// setting given. Each poll's floor is the production pause (40 ms), the
// frame (7 ms) and either the reply's time on the line or the whole 120 ms
// window; the listen before the first poll is left out of both.
//
//   bench_survey [RUNS]
// Cases: no reader answers (99 polls, each the whole window: 99 x 167 ms),
// and 16 modules on IDs 01..32 with two IDs missing and one shared. Prints
// per case the time, the floor and their ratio (goal: at most 1.03).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "line_settings.h"
#include "port_names.h"
#include "sim_bus.h"
#include "sim_port.h"
#include "survey.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPort = 3;
constexpr double kPollPauseMs = 40, kFrameMs = 7, kWindowMs = 120;
// A poll reply "\nFnn:0cc\r" is 9 characters of 11 bits at 19200 baud,
// after the module's turnaround.
constexpr double kReplyMs = 9 * 11 * 1000.0 / 19200 + sim::kBusTurnaroundUs / 1000.0;

std::string Two(int n) { return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10); }

sim::ModuleConfig Module(int id1, int id2, int k, int lineIndex = serial::kDefaultLineSettingNo) {
  sim::ModuleConfig c;
  c.id1 = Two(id1);
  c.id2 = Two(id2);
  c.serial1 = std::to_string(10000000 + k);
  c.serial2 = std::to_string(20000000 + k);
  c.lineIndex = lineIndex;
  return c;
}

struct Case {
  const char* name;
  std::vector<sim::ModuleConfig> modules;
};

std::vector<Case> Cases() {
  // Nothing answers at the given setting: the one module listens at another.
  Case none{"no reader", {Module(1, 5, 0, 2)}};
  // Modules k on IDs 2k+1 and 2k+2, except: module 7 in one-reader mode (ID
  // 16 missing), module 15 on 10 and 31 (ID 10 shared with module 4, ID 32
  // missing).
  Case bus{"16 modules, 2 IDs missing, 1 shared", {}};
  for (int k = 0; k < 16; ++k) bus.modules.push_back(Module(2 * k + 1, 2 * k + 2, k));
  bus.modules[7].mode = '1';
  bus.modules[15] = Module(10, 31, 15);
  return {none, bus};
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double FloorMs(const site::SurveyResult& result) {
  double floor = 0;
  for (const site::IdResult& r : result.ids) {
    for (site::PollStatus s : r.polls) {
      floor += kPollPauseMs + kFrameMs + (s == site::PollStatus::Absent ? kWindowMs : kReplyMs);
    }
  }
  return floor;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
  for (const Case& c : Cases()) {
    for (int run = 0; run < runs; ++run) {
      sim::SimBus bus(c.modules);
      if (!bus.Start()) {
        std::fprintf(stderr, "bench_survey: cannot start the bus\n");
        return 1;
      }
      serial::SetPortTable(sim::SimPortTable(bus.SlavePath(), kPort));
      serial::LinkState link{serial::PortScope::AnyPort()};
      site::SurveyResult result;
      Clock::time_point pollsStart{};
      const auto progress = [&](const std::string& step) {
        if (pollsStart == Clock::time_point{} && step.rfind("poll", 0) == 0) pollsStart = Clock::now();
      };
      if (site::RunSurvey(link, {kPort, serial::kDefaultLineSettingNo, {}}, result, progress) != site::SurveyOutcome::Done) {
        std::fprintf(stderr, "bench_survey: the survey did not run\n");
        return 1;
      }
      const double elapsed = Ms(Clock::now() - pollsStart);
      const double floor = FloorMs(result);
      size_t polls = 0, ok = 0;
      for (const site::IdResult& r : result.ids) {
        polls += r.polls.size();
        ok += r.Status() == site::PollStatus::Ok ? 1 : 0;
      }
      std::printf("%s: %zu polls (%zu IDs ok)\n", c.name, polls, ok);
      std::string statuses;
      for (const site::IdResult& r : result.ids) {
        const site::PollStatus s = r.Status();
        if (s != site::PollStatus::Ok && (s != site::PollStatus::Absent || r.id <= 32))
          statuses += " " + site::IdText(r.id) + ":" + site::StatusName(s);
      }
      std::printf("  not ok:       %s\n", statuses.c_str());
      std::printf("  survey time:   %9.1f ms\n", elapsed);
      std::printf("  floor:         %9.1f ms\n", floor);
      std::printf("  ratio:         %9.3f (goal: at most 1.03)\n", elapsed / floor);
      bus.Stop();
    }
  }
  return 0;
}
