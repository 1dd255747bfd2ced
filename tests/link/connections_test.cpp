// SPDX-License-Identifier: MIT
// Several connections in one process: each on its own thread with its own
// port, two on one thread one after the other, one handed from one thread to
// another. Every simulated module takes only its own connection's frames,
// every connection reads only its own module's replies and keeps its own
// state, and one trace log attached to them all keeps each port's records
// apart.

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

#include "deadline.h"
#include "frame_trace.h"
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
  serial::PortOpenProblem otherPortProblem = serial::PortOpenProblem::None;
};

void RunConnection(serial::LinkState& link, ConnectionRun& run) {
  // Another connection's port is refused without touching it.
  run.otherPortRefused = !serial::OpenPort(link, run.port == kFirstPort ? kFirstPort + 1 : kFirstPort, "19200,e,8,1");
  run.otherPortProblem = serial::LastPortOpenFailure(link).problem;
  if (!serial::OpenPort(link, run.port, serial::kLineSettings[kLineIndexes[run.port - kFirstPort]])) return;
  for (int i = 0; i < kExchanges; ++i) {
    run.framesSent += 1;
    if (serial::SendCommand(link, "H00M")) run.accepted.push_back(link.LastReply);
  }
  serial::ClosePort(link);
}

// Simulated modules on COM3 to COM6, each with a serial number of its own.
class ModulesOnPorts {
 public:
  ModulesOnPorts() {
    std::map<std::string, std::string> table;
    for (int i = 0; i < kConnections; ++i) {
      sim::ModuleConfig config;
      config.serial1 = SerialOf(kFirstPort + i);
      config.lineIndex = kLineIndexes[i];
      modules_.push_back(std::make_unique<sim::SimModule>(config));
      started_ = modules_.back()->Start() && started_;
      table[serial::PortName(kFirstPort + i)] = modules_.back()->SlavePath();
    }
    serial::SetPortTable([table](const std::string& name) {
      auto entry = table.find(name);
      return std::optional<std::string>(entry == table.end() ? std::string() : entry->second);
    });
  }
  ~ModulesOnPorts() { serial::SetPortTable({}); }
  bool Started() const { return started_; }
  sim::SimModule& On(int port) { return *modules_[static_cast<size_t>(port - kFirstPort)]; }

 private:
  std::vector<std::unique_ptr<sim::SimModule>> modules_;
  bool started_ = true;
};

// One exchange that must be answered; sent again only when a busy machine
// held the reply back past its window (nothing received at all).
bool Answered(serial::LinkState& link, const std::string& command) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (serial::SendCommand(link, command)) return true;
    if (link.ReplyPos != 0) return false;
    serial::SleepMs(300);
  }
  return false;
}
}  // namespace

TEST(Connections, ThreadsKeepTheirOwnLineModuleAndTraceRecords) {
  ModulesOnPorts bench;
  ASSERT_TRUE(bench.Started());
  std::mutex recordsMutex;
  std::vector<serial::TraceRecord> records;
  serial::TraceLog trace;
  trace.SetCallback([&](const serial::TraceRecord& record) {
    std::lock_guard<std::mutex> lock(recordsMutex);
    records.push_back(record);
  });
  // The test's own connection never opens a port.
  serial::LinkState idle{serial::PortScope::AnyPort()};

  std::vector<ConnectionRun> runs(kConnections);
  std::vector<std::thread> threads;
  for (int i = 0; i < kConnections; ++i) {
    runs[i].port = kFirstPort + i;
    threads.emplace_back([&trace, &run = runs[i]] {
      serial::LinkState link{serial::PortScope::OnlyPort(run.port)};
      trace.Attach(link);
      RunConnection(link, run);
      trace.Detach(link);
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_FALSE(serial::PortIsOpen(idle));
  EXPECT_EQ(serial::PortOpenFailureCount(idle), 0u);
  for (int i = 0; i < kConnections; ++i) {
    const ConnectionRun& run = runs[i];
    const std::string serial = SerialOf(run.port);
    SCOPED_TRACE(serial::PortName(run.port));
    EXPECT_TRUE(run.otherPortRefused);
    EXPECT_EQ(run.otherPortProblem, serial::PortOpenProblem::NotThisConnection);
    ASSERT_EQ(run.framesSent, kExchanges);
    // The module took exactly the frames of its own connection.
    EXPECT_EQ(bench.On(run.port).Commands(), std::vector<std::string>(kExchanges, "H00M"));
    // A busy machine may let a reply miss its window; none may be another's.
    EXPECT_FALSE(run.accepted.empty());
    for (const std::string& reply : run.accepted) EXPECT_NE(reply.find(":" + serial), std::string::npos) << reply;
    int sent = 0;
    for (const serial::TraceRecord& record : records) {
      if (record.port != run.port) continue;
      if (record.direction == serial::TraceDirection::Sent) sent += 1;
      bool completeReply = record.direction == serial::TraceDirection::Received && record.bytes.front() == '\n' &&
                           record.bytes.back() == '\r';
      if (completeReply) {
        EXPECT_NE(record.bytes.find(":" + serial), std::string::npos) << record.bytes;
      }
    }
    EXPECT_EQ(sent, kExchanges);
  }
  for (const serial::TraceRecord& record : records) {
    EXPECT_GE(record.port, kFirstPort);
    EXPECT_LT(record.port, kFirstPort + kConnections);
  }
}

TEST(Connections, AConnectionReachesEveryPortOrOnlyItsOwn) {
  struct Case {
    int connectionPort;  // 0: any port
    int port;
    bool inReach;
  };
  const Case cases[] = {{0, 1, true}, {0, 16, true}, {4, 4, true}, {4, 3, false}, {4, 5, false}, {16, 1, false}};
  for (const Case& c : cases) {
    serial::LinkState link{c.connectionPort == 0 ? serial::PortScope::AnyPort()
                                                 : serial::PortScope::OnlyPort(c.connectionPort)};
    EXPECT_EQ(serial::PortInReach(link, c.port), c.inReach) << c.connectionPort << " " << c.port;
    if (c.inReach) continue;
    EXPECT_FALSE(serial::OpenPort(link, c.port, "19200,e,8,1"));
    EXPECT_EQ(serial::LastPortOpenFailure(link).problem, serial::PortOpenProblem::NotThisConnection);
    EXPECT_EQ(serial::DescribePortOpenFailure(serial::LastPortOpenFailure(link)),
              serial::PortName(c.port) + ": another connection's port");
  }
}

// Two connections on one thread, one after the other, and one connection
// handed from one thread to another: each sees its own port, replies, counts,
// trace and stop request, and nothing of the other's.
TEST(Connections, OneThreadTwoConnectionsAndOneConnectionTwoThreads) {
  ModulesOnPorts bench;
  ASSERT_TRUE(bench.Started());
  std::vector<int> tracedPorts;
  serial::LinkState first{serial::PortScope::OnlyPort(3)};
  first.TraceHook = [&](const serial::TraceEvent& event) {
    if (event.direction == serial::TraceDirection::Sent) tracedPorts.push_back(event.port);
  };
  ASSERT_TRUE(serial::OpenPort(first, 3, serial::kLineSettings[kLineIndexes[0]]));
  ASSERT_TRUE(Answered(first, "H00M"));
  serial::ClosePort(first);

  serial::LinkState second{serial::PortScope::AnyPort()};
  EXPECT_FALSE(serial::OpenPort(second, 9, "19200,e,8,1"));  // nothing behind COM9
  ASSERT_TRUE(serial::OpenPort(second, 4, serial::kLineSettings[kLineIndexes[1]]));
  ASSERT_TRUE(Answered(second, "H00M"));
  second.Stop.Request();
  // Handed to another thread, the second connection keeps its open port,
  // its reply and its counts, and goes on where it was.
  std::thread([&second] {
    EXPECT_TRUE(serial::PortIsOpen(second));
    EXPECT_NE(second.LastReply.find(":" + SerialOf(4)), std::string::npos) << second.LastReply;
    EXPECT_TRUE(second.Stop.Requested());
    EXPECT_TRUE(Answered(second, "H00V"));
    serial::ClosePort(second);
  }).join();

  EXPECT_NE(first.LastReply.find(":" + SerialOf(3)), std::string::npos) << first.LastReply;
  EXPECT_EQ(serial::PortOpenFailureCount(first), 0u);
  EXPECT_FALSE(first.Stop.Requested());
  EXPECT_EQ(tracedPorts, std::vector<int>(tracedPorts.size(), 3)) << "the second connection has no hook";
  EXPECT_FALSE(tracedPorts.empty());
  EXPECT_EQ(second.LastReply.rfind("\nV00:", 0), 0u) << second.LastReply;
  EXPECT_EQ(serial::PortOpenFailureCount(second), 1u);
  EXPECT_EQ(serial::LastPortOpenFailure(second).problem, serial::PortOpenProblem::None);
  EXPECT_FALSE(serial::PortIsOpen(second));
  EXPECT_EQ(bench.On(3).Commands().front(), "H00M");
  EXPECT_EQ(bench.On(4).Commands().back(), "H00V");
}

// A connection's stop request follows its program's: set either, it is
// stopped; clearing its own leaves the program's standing.
TEST(Connections, AStopRequestFollowsItsParent) {
  serial::StopRequest program;
  serial::LinkState a{serial::PortScope::AnyPort()}, b{serial::PortScope::AnyPort()};
  a.Stop.Follow(&program);
  b.Stop.Follow(&program);
  a.Stop.Request();
  EXPECT_TRUE(a.Stop.Requested());
  EXPECT_FALSE(b.Stop.Requested());
  program.Request();
  a.Stop.Clear();
  EXPECT_TRUE(a.Stop.Requested());
  EXPECT_TRUE(b.Stop.Requested());
  program.Clear();
  EXPECT_FALSE(a.Stop.Requested());
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
  serial::SetPortTable([&](const std::string& name) -> std::optional<std::string> {
    if (name == "COM3") return path;
    return name == "COM4" && com4Behind ? link : std::string();
  });
  std::promise<void> held, tried, closed;
  std::thread holder([&] {
    serial::LinkState connection{serial::PortScope::OnlyPort(3)};
    bool opened = serial::OpenPort(connection, 3, "19200,e,8,1");
    held.set_value();
    tried.get_future().wait();
    if (opened) serial::ClosePort(connection);
    closed.set_value();
  });
  std::thread other([&] {
    serial::LinkState connection{serial::PortScope::OnlyPort(4)};
    connection.ConnectionDevice.emplace(link);
    held.get_future().wait();
    EXPECT_FALSE(serial::OpenPort(connection, 4, "19200,e,8,1"));
    EXPECT_EQ(serial::LastPortOpenFailure(connection).problem, serial::PortOpenProblem::HeldHere);
    EXPECT_EQ(serial::DescribePortOpenFailure(serial::LastPortOpenFailure(connection)),
              "COM4 (" + link + "): held by this program (as COM3)");
    tried.set_value();
    closed.get_future().wait();
    com4Behind = false;
    EXPECT_TRUE(serial::OpenPort(connection, 4, "19200,e,8,1"))
        << serial::DescribePortOpenFailure(serial::LastPortOpenFailure(connection));
    serial::ClosePort(connection);
  });
  other.join();
  holder.join();
  serial::SetPortTable({});
}
