// SPDX-License-Identifier: MIT
#pragma once
// Writes a settings file for a test or a benchmark: the given value lines in
// the main key, and a port table that maps the given COM numbers and maps
// every other one to nothing, so that no real serial device is ever touched.

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

inline void WriteSettingsFile(const std::filesystem::path& file, const std::string& mainValues,
                              const std::map<int, std::string>& ports = {}) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::trunc);
  out << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel]\n";
  if (!mainValues.empty()) out << mainValues << (mainValues.back() == '\n' ? "" : "\n");
  out << "\n[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel\\Ports]\n";
  for (int n = 1; n <= 16; ++n) {
    auto it = ports.find(n);
    out << "\"COM" << n << "\"=\"" << (it == ports.end() ? "" : it->second) << "\"\n";
  }
}
