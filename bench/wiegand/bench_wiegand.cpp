// SPDX-License-Identifier: MIT
// Wiegand polling rate in one- and two-reader mode against its floor: every
// poll is preceded by a 40 ms pause (20 slices of 2 ms) and costs one
// exchange (7 ms of frame pauses plus the module's reply). Also prints the
// CPU the program uses while it polls.
#include <QTimer>
#include <cstdio>

#include "bench_window.h"
#include "main_window.h"
#include "module_state.h"
#include "sim_module.h"

namespace {
void Measure(TfrmModule& window, sim::SimModule& module, int modeIndex, int seconds) {
  window.cmbMode->setCurrentIndex(modeIndex);
  module.ClearCommands();
  QTimer::singleShot(seconds * 1000, [&window] { window.btnProcess->click(); });
  double wall = WallSeconds(), cpu = CpuSeconds();
  window.btnProcess->click();
  wall = WallSeconds() - wall;
  cpu = CpuSeconds() - cpu;

  const double polls = static_cast<double>(module.Commands().size());
  const int pollsPerCycle = modeIndex == 0 ? 2 : 1;
  const double cycles = polls / pollsPerCycle;
  const double floorCycle = pollsPerCycle * (0.040 + 0.007);
  std::printf("wiegand %s: %.1f cycles/s, floor %.1f cycles/s, ratio %.2f; CPU %.1f %% of one core\n",
              modeIndex == 0 ? "two readers" : "one reader", cycles / wall, 1.0 / floorCycle,
              (wall / cycles) / floorCycle, 100.0 * cpu / wall);
}
}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  int seconds = argc > 1 ? std::atoi(argv[1]) : 3;
  sim::SimModule module;
  if (!module.Start()) return 1;
  auto settings = PrepareBenchSettings({{1, module.SlavePath()}});
  FillCatalogue();
  SetToneRecorder([](unsigned, unsigned) {});

  TfrmModule window;
  window.show();
  window.btnScan->click();
  if (!Module.ModuleFound) {
    std::printf("wiegand: the module was not found\n");
    return 1;
  }
  Measure(window, module, 1, seconds);
  Measure(window, module, 0, seconds);
  ReleaseCatalogue();
  return 0;
}
