// SPDX-License-Identifier: MIT
#include "port_diagnosis.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "frame_trace.h"
#include "link_state.h"
#include "port_names.h"
#include "settings_store.h"

namespace {

std::string ErrnoText(int error) {
  const char* name = strerrorname_np(error);
  return std::string(name ? name : "?") + " (" + std::strerror(error) + ")";
}

bool AllDigits(const char* text) {
  if (*text == '\0') return false;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

// The descriptors in one /proc/<pid>/fd folder that are open on the device;
// -1 when the folder cannot be read (another user's process, or gone).
int CountIn(const std::string& fdFolder, dev_t device) {
  DIR* folder = opendir(fdFolder.c_str());
  if (folder == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(folder)) {
    if (!AllDigits(entry->d_name)) continue;
    struct stat info;
    std::string link = fdFolder + "/" + entry->d_name;
    if (stat(link.c_str(), &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == device) ++count;
  }
  closedir(folder);
  return count;
}

std::string ProcessName(const std::string& pid) {
  std::ifstream comm("/proc/" + pid + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// Every process that we may look into and that holds the device open.
std::string Holders(dev_t device) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return "unknown (no /proc)";
  const std::string self = std::to_string(getpid());
  std::ostringstream out;
  while (const dirent* entry = readdir(proc)) {
    if (!AllDigits(entry->d_name)) continue;
    const std::string pid = entry->d_name;
    int count = CountIn("/proc/" + pid + "/fd", device);
    if (count <= 0) continue;
    if (out.tellp() > 0) out << ", ";
    if (pid == self) {
      out << "this test process (" << count << ", the simulated module's own among them)";
    } else {
      out << "pid " << pid << " " << ProcessName(pid) << " (" << count << ")";
    }
  }
  closedir(proc);
  return out.tellp() > 0 ? out.str() : "nobody";
}

// What open(2) and flock(2) say about the path right now; the probe is
// closed again before this returns.
std::string TryOpen(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "open(2) fails now: " + ErrnoText(errno);
  std::string result = "open(2) succeeds now";
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    result += " but flock(2) fails: " + ErrnoText(errno);
  } else {
    result += " and so does flock(2)";
    flock(fd, LOCK_UN);
  }
  close(fd);
  return result;
}

}  // namespace

dev_t DeviceNumber(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return 0;
  return info.st_rdev;
}

int DescriptorsOn(dev_t device) { return device == 0 ? 0 : CountIn("/proc/self/fd", device); }

std::string ExplainPort(int port) {
  std::ostringstream out;
  const std::string name = serial::PortName(port);
  std::optional<std::string> entry = store::PortTableEntry(name);
  out << name << ": port table entry " << (entry ? "\"" + *entry + "\"" : "none, or the settings file is unreadable");
  std::optional<std::string> path = serial::ResolvePort(port);
  if (!path) return out.str() + "; resolves to nothing";
  out << "; resolves to " << *path;
  std::error_code error;
  std::filesystem::path target = std::filesystem::canonical(*path, error);
  if (error) return out.str() + ", which leads to no file (" + error.message() + ")";
  if (target.string() != *path) out << " -> " << target.string();
  out << "; " << TryOpen(*path);
  if (dev_t device = DeviceNumber(*path)) out << "; held open by " << Holders(device);
  return out.str();
}

SentFrameCounter::SentFrameCounter(serial::LinkState& link) : link_(link), previous_(link.TraceHook) {
  link_.TraceHook = [this](const serial::TraceEvent& event) {
    if (event.direction == serial::TraceDirection::Sent) ++count_;
    if (previous_) previous_(event);
  };
}

SentFrameCounter::~SentFrameCounter() { link_.TraceHook = previous_; }
