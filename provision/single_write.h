// SPDX-License-Identifier: MIT
#pragma once
// Writing one setting to a module that a scan has just read, as an operator
// sets the value in the window and presses the operation's button. A stop
// asked for before the write begins writes nothing; a write that has begun
// is finished. What the module took is read from the connection's write
// ledger, so a half-done write (ID 1 taken, ID 2 not) is never mistaken for
// none. A new line setting is kept as the scan result, so that the next run
// finds the module at once.

#include <optional>
#include <vector>

#include "exit_codes.h"
#include "module_readout.h"
#include "provision_run.h"
#include "write_ledger.h"

enum class WriteKind { Ids, LineSetting, KeyCount, Mode, FactoryDefault };

// The setting and its values, as the operator would choose them.
struct WriteChoice {
  WriteKind kind = WriteKind::FactoryDefault;
  int id1 = 0;                    // Ids, 1 to 99
  std::optional<int> id2;         // Ids: written in two-reader mode
  int lineSettingIndex = -1;      // LineSetting, 0 to 11
  int keyCount = -1;              // KeyCount, 0 to 20
  int modeIndex = -1;             // Mode: 0 two readers, 1 one reader
  std::optional<int> rs485Index;  // Mode: 0 (24), 1 (32), 2 (40); else the module's
};

struct WriteResult {
  ExitCode code = kExitOk;
  std::vector<WrittenValue> accepted;  // what the module took
  std::vector<WrittenValue> missing;   // what it was meant to take and did not
  ModuleReadout after;                 // before, with what it took put in
};

WriteResult WriteSetting(ProvisionConnection& connection, const WriteChoice& choice, const ModuleReadout& before);
