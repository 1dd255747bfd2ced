// SPDX-License-Identifier: MIT
#pragma once
// A connection of a front end without a window, as provisioning borrows it:
// one Connection (the link and module state of one port), the scripted panel
// the operations run on, and what the connection keeps of its traffic (the
// frames it sent, for an operation's outcome, and what the module took in,
// for the write ledger). The front end feeds it the records of the trace log
// attached to the connection (TakeRecord) and supplies the rest of
// ProvisionConnection (how it scans, and its stop request).
//
// A connection that stores starts at the stored scan result and writes what
// a scan finds back to the store; one that does not (a bench's) starts fresh
// and stores nothing: the store remembers one module, not many.

#include <atomic>
#include <cstdint>
#include <memory>

#include "connection.h"
#include "exit_codes.h"
#include "module_readout.h"
#include "provision_run.h"
#include "scripted_panel.h"
#include "trace_log.h"
#include "write_ledger.h"

class ModuleConnection : public ProvisionConnection {
 public:
  // Confined to the scope's ports; stores loads the stored scan result.
  ModuleConnection(serial::PortScope scope, bool stores);
  ModuleConnection(const ModuleConnection&) = delete;
  ModuleConnection& operator=(const ModuleConnection&) = delete;

  ScriptedPanel& Panel() override { return *panel_; }
  const ScriptedPanel& Panel() const { return *panel_; }
  commands::Connection& State() { return state_; }
  const commands::Connection& State() const override { return state_; }

  // Failed port opens and frames sent so far on this connection.
  LinkActivity Activity() const;

  // What the module took in since the last operation began.
  const WriteLedger& Ledger() const override { return ledger_; }

  // Writes the scan result in memory to the store, unless the connection
  // stores nothing or the store already holds it from the start or an
  // earlier write here.
  void StoreScanResult() override;

  // Runs one operation on the panel, its outcome and ledger cleared first:
  // kExitOk on the yellow lamp of a successful end, else kExitPort or
  // kExitModule (exit_codes.h).
  ExitCode RunOnPanel(Operation operation);

  // What the last scan read, from the panel and the scan result, once it
  // read the module completely.
  ModuleReadout ReadOut() const;

  // A trace record of this connection (any thread that runs it).
  void TakeRecord(const serial::TraceRecord& record);

 private:
  commands::Connection state_;
  std::unique_ptr<ScriptedPanel> panel_;
  std::atomic<uint64_t> framesSent_{0};
  WriteLedger ledger_;
  store::ScanResult stored_;
};
