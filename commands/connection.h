// SPDX-License-Identifier: MIT
#pragma once
// A connection: everything one conversation with one port needs, in one
// value. Its link part (link_state.h) holds the open port, the last reply,
// the late-reply counts, the ports it may open, its trace hook, its stop
// request and the window's pending events; its module part (module_state.h)
// holds the scan result, the module-found flag and the processing flag.
//
// Every module operation takes the connection it works on, and nothing
// reaches a connection's state except through it. The window owns one
// connection, the command-line tool one per port it talks to. A new
// connection stores nothing and opens only the ports it is given, unless
// its owner says otherwise (StoreScanResult, PortScope::AnyPort()).

#include "link_state.h"
#include "module_state.h"

namespace commands {

struct Connection : serial::LinkState, ModuleState {
  explicit Connection(serial::PortScope scope) : serial::LinkState(scope) {}
};

}  // namespace commands
