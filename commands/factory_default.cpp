// Puts the module and the window back to the factory configuration: ID 1 01,
// ID 2 05, two readers, "RS485 32", line setting 19200,e,8,1. The window shows
// that configuration before any exchange, so it keeps it whatever the outcome.
// The scan result is not changed: the module is still reached at the line
// setting it was found at.

#include "catalogue.h"
#include "frames.h"
#include "main_window.h"
#include "module_state.h"
#include "operation_steps.h"
#include "operations.h"

namespace {
constexpr int kMsgSetFactory = 36, kMsgSetFactoryOk = 37, kMsgSetFactoryError = 38;

void ShowFactoryConfiguration(TfrmModule& form) {
  form.sbID->setValue(1);
  // Through 1, so that pnID2 reads "05" even when sbID2 already stood at 5.
  form.sbID2->setValue(1);
  form.sbID2->setValue(5);
  form.cmbBaudRate->setCurrentIndex(kDefaultLineSettingNo);
  form.cmbMode->setCurrentIndex(0);
  form.cmbRS485->setCurrentIndex(1);
  form.ShowMessage(MessageText(kMsgSetFactory));
}

bool WriteFactoryConfiguration() {
  return PauseAndSendIdentity("H00M") && PauseAndSend("H00C" + ReplyChars(6, 13) + "01") &&
         PauseAndSendIdentity("H00N") && PauseAndSend("H00C" + ReplyChars(6, 13) + "05") &&
         PauseAndSend("H00A001") && PauseAndSend(std::string("H00E") + LineSettingDigit(kDefaultLineSettingNo));
}
}  // namespace

void RunFactoryDefault(TfrmModule& form) {
  WriteOperation operation;
  operation.prepare = [&form] {
    ShowFactoryConfiguration(form);
    return true;
  };
  operation.attempt = [] { return WriteFactoryConfiguration(); };
  operation.okMessage = kMsgSetFactoryOk;
  operation.errorMessage = kMsgSetFactoryError;
  RunWriteOperation(form, operation);
}
