// SPDX-License-Identifier: MIT
// Several connections in one process, each on its own thread with its own
// port: every simulated module takes only its own connection's frames, every
// connection reads only its own module's replies, and one shared trace log
// keeps each port's records apart.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "frames.h"
#include "line_settings.h"
#include "port_names.h"
#include "serial_port.h"
#include "sim_module.h"
#include "trace_log.h"

namespace {
constexpr int kFirstPort = 3;
constexpr int kConnections = 4;
constexpr int kExchanges = 8;
// A line setting of its own for each module, so a frame that reached the
// wrong module would also be at the wrong speed.
constexpr int kLineIndexes[kConnections] = {5, 0, 11, 7};

std::string SerialOf(int port) { return "5000000" + std::to_string(port); }

// What one connection saw: frames sent and the replies it accepted.
struct ConnectionRun {
  int port = 0;
  int framesSent = 0;
  std::vector<std::string> accepted;
  bool otherPortRefused = false;
  PortOpenProblem otherPortProblem = PortOpenProblem::None;
};

void RunConnection(ConnectionRun& run) {
  Link.ConnectionPort = run.port;
  // Another connection's port is refused without touching it.
  run.otherPortRefused = !OpenPort(run.port == kFirstPort ? kFirstPort + 1 : kFirstPort, "19200,e,8,1");
  run.otherPortProblem = LastPortOpenFailure().problem;
  if (!OpenPort(run.port, kLineSettings[kLineIndexes[run.port - kFirstPort]])) return;
  for (int i = 0; i < kExchanges; ++i) {
    run.framesSent += 1;
    if (SendCommand("H00M")) run.accepted.push_back(Link.LastReply);
  }
  ClosePort();
}
}  // namespace

TEST(Connections, ThreadsKeepTheirOwnLineModuleAndTraceRecords) {
  std::vector<std::unique_ptr<sim::SimModule>> modules;
  std::map<std::string, std::string> table;
  for (int i = 0; i < kConnections; ++i) {
    sim::ModuleConfig config;
    config.serial1 = SerialOf(kFirstPort + i);
    config.lineIndex = kLineIndexes[i];
    modules.push_back(std::make_unique<sim::SimModule>(config));
    ASSERT_TRUE(modules.back()->Start());
    table[PortName(kFirstPort + i)] = modules.back()->SlavePath();
  }
  SetPortTable([table](const std::string& name) {
    auto entry = table.find(name);
    return std::optional<std::string>(entry == table.end() ? std::string() : entry->second);
  });
  std::mutex recordsMutex;
  std::vector<TraceRecord> records;
  TraceLog trace;
  trace.SetCallback([&](const TraceRecord& record) {
    std::lock_guard<std::mutex> lock(recordsMutex);
    records.push_back(record);
  });
  trace.Attach();

  std::vector<ConnectionRun> runs(kConnections);
  std::vector<std::thread> threads;
  for (int i = 0; i < kConnections; ++i) {
    runs[i].port = kFirstPort + i;
    threads.emplace_back(RunConnection, std::ref(runs[i]));
  }
  for (std::thread& thread : threads) thread.join();
  trace.Detach();
  SetPortTable({});

  // The test's own thread is a connection of its own that never opened.
  EXPECT_FALSE(PortIsOpen());
  EXPECT_EQ(PortOpenFailureCount(), 0u);
  for (int i = 0; i < kConnections; ++i) {
    const ConnectionRun& run = runs[i];
    const std::string serial = SerialOf(run.port);
    SCOPED_TRACE(PortName(run.port));
    EXPECT_TRUE(run.otherPortRefused);
    EXPECT_EQ(run.otherPortProblem, PortOpenProblem::NotThisConnection);
    ASSERT_EQ(run.framesSent, kExchanges);
    // The module took exactly the frames of its own connection.
    EXPECT_EQ(modules[i]->Commands(), std::vector<std::string>(kExchanges, "H00M"));
    // A busy machine may let a reply miss its window; none may be another's.
    EXPECT_FALSE(run.accepted.empty());
    for (const std::string& reply : run.accepted) EXPECT_NE(reply.find(":" + serial), std::string::npos) << reply;
    int sent = 0;
    for (const TraceRecord& record : records) {
      if (record.port != run.port) continue;
      if (record.direction == TraceDirection::Sent) sent += 1;
      bool completeReply = record.direction == TraceDirection::Received && record.bytes.front() == '\n' &&
                           record.bytes.back() == '\r';
      if (completeReply) {
        EXPECT_NE(record.bytes.find(":" + serial), std::string::npos) << record.bytes;
      }
    }
    EXPECT_EQ(sent, kExchanges);
  }
  for (const TraceRecord& record : records) {
    EXPECT_GE(record.port, kFirstPort);
    EXPECT_LT(record.port, kFirstPort + kConnections);
  }
}

TEST(Connections, AConnectionReachesEveryPortOrOnlyItsOwn) {
  struct Case {
    int connectionPort;
    int port;
    bool inReach;
  };
  const Case cases[] = {{0, 1, true}, {0, 16, true}, {4, 4, true}, {4, 3, false}, {4, 5, false}, {16, 1, false}};
  std::thread([&] {
    for (const Case& c : cases) {
      Link.ConnectionPort = c.connectionPort;
      EXPECT_EQ(PortInReach(c.port), c.inReach) << c.connectionPort << " " << c.port;
      if (c.inReach) continue;
      EXPECT_FALSE(OpenPort(c.port, "19200,e,8,1"));
      EXPECT_EQ(LastPortOpenFailure().problem, PortOpenProblem::NotThisConnection);
      EXPECT_EQ(DescribePortOpenFailure(LastPortOpenFailure()), PortName(c.port) + ": another connection's port");
    }
  }).join();
  // The confinement belongs to the thread that set it.
  EXPECT_EQ(Link.ConnectionPort, 0);
}

// Two port numbers that lead to one device, on two connections: while one
// holds the device the other is told that this program holds it, as which
// port, never that another program does. A connection given its device at
// the start of its run keeps to it whatever the port table says later.
TEST(Connections, ADeviceHeldHereIsSaidSoAndAPinnedPortKeepsItsDevice) {
  sim::SimModule module;
  ASSERT_TRUE(module.Start());
  const std::string link = ::testing::TempDir() + "rt420-held-" + std::to_string(getpid());
  ASSERT_TRUE(module.LinkAt(link));
  const std::string path = module.SlavePath();
  std::atomic<bool> com4Behind{true};
  SetPortTable([&](const std::string& name) -> std::optional<std::string> {
    if (name == "COM3") return path;
    return name == "COM4" && com4Behind ? link : std::string();
  });
  std::promise<void> held, tried, closed;
  std::thread holder([&] {
    Link.ConnectionPort = 3;
    bool opened = OpenPort(3, "19200,e,8,1");
    held.set_value();
    tried.get_future().wait();
    if (opened) ClosePort();
    closed.set_value();
  });
  std::thread other([&] {
    Link.ConnectionPort = 4;
    Link.ConnectionDevice = link;
    held.get_future().wait();
    EXPECT_FALSE(OpenPort(4, "19200,e,8,1"));
    EXPECT_EQ(LastPortOpenFailure().problem, PortOpenProblem::HeldHere);
    EXPECT_EQ(DescribePortOpenFailure(LastPortOpenFailure()), "COM4 (" + link + "): held by this program (as COM3)");
    tried.set_value();
    closed.get_future().wait();
    com4Behind = false;
    EXPECT_TRUE(OpenPort(4, "19200,e,8,1")) << DescribePortOpenFailure(LastPortOpenFailure());
    ClosePort();
  });
  other.join();
  holder.join();
  SetPortTable({});
}
