// Writes the reader key count shown in pnKey. "H00B" opens the exchange.
// While Wiegand processing holds the port the operation does not run: its
// button is disabled then, and a call that arrives anyway leaves the port and
// the window to the processing loop.

#include "catalogue.h"
#include "main_window.h"
#include "module_state.h"
#include "operation_steps.h"
#include "operations.h"

namespace {
constexpr int kMsgSetKey = 39, kMsgSetKeyOk = 40, kMsgSetKeyError = 41;

bool WriteKeyCount(TfrmModule& form) {
  if (!PauseAndSendIdentity("H00B")) return false;
  return PauseAndSend("H00L" + form.pnKey->Caption());
}
}  // namespace

void RunSetKeyCount(TfrmModule& form) {
  if (Module.Processing) return;
  WriteOperation operation;
  operation.processMessagesOnEntry = false;
  operation.prepare = [&form] {
    form.ShowMessage(MessageText(kMsgSetKey));
    return true;
  };
  operation.attempt = [&form] { return WriteKeyCount(form); };
  operation.okMessage = kMsgSetKeyOk;
  operation.errorMessage = kMsgSetKeyError;
  RunWriteOperation(form, operation);
}
