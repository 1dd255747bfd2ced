// SPDX-License-Identifier: MIT
#pragma once
// One trace log for all the connections of a run: the log is each
// connection's trace hook while the connection is added, and each record it
// completes goes to the connection it came from (TakeRecord: the frames it
// sent, what the module took in). Until Spread, every record goes to the
// connection added as port 0 (the program's own, which may use any port);
// after it, each record goes to the connection of its port alone (a bench,
// one connection per port). The observer then sees every record, on the
// thread of the connection it came from.

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>

#include "module_connection.h"
#include "trace_log.h"

class ConnectionTraces {
 public:
  // spread: whether records go by their port (a bench) or all to port 0.
  using Observer = std::function<void(const serial::TraceRecord& record, bool spread)>;

  ConnectionTraces(size_t recordsKept, Observer observer);
  ConnectionTraces(const ConnectionTraces&) = delete;
  ConnectionTraces& operator=(const ConnectionTraces&) = delete;

  // Each on the connection's own thread; Remove before the connection goes.
  void Add(ModuleConnection& connection, int port);
  void Remove(ModuleConnection& connection, int port);
  // From now on each record goes to the connection of its port.
  void Spread() { spread_ = true; }

 private:
  void Route(const serial::TraceRecord& record);

  const Observer observer_;
  std::atomic<bool> spread_{false};
  std::mutex mutex_;
  std::map<int, ModuleConnection*> connections_;
  // Last: destroyed first, detaching from every connection still attached.
  serial::TraceLog log_;
};
