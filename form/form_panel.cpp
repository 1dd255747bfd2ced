// SPDX-License-Identifier: MIT
#include "form_panel.h"

#include <cstdio>

namespace form {

using C = FormControl;

FormPanel::FormPanel() { connection_.StoreScanResult = true; }

void FormPanel::ShowMessage(const std::string& bytes) { SetCaption(C::pnMsg, bytes); }

void FormPanel::SetLamp(commands::LampColour colour) { FillLamp(colour == commands::LampColour::Yellow ? kYellow : kRed); }

void FormPanel::ReportPortProblem(const std::string& line) {
  std::fprintf(stderr, "rt420config: %s\n", line.c_str());
  std::fflush(stderr);
}

void FormPanel::EnterWaitState() {
  SetHourglass(true);
  SetWindowEnabled(false);
}

void FormPanel::LeaveWaitState() {
  SetWindowEnabled(true);
  SetHourglass(false);
}

void FormPanel::SetBusy(bool busy) { RunSetBusy(*this, busy); }

void FormPanel::ProcessMessages() { PumpMessages(); }

std::string FormPanel::IdText() { return PanelCaption(C::pnID); }
std::string FormPanel::Id2Text() { return PanelCaption(C::pnID2); }
std::string FormPanel::KeyText() { return PanelCaption(C::pnKey); }
int FormPanel::LineSettingIndex() { return SelectedItem(C::cmbBaudRate); }
int FormPanel::ModeIndex() { return SelectedItem(C::cmbMode); }
int FormPanel::Rs485Index() { return SelectedItem(C::cmbRS485); }
bool FormPanel::LockChecked() { return BoxChecked(C::chkLock); }

void FormPanel::SelectLineSetting(int index) { SelectListItem(C::cmbBaudRate, index); }
void FormPanel::SelectMode(int index) { SelectListItem(C::cmbMode, index); }
void FormPanel::SelectRs485(int index) { SelectListItem(C::cmbRS485, index); }
void FormPanel::SetIdText(const std::string& bytes) { SetCaption(C::pnID, bytes); }
void FormPanel::SetId2Text(const std::string& bytes) { SetCaption(C::pnID2, bytes); }
void FormPanel::SetKeyText(const std::string& bytes) { SetCaption(C::pnKey, bytes); }
void FormPanel::MoveIdBar(int position) { MoveBar(C::sbID, position); }
void FormPanel::MoveId2Bar(int position) { MoveBar(C::sbID2, position); }

void FormPanel::ShowSerial(const std::string& caption, const std::string&) { SetCaption(C::pnSerial, caption); }
void FormPanel::ShowVersion(const std::string& caption, const std::string&) { SetCaption(C::pnVersion, caption); }

void FormPanel::ShowCardData(int reader, const std::string& bytes) {
  SetCaption(reader == 1 ? C::pnWie1 : C::pnWie2, bytes);
}

void FormPanel::LockOperationControls(bool locked) {
  for (FormControl control : kOperationLockOrder) SetControlEnabled(control, !locked);
}

void FormPanel::EnableWindow() { SetWindowEnabled(true); }

}  // namespace form
