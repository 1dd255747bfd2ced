// SPDX-License-Identifier: MIT
#include "sim_bench.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "settings_file.h"

namespace {

double BenchChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double BenchWallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void CloseBenchFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

// ---------------------------------------------------------------- EmptyLine

EmptyLine::~EmptyLine() {
  CloseBenchFd(slave_);
  CloseBenchFd(master_);
}

bool EmptyLine::Open() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return false;
  char name[PATH_MAX] = {};
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) return false;
  path_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return false;
  // Raw from the start, as the simulated module's line: nothing is echoed.
  termios tio{};
  if (tcgetattr(slave_, &tio) != 0) return false;
  cfmakeraw(&tio);
  if (tcsetattr(slave_, TCSANOW, &tio) != 0) return false;
  return fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK) == 0;
}

std::string EmptyLine::Path() const { return path_; }

void EmptyLine::Drain() {
  char buffer[512];
  while (master_ >= 0 && read(master_, buffer, sizeof buffer) > 0) {
  }
  // A tool killed while it held the port leaves its exclusive mode on the
  // terminal, which our own descriptor keeps alive: the next run could not
  // open it.
  if (slave_ >= 0) ioctl(slave_, TIOCNXCL);
}

// ---------------------------------------------------------------- SimBench

SimBench::SimBench() {
  char pattern[] = "/tmp/rt420-simbench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) StopBench(std::string("cannot make a folder in /tmp: ") + std::strerror(errno));
  dir_ = pattern;
}

SimBench::~SimBench() {
  for (auto& module : modules_) module->Stop();
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

sim::SimModule* SimBench::AddModule(int port, const sim::ModuleConfig& config) {
  auto module = std::make_unique<sim::SimModule>(config);
  if (!module->Start()) return nullptr;
  ports_.emplace_back(port, module->SlavePath());
  modules_.push_back(std::move(module));
  return modules_.back().get();
}

bool SimBench::AddEmptyLine(int port) {
  auto line = std::make_unique<EmptyLine>();
  if (!line->Open()) return false;
  ports_.emplace_back(port, line->Path());
  emptyLines_.push_back(std::move(line));
  return true;
}

void SimBench::WriteSettings() const {
  std::map<int, std::string> table(ports_.begin(), ports_.end());
  WriteSettingsFile(std::filesystem::path(dir_) / "config" / "TAVIX" / "Corvel.reg", "", table);
}

void SimBench::DrainEmptyLines() {
  for (auto& line : emptyLines_) line->Drain();
}

std::string SimBench::FilePath(const std::string& name) const { return dir_ + "/" + name; }

CtlRun SimBench::Run(const std::vector<std::string>& arguments) const {
  CtlRun run;
  const double wall = BenchWallSeconds(), cpu = BenchChildrenCpuSeconds();
  ChildProcess child(RT420CTL_PATH, arguments, {{"XDG_CONFIG_HOME", dir_ + "/config"}});
  run.result = child.Finish(kCtlRunLimit);
  run.wallSeconds = BenchWallSeconds() - wall;
  run.cpuSeconds = BenchChildrenCpuSeconds() - cpu;
  return run;
}

// ---------------------------------------------------------------- helpers

void FailBench(const std::string& expected, const CtlRun& run) {
  const ChildResult& r = run.result;
  std::fprintf(stderr, "benchmark stopped: expected %s\n", expected.c_str());
  if (r.timedOut) std::fprintf(stderr, "rt420ctl did not end within %lld s and was killed\n",
                               static_cast<long long>(kCtlRunLimit.count()));
  if (r.signal != 0) std::fprintf(stderr, "rt420ctl ended by signal %d\n", r.signal);
  std::fprintf(stderr, "rt420ctl exit code %d after %.3f s\n--- its stdout:\n%s--- its stderr:\n%s---\n", r.exitCode,
               run.wallSeconds, r.out.c_str(), r.err.c_str());
  throw BenchStopped{};
}

void StopBench(const std::string& why) {
  std::fprintf(stderr, "benchmark stopped: %s\n", why.c_str());
  throw BenchStopped{};
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
