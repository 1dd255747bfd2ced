// SPDX-License-Identifier: MIT
// The handlers of both windows and the table that routes a click to them.
#include <exception>

#include "form_panel.h"
#include "operations.h"

namespace form {

namespace {

using C = FormControl;

// A control's click handler; operation: it runs a module operation, whose
// end throws away the input queued meanwhile.
struct ClickRow {
  FormControl control;
  void (FormPanel::*handler)();
  bool operation;
};

// One row per control that takes a click.
constexpr ClickRow kClickTable[] = {
    {C::btnScan, &FormPanel::btnScanClick, true},
    {C::btnID, &FormPanel::btnIDClick, true},
    {C::btnBaudRate, &FormPanel::btnBaudRateClick, true},
    {C::btnKey, &FormPanel::btnKeyClick, true},
    {C::btnMode, &FormPanel::btnModeClick, true},
    {C::btnProcess, &FormPanel::btnProcessClick, true},
    {C::btnFactory, &FormPanel::btnFactoryClick, true},
    {C::btnEng, &FormPanel::btnEngClick, false},
    {C::btnGB, &FormPanel::btnGBClick, false},
    {C::btnBIG5, &FormPanel::btnBIG5Click, false},
    {C::btnExit, &FormPanel::btnExitClick, false},
};

const ClickRow* ClickRowOf(FormControl control) {
  for (const ClickRow& row : kClickTable)
    if (row.control == control) return &row;
  return nullptr;
}

}  // namespace

void FormPanel::FormCreate() { RunFormCreate(*this, connection_); }
void FormPanel::FormShow() { RunFormShow(*this); }
void FormPanel::tmrBusyTimer() { RunBusyTick(*this, tmrBusyTag); }

void FormPanel::ShowBarPosition(FormControl bar, FormControl panel) {
  SetCaption(panel, text::TwoDigits(BarPosition(bar)));
}
void FormPanel::sbIDChange() { ShowBarPosition(C::sbID, C::pnID); }
void FormPanel::sbID2Change() { ShowBarPosition(C::sbID2, C::pnID2); }
void FormPanel::sbKeyChange() { ShowBarPosition(C::sbKey, C::pnKey); }

void FormPanel::btnScanClick() { commands::RunModuleScan(connection_, *this); }
void FormPanel::btnIDClick() { commands::RunSetModuleIds(connection_, *this); }
void FormPanel::btnBaudRateClick() { commands::RunSetBaudRate(connection_, *this); }
void FormPanel::btnKeyClick() { commands::RunSetKeyCount(connection_, *this); }
void FormPanel::btnModeClick() { commands::RunSetModuleMode(connection_, *this); }
void FormPanel::btnFactoryClick() { commands::RunFactoryDefault(connection_, *this); }

void FormPanel::btnProcessClick() {
  // A click taken late from the queue still counts from when it was made.
  const std::optional<uint32_t> clickAt = ProcessClickTime();
  if (!connection_.ProcessingActive && SecondClickOfTheStop(clickAt)) return;
  if (connection_.ProcessingActive && connection_.Processing) stopClickAt_ = clickAt;
  commands::RunWiegandProcessing(connection_, *this);
}

bool FormPanel::SecondClickOfTheStop(std::optional<uint32_t> clickAt) const {
  if (!clickAt || !stopClickAt_) return false;
  // Modulo 2^32: a click before the stop is far from it, not within it.
  return *clickAt - *stopClickAt_ < DoubleClickMs();
}

void FormPanel::btnEngClick() { RunSelectLanguageAndApply(*this, 0); }
void FormPanel::btnGBClick() { RunSelectLanguageAndApply(*this, 1); }
void FormPanel::btnBIG5Click() { RunSelectLanguageAndApply(*this, 2); }

void FormPanel::btnExitClick() {
  closeAllowed_ = true;
  CloseWindow();
}

bool FormPanel::HasClickHandler(FormControl control) { return ClickRowOf(control) != nullptr; }

bool FormPanel::RunsOperation(FormControl control) {
  const ClickRow* row = ClickRowOf(control);
  return row && row->operation;
}

void FormPanel::Click(FormControl control) {
  const ClickRow* row = ClickRowOf(control);
  if (!row) return;
  if (row->operation)
    RunOperationHandler([this, row] { (this->*row->handler)(); });
  else
    (this->*row->handler)();
}

void FormPanel::BarChanged(FormControl bar) {
  if (bar == C::sbID) sbIDChange();
  if (bar == C::sbID2) sbID2Change();
  if (bar == C::sbKey) sbKeyChange();
}

void FormPanel::RunHandler(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowHandlerException(error.what());
  } catch (...) {
    ShowHandlerException("Unknown exception");
  }
}

FormPanel::OperationScope::OperationScope(FormPanel& panel) : panel_(panel) {
  if (panel_.handlerDepth_++ == 0) panel_.operationClicks_ += 1;
}

FormPanel::OperationScope::~OperationScope() {
  if (panel_.handlerDepth_ == 1) panel_.DiscardPendingInput();
  panel_.handlerDepth_ -= 1;
}

}  // namespace form
