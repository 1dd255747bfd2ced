// Writes the mode (two readers or one) and the RS-485 setting in one command:
// "H00A" + mode digit + "0" + RS-485 digit.

#include "main_window.h"
#include "operation_steps.h"
#include "operations.h"

namespace {
constexpr int kMsgSetModeOk = 34, kMsgSetModeError = 35;

std::string ModeCommand(const TfrmModule& form) {
  char mode = form.cmbMode->currentIndex() == 0 ? '0' : '1';
  int rs485 = form.cmbRS485->currentIndex();
  char rs485Digit = rs485 >= 0 && rs485 <= 9 ? static_cast<char>('0' + rs485) : '0';
  return std::string("H00A") + mode + '0' + rs485Digit;
}
}  // namespace

void RunSetModuleMode(TfrmModule& form) {
  WriteOperation operation;
  operation.attempt = [&form] { return PauseAndSendIdentity("H00M") && PauseAndSend(ModeCommand(form)); };
  operation.okMessage = kMsgSetModeOk;
  operation.errorMessage = kMsgSetModeError;
  RunWriteOperation(form, operation);
}
