// SPDX-License-Identifier: MIT
#pragma once
// Shared set-up of the window benchmarks: a fresh settings folder with a port
// table that maps the simulated modules and nothing else, the offscreen
// platform, the catalogue, and silent beeps.

#include <sys/resource.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "catalogue.h"
#include "settings_file.h"
#include "sim_module.h"
#include "tone.h"

// The settings folder of one benchmark run, removed when it goes.
class BenchSettingsFolder {
 public:
  explicit BenchSettingsFolder(std::string dir) : dir_(std::move(dir)) {}
  ~BenchSettingsFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  BenchSettingsFolder(const BenchSettingsFolder&) = delete;
  BenchSettingsFolder& operator=(const BenchSettingsFolder&) = delete;

 private:
  std::string dir_;
};

[[nodiscard]] inline std::unique_ptr<BenchSettingsFolder> PrepareBenchSettings(
    const std::map<int, std::string>& ports, const std::string& mainValues = "") {
  char pattern[] = "/tmp/rt420-bench-XXXXXX";
  std::string dir = mkdtemp(pattern);
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  WriteSettingsFile(dir + "/TAVIX/Corvel.reg", mainValues, ports);
  return std::make_unique<BenchSettingsFolder>(dir);
}

inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
