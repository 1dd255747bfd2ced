// SPDX-License-Identifier: MIT
#include "connection_traces.h"

ConnectionTraces::ConnectionTraces(size_t recordsKept, Observer observer)
    : observer_(std::move(observer)), log_(recordsKept) {
  log_.SetCallback([this](const serial::TraceRecord& record) { Route(record); });
}

void ConnectionTraces::Add(ModuleConnection& connection, int port) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connections_[port] = &connection;
  }
  log_.Attach(connection.State());
}

void ConnectionTraces::Remove(ModuleConnection& connection, int port) {
  log_.Detach(connection.State());
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = connections_.find(port);
  if (it != connections_.end() && it->second == &connection) connections_.erase(it);
}

void ConnectionTraces::Route(const serial::TraceRecord& record) {
  bool spread = spread_.load();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = connections_.find(spread ? record.port : 0);
    if (it != connections_.end()) it->second->TakeRecord(record);
  }
  if (observer_) observer_(record, spread);
}
