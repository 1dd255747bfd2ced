// SPDX-License-Identifier: MIT
// Puts the module and the panel back to the factory configuration: ID 1 01,
// ID 2 05, two readers, "RS485 32", line setting 19200,e,8,1. The panel shows
// that configuration before any exchange, so it keeps it whatever the outcome.
// The scan result is not changed: the module is still reached at the line
// setting it was found at.

#include "catalogue.h"
#include "connection.h"
#include "frames.h"
#include "messages.h"
#include "operation_steps.h"
#include "operations.h"
#include "operator_panel.h"
#include "reply_fields.h"

namespace commands {

namespace {
constexpr int kFactoryId = 1, kFactoryId2 = 5;
constexpr int kFactoryMode = 0, kFactoryRs485 = 1;

void ShowFactoryConfiguration(OperatorPanel& panel) {
  panel.MoveIdBar(kFactoryId);
  // Through 1, so that pnID2 reads "05" even when sbID2 already stood at 5.
  panel.MoveId2Bar(1);
  panel.MoveId2Bar(kFactoryId2);
  panel.SelectLineSetting(serial::kDefaultLineSettingNo);
  panel.SelectMode(kFactoryMode);
  panel.SelectRs485(kFactoryRs485);
  panel.ShowMessage(catalogue::MessageText(catalogue::kMsgSetFactory));
}

bool WriteFactoryConfiguration(Connection& c) {
  return PauseAndSendIdentity(c, "H00M") && PauseAndSend(c, "H00C" + ReplySerialField(c) + "01") &&
         PauseAndSendIdentity(c, "H00N") && PauseAndSend(c, "H00C" + ReplySerialField(c) + "05") &&
         PauseAndSend(c, "H00A001") &&
         PauseAndSend(c, std::string("H00E") + LineSettingDigit(serial::kDefaultLineSettingNo));
}
}  // namespace

void RunFactoryDefault(Connection& c, OperatorPanel& panel) {
  WriteOperation operation;
  operation.prepare = [&panel] {
    ShowFactoryConfiguration(panel);
    return true;
  };
  operation.attempt = [&c] { return WriteFactoryConfiguration(c); };
  operation.okMessage = catalogue::kMsgSetFactoryOk;
  operation.errorMessage = catalogue::kMsgSetFactoryError;
  RunWriteOperation(c, panel, operation);
}

}  // namespace commands
