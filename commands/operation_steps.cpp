// SPDX-License-Identifier: MIT
#include "operation_steps.h"

#include "catalogue.h"
#include "messages.h"
#include "deadline.h"
#include "frames.h"
#include "connection.h"
#include "operator_panel.h"
#include "serial_port.h"
#include "tone.h"
#include "trace_log.h"

namespace commands {

namespace {
// Leaves the wait state when it goes out of scope, whatever happened.
class WaitStateGuard {
 public:
  WaitStateGuard(OperatorPanel& panel, bool processMessages) : panel_(panel) {
    panel_.EnterWaitState();
    if (processMessages) panel_.ProcessMessages();
  }
  WaitStateGuard(const WaitStateGuard&) = delete;
  WaitStateGuard& operator=(const WaitStateGuard&) = delete;
  ~WaitStateGuard() { panel_.LeaveWaitState(); }

 private:
  OperatorPanel& panel_;
};
}  // namespace

bool RefuseWithoutScan(const Connection& c, OperatorPanel& panel) {
  if (c.ModuleFound) return false;
  panel.SetLamp(LampColour::Red);
  panel.ShowMessage(catalogue::MessageText(catalogue::kMsgStartScan));
  tone::Beep(kLowBeepHz, kBeepMs);
  return true;
}

void ReportOutcome(OperatorPanel& panel, bool success, int okMessage, int errorMessage) {
  panel.SetLamp(success ? LampColour::Yellow : LampColour::Red);
  panel.ShowMessage(catalogue::MessageText(success ? okMessage : errorMessage));
  tone::Beep(success ? kHighBeepHz : kLowBeepHz, kBeepMs);
}

namespace {
// What the operator can do about a port that did not open.
std::string PortProblemHint(serial::PortOpenProblem problem) {
  switch (problem) {
    case serial::PortOpenProblem::PermissionDenied:
      return "; ask for access to the device (on Linux: sudo usermod -aG dialout $USER, then log in again)";
    case serial::PortOpenProblem::Busy:
      return "; another program holds it: close that program (rt420ctl ports names it)";
    case serial::PortOpenProblem::NothingBehindPort:
    case serial::PortOpenProblem::Missing:
      return "; check the cable and the port table (rt420ctl ports)";
    default: return "";
  }
}
}  // namespace

bool OpenModulePort(Connection& c, OperatorPanel& panel) {
  if (serial::OpenPort(c, c.ScanCommNo, c.ScanBaudRate)) return true;
  const serial::PortOpenFailure& failure = serial::LastPortOpenFailure(c);
  // The device path comes from the port table: escaped, it cannot disturb a
  // terminal.
  panel.ReportPortProblem(serial::TraceText("cannot open " + serial::DescribePortOpenFailure(failure)) +
                          PortProblemHint(failure.problem));
  return false;
}

bool PauseAndSend(serial::LinkState& link, const std::string& command) {
  serial::SleepMs(kPauseMs);
  return serial::SendCommand(link, command);
}

bool PauseAndSendIdentity(serial::LinkState& link, const std::string& command) {
  return PauseAndSend(link, command) && link.ReplyPos == kIdentityReplyLength;
}

int DecimalValue(const std::string& text) {
  if (text.empty() || text.size() > 9) return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

char LineSettingDigit(int index) { return "0123456789AB"[index]; }

PortGuard::~PortGuard() { Close(); }

void PortGuard::Close() {
  if (serial::PortIsOpen(link_)) serial::ClosePort(link_);
}

void RunWriteOperation(Connection& c, OperatorPanel& panel, const WriteOperation& operation) {
  WaitStateGuard wait(panel, operation.processMessagesOnEntry);
  if (RefuseWithoutScan(c, panel)) return;
  if (operation.prepare && !operation.prepare()) {
    ReportOutcome(panel, false, operation.okMessage, operation.errorMessage);
    return;
  }
  bool success = false;
  if (OpenModulePort(c, panel)) {
    PortGuard port(c);
    for (int attempt = 0; attempt < kWriteAttempts && !success; ++attempt) success = operation.attempt();
    port.Close();
  }
  ReportOutcome(panel, success, operation.okMessage, operation.errorMessage);
}

}  // namespace commands
