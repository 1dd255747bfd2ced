#pragma once
// Shared set-up of the window benchmarks: a fresh settings folder with a port
// table that maps the simulated modules and nothing else, the offscreen
// platform, the catalogue, and silent beeps.

#include <sys/resource.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "catalogue.h"
#include "sim_module.h"
#include "tone.h"

inline void PrepareBenchSettings(const std::map<int, std::string>& ports, const std::string& mainValues = "") {
  char pattern[] = "/tmp/rt420-bench-XXXXXX";
  std::string dir = mkdtemp(pattern);
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  std::string cmd = "mkdir -p '" + dir + "/TAVIX'";
  if (system(cmd.c_str()) != 0) return;
  std::ofstream out((dir + "/TAVIX/Corvel.reg").c_str());
  out << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel]\n" << mainValues << "\n";
  out << "[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel\\Ports]\n";
  for (int n = 1; n <= 16; ++n) {
    auto it = ports.find(n);
    out << "\"COM" << n << "\"=\"" << (it == ports.end() ? "" : it->second) << "\"\n";
  }
}

inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
