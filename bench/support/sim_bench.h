// SPDX-License-Identifier: MIT
#pragma once
// A bench of serial ports for benchmarks that run rt420ctl as a process.
//
// Each COM number is mapped, through the port table of a settings file in a
// fresh folder given to the program as XDG_CONFIG_HOME, to one of:
// - a simulated module (sim::SimModule in this process, one thread each), or
// - an empty line: a pseudo-terminal that opens like a serial port with
//   nothing plugged in, so that no byte ever comes back;
// every other port is mapped to nothing. No real serial device is touched.
//
// The modules run in this process rather than as rt420-sim programs: a
// round starts and stops up to sixteen of them, which costs a thread each
// instead of a process start, and the benchmark reads their state and logs
// directly to check that every module really was found or written.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "sim_module.h"

// Only a limit for a run that hangs; no run takes this long otherwise.
inline constexpr std::chrono::seconds kCtlRunLimit{600};

// One run of rt420ctl: its result, wall time and the CPU it used.
struct CtlRun {
  ChildResult result;
  double wallSeconds = 0;
  double cpuSeconds = 0;
};

// A pseudo-terminal with nothing behind it. Like the simulated module, it
// keeps a descriptor of its own on the tool's side, so the tool may close
// and reopen the port without the line hanging up (`rt420ctl ports` names
// the benchmark as a holder, as it names rt420-sim).
class EmptyLine {
 public:
  EmptyLine() = default;
  ~EmptyLine();
  EmptyLine(const EmptyLine&) = delete;
  EmptyLine& operator=(const EmptyLine&) = delete;

  bool Open();               // false when no pseudo-terminal can be made
  std::string Path() const;  // the tool's side ("/dev/pts/N")
  // Throws away what the tool wrote, so that repeated runs never fill the
  // line, and clears an exclusive mode left by a tool that was killed.
  void Drain();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

class SimBench {
 public:
  SimBench();   // makes the fresh settings folder (StopBench when it cannot)
  ~SimBench();  // stops every module and removes the folder
  SimBench(const SimBench&) = delete;
  SimBench& operator=(const SimBench&) = delete;

  // A simulated module on COM port; nullptr when it cannot start.
  sim::SimModule* AddModule(int port, const sim::ModuleConfig& config);
  // An empty line on COM port; false when it cannot be made.
  bool AddEmptyLine(int port);
  // Writes the settings file: the mapped ports, every other port empty, no
  // stored scan result.
  void WriteSettings() const;
  void DrainEmptyLines();

  const std::vector<std::unique_ptr<sim::SimModule>>& Modules() const { return modules_; }
  // A path for a file of the run (profile, CSV) inside the bench's folder.
  std::string FilePath(const std::string& name) const;
  // Runs rt420ctl with arguments and this bench's settings; a run that
  // outlives kCtlRunLimit is killed and reported as timed out.
  CtlRun Run(const std::vector<std::string>& arguments) const;

 private:
  std::string dir_;
  std::vector<std::pair<int, std::string>> ports_;
  std::vector<std::unique_ptr<sim::SimModule>> modules_;
  std::vector<std::unique_ptr<EmptyLine>> emptyLines_;
};

// Thrown to stop a benchmark whose run did not do what it should: a figure
// from such a run would mean nothing. Its text has been printed already.
// main() catches it and exits with 1, after the benches' destructors have
// stopped their modules and removed their folders.
struct BenchStopped {};

// Prints what the benchmark expected and the tool's exit and output on
// stderr, then throws BenchStopped.
[[noreturn]] void FailBench(const std::string& expected, const CtlRun& run);
// Prints why the benchmark cannot go on, then throws BenchStopped.
[[noreturn]] void StopBench(const std::string& why);

// The lines of a text (a last line without a line feed counts too).
std::vector<std::string> SplitLines(const std::string& text);
// The whole text of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
