// SPDX-License-Identifier: MIT
#pragma once
// The subcommands of rt420ctl, each on a session set up for it: the one-port
// subcommands on the program's own connection, the bench's on a connection
// per port. Each returns its exit code (exit_codes.h); each ends with every
// port closed.

#include "cli_session.h"
#include "exit_codes.h"

// scan: runs the scan and prints what it read.
ExitCode RunScanCommand(CliConnection& connection);
// set-id, set-baud, set-keys, set-mode, factory-default: scans, then runs
// the operation with the operator's values from the command line.
ExitCode RunWriteCommand(CliConnection& connection);
// watch: scans, then runs Wiegand processing until a stop request.
ExitCode RunWatchCommand(CliConnection& connection);
// apply: provisions modules from a profile; with --ports on each port at once.
ExitCode RunApplyCommand(CliSession& session);
// discover: searches the ports at once and lists what is on each.
ExitCode RunDiscoverCommand(CliSession& session);
// survey: which reader IDs answer on a bus, and what the line shows.
ExitCode RunSurveyCommand(CliConnection& connection);
// linktest: how well the line carries exchanges, per reader ID.
ExitCode RunLinktestCommand(CliConnection& connection);
// watch --ids: the walk test, polling the reader IDs in turn.
ExitCode RunWalkCommand(CliConnection& connection);
// ports: a line for each of COM1 to COM16.
ExitCode RunPortsCommand(const CliOptions& options);
