// SPDX-License-Identifier: MIT
// Wiegand processing: polls reader 1 ("H" + pnID + "F") and, in two-reader
// mode, reader 2 ("H" + pnID2 + "F"), and shows each reply's data live until
// the operator asks to stop or a poll goes unanswered.
//
// The loop runs inside the click handler with the window enabled, so a
// second click re-enters this function. While a processing invocation is
// on the stack, a click never starts another one: the first click after the
// start clears the processing flag (the stop request, which the loop tests
// before every cycle); any further click before the loop has returned does
// nothing. The key-count operation is locked out for the same span, since it
// would open the port that the loop holds.

#include <chrono>

#include "catalogue.h"
#include "deadline.h"
#include "frames.h"
#include "messages.h"
#include "module_state.h"
#include "operation_steps.h"
#include "operations.h"
#include "operator_panel.h"
#include "reply_fields.h"
#include "serial_port.h"
#include "tone.h"

namespace {
constexpr int kPauseSlices = 20;
constexpr std::chrono::milliseconds kSlice{2};
constexpr int kReader1 = 1, kReader2 = 2;
// Reply lengths from which a reply carries data for the first and the second
// reader's panel.
constexpr int kMinReplyReader1 = 10;
constexpr int kMinReplyReader2 = 9;

// Marks a processing invocation as on the stack for its whole length, on
// every path.
class ActiveScope {
 public:
  ActiveScope() { Module.ProcessingActive = true; }
  ActiveScope(const ActiveScope&) = delete;
  ActiveScope& operator=(const ActiveScope&) = delete;
  ~ActiveScope() { Module.ProcessingActive = false; }
};

// 20 times: let the operator's side catch up, then sleep to the slice's
// end. Slice i ends at start + 2(i+1) ms, measured from the pause's start,
// so the pause lasts 40 ms and one wake-up delay rather than twenty.
void PollPause(OperatorPanel& panel) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kPauseSlices; ++i) {
    panel.ProcessMessages();
    SleepUntil(start + kSlice * (i + 1));
  }
}

bool Poll(OperatorPanel& panel, const std::string& idText, int reader, int minLength) {
  if (!SendCommand("H" + idText + "F")) return false;
  if (Link.ReplyPos >= minLength) panel.ShowCardData(reader, ReplyCardData());
  return true;
}

void PollLoop(OperatorPanel& panel) {
  while (Module.Processing) {
    PollPause(panel);
    if (!Poll(panel, panel.IdText(), kReader1, kMinReplyReader1)) return;
    if (panel.ModeIndex() != 0) continue;
    PollPause(panel);
    if (!Poll(panel, panel.Id2Text(), kReader2, kMinReplyReader2)) return;
  }
}

void ShowOpenFailure(OperatorPanel& panel) {
  panel.SetLamp(LampColour::Red);
  panel.ShowMessage(MessageText(kMsgOpenCom) + " : " + std::to_string(Module.ScanCommNo) + " " +
                    MessageText(kMsgError));
  Beep(kLowBeepHz, kBeepMs);
}

void ProcessOnOpenPort(OperatorPanel& panel) {
  PortGuard port;
  panel.SetBusy(true);
  panel.EnableWindow();
  PollLoop(panel);
  panel.SetBusy(false);
  bool stopped = !Module.Processing;
  panel.SetLamp(stopped ? LampColour::Yellow : LampColour::Red);
  Beep(stopped ? kHighBeepHz : kLowBeepHz, kBeepMs);
  port.Close();
}

// The controls locked and the caption changed while processing runs, and
// both put back on every path.
class ProcessingControls {
 public:
  explicit ProcessingControls(OperatorPanel& panel) : panel_(panel) {
    panel_.BeginProcessCaption(MessageText(kMsgCancelProcess));
    panel_.ShowCardData(kReader1, "");
    panel_.ShowCardData(kReader2, "");
    panel_.LockOperationControls(true);
  }
  ProcessingControls(const ProcessingControls&) = delete;
  ProcessingControls& operator=(const ProcessingControls&) = delete;
  ~ProcessingControls() {
    Module.Processing = false;
    panel_.LockOperationControls(false);
    panel_.EndProcessCaption();
  }

 private:
  OperatorPanel& panel_;
};
}  // namespace

void RunWiegandProcessing(OperatorPanel& panel) {
  if (!Module.ModuleFound) {
    panel.ShowMessage(MessageText(kMsgStartScan));
    Beep(kLowBeepHz, kBeepMs);
    return;
  }
  if (Module.ProcessingActive) {  // the stop request, or a click while stopping
    Module.Processing = false;
    return;
  }
  ActiveScope active;
  Module.Processing = true;
  ProcessingControls controls(panel);
  if (OpenModulePort(panel)) {
    ProcessOnOpenPort(panel);
  } else {
    ShowOpenFailure(panel);
  }
}
