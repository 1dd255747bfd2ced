// SPDX-License-Identifier: MIT
#pragma once
// The steps the module subcommands are built from: the scan that each runs
// first, one operation judged by its outcome, and what the scan read.

#include <string>

#include "cli_output.h"
#include "cli_session.h"
#include "exit_codes.h"
#include "module_readout.h"
#include "setting_words.h"
#include "write_ledger.h"

// Runs the scan as the window's Scan button does, with the lock box as --lock
// sets it and, with --port N, the quick try at COM N; a module found there is
// stored as a full search's find would be. kExitOk once the scan has read
// the module completely; then readout holds what it read. After a scan that
// missed (COM N silent or not opened, no module found, a stopped search)
// stderr says what was searched and why, unless messages are muted or the
// connection is one of a bench's (its result says it).
ExitCode ScanModule(CliConnection& connection, ModuleReadout& readout);

// Runs one operation on the connection's panel (ModuleConnection::RunOnPanel).
// For 3 stderr names each port that does not open, its device and why
// (unless messages are muted, or on a bench's connection). The connection's
// write ledger then holds what the module took.
ExitCode RunOperation(CliConnection& connection, Operation operation);

// The readout as "name: value" lines, and as a JSON object.
void PrintReadout(const ModuleReadout& readout);
JsonObject ReadoutJson(const ModuleReadout& readout);

// Every setting as "name: value" lines, with "before -> after" where the
// two differ: the echo after a write.
void PrintChanges(const ModuleReadout& before, const ModuleReadout& after);

// {"id1":"12","id2":"07"}: the values as one JSON object.
JsonObject ValuesJson(const std::vector<WrittenValue>& values);

// The JSON result of a module subcommand: subcommand, exit code, outcome,
// the last message and every message shown.
JsonObject OutcomeJson(const CliConnection& connection, ExitCode code);
