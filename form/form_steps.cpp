// SPDX-License-Identifier: MIT
#include "form_steps.h"

#include <cstdio>

#include "catalogue.h"
#include "connection.h"
#include "messages.h"
#include "settings_store.h"

namespace form {

namespace {
constexpr int kTwoReader = 0;
constexpr int kRs485Middle = 1;
}  // namespace

std::vector<FormText> LanguageTexts() {
  using C = FormControl;
  return {
      {C::frmModule, catalogue::MessageText(catalogue::kMsgTitle)},
      {C::pnTAVIX, catalogue::MessageText(catalogue::kMsgCompany)},
      {C::pnMsg, catalogue::MessageText(catalogue::kMsgStartScan)},
      {C::pnSerial, catalogue::MessageText(catalogue::kMsgSerial) + " : ________-_"},
      {C::pnVersion, catalogue::MessageText(catalogue::kMsgVersion) + " : __.__-__"},
      {C::lblID, catalogue::MessageText(catalogue::kMsgId) + " 1:"},
      {C::lblID2, catalogue::MessageText(catalogue::kMsgId) + " 2:"},
      {C::lblBaudRate, catalogue::MessageText(catalogue::kMsgBaudRate) + ":"},
      {C::btnScan, catalogue::MessageText(catalogue::kMsgScanModule)},
      {C::btnID, catalogue::MessageText(catalogue::kMsgSetId)},
      {C::btnBaudRate, catalogue::MessageText(catalogue::kMsgSetBaudRateButton)},
      {C::btnMode, catalogue::MessageText(catalogue::kMsgSetMode)},
      {C::btnProcess, catalogue::MessageText(catalogue::kMsgProcess)},
      {C::gbDefault, catalogue::MessageText(catalogue::kMsgQuickSetting)},
      {C::tsDefault, catalogue::MessageText(catalogue::kMsgDefault)},
      {C::btnFactory, "(" + catalogue::MessageText(catalogue::kMsgFactoryDefault) + ")"},
      {C::btnExit, catalogue::MessageText(catalogue::kMsgExit)},
  };
}

void RunFormCreate(FormView& view, commands::Connection& connection) {
  store::LoadSettings(connection);
  view.RemoveCloseCommand();
  connection.Processing = false;
  connection.ModuleFound = false;
  // The stored index is used as it is: one outside the list selects nothing.
  view.SelectListItem(FormControl::cmbBaudRate, connection.ScanBaudRateNo);
  view.SelectListItem(FormControl::cmbMode, kTwoReader);
  view.SelectListItem(FormControl::cmbRS485, kRs485Middle);
  connection.ProcessPendingEvents = [&view] { view.PumpMessages(); };
  store::InstallPortTable();
}

void RunFormShow(FormView& view) {
  for (const FormText& text : LanguageTexts()) view.SetCaption(text.control, text.bytes);
}

void RunSelectLanguageAndApply(FormView& view, int languageIndex) {
  catalogue::SelectLanguage(languageIndex);
  store::SaveLanguage();
  RunFormShow(view);
}

void RunSetBusy(FormView& view, bool busy) {
  if (busy) {
    view.SetBlinkTimer(true);
    view.SetWindowEnabled(false);
  } else {
    view.SetWindowEnabled(true);
    view.SetBlinkTimer(false);
  }
}

void RunBusyTick(FormView& view, int& tag) {
  if (tag == 1) {
    tag = 0;
    view.FillLamp(kYellow);
  } else {
    tag = 1;
    view.FillLamp(kRed);
  }
}

std::string LayoutCaption(FormControl control) {
  if (control == FormControl::frmModule) return catalogue::CatalogueText(catalogue::kMsgTitle, 0);
  if (control == FormControl::pnTAVIX) return catalogue::CatalogueText(catalogue::kMsgCompany, 0);
  return RowOf(control).layoutText;
}

}  // namespace form
