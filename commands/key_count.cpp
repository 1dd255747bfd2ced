// SPDX-License-Identifier: MIT
// Writes the reader key count shown in pnKey. "H00B" opens the exchange.
// While Wiegand processing holds the port the operation does not run: its
// button is disabled then, and a call that arrives anyway leaves the port and
// the panel to the processing loop.

#include "catalogue.h"
#include "connection.h"
#include "messages.h"
#include "operation_steps.h"
#include "operations.h"
#include "operator_panel.h"

namespace commands {

namespace {
bool WriteKeyCount(Connection& c, OperatorPanel& panel) {
  if (!PauseAndSendIdentity(c, "H00B")) return false;
  return PauseAndSend(c, "H00L" + panel.KeyText());
}
}  // namespace

void RunSetKeyCount(Connection& c, OperatorPanel& panel) {
  if (c.ProcessingActive) return;
  WriteOperation operation;
  operation.processMessagesOnEntry = false;
  operation.prepare = [&panel] {
    panel.ShowMessage(catalogue::MessageText(catalogue::kMsgSetKey));
    return true;
  };
  operation.attempt = [&c, &panel] { return WriteKeyCount(c, panel); };
  operation.okMessage = catalogue::kMsgSetKeyOk;
  operation.errorMessage = catalogue::kMsgSetKeyError;
  RunWriteOperation(c, panel, operation);
}

}  // namespace commands
