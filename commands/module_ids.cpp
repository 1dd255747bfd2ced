// SPDX-License-Identifier: MIT
// Writes ID 1 and, in two-reader mode, ID 2 into the module. Each "H00C"
// carries the serial field that the module reported moments before: the
// "H00M" reply's for ID 1, the "H00N" reply's for ID 2.

#include "catalogue.h"
#include "deadline.h"
#include "frames.h"
#include "messages.h"
#include "operation_steps.h"
#include "operations.h"
#include "operator_panel.h"
#include "reply_fields.h"

namespace {
std::string SetIdCommand(const std::string& idText) { return "H00C" + ReplySerialField() + idText; }

bool WriteIds(OperatorPanel& panel) {
  if (!PauseAndSendIdentity("H00M")) return false;
  if (!PauseAndSend(SetIdCommand(panel.IdText()))) return false;
  if (!PauseAndSendIdentity("H00N")) return false;
  SleepMs(kPauseMs);
  if (panel.ModeIndex() != 0) return true;  // one reader: ID 1 only
  return SendCommand(SetIdCommand(panel.Id2Text()));
}
}  // namespace

void RunSetModuleIds(OperatorPanel& panel) {
  WriteOperation operation;
  operation.prepare = [&panel] {
    panel.ShowMessage(MessageText(kMsgSetId) + " = " + panel.IdText());
    return true;
  };
  operation.attempt = [&panel] { return WriteIds(panel); };
  operation.okMessage = kMsgSetIdOk;
  operation.errorMessage = kMsgSetIdError;
  RunWriteOperation(panel, operation);
}
