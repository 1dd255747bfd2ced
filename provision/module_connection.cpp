// SPDX-License-Identifier: MIT
#include "module_connection.h"

#include "serial_port.h"
#include "shown_text.h"
#include "two_digits.h"

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

ModuleReadout ModuleConnection::ReadOut() const {
  const commands::Connection& c = state_;
  const ScriptedPanel::Shown& shown = panel_->Showing();
  ModuleReadout r;
  r.read = true;
  r.port = c.ScanCommNo;
  r.device = text::ShownText(serial::DeviceBehindPort(c, c.ScanCommNo).value_or(""));
  r.lineSetting = c.ScanBaudRate;
  r.serial = text::ShownText(shown.serial);
  r.version = text::ShownText(shown.version);
  r.settings.id1 = text::ShownText(shown.idText);
  // In one-reader mode the panel shows "__" for ID 2; the bar holds the ID.
  std::string id2Read = shown.id2Read ? text::TwoDigits(*shown.id2Read) : "__";
  r.settings.id2 = shown.modeIndex == 0 ? text::ShownText(shown.id2Text) : id2Read;
  r.settings.lineSettingIndex = c.ScanBaudRateNo;
  r.settings.keyCount = text::ShownText(shown.keyText);
  r.settings.modeIndex = shown.modeIndex;
  r.settings.rs485Index = shown.rs485Index;
  return r;
}
