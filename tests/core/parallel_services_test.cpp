// SPDX-License-Identifier: MIT
// The tone, the port names, the console lines and the stop request used by
// several threads at once.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "console_out.h"
#include "port_names.h"
#include "stop_request.h"
#include "tone.h"
#include "wait_until.h"

namespace {

constexpr int kThreads = 6;

// Runs body(t) for t = 0..count-1, each on a thread of its own, all started
// together, and waits for them all.
void RunThreads(int count, const std::function<void(int)>& body) {
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < count; ++t)
    threads.emplace_back([&go, &body, t] {
      while (!go) std::this_thread::yield();
      body(t);
    });
  go = true;
  for (std::thread& thread : threads) thread.join();
}

// ---------------------------------------------------------------------------
// The tone's recorder, swapped while threads beep: every beep reaches one
// recorder, once, with its own frequency and duration.

TEST(ParallelTone, EveryBeepIsRecordedOnceWhileRecordersChange) {
  constexpr int kBeeps = 200;
  std::mutex mutex;
  std::map<std::pair<unsigned, unsigned>, int> heard;
  auto recorder = [&](unsigned frequency, unsigned duration) {
    std::lock_guard<std::mutex> guard(mutex);
    ++heard[{frequency, duration}];
  };
  tone::SetToneRecorder(recorder);
  std::atomic<bool> beeping{true};
  std::thread swapper([&] {
    while (beeping) tone::SetToneRecorder(recorder);
  });
  RunThreads(kThreads, [](int t) {
    for (int i = 0; i < kBeeps; ++i) tone::Beep(1000 + unsigned(t), unsigned(i));
  });
  beeping = false;
  swapper.join();
  tone::SetToneRecorder(nullptr);

  ASSERT_EQ(heard.size(), size_t(kThreads * kBeeps));
  for (const auto& [beep, count] : heard) EXPECT_EQ(count, 1) << beep.first << " Hz " << beep.second << " ms";
}

// ---------------------------------------------------------------------------
// The port table and the device lister, replaced while threads resolve
// ports: each answer comes whole from the one or the other hook.

struct HookCase {
  const char* name;
  std::function<void(char)> install;  // installs the hook that answers with the letter
};

const HookCase kHookCases[] = {
    {"port table",
     [](char letter) {
       serial::SetPortTable([letter](const std::string& name) {
         return serial::PortTableAnswer(std::optional<std::string>("/" + std::string(1, letter) + "/" + name));
       });
     }},
    {"device lister",
     [](char letter) {
       serial::SetDeviceLister([letter] {
         std::vector<std::string> devices;
         for (int n = 1; n <= 16; ++n) devices.push_back("/" + std::string(1, letter) + "/COM" + std::to_string(n));
         return devices;
       });
     }},
};

TEST(ParallelPortNames, ResolvedPathsComeWholeFromOneHook) {
  if (serial::SystemPortPath(1)) GTEST_SKIP() << "the system names its ports itself";
  for (const HookCase& hook : kHookCases) {
    SCOPED_TRACE(hook.name);
    serial::SetPortTable(nullptr);
    serial::SetDeviceLister(nullptr);
    hook.install('a');
    std::atomic<bool> resolving{true};
    std::thread swapper([&] {
      for (int round = 0; resolving; ++round) hook.install(round % 2 ? 'a' : 'b');
    });
    std::atomic<int> wrong{0};
    RunThreads(kThreads, [&](int) {
      for (int i = 0; i < 300; ++i) {
        const int port = 1 + i % 16;
        std::optional<std::string> path = serial::ResolvePort(port);
        if (path != "/a/COM" + std::to_string(port) && path != "/b/COM" + std::to_string(port)) ++wrong;
      }
    });
    resolving = false;
    swapper.join();
    EXPECT_EQ(wrong, 0);
  }
  serial::SetPortTable(nullptr);
  serial::SetDeviceLister(nullptr);
}

// ---------------------------------------------------------------------------
// Console lines from several threads through two streams onto one file (as
// stdout and stderr share a terminal): every line arrives whole, each once.
// Lines longer than a stream's buffer are written in several pieces, which
// must not let another line in between.

TEST(ParallelConsole, LinesFromSeveralThreadsArriveWhole) {
  constexpr int kLinesPerThread = 40;
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("rt420-lines-" + std::to_string(::getpid()));
  std::FILE* streams[2] = {std::fopen(file.c_str(), "a"), std::fopen(file.c_str(), "a")};
  ASSERT_NE(streams[0], nullptr);
  ASSERT_NE(streams[1], nullptr);
  auto lineOf = [](int t, int i) {
    // Lengths from a few bytes to beyond the stream buffer.
    return "T" + std::to_string(t) + "-" + std::to_string(i) + ":" + std::string(size_t(1 + (i * 977) % 9000), char('a' + t));
  };
  std::atomic<int> failed{0};
  RunThreads(kThreads, [&](int t) {
    for (int i = 0; i < kLinesPerThread; ++i)
      if (!WriteStreamLine(streams[(t + i) % 2], lineOf(t, i))) ++failed;
  });
  std::fclose(streams[0]);
  std::fclose(streams[1]);

  std::set<std::string> expected;
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kLinesPerThread; ++i) expected.insert(lineOf(t, i));
  std::ifstream in(file);
  int count = 0;
  for (std::string line; std::getline(in, line); ++count)
    EXPECT_EQ(expected.erase(line), 1u) << "a line that no thread wrote whole: " << line.substr(0, 40) << "...";
  std::filesystem::remove(file);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(count, kThreads * kLinesPerThread);
  EXPECT_TRUE(expected.empty()) << expected.size() << " lines missing";
}

// ---------------------------------------------------------------------------
// A stop wakes every thread waiting for it, whatever its source. A stop is
// never taken back, so each case runs in a process of its own.

struct StopCase {
  const char* name;
  std::function<void()> before;  // before the waiters start
  std::function<void()> stop;    // once they wait
};

const StopCase kStopCases[] = {
    {"the program's request", [] {}, [] { RequestStop(); }},
    {"SIGINT", [] { InstallStopRequest(); }, [] { ::raise(SIGINT); }},
    {"SIGTERM", [] { InstallStopRequest(); }, [] { ::raise(SIGTERM); }},
    // A hang-up ignored at start stays ignored (nohup): not here.
    {"SIGHUP", [] {
       ::signal(SIGHUP, SIG_DFL);
       InstallStopRequest();
     }, [] { ::raise(SIGHUP); }},
    {"a deadline", [] { SetStopDeadline(0.3); }, [] {}},
};

// In the child: the number of waiters that did not wake with true, or 100
// when a stop came before the waiters began to wait.
int WaitersLeftAsleep(const StopCase& stopCase) {
  constexpr int kWaitMs = 60000;
  if (StopRequested()) return 100;
  stopCase.before();
  std::atomic<int> waiting{0}, woken{0};
  std::vector<std::thread> waiters;
  for (int t = 0; t < kThreads; ++t)
    waiters.emplace_back([&] {
      ++waiting;
      if (WaitForStop(kWaitMs)) ++woken;
    });
  WaitUntil([&] { return waiting == kThreads; }, std::chrono::seconds(10));
  stopCase.stop();
  // Woken within far less than a waiter's own limit, or not at all.
  const bool allWoken = WaitUntil([&] { return woken == kThreads; }, std::chrono::seconds(20));
  for (std::thread& waiter : waiters) allWoken ? waiter.join() : waiter.detach();
  if (!StopRequested()) return 101;
  return kThreads - woken;
}

TEST(ParallelStopDeathTest, EveryWaiterWakesOnAStop) {
  // A fresh process per case, started anew from the program.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const StopCase& stopCase : kStopCases) {
    SCOPED_TRACE(stopCase.name);
    EXPECT_EXIT(std::_Exit(WaitersLeftAsleep(stopCase)), ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
