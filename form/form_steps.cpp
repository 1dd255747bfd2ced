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
      {C::frmModule, MessageText(kMsgTitle)},
      {C::pnTAVIX, MessageText(kMsgCompany)},
      {C::pnMsg, MessageText(kMsgStartScan)},
      {C::pnSerial, MessageText(kMsgSerial) + " : ________-_"},
      {C::pnVersion, MessageText(kMsgVersion) + " : __.__-__"},
      {C::lblID, MessageText(kMsgId) + " 1:"},
      {C::lblID2, MessageText(kMsgId) + " 2:"},
      {C::lblBaudRate, MessageText(kMsgBaudRate) + ":"},
      {C::btnScan, MessageText(kMsgScanModule)},
      {C::btnID, MessageText(kMsgSetId)},
      {C::btnBaudRate, MessageText(kMsgSetBaudRateButton)},
      {C::btnMode, MessageText(kMsgSetMode)},
      {C::btnProcess, MessageText(kMsgProcess)},
      {C::gbDefault, MessageText(kMsgQuickSetting)},
      {C::tsDefault, MessageText(kMsgDefault)},
      {C::btnFactory, "(" + MessageText(kMsgFactoryDefault) + ")"},
      {C::btnExit, MessageText(kMsgExit)},
  };
}

void RunFormCreate(FormView& view, Connection& connection) {
  LoadSettings(connection);
  view.RemoveCloseCommand();
  connection.Processing = false;
  connection.ModuleFound = false;
  // The stored index is used as it is: one outside the list selects nothing.
  view.SelectListItem(FormControl::cmbBaudRate, connection.ScanBaudRateNo);
  view.SelectListItem(FormControl::cmbMode, kTwoReader);
  view.SelectListItem(FormControl::cmbRS485, kRs485Middle);
  connection.ProcessPendingEvents = [&view] { view.PumpMessages(); };
  InstallPortTable();
}

void RunFormShow(FormView& view) {
  for (const FormText& text : LanguageTexts()) view.SetCaption(text.control, text.bytes);
}

void RunSelectLanguageAndApply(FormView& view, int languageIndex) {
  SelectLanguage(languageIndex);
  SaveLanguage();
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
  if (control == FormControl::frmModule) return CatalogueText(kMsgTitle, 0);
  if (control == FormControl::pnTAVIX) return CatalogueText(kMsgCompany, 0);
  return RowOf(control).layoutText;
}

}  // namespace form
