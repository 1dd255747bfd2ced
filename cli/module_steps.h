// SPDX-License-Identifier: MIT
#pragma once
// The steps the module subcommands are built from: the scan that each runs
// first, one operation judged by its outcome, and what the scan read.

#include <string>

#include "cli_output.h"
#include "cli_session.h"
#include "exit_codes.h"
#include "write_ledger.h"

class OperatorPanel;
using Operation = void (*)(Connection& c, OperatorPanel& panel);

// The settings a scan reads, as texts of the module's replies (escaped with
// ShownText, so plain ASCII) and list indexes.
struct ModuleSettings {
  std::string id1, id2;  // "__" when not read
  int lineSettingIndex = -1;
  std::string keyCount;
  int modeIndex = -1;   // 0 two readers, 1 one reader
  int rs485Index = -1;  // 0 "RS485 24", 1 "RS485 32", 2 "RS485 40"
  bool operator==(const ModuleSettings&) const = default;
};

struct ModuleReadout {
  bool read = false;  // a scan read the module completely
  int port = 0;
  std::string device;  // the device behind the port now, if any
  std::string lineSetting;
  std::string serial, version;
  ModuleSettings settings;
};

// Runs the scan as the window's Scan button does, with the lock box as --lock
// sets it and, with --port N, the quick try at COM N; a module found there is
// stored as a full search's find would be. kExitOk once the scan has read
// the module completely; then readout holds what it read. After a scan that
// missed (COM N silent or not opened, no module found, a stopped search)
// stderr says what was searched and why, unless messages are muted or the
// connection is one of a bench's (its result says it).
ExitCode ScanModule(CliConnection& connection, ModuleReadout& readout);

// Runs one operation on the session's panel. Success is the yellow lamp of
// a successful end; the exit code follows exit_codes.h. For 3 stderr names
// each port that does not open, its device and why (unless messages are
// muted, or on a bench's connection). The session's write ledger then holds what the module took.
ExitCode RunOperation(CliConnection& connection, Operation operation);

// "two", "one"; "24", "32", "40"; "?" for anything else. These are the
// words the command line, profiles, CSV records and JSON take and give.
std::string ModeName(int modeIndex);
std::string Rs485Name(int rs485Index);
// "two readers", "one reader": the mode in every line printed for people.
std::string ModeWords(int modeIndex);

// The readout as "name: value" lines, and as a JSON object.
void PrintReadout(const ModuleReadout& readout);
JsonObject ReadoutJson(const ModuleReadout& readout);

// The readout with the written values put in: the module's state after a
// write, as far as the module acknowledged it.
ModuleReadout WithWritten(const ModuleReadout& before, const std::vector<WrittenValue>& written);

// Every setting as "name: value" lines, with "before -> after" where the
// two differ: the echo after a write.
void PrintChanges(const ModuleReadout& before, const ModuleReadout& after);

// The values in wanted that are not in accepted with the same value.
std::vector<WrittenValue> NotWritten(const std::vector<WrittenValue>& wanted,
                                     const std::vector<WrittenValue>& accepted);

// {"id1":"12","id2":"07"}: the values as one JSON object.
JsonObject ValuesJson(const std::vector<WrittenValue>& values);

// The JSON result of a module subcommand: subcommand, exit code, outcome,
// the last message and every message shown.
JsonObject OutcomeJson(const CliConnection& connection, ExitCode code);
