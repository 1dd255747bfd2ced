// SPDX-License-Identifier: MIT
// Writes ID 1 and, in two-reader mode, ID 2 into the module. Each "H00C"
// carries the serial field that the module reported moments before: the
// "H00M" reply's for ID 1, the "H00N" reply's for ID 2.

#include "catalogue.h"
#include "connection.h"
#include "deadline.h"
#include "frames.h"
#include "messages.h"
#include "operation_steps.h"
#include "operations.h"
#include "operator_panel.h"
#include "reply_fields.h"

namespace commands {

namespace {
std::string SetIdCommand(const Connection& c, const std::string& idText) { return "H00C" + ReplySerialField(c) + idText; }

bool WriteIds(Connection& c, OperatorPanel& panel) {
  if (!PauseAndSendIdentity(c, "H00M")) return false;
  if (!PauseAndSend(c, SetIdCommand(c, panel.IdText()))) return false;
  if (!PauseAndSendIdentity(c, "H00N")) return false;
  serial::SleepMs(kPauseMs);
  if (panel.ModeIndex() != 0) return true;  // one reader: ID 1 only
  return serial::SendCommand(c, SetIdCommand(c, panel.Id2Text()));
}
}  // namespace

void RunSetModuleIds(Connection& c, OperatorPanel& panel) {
  WriteOperation operation;
  operation.prepare = [&panel] {
    panel.ShowMessage(catalogue::MessageText(catalogue::kMsgSetId) + " = " + panel.IdText());
    return true;
  };
  operation.attempt = [&c, &panel] { return WriteIds(c, panel); };
  operation.okMessage = catalogue::kMsgSetIdOk;
  operation.errorMessage = catalogue::kMsgSetIdError;
  RunWriteOperation(c, panel, operation);
}

}  // namespace commands
