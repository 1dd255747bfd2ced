// SPDX-License-Identifier: MIT
// Serial devices on Linux, in a stable order: USB adapters under their
// persistent /dev/serial/by-id names (sorted by name, so a port keeps its
// number across reboots and re-plugging), then the /dev/ttyS* ports with a
// real UART behind them, in numeric order. A ttyS port without hardware
// reports type 0 (unknown) in sysfs; reading sysfs avoids opening the device,
// which would toggle its modem lines.

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "port_names.h"

namespace serial {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> UsbAdapters(const fs::path& devRoot) {
  std::vector<std::string> paths;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(devRoot / "serial" / "by-id", ec)) {
    paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

bool HasUart(const fs::path& ttyClass, const std::string& name) {
  std::ifstream type(ttyClass / name / "type");
  int value = 0;
  return static_cast<bool>(type >> value) && value != 0;
}

std::vector<std::string> BuiltInUarts(const fs::path& devRoot, const fs::path& sysRoot) {
  const fs::path ttyClass = sysRoot / "class" / "tty";
  std::vector<std::pair<int, std::string>> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(ttyClass, ec)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("ttyS", 0) != 0 || name.size() == 4) continue;
    if (!std::all_of(name.begin() + 4, name.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    if (name.size() > 8 || !HasUart(ttyClass, name)) continue;
    found.emplace_back(std::stoi(name.substr(4)), (devRoot / name).string());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& [number, path] : found) paths.push_back(path);
  return paths;
}

}  // namespace

// Linux has no COM names of its own: the port table and the device list
// decide.
std::optional<std::string> SystemPortPath(int) { return std::nullopt; }

std::vector<std::string> ListSerialDevicesUnder(const std::string& devRoot, const std::string& sysRoot) {
  std::vector<std::string> devices = UsbAdapters(devRoot);
  for (auto& path : BuiltInUarts(devRoot, sysRoot)) devices.push_back(std::move(path));
  return devices;
}

std::vector<std::string> ListSerialDevices() { return ListSerialDevicesUnder("/dev", "/sys"); }

// A character device is its number, whatever path or link names it (a
// second device node made for the same number included); anything else is
// its path with every link followed.
std::string DeviceIdentity(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode))
    return "char " + std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(path, ec);
  return ec ? path : canonical.string();
}

}  // namespace serial
