// SPDX-License-Identifier: MIT
// The full search of a scan with chkLock unchecked: COM1 holds a module that
// never answers, COM2 the module at 115200,n,8,1 (index 10). Prints the time
// of the scan against its floor: every unanswered exchange costs at least
// 7 ms of frame pauses and the 120 ms reply window, and the information
// reads add 400 ms of pauses.
#include <cstdio>

#include "bench_window.h"
#include "main_window.h"
#include "sim_module.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  sim::SimModule silent;
  silent.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "", 1000000, 0));
  sim::ModuleConfig config;
  config.lineIndex = 10;
  sim::SimModule module(config);
  if (!silent.Start() || !module.Start()) return 1;
  auto settings = PrepareBenchSettings({{1, silent.SlavePath()}, {2, module.SlavePath()}});
  catalogue::FillCatalogue();
  tone::SetToneRecorder([](unsigned, unsigned) {});

  TfrmModule window;
  window.show();
  window.chkLock->setChecked(false);
  double wall = WallSeconds(), cpu = CpuSeconds();
  window.btnScan->click();
  wall = WallSeconds() - wall;
  cpu = CpuSeconds() - cpu;

  const int unanswered = 12 * 2 + 10 * 2;  // COM1 at all twelve, COM2 below index 10
  const double floor = unanswered * 0.127 + 0.4 + 6 * 0.007;
  const commands::Connection& c = window.WindowConnection();
  std::printf("scan: found=%s at COM%d index %d\n", c.ModuleFound ? "yes" : "no", c.ScanCommNo, c.ScanBaudRateNo);
  std::printf("scan: %d unanswered exchanges, time %.3f s, floor %.3f s, ratio %.3f\n", unanswered, wall, floor,
              wall / floor);
  std::printf("scan: CPU %.3f s = %.1f %% of one core\n", cpu, 100.0 * cpu / wall);
  catalogue::ReleaseCatalogue();
  return 0;
}
