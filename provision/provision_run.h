// SPDX-License-Identifier: MIT
#pragma once
// Provisioning one module from a profile: write each setting that differs
// from what the scan read (IDs, key count, mode with RS-485, then the line
// setting, since the module talks at the new setting only after that), then
// scan again to read the module back. A write that fails ends the run of
// that module; a read-back that fails or differs from the profile is a
// failure; a stop is taken before each write, never within one. The outcome
// is a record, which the front end reports and appends to its CSV file.
//
// The front end lends its connection (ProvisionConnection): the operations
// run on its panel, and it says what the module took and whether a stop was
// asked for. Nothing here prints.

#include <string>
#include <vector>

#include "connection.h"
#include "exit_codes.h"
#include "module_readout.h"
#include "profile.h"
#include "scripted_panel.h"
#include "write_ledger.h"

// A module operation (operations.h) as the front end runs it.
using Operation = void (*)(commands::Connection& c, commands::OperatorPanel& panel);

// What provisioning needs of the front end's connection.
class ProvisionConnection {
 public:
  virtual ~ProvisionConnection() = default;
  // The panel the operations read their values from.
  virtual ScriptedPanel& Panel() = 0;
  // Runs one operation; kExitOk when it ended in success.
  virtual ExitCode Run(Operation operation) = 0;
  // Scans as the window's Scan button does; kExitOk once the module was
  // read completely, readout then holds what was read. ScanQuietly shows
  // the operator nothing of it (a run waiting for the next module).
  virtual ExitCode Scan(ModuleReadout& readout) = 0;
  virtual ExitCode ScanQuietly(ModuleReadout& readout) = 0;
  // What the module took in during the last operation.
  virtual const WriteLedger& Ledger() const = 0;
  // Keeps the scan result where the connection keeps one (after a new line
  // setting, the next scan finds the module at once).
  virtual void StoreScanResult() = 0;
  // Whether a stop was asked for; waiting up to ms milliseconds for one
  // (true when one was asked for).
  virtual bool StopRequested() const = 0;
  virtual bool WaitForStop(int ms) = 0;
  // The connection's link and module state (where the scan found the module).
  virtual const commands::Connection& State() const = 0;
};

// The CSV columns of a record, and a record's fields in that order (port 0:
// none).
extern const std::vector<std::string> kApplyCsvHeader;

// The time now in UTC, ISO 8601 to the millisecond: "2024-05-01T12:00:01.234Z".
// Safe on several threads at once.
std::string TimestampNow();

struct ApplyRecord {
  std::string time = TimestampNow();
  ModuleReadout module;  // as the first scan read it
  bool readBack = false;
  ModuleSettings after;  // as the read-back read it
  std::vector<std::string> written;
  std::string outcome = "ok";
  ExitCode code = kExitOk;
};

// Provisions the module that module describes (as the scan just read it).
ApplyRecord ProvisionModule(ProvisionConnection& connection, const Profile& profile, const ModuleReadout& module);

std::vector<std::string> ApplyCsvFields(const ApplyRecord& record, int port);

// The words blank apart.
std::string Joined(const std::vector<std::string>& words);
