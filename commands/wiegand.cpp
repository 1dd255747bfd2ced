// SPDX-License-Identifier: MIT
// Wiegand processing: polls reader 1 ("H" + pnID + "F") and, in two-reader
// mode, reader 2 ("H" + pnID2 + "F"), and shows each reply's data live until
// the operator asks to stop or a poll goes unanswered.
//
// The loop runs inside the click handler with the window enabled, so a
// second click re-enters this function. While a processing invocation is
// on the stack, a click never starts another one: the first click after the
// start asks the connection to stop (and clears the processing flag); the
// loop tests the stop request before every cycle; any further click before
// the loop has returned does nothing. Anything else that holds the
// connection (the command line on a signal or at its deadline) stops the
// loop the same way, by asking. The key-count operation is locked out for
// the same span, since it would open the port that the loop holds.

#include <chrono>

#include "catalogue.h"
#include "deadline.h"
#include "frames.h"
#include "messages.h"
#include "connection.h"
#include "operation_steps.h"
#include "operations.h"
#include "operator_panel.h"
#include "reply_fields.h"
#include "serial_port.h"
#include "tone.h"

namespace commands {

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
  explicit ActiveScope(Connection& c) : c_(c) { c_.ProcessingActive = true; }
  ActiveScope(const ActiveScope&) = delete;
  ActiveScope& operator=(const ActiveScope&) = delete;
  ~ActiveScope() { c_.ProcessingActive = false; }

 private:
  Connection& c_;
};

// 20 times: let the operator's side catch up, then sleep to the slice's
// end. Slice i ends at start + 2(i+1) ms, measured from the pause's start,
// so the pause lasts 40 ms and one wake-up delay rather than twenty.
void PollPause(OperatorPanel& panel) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kPauseSlices; ++i) {
    panel.ProcessMessages();
    serial::SleepUntil(start + kSlice * (i + 1));
  }
}

bool Poll(Connection& c, OperatorPanel& panel, const std::string& idText, int reader, int minLength) {
  if (!serial::SendCommand(c, "H" + idText + "F")) return false;
  if (c.ReplyPos >= minLength) panel.ShowCardData(reader, ReplyCardData(c));
  return true;
}

void PollLoop(Connection& c, OperatorPanel& panel) {
  while (!c.Stop.Requested()) {
    PollPause(panel);
    if (!Poll(c, panel, panel.IdText(), kReader1, kMinReplyReader1)) return;
    if (panel.ModeIndex() != 0) continue;
    PollPause(panel);
    if (!Poll(c, panel, panel.Id2Text(), kReader2, kMinReplyReader2)) return;
  }
}

void ShowOpenFailure(const Connection& c, OperatorPanel& panel) {
  panel.SetLamp(LampColour::Red);
  panel.ShowMessage(catalogue::MessageText(catalogue::kMsgOpenCom) + " : " + std::to_string(c.ScanCommNo) + " " +
                    catalogue::MessageText(catalogue::kMsgError));
  tone::Beep(kLowBeepHz, kBeepMs);
}

void ProcessOnOpenPort(Connection& c, OperatorPanel& panel) {
  PortGuard port(c);
  panel.SetBusy(true);
  panel.EnableWindow();
  PollLoop(c, panel);
  panel.SetBusy(false);
  bool stopped = c.Stop.Requested();
  panel.SetLamp(stopped ? LampColour::Yellow : LampColour::Red);
  tone::Beep(stopped ? kHighBeepHz : kLowBeepHz, kBeepMs);
  port.Close();
}

// The controls locked and the caption changed while processing runs, and
// both put back on every path; the stop request of this run ends with it.
class ProcessingControls {
 public:
  ProcessingControls(Connection& c, OperatorPanel& panel) : c_(c), panel_(panel) {
    panel_.BeginProcessCaption(catalogue::MessageText(catalogue::kMsgCancelProcess));
    panel_.ShowCardData(kReader1, "");
    panel_.ShowCardData(kReader2, "");
    panel_.LockOperationControls(true);
  }
  ProcessingControls(const ProcessingControls&) = delete;
  ProcessingControls& operator=(const ProcessingControls&) = delete;
  ~ProcessingControls() {
    c_.Processing = false;
    c_.Stop.Clear();
    panel_.LockOperationControls(false);
    panel_.EndProcessCaption();
  }

 private:
  Connection& c_;
  OperatorPanel& panel_;
};
}  // namespace

void RunWiegandProcessing(Connection& c, OperatorPanel& panel) {
  if (!c.ModuleFound) {
    panel.ShowMessage(catalogue::MessageText(catalogue::kMsgStartScan));
    tone::Beep(kLowBeepHz, kBeepMs);
    return;
  }
  if (c.ProcessingActive) {  // the stop request, or a click while stopping
    c.Processing = false;
    c.Stop.Request();
    return;
  }
  ActiveScope active(c);
  c.Processing = true;
  ProcessingControls controls(c, panel);
  if (OpenModulePort(c, panel)) {
    ProcessOnOpenPort(c, panel);
  } else {
    ShowOpenFailure(c, panel);
  }
}

}  // namespace commands
