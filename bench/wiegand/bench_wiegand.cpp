// SPDX-License-Identifier: MIT
// Wiegand polling rate in one- and two-reader mode against its floor: every
// poll is preceded by a 40 ms pause (20 slices of 2 ms) and costs one
// exchange (7 ms of frame pauses plus the module's reply, as the simulated
// module measures it from the frame's end to its reply's). Also prints the
// CPU the program uses while it polls.
#include <QTimer>
#include <cstdio>

#include "bench_window.h"
#include "main_window.h"
#include "sim_module.h"

namespace {
void Measure(TfrmModule& window, sim::SimModule& module, int modeIndex, int seconds) {
  window.cmbMode->setCurrentIndex(modeIndex);
  module.ClearCommands();
  const sim::ReplyTiming before = module.Timing();
  QTimer::singleShot(seconds * 1000, [&window] { window.btnProcess->click(); });
  double wall = WallSeconds(), cpu = CpuSeconds();
  window.btnProcess->click();
  wall = WallSeconds() - wall;
  cpu = CpuSeconds() - cpu;
  const sim::ReplyTiming after = module.Timing();

  const double polls = static_cast<double>(module.Commands().size());
  const int pollsPerCycle = modeIndex == 0 ? 2 : 1;
  const double cycles = polls / pollsPerCycle;
  // The module's own time to answer is part of every exchange; the tool
  // cannot poll faster than pause, frame pauses and that together.
  const uint64_t replies = after.replies - before.replies;
  const double replySeconds =
      replies ? std::chrono::duration<double>(after.total - before.total).count() / static_cast<double>(replies) : 0;
  const double floorCycle = pollsPerCycle * (0.040 + 0.007 + replySeconds);
  std::printf("wiegand %s: %.1f cycles/s, floor %.1f cycles/s (module answers in %.2f ms), %.3f of the floor, "
              "time ratio %.3f; CPU %.1f %% of one core\n",
              modeIndex == 0 ? "two readers" : "one reader", cycles / wall, 1.0 / floorCycle, 1000 * replySeconds,
              (cycles / wall) * floorCycle, (wall / cycles) / floorCycle, 100.0 * cpu / wall);
}
}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  int seconds = argc > 1 ? std::atoi(argv[1]) : 3;
  sim::SimModule module;
  if (!module.Start()) return 1;
  auto settings = PrepareBenchSettings({{1, module.SlavePath()}});
  catalogue::FillCatalogue();
  tone::SetToneRecorder([](unsigned, unsigned) {});

  TfrmModule window;
  window.show();
  window.btnScan->click();
  if (!window.WindowConnection().ModuleFound) {
    std::printf("wiegand: the module was not found\n");
    return 1;
  }
  Measure(window, module, 1, seconds);
  Measure(window, module, 0, seconds);
  catalogue::ReleaseCatalogue();
  return 0;
}
