// SPDX-License-Identifier: MIT
#pragma once
// Discovery: what one port of a bench holds, found by the connection
// confined to it (a scan of that port alone, at the twelve line settings in
// the search's order, reading the module where one answers). Nothing is
// stored and nothing printed.

#include <string>

#include "bench_ports.h"
#include "module_connection.h"

// What one port's search came to.
struct PortFinding {
  enum class Kind { NotOpened, Silent, Module, SameDevice } kind = Kind::NotOpened;
  int port = 0;
  std::string device;
  std::string reason;    // NotOpened: why
  bool answered = false;  // Silent: a module answered but could not be read
  ModuleReadout module;  // Module: what the scan read
  int sameDeviceAs = 0;  // SameDevice: the lower port searched in its place
};

// A port whose device a lower port of the bench has: not searched again.
PortFinding SameDeviceFinding(const BenchPort& port);

// Searches the connection's one port; a stop request ends the search.
PortFinding DiscoverPort(ModuleConnection& connection);
