// SPDX-License-Identifier: MIT
#pragma once
// The subcommands of rt420ctl, each on a session set up for it. Each returns
// its exit code (exit_codes.h); each ends with the port closed.

#include "cli_session.h"
#include "exit_codes.h"

// scan: runs the scan and prints what it read.
ExitCode RunScanCommand(CliSession& session);
// set-id, set-baud, set-keys, set-mode, factory-default: scans, then runs
// the operation with the operator's values from the command line.
ExitCode RunWriteCommand(CliSession& session);
// watch: scans, then runs Wiegand processing until a stop request.
ExitCode RunWatchCommand(CliSession& session);
// apply: provisions modules from a profile.
ExitCode RunApplyCommand(CliSession& session);
// ports: a line for each of COM1 to COM16.
ExitCode RunPortsCommand(const CliOptions& options);
