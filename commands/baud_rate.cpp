// Changes the module's line setting to the entry chosen in cmbBaudRate. The
// exchange runs at the old setting; once the module accepts the change, the
// new setting becomes the one every later operation opens the port with. The
// stored settings keep the setting of the last scan.

#include "catalogue.h"
#include "deadline.h"
#include "frames.h"
#include "main_window.h"
#include "module_state.h"
#include "operation_steps.h"
#include "operations.h"

namespace {
constexpr int kMsgSetBaudRate = 30, kMsgSetBaudRateOk = 31, kMsgSetBaudRateError = 32;

bool ValidIndex(int index) { return index >= 0 && index < kLineSettingCount; }

bool ChangeLineSetting(TfrmModule& form) {
  if (!PauseAndSendIdentity("H00M")) return false;
  SleepMs(kPauseMs);
  int index = form.cmbBaudRate->currentIndex();
  if (!ValidIndex(index)) return false;
  if (!SendCommand(std::string("H00E") + LineSettingDigit(index))) return false;
  Module.ScanBaudRateNo = index;
  Module.ScanBaudRate = kLineSettings[index];
  return true;
}
}  // namespace

void RunSetBaudRate(TfrmModule& form) {
  WriteOperation operation;
  // Without a selection there is no line setting to send: the operation
  // fails before the port is opened.
  operation.prepare = [&form] {
    int index = form.cmbBaudRate->currentIndex();
    if (!ValidIndex(index)) return false;
    form.ShowMessage(MessageText(kMsgSetBaudRate) + " = " + kLineSettings[index]);
    return true;
  };
  operation.attempt = [&form] { return ChangeLineSetting(form); };
  operation.okMessage = kMsgSetBaudRateOk;
  operation.errorMessage = kMsgSetBaudRateError;
  RunWriteOperation(form, operation);
}
