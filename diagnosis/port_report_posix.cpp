// SPDX-License-Identifier: MIT
// The port report on Linux: the device tree, sysfs and the process table,
// each under a root that a test can move.
//
// A device path is followed through its symbolic links only while they stay
// inside the device tree: /dev/serial/by-id/... leads to /dev/ttyUSB0, whose
// kernel name finds the adapter in sysfs. (In a tree built elsewhere a node
// may itself be a link to a real device; its name inside the tree is the one
// that counts.) The probe never sets TIOCEXCL: on a device another program
// also has open, that flag would outlive the probe and lock that program's
// peers out.

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "port_names.h"
#include "port_report.h"
#include "settings_medium.h"
#include "settings_store.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 16;
constexpr size_t kMaxTextBytes = 128;        // a sysfs attribute or a program name as shown
constexpr size_t kMaxPathBytes = 4096;       // a link target or a device path (PATH_MAX)
constexpr int kMaxUsbDepth = 8;              // sysfs levels from a tty up to its USB device
constexpr size_t kMaxProcesses = 1 << 16;    // entries of the process table looked at
constexpr size_t kMaxFdsPerProcess = 1 << 16;
constexpr size_t kMaxPidDigits = 9;
constexpr size_t kGroupBufferBytes = 16384;  // getgrgid_r's buffer for one group entry

constexpr const char* kSourceTable = "port table";
constexpr const char* kSourceEmptyEntry = "port table: empty entry";
constexpr const char* kSourceUnreadable = "port table: unreadable";
constexpr const char* kSourceEnumeration = "enumeration";
constexpr const char* kSourceNothing = "nothing found";

constexpr const char* kStateMissing = "missing";
constexpr const char* kStateBusy = "busy";
constexpr const char* kStateDenied = "denied";
constexpr const char* kStateNotTerminal = "not a terminal";
constexpr const char* kStateUnreadable = "unreadable settings";
constexpr const char* kStateFails = "does not open";

// The simulated module's program, as the process table names it.
constexpr const char* kSimulatorProgram = "rt420-sim";

// Services that open or claim serial ports on their own, by program name.
struct GrabbingService {
  const char* program;
  const char* advice;
};
constexpr GrabbingService kGrabbingServices[] = {
    {"ModemManager", "may open serial ports to probe them for modems: stop it with sudo systemctl stop ModemManager"},
    {"brltty", "may claim USB serial adapters for braille displays: remove it with sudo apt remove brltty"},
};

using Holder = std::pair<int, std::string>;

class FdGuard {
 public:
  explicit FdGuard(int fd) : fd_(fd) {}
  ~FdGuard() {
    if (fd_ >= 0) close(fd_);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The first line of untrusted text, without trailing blanks, as printable
// ASCII ('?' for any other byte), at most `limit` bytes.
std::string PlainText(std::string_view raw, size_t limit = kMaxTextBytes) {
  raw = raw.substr(0, raw.find('\n'));
  while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\r' || raw.back() == '\t')) raw.remove_suffix(1);
  std::string shown;
  for (char c : raw.substr(0, limit)) shown.push_back(c >= 0x20 && c < 0x7f ? c : '?');
  return shown;
}

// A small file (sysfs attribute, comm) as plain text; "" when it cannot be
// read. Non-blocking, so that a FIFO put in its place cannot stall the report.
std::string ReadSmallText(const fs::path& file) {
  FdGuard fd(open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) return "";
  char buffer[kMaxTextBytes];
  ssize_t n = read(fd.get(), buffer, sizeof buffer);
  if (n <= 0) return "";
  return PlainText(std::string_view(buffer, static_cast<size_t>(n)));
}

std::optional<std::string> ReadLink(const fs::path& link) {
  char buffer[kMaxPathBytes];
  ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  if (n <= 0 || static_cast<size_t>(n) == sizeof buffer) return std::nullopt;  // none, or cut short
  return std::string(buffer, static_cast<size_t>(n));
}

fs::path Normalised(const fs::path& path) {
  fs::path normal = path.lexically_normal();
  return normal.has_filename() || normal == normal.root_path() ? normal : normal.parent_path();
}

bool IsUnder(const fs::path& path, const fs::path& root) {
  fs::path relative = Normalised(path).lexically_relative(Normalised(root));
  return !relative.empty() && *relative.begin() != "..";
}

// The device node that path leads to, following links while they stay in
// the device tree.
fs::path FollowWithinDev(const fs::path& path, const fs::path& devRoot) {
  fs::path current = Normalised(path);
  std::error_code ec;
  for (int hop = 0; hop < store::kMaxLinkHops && fs::is_symlink(current, ec); ++hop) {
    auto target = ReadLink(current);
    if (!target) break;
    fs::path next = Normalised(fs::path(*target).is_absolute() ? fs::path(*target) : current.parent_path() / *target);
    if (!IsUnder(next, devRoot)) break;
    current = next;
  }
  return current;
}

// The sysfs folder of the USB device behind a tty, found by walking up from
// the tty's device folder to the first one with idVendor and idProduct.
std::optional<fs::path> UsbDeviceFolder(const fs::path& sysRoot, const std::string& ttyName) {
  if (ttyName.empty() || ttyName == "." || ttyName == "..") return std::nullopt;
  std::error_code ec;
  const fs::path sysReal = fs::canonical(sysRoot, ec);
  if (ec) return std::nullopt;
  fs::path folder = fs::canonical(sysRoot / "class" / "tty" / ttyName / "device", ec);
  if (ec) return std::nullopt;
  for (int depth = 0; depth < kMaxUsbDepth && folder != sysReal && IsUnder(folder, sysReal); ++depth) {
    if (fs::is_regular_file(folder / "idVendor", ec) && fs::is_regular_file(folder / "idProduct", ec)) return folder;
    folder = folder.parent_path();
  }
  return std::nullopt;
}

void FillUsbIdentity(PortReport& report, const fs::path& sysRoot, const std::string& ttyName) {
  auto folder = UsbDeviceFolder(sysRoot, ttyName);
  if (!folder) return;
  report.usbVendorId = ReadSmallText(*folder / "idVendor");
  report.usbProductId = ReadSmallText(*folder / "idProduct");
  report.usbVendor = ReadSmallText(*folder / "manufacturer");
  report.usbProduct = ReadSmallText(*folder / "product");
  report.usbSerial = ReadSmallText(*folder / "serial");
  if (report.usbVendor.empty()) report.usbVendor = report.usbVendorId;
  if (report.usbProduct.empty()) report.usbProduct = report.usbProductId;
}

// What an open of the device tells, the way the link opens it.
struct Probe {
  const char* state = kStateMissing;
  int error = 0;            // errno of a refusal
  bool haveStat = false;    // st holds the device's ownership
  struct stat st {};
};

const char* StateForOpenError(int error) {
  switch (error) {
    case EACCES: case EPERM: case EROFS: return kStateDenied;
    case EBUSY: return kStateBusy;  // TIOCEXCL set by the holder
    case ENOENT: case ENXIO: case ENODEV: case ENOTDIR: return kStateMissing;
    default: return kStateFails;
  }
}

Probe ProbeDevice(const std::string& path) {
  Probe probe;
  if (stat(path.c_str(), &probe.st) != 0) {
    probe.error = errno;
    probe.state = probe.error == EACCES ? kStateDenied : kStateMissing;
    return probe;
  }
  probe.haveStat = true;
  if (!S_ISCHR(probe.st.st_mode)) {
    probe.state = kStateNotTerminal;
    return probe;
  }
  FdGuard fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    probe.error = errno;
    probe.state = StateForOpenError(probe.error);
  } else if (!isatty(fd.get())) {
    probe.state = kStateNotTerminal;
  } else if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    probe.error = errno;
    probe.state = probe.error == EWOULDBLOCK ? kStateBusy : kStateFails;
  } else {
    probe.state = kStateOpens;  // the lock goes with the descriptor, closed here
  }
  return probe;
}

bool CallerInGroup(gid_t group) {
  if (getegid() == group) return true;
  int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  count = getgroups(count, groups.data());
  return count > 0 && std::find(groups.begin(), groups.begin() + count, group) != groups.begin() + count;
}

std::string GroupName(gid_t group) {
  std::vector<char> buffer(kGroupBufferBytes);
  struct group entry {};
  struct group* found = nullptr;
  if (getgrgid_r(group, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::to_string(group);
  }
  std::string name = PlainText(found->gr_name);
  return name.empty() ? std::to_string(group) : name;
}

// Why an open was refused, in words the user can act on: most often the
// device belongs to a group (dialout) that the user is not in.
std::string DeniedHint(const std::string& shown, const Probe& probe) {
  if (!probe.haveStat) return "a folder on the way to " + shown + " is closed to you";
  const bool groupMayUse = (probe.st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  if (geteuid() != probe.st.st_uid && groupMayUse && !CallerInGroup(probe.st.st_gid)) {
    const std::string group = GroupName(probe.st.st_gid);
    return "add yourself to the group " + group + ": sudo usermod -aG " + group + " $USER, then log in again";
  }
  return "access to " + shown + " is denied: its owner or an administrator must allow you to read and write it";
}

// The open files of processes that are one of the wanted paths, and the
// port-grabbing services that run.
struct ProcessScan {
  std::map<std::string, std::set<Holder>> holders;  // by the path as the process table shows it
  std::map<std::string, int> services;              // program name, lowest PID seen
};

std::optional<int> PidOf(const std::string& name) {
  if (name.empty() || name.size() > kMaxPidDigits) return std::nullopt;
  if (!std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  return std::stoi(name);
}

void ScanProcess(const fs::path& folder, int pid, const std::set<std::string>& wanted, ProcessScan& scan) {
  const std::string program = ReadSmallText(folder / "comm");
  for (const auto& service : kGrabbingServices) {
    if (program == service.program) scan.services.emplace(program, pid);
  }
  std::error_code ec;
  fs::directory_iterator it(folder / "fd", ec);  // another user's: closed to us unless root
  for (size_t seen = 0; !ec && it != fs::directory_iterator() && seen < kMaxFdsPerProcess; ++seen) {
    auto target = ReadLink(it->path());
    if (target && wanted.count(*target) != 0) scan.holders[*target].emplace(pid, program);
    it.increment(ec);
  }
}

ProcessScan ScanProcesses(const fs::path& procRoot, const std::set<std::string>& wanted) {
  ProcessScan scan;
  std::error_code ec;
  fs::directory_iterator it(procRoot, ec);
  for (size_t seen = 0; !ec && it != fs::directory_iterator() && seen < kMaxProcesses; ++seen) {
    if (auto pid = PidOf(it->path().filename().string())) ScanProcess(it->path(), *pid, wanted, scan);
    it.increment(ec);
  }
  return scan;
}

// One port while the report is made: the report, and the paths as used.
struct PortWork {
  PortReport report;
  std::string path;                  // the device path as the link would open it
  std::vector<std::string> targets;  // the names a process table may show for it
  Probe probe;
};

// The serial devices found now, listed when the first port needs them: a
// port table that answers for every port, or cannot be read, needs none.
class Enumeration {
 public:
  explicit Enumeration(const PortRoots& roots) : roots_(roots) {}
  const std::vector<std::string>& Devices() {
    if (!listed_) devices_ = serial::ListSerialDevicesUnder(roots_.dev, roots_.sys);
    listed_ = true;
    return devices_;
  }

 private:
  const PortRoots& roots_;
  bool listed_ = false;
  std::vector<std::string> devices_;
};

// The mapping of one port number and why, before the device is looked at.
PortWork MapPort(int number, const PortTableReader& table, Enumeration& enumeration) {
  PortWork work;
  work.report.number = number;
  serial::PortTableAnswer entry = table(serial::PortName(number));
  if (entry.kind == serial::PortTableAnswer::Kind::Unreadable) {
    work.report.source = kSourceUnreadable;
    work.report.state = kStateUnreadable;
  } else if (entry.kind == serial::PortTableAnswer::Kind::Entry) {
    work.path = entry.path;
    work.report.source = entry.path.empty() ? kSourceEmptyEntry : kSourceTable;
  } else if (static_cast<size_t>(number) <= enumeration.Devices().size()) {
    work.path = enumeration.Devices()[static_cast<size_t>(number) - 1];
    work.report.source = kSourceEnumeration;
  } else {
    work.report.source = kSourceNothing;
  }
  if (work.path.empty() && work.report.state.empty()) work.report.state = kStateNone;
  return work;
}

// Looks at the device behind a mapped port: its node, its adapter, its open.
void InspectDevice(PortWork& work, const PortRoots& roots) {
  if (work.path.empty()) return;
  work.report.device = PlainText(work.path, kMaxPathBytes);
  const fs::path node = FollowWithinDev(work.path, roots.dev);
  work.report.resolved = PlainText(node.string(), kMaxPathBytes);
  FillUsbIdentity(work.report, roots.sys, node.filename().string());
  work.probe = ProbeDevice(work.path);
  work.report.state = work.probe.state;
  std::error_code ec;
  const fs::path real = fs::canonical(work.path, ec);
  work.targets = {work.path, node.string()};
  if (!ec) work.targets.push_back(real.string());
}

void AddHolders(PortWork& work, const ProcessScan& scan) {
  std::set<Holder> holders;
  for (const auto& target : work.targets) {
    auto found = scan.holders.find(target);
    if (found != scan.holders.end()) holders.insert(found->second.begin(), found->second.end());
  }
  work.report.holders.assign(holders.begin(), holders.end());
}

// A holder that keeps the device open without a lock does not stop the
// port from opening. The simulated module keeps its own end open on purpose:
// it must not be closed.
std::string UnlockedHolderHint(const PortReport& r) {
  bool onlySimulator = std::all_of(r.holders.begin(), r.holders.end(),
                                   [](const Holder& h) { return h.second == kSimulatorProgram; });
  if (onlySimulator)
    return r.device + " is the simulated module's line (" + kSimulatorProgram + " keeps it open): leave it running";
  return "another program has " + r.device +
         " open without locking it: the port opens, but that program may read the replies too; close it unless it "
         "is meant to share the line";
}

// The hints for one port from its own state.
void AddDeviceHints(PortWork& work) {
  PortReport& r = work.report;
  const std::string& state = r.state;
  if (state == kStateUnreadable) {
    r.hints.push_back("the settings in " + store::SettingsLocation() + " cannot be read: mend or remove the file");
  }
  if (state == kStateMissing && r.source == kSourceTable) {
    r.hints.push_back("the port table maps " + serial::PortName(r.number) + " to " + r.device +
                      ", which is not there: plug the adapter in, or change the entry in " + store::SettingsLocation());
  }
  if (state == kStateDenied) r.hints.push_back(DeniedHint(r.device, work.probe));
  if (state == kStateNotTerminal) r.hints.push_back(r.device + " is not a serial device");
  if (state == kStateFails) r.hints.push_back(r.device + " does not open: " + std::strerror(work.probe.error));
  if (state == kStateBusy && r.holders.empty()) {
    r.hints.push_back("another program holds " + r.device +
                      ", but it cannot be told which: run this as root to see every process");
  }
  if (state == kStateOpens && !r.holders.empty()) r.hints.push_back(UnlockedHolderHint(r));
}

// Machine-wide hints, on the ports a grabbing service may explain.
void AddServiceHints(PortReport& report, const ProcessScan& scan) {
  const bool affected = report.state == kStateMissing || report.state == kStateBusy || report.source == kSourceNothing;
  if (!affected) return;
  for (const auto& service : kGrabbingServices) {
    auto running = scan.services.find(service.program);
    if (running == scan.services.end()) continue;
    report.hints.push_back(std::string(service.program) + " is running (PID " + std::to_string(running->second) +
                           ") and " + service.advice);
  }
}

}  // namespace

std::vector<PortReport> DescribePorts(const PortRoots& roots) { return DescribePorts(roots, store::ReadPortTable); }

std::vector<PortReport> DescribePorts(const PortRoots& roots, const PortTableReader& table) {
  Enumeration enumeration(roots);
  std::vector<PortWork> ports;
  std::set<std::string> wanted;
  for (int number = kFirstPort; number <= kLastPort; ++number) {
    ports.push_back(MapPort(number, table, enumeration));
    InspectDevice(ports.back(), roots);
    wanted.insert(ports.back().targets.begin(), ports.back().targets.end());
  }
  const ProcessScan scan = ScanProcesses(roots.proc, wanted);
  std::vector<PortReport> reports;
  for (PortWork& work : ports) {
    AddHolders(work, scan);
    AddDeviceHints(work);
    AddServiceHints(work.report, scan);
    reports.push_back(std::move(work.report));
  }
  return reports;
}

std::string PortReportHeading() { return "settings and port table: " + store::SettingsLocation(); }
