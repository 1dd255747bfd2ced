// SPDX-License-Identifier: MIT
#include "module_connection.h"

#include "serial_port.h"

ModuleConnection::ModuleConnection(serial::PortScope scope, bool stores) : state_(scope) {
  if (stores) {
    // Where the window would start: at the stored scan result, which it
    // keeps up to date.
    store::LoadSettings(state_);
    state_.StoreScanResult = true;
  }
  stored_ = state_;
  panel_ = std::make_unique<ScriptedPanel>(state_);
}

LinkActivity ModuleConnection::Activity() const { return {serial::PortOpenFailureCount(state_), framesSent_.load()}; }

void ModuleConnection::TakeRecord(const serial::TraceRecord& record) {
  if (record.direction == serial::TraceDirection::Sent) framesSent_ += 1;
  ledger_.Take(record);
}

void ModuleConnection::StoreScanResult() {
  if (!state_.StoreScanResult) return;
  bool same = state_.ScanCommNo == stored_.ScanCommNo && state_.ScanBaudRate == stored_.ScanBaudRate &&
              state_.ScanBaudRateNo == stored_.ScanBaudRateNo;
  if (same) return;
  store::SaveScanResult(state_);
  stored_ = state_;
}

ExitCode ModuleConnection::RunOnPanel(Operation operation) {
  panel_->ClearOutcome();
  ledger_.Clear();
  LinkActivity before = Activity();
  operation(state_, *panel_);
  bool success = panel_->Lamp() == commands::LampColour::Yellow;
  return ExitCodeFor(success, before, Activity());
}
