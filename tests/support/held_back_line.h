// SPDX-License-Identifier: MIT
#pragma once
// A test that failed while the machine held its line back runs again, in a
// fresh process, three runs at most.
//
// On a loaded machine the simulated module's thread, the tool or the
// pseudo-terminal between them can stand still for longer than the tool's
// reply window. The tool then does what it must with a module that answers
// late: it makes its second attempt, or reports that no reply came; a test
// that expects the frames and the outcome of a run at normal speed fails.
// A fixture whose test failed hands each module's log to NoteHeldBackLine,
// which marks the test when the log shows such a stall:
// - a frame reached the module more than a reply window after the module's
//   previous reply: the tool waits less than that between a reply and its
//   next frame (kPauseMs), so the line or the module stood still meanwhile;
// - a frame reached the module less than a reply window after the frame
//   before, which had no reply: the tool waits out the window first, so
//   the line held the first back and delivered both together;
// - a frame came again right after the module had answered it with a reply
//   that no fault changed: the tool made its second attempt at it;
// - the test's only module answered the last frame it took in with a reply
//   that no fault changed, and the test failed all the same: the tool
//   missed that reply or ended for another reason, which a run of its own
//   shows (with several modules, those of the cases that passed end so too,
//   so this sign is not taken);
// - the module had taken in no frame when the test failed, and one reaches
//   it within a second after: the terminal held the tool's bytes back.
// When every failed test of the program is marked, the program runs again
// with just those tests (RT420_TEST_RUN counts the runs). A test that fails
// for a reason of its own fails every run, and a failure that is not marked
// ends the program at once. What a run asserts is never relaxed: a run
// passes only as a whole.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frames.h"
#include "sim_module.h"

namespace held_back {

constexpr int kRuns = 3;
constexpr std::chrono::milliseconds kStragglerWait{1000};
constexpr char kRunVariable[] = "RT420_TEST_RUN";

// Why a module's log shows a stall of the line, or empty when it does not;
// only decides whether a clean answer to the last frame counts, and
// acceptable says that the test's faults leave every reply one the tool
// takes, so that a reply a fault changed is a clean answer too.
inline std::string Stall(const std::vector<std::string>& log, bool only, bool acceptable = false) {
  double replyAt = -1;     // time of the module's last reply, -1 before one
  double frameAt = 0;      // time of the last frame
  std::string frame;       // the last frame taken in
  bool waiting = false;    // ... not answered yet
  bool faulted = false;    // ... a fault changes its reply
  bool answered = false;   // ... answered by a reply that no fault changed
  bool echo = false;       // the next bytes to the tool are the line's echo of its own
  for (const std::string& line : log) {
    std::istringstream in(line);
    double at = 0;
    std::string direction, text;
    if (!(in >> at >> direction)) continue;
    std::getline(in >> std::ws, text);
    text = text.substr(0, text.find("  ["));
    if (direction == "<-") {
      if (replyAt >= 0 && at - replyAt > serial::kReplyWindowMs)
        return text + " reached the module " + std::to_string(static_cast<int>(at - replyAt)) +
               " ms after its previous reply";
      if (waiting && at - frameAt < serial::kReplyWindowMs)
        return text + " reached the module " + std::to_string(static_cast<int>(at - frameAt)) +
               " ms after the frame before, which had no reply";
      if (answered && text == frame) return text + " came again after the module had answered it";
      frame = text;
      frameAt = at;
      waiting = true;
      faulted = answered = false;
      replyAt = -1;
    } else if (direction == "->" && echo) {
      echo = false;  // the tool's own bytes handed back: no answer
    } else if (direction == "->") {
      answered = waiting && (!faulted || acceptable);
      waiting = false;
      replyAt = at;
    } else if (text.rfind("echo of", 0) == 0) {
      echo = true;
    } else if (text.rfind("fault:", 0) == 0) {
      faulted = true;
    } else if (text.find("goes out unchanged") != std::string::npos) {
      faulted = false;
    }
  }
  if (answered && only) return "the module answered the last frame it took in, " + frame;
  return {};
}

inline std::set<std::string>& Marked() {
  static std::set<std::string> names;
  return names;
}

inline std::string FullName(const testing::TestInfo& test) {
  return std::string(test.test_suite_name()) + "." + test.name();
}

inline bool TookAFrame(const std::vector<std::string>& log) {
  for (const std::string& line : log)
    if (line.find(" <- ") != std::string::npos) return true;
  return false;
}

// Marks the running test when the module's log shows a stall; only and
// acceptable as for Stall.
inline void NoteHeldBackLine(const sim::SimModule& module, bool only, bool acceptable = false) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string why = Stall(module.LogLines(), only, acceptable);
  if (why.empty() && !TookAFrame(module.LogLines()) && module.WaitForLogLine(" <- ", kStragglerWait))
    why = "a frame reached the module only after the test had failed";
  if (!test || why.empty()) return;
  Marked().insert(FullName(*test));
  std::printf("  held back: %s\n", why.c_str());
}

inline int ThisRun() {
  const char* run = std::getenv(kRunVariable);
  return run ? std::atoi(run) : 1;
}

// This program's arguments, the test filter replaced by filter.
inline std::vector<std::string> ArgumentsFor(const std::string& filter) {
  std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
  std::string all{std::istreambuf_iterator<char>(cmdline), std::istreambuf_iterator<char>()};
  std::vector<std::string> arguments;
  std::istringstream in(all);
  for (std::string argument; std::getline(in, argument, '\0');)
    if (argument.rfind("--gtest_filter=", 0) != 0) arguments.push_back(argument);
  arguments.push_back("--gtest_filter=" + filter);
  return arguments;
}

// At the program's end: runs it again with its failed tests when each of
// them is marked and runs are left.
class Rerun : public testing::EmptyTestEventListener {
  void OnTestProgramEnd(const testing::UnitTest& unit) override {
    if (!unit.Failed() || unit.ad_hoc_test_result().Failed() || ThisRun() >= kRuns) return;
    std::string filter;
    for (int s = 0; s < unit.total_test_suite_count(); ++s) {
      const testing::TestSuite& suite = *unit.GetTestSuite(s);
      for (int t = 0; t < suite.total_test_count(); ++t) {
        const testing::TestInfo& test = *suite.GetTestInfo(t);
        if (!test.result()->Failed()) continue;
        if (!Marked().count(FullName(test))) return;
        filter += (filter.empty() ? "" : ":") + FullName(test);
      }
    }
    if (filter.empty()) return;
    std::printf("[ HELD BACK] run %d of %d failed on a held-back line; run %d: %s\n", ThisRun(), kRuns, ThisRun() + 1,
                filter.c_str());
    std::vector<std::string> arguments = ArgumentsFor(filter);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    setenv(kRunVariable, std::to_string(ThisRun() + 1).c_str(), 1);
    std::fflush(nullptr);
    execv("/proc/self/exe", argv.data());
    std::perror("held back: cannot run the tests again");
  }
};

// Registered once per program, before main.
inline const bool kRerunListening = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new Rerun);
  return true;
}();

}  // namespace held_back

using held_back::NoteHeldBackLine;
