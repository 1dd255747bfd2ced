#include "operation_steps.h"

#include "catalogue.h"
#include "deadline.h"
#include "frames.h"
#include "main_window.h"
#include "module_state.h"
#include "serial_port.h"
#include "tone.h"

namespace {
// Leaves the wait state when it goes out of scope, whatever happened.
class WaitStateGuard {
 public:
  WaitStateGuard(TfrmModule& form, bool processMessages) : form_(form) {
    form_.EnterWaitState();
    if (processMessages) TfrmModule::ProcessMessages();
  }
  WaitStateGuard(const WaitStateGuard&) = delete;
  WaitStateGuard& operator=(const WaitStateGuard&) = delete;
  ~WaitStateGuard() { form_.LeaveWaitState(); }

 private:
  TfrmModule& form_;
};
}  // namespace

bool RefuseWithoutScan(TfrmModule& form) {
  if (Module.ModuleFound) return false;
  form.SetLamp(TfrmModule::kRed);
  form.ShowMessage(MessageText(2));
  Beep(kLowBeepHz, kBeepMs);
  return true;
}

void ReportOutcome(TfrmModule& form, bool success, int okMessage, int errorMessage) {
  form.SetLamp(success ? TfrmModule::kYellow : TfrmModule::kRed);
  form.ShowMessage(MessageText(success ? okMessage : errorMessage));
  Beep(success ? kHighBeepHz : kLowBeepHz, kBeepMs);
}

bool PauseAndSend(const std::string& command) {
  SleepMs(kPauseMs);
  return SendCommand(command);
}

bool PauseAndSendIdentity(const std::string& command) {
  return PauseAndSend(command) && Link.ReplyPos == kIdentityReplyLength;
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
  if (PortIsOpen()) ClosePort();
}

void RunWriteOperation(TfrmModule& form, const WriteOperation& operation) {
  WaitStateGuard wait(form, operation.processMessagesOnEntry);
  if (RefuseWithoutScan(form)) return;
  if (operation.prepare && !operation.prepare()) {
    ReportOutcome(form, false, operation.okMessage, operation.errorMessage);
    return;
  }
  bool success = false;
  if (OpenPort(Module.ScanCommNo, Module.ScanBaudRate)) {
    PortGuard port;
    for (int attempt = 0; attempt < kWriteAttempts && !success; ++attempt) success = operation.attempt();
    port.Close();
  }
  ReportOutcome(form, success, operation.okMessage, operation.errorMessage);
}
