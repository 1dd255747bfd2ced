// SPDX-License-Identifier: MIT
#pragma once
// The operator's request to stop: an interrupt, a termination request or a
// hang-up from the system (Ctrl+C, SIGINT, SIGTERM, SIGHUP; on Windows the
// console's Ctrl+C, Ctrl+Break and close events), or a deadline the program
// sets itself (watch --seconds).
//
// The first signal only sets the request: the operation in progress ends its
// step (Wiegand polling ends after the current cycle; a write is never cut
// off in the middle, and no write begins after it; a search tries no further
// port), the port is closed and the program ends normally, with its records
// written. The first signal says so on stderr, each kind in its own words. A second
// interrupt or termination request ends the program at once, as if no
// handler were installed; a hang-up never does (a closed terminal may send
// several).
//
// Threads: every call but InstallStopRequest is safe from several threads at
// once (InstallStopRequest runs once, before the connections start). A stop,
// whatever its source, wakes every thread waiting in WaitForStop or
// WaitForStopSignal at that moment, and every later wait returns at once:
// a stop is never taken back. A deadline set while other threads wait takes
// effect at their next wait.

#include "link_state.h"

// Installs the handlers. Platform file (stop_request_posix.cpp). A reader of
// the output that goes away (a closed pipe) does not end the program: the
// write fails and the program requests a stop itself.
void InstallStopRequest();
// True once a signal came. Platform file.
bool StopSignalled();
// Waits up to ms milliseconds, returning early when a signal comes or a
// stop was requested (WakeStopWaiters); true when a signal came. Never spins.
// Platform file.
bool WaitForStopSignal(int ms);
// Wakes every thread in WaitForStopSignal now and makes every later call
// return at once. Platform file.
void WakeStopWaiters();

// From now on every stop signal also sets request (the session's, which its
// connections follow), from the handler itself: a lock-free store, safe in
// a signal handler and on the console handler's thread. A signal that came
// before sets it at once. nullptr ends the forwarding; request must outlive
// it. Only the signals set it, not RequestStop or the deadline.
void ForwardStopSignals(serial::StopRequest* request);
// Sets the forwarded request, if any (called by the platform's handler).
void SetForwardedStop();

// Requests a stop from within the program (stdout has gone away).
void RequestStop();
// Sets the deadline, seconds from now.
void SetStopDeadline(double seconds);
// True once a signal came, a stop was requested or the deadline has passed.
bool StopRequested();
// Waits up to ms milliseconds or until a stop is requested; true when one is.
bool WaitForStop(int ms);
