// SPDX-License-Identifier: MIT
#pragma once
// The operator's request to stop: an interrupt or a termination request from
// the system (Ctrl+C, SIGINT, SIGTERM), or a deadline the program sets itself
// (watch --seconds).
//
// The first signal only sets the request: the operation in progress ends its
// step (Wiegand polling ends after the current cycle; a write is never cut
// off in the middle; a search tries no further port), the port is closed and
// the program ends normally. The first Ctrl+C says so on stderr. A second
// signal ends the program at once, as if no handler were installed.

// Installs the handlers. Platform file (stop_request_posix.cpp). A reader of
// the output that goes away (a closed pipe) does not end the program: the
// write fails and the program requests a stop itself.
void InstallStopRequest();
// True once a signal came. Platform file.
bool StopSignalled();
// Waits up to ms milliseconds, returning early when a signal comes; true when
// one came. Never spins. Platform file.
bool WaitForStopSignal(int ms);

// Requests a stop from within the program (stdout has gone away).
void RequestStop();
// Sets the deadline, seconds from now.
void SetStopDeadline(double seconds);
// True once a signal came, a stop was requested or the deadline has passed.
bool StopRequested();
// Waits up to ms milliseconds or until a stop is requested; true when one is.
bool WaitForStop(int ms);
