// SPDX-License-Identifier: MIT
// Writes the mode (two readers or one) and the RS-485 setting in one command:
// "H00A" + mode digit + "0" + RS-485 digit.

#include "connection.h"
#include "messages.h"
#include "operation_steps.h"
#include "operations.h"
#include "operator_panel.h"

namespace commands {

namespace {
std::string ModeCommand(OperatorPanel& panel) {
  char mode = panel.ModeIndex() == 0 ? '0' : '1';
  int rs485 = panel.Rs485Index();
  char rs485Digit = rs485 >= 0 && rs485 <= 9 ? static_cast<char>('0' + rs485) : '0';
  return std::string("H00A") + mode + '0' + rs485Digit;
}
}  // namespace

void RunSetModuleMode(Connection& c, OperatorPanel& panel) {
  WriteOperation operation;
  operation.attempt = [&c, &panel] { return PauseAndSendIdentity(c, "H00M") && PauseAndSend(c, ModeCommand(panel)); };
  operation.okMessage = catalogue::kMsgSetModeOk;
  operation.errorMessage = catalogue::kMsgSetModeError;
  RunWriteOperation(c, panel, operation);
}

}  // namespace commands
