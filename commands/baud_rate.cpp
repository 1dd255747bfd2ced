// SPDX-License-Identifier: MIT
// Changes the module's line setting to the entry the operator chose. The
// exchange runs at the old setting; once the module accepts the change, the
// new setting becomes the one every later operation opens the port with. The
// stored settings keep the setting of the last scan.

#include "catalogue.h"
#include "deadline.h"
#include "frames.h"
#include "messages.h"
#include "connection.h"
#include "operation_steps.h"
#include "operations.h"
#include "operator_panel.h"

namespace commands {

namespace {
bool ValidIndex(int index) { return index >= 0 && index < serial::kLineSettingCount; }

bool ChangeLineSetting(Connection& c, OperatorPanel& panel) {
  if (!PauseAndSendIdentity(c, "H00M")) return false;
  serial::SleepMs(kPauseMs);
  int index = panel.LineSettingIndex();
  if (!ValidIndex(index)) return false;
  if (!serial::SendCommand(c, std::string("H00E") + LineSettingDigit(index))) return false;
  c.ScanBaudRateNo = index;
  c.ScanBaudRate = serial::kLineSettings[index];
  return true;
}
}  // namespace

void RunSetBaudRate(Connection& c, OperatorPanel& panel) {
  WriteOperation operation;
  // Without a selection there is no line setting to send: the operation
  // fails before the port is opened.
  operation.prepare = [&panel] {
    int index = panel.LineSettingIndex();
    if (!ValidIndex(index)) return false;
    panel.ShowMessage(catalogue::MessageText(catalogue::kMsgSetBaudRate) + " = " + serial::kLineSettings[index]);
    return true;
  };
  operation.attempt = [&c, &panel] { return ChangeLineSetting(c, panel); };
  operation.okMessage = catalogue::kMsgSetBaudRateOk;
  operation.errorMessage = catalogue::kMsgSetBaudRateError;
  RunWriteOperation(c, panel, operation);
}

}  // namespace commands
