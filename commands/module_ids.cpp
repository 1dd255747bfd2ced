// Writes ID 1 and, in two-reader mode, ID 2 into the module. Each "H00C"
// carries the serial field that the module reported moments before: the
// "H00M" reply's for ID 1, the "H00N" reply's for ID 2.

#include "catalogue.h"
#include "deadline.h"
#include "frames.h"
#include "main_window.h"
#include "operation_steps.h"
#include "operations.h"

namespace {
constexpr int kMsgSetId = 24, kMsgSetIdOk = 25, kMsgSetIdError = 26;

std::string SetIdCommand(const std::string& idText) { return "H00C" + ReplyChars(6, 13) + idText; }

bool WriteIds(TfrmModule& form) {
  if (!PauseAndSendIdentity("H00M")) return false;
  if (!PauseAndSend(SetIdCommand(form.pnID->Caption()))) return false;
  if (!PauseAndSendIdentity("H00N")) return false;
  SleepMs(kPauseMs);
  if (form.cmbMode->currentIndex() != 0) return true;  // one reader: ID 1 only
  return SendCommand(SetIdCommand(form.pnID2->Caption()));
}
}  // namespace

void RunSetModuleIds(TfrmModule& form) {
  WriteOperation operation;
  operation.prepare = [&form] {
    form.ShowMessage(MessageText(kMsgSetId) + " = " + form.pnID->Caption());
    return true;
  };
  operation.attempt = [&form] { return WriteIds(form); };
  operation.okMessage = kMsgSetIdOk;
  operation.errorMessage = kMsgSetIdError;
  RunWriteOperation(form, operation);
}
