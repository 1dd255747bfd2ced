// Wiegand processing: polls reader 1 ("H" + pnID + "F") and, in two-reader
// mode, reader 2 ("H" + pnID2 + "F"), and shows each reply's data live until
// the operator clicks btnProcess again or a poll goes unanswered.
//
// The loop runs inside the click handler with the window enabled, so the
// second click re-enters this function; that call only clears the
// processing flag, which the loop tests before every cycle. btnKey is
// disabled with the other controls: the key-count operation opens the port
// itself and must not run while the loop holds it.

#include <QPushButton>
#include <QWidget>
#include <vector>

#include "catalogue.h"
#include "deadline.h"
#include "frames.h"
#include "main_window.h"
#include "module_state.h"
#include "operation_steps.h"
#include "operations.h"
#include "serial_port.h"
#include "tone.h"

namespace {
constexpr int kMsgStartScan = 2, kMsgCancelProcess = 3, kMsgOpenCom = 14, kMsgError = 15;
constexpr int kPauseSlices = 20;
constexpr unsigned kSliceMs = 2;
// Reply lengths from which a reply carries data for the first and the second
// reader's panel; the data stands from character 7 to three before the end.
constexpr int kMinReplyReader1 = 10;
constexpr int kMinReplyReader2 = 9;

// The controls that could start another operation, in the order they are
// disabled and enabled again.
std::vector<QWidget*> LockedControls(TfrmModule& form) {
  return {form.btnExit, form.btnScan, form.btnFactory, form.btnID,  form.btnBaudRate, form.btnMode,
          form.gbDefault, form.btnEng, form.btnGB,     form.btnBIG5, form.btnKey};
}

void SetControlsEnabled(TfrmModule& form, bool enabled) {
  for (QWidget* control : LockedControls(form)) control->setEnabled(enabled);
}

// 20 times: handle pending events, sleep 2 ms. Keeps the window responsive.
void PollPause() {
  for (int i = 0; i < kPauseSlices; ++i) {
    TfrmModule::ProcessMessages();
    SleepMs(kSliceMs);
  }
}

bool Poll(const std::string& idText, TPanel* panel, int minLength) {
  if (!SendCommand("H" + idText + "F")) return false;
  if (Link.ReplyPos >= minLength) panel->SetCaption(ReplyChars(7, Link.ReplyPos - 3));
  return true;
}

void PollLoop(TfrmModule& form) {
  while (Module.Processing) {
    PollPause();
    if (!Poll(form.pnID->Caption(), form.pnWie1, kMinReplyReader1)) return;
    if (form.cmbMode->currentIndex() != 0) continue;
    PollPause();
    if (!Poll(form.pnID2->Caption(), form.pnWie2, kMinReplyReader2)) return;
  }
}

void ShowOpenFailure(TfrmModule& form) {
  form.SetLamp(TfrmModule::kRed);
  form.ShowMessage(MessageText(kMsgOpenCom) + " : " + std::to_string(Module.ScanCommNo) + " " + MessageText(kMsgError));
  Beep(kLowBeepHz, kBeepMs);
}

void ProcessOnOpenPort(TfrmModule& form) {
  PortGuard port;
  form.SetBusy(true);
  form.setEnabled(true);
  PollLoop(form);
  form.SetBusy(false);
  bool stopped = !Module.Processing;
  form.SetLamp(stopped ? TfrmModule::kYellow : TfrmModule::kRed);
  Beep(stopped ? kHighBeepHz : kLowBeepHz, kBeepMs);
  port.Close();
}
}  // namespace

void RunWiegandProcessing(TfrmModule& form) {
  if (!Module.ModuleFound) {
    form.ShowMessage(MessageText(kMsgStartScan));
    Beep(kLowBeepHz, kBeepMs);
    return;
  }
  if (Module.Processing) {  // the stop request
    Module.Processing = false;
    return;
  }
  Module.Processing = true;
  const QString savedCaption = form.btnProcess->text();
  form.btnProcess->setText(TfrmModule::Display(MessageText(kMsgCancelProcess)));
  form.pnWie1->SetCaption("");
  form.pnWie2->SetCaption("");
  SetControlsEnabled(form, false);

  if (OpenPort(Module.ScanCommNo, Module.ScanBaudRate)) {
    ProcessOnOpenPort(form);
  } else {
    ShowOpenFailure(form);
  }

  Module.Processing = false;
  SetControlsEnabled(form, true);
  form.btnProcess->setText(savedCaption);
}
