// SPDX-License-Identifier: MIT
// Finds the module: a quick try at the remembered port and line setting, then
// a search over ports 1 to 16 and the line settings (only the remembered one
// while chkLock is checked). A connection confined to one port searches that
// port alone. Where the module answers "H00M" with a 16-byte
// reply, the scan reads its identity, version, key count, mode, RS-485
// setting and second ID, and sets the module-found flag when all was read.
//
// Reply characters read as numbers may hold anything in a reply with a
// correct checksum: a scroll bar is moved only by a text of digits, and a
// serial number whose last character is no digit shows "_" as its suffix.

#include "catalogue.h"
#include "deadline.h"
#include "frames.h"
#include "messages.h"
#include "module_state.h"
#include "operation_steps.h"
#include "operations.h"
#include "operator_panel.h"
#include "reply_fields.h"
#include "serial_port.h"
#include "settings_store.h"
#include "tone.h"

namespace {
constexpr int kPortCount = 16;
constexpr int kQuickAttempts = 3;
constexpr int kSearchAttempts = 2;
// The RS-485 settings the panel lists: 0 to 2.
constexpr int kLastRs485Index = 2;

std::string PortSuffix(int port) { return " : #" + std::to_string(port); }

bool AnswersIdentity(int attempts) {
  for (int i = 0; i < attempts; ++i) {
    if (SendCommand("H00M") && Link.ReplyPos == kIdentityReplyLength) return true;
  }
  return false;
}

// The busy state and the hourglass, left on every path.
class BusyScope {
 public:
  explicit BusyScope(OperatorPanel& panel) : panel_(panel) {
    panel_.SetHourglass(true);
    panel_.ProcessMessages();
    panel_.SetBusy(true);
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
  ~BusyScope() {
    Leave();
    panel_.SetHourglass(false);
  }
  void Leave() {
    if (busy_) panel_.SetBusy(false);
    busy_ = false;
  }

 private:
  OperatorPanel& panel_;
  bool busy_ = true;
};

void ResetDisplay(OperatorPanel& panel) {
  panel.ShowMessage(MessageText(kMsgScanModule) + " ....");
  panel.ShowSerial(MessageText(kMsgSerial) + " : ________-_", "");
  panel.ShowVersion(MessageText(kMsgVersion) + " : __.__-__", "");
  panel.SetIdText("__");
  panel.SetId2Text("__");
  panel.ProcessMessages();
}

bool QuickTry(OperatorPanel& panel) {
  if (Module.ScanCommNo <= 0 || !PortInReach(Module.ScanCommNo)) return false;
  panel.SelectLineSetting(Module.ScanBaudRateNo);
  if (!OpenPort(Module.ScanCommNo, Module.ScanBaudRate)) return false;
  PortGuard port;
  panel.ShowMessage(MessageText(kMsgScanCom) + PortSuffix(Module.ScanCommNo));
  return AnswersIdentity(kQuickAttempts);
}

// The remembered index for a locked search. A stored index outside the list
// names no line setting; the default entry stands in for it.
int LockedIndex() {
  bool inList = Module.ScanBaudRateNo >= 0 && Module.ScanBaudRateNo < kLineSettingCount;
  return inList ? Module.ScanBaudRateNo : kDefaultLineSettingNo;
}

enum class Candidate { NotOpened, Silent, Found };

Candidate TryCandidate(OperatorPanel& panel, int port, int index) {
  panel.SelectLineSetting(index);
  if (!OpenPort(port, kLineSettings[index])) return Candidate::NotOpened;
  PortGuard guard;
  panel.ShowMessage(MessageText(kMsgScanCom) + PortSuffix(port));
  if (!AnswersIdentity(kSearchAttempts)) return Candidate::Silent;
  Module.ScanCommNo = port;
  Module.ScanBaudRate = kLineSettings[index];
  Module.ScanBaudRateNo = index;
  if (Module.StoreScanResult) SaveScanResult(Module);
  return Candidate::Found;
}

bool FullSearch(OperatorPanel& panel) {
  for (int port = 1; port <= kPortCount; ++port) {
    // Another connection's port is not this search's to open.
    if (!PortInReach(port)) continue;
    if (panel.SearchStopped()) return false;
    for (int index = 0; index < kLineSettingCount; ++index) {
      bool locked = panel.LockChecked();
      Candidate result = TryCandidate(panel, port, locked ? LockedIndex() : index);
      if (result == Candidate::Found) return true;
      if (result == Candidate::NotOpened || locked) break;
    }
  }
  return false;
}

std::string SerialSuffix(const std::string& lastCharacter) {
  int digit = DecimalValue(lastCharacter);
  return digit < 0 ? "_" : std::to_string(digit + 1);
}

// Identity from the "H00M" reply that LastReply still holds.
void ShowIdentity(OperatorPanel& panel) {
  panel.SelectLineSetting(Module.ScanBaudRateNo);
  std::string serial = ReplySerialField() + "-" + SerialSuffix(ReplySerialLastChar());
  panel.ShowSerial(MessageText(kMsgSerial) + " : " + serial, serial);
  std::string id = ReplyModuleId();
  panel.SetIdText(id);
  if (int value = DecimalValue(id); value >= 0) panel.MoveIdBar(value);
}

void ShowModeAndRs485(OperatorPanel& panel) {
  panel.SelectMode(ReplyModeDigit() == "0" ? 0 : 1);
  int rs485 = DecimalValue(ReplyRs485Digit());
  if (rs485 >= 0 && rs485 <= kLastRs485Index) panel.SelectRs485(rs485);
}

void ShowSecondId(OperatorPanel& panel) {
  std::string id2 = ReplyModuleId();
  if (int value = DecimalValue(id2); value >= 0) panel.MoveId2Bar(value);
  panel.SetId2Text(panel.ModeIndex() == 0 ? id2 : "__");
}

// One pass of the information reads: 1 read, 0 failed at "H00V" (another
// pass may follow), -1 failed later (the reads end).
int ReadInformationPass(OperatorPanel& panel) {
  if (!PauseAndSend("H00V")) return 0;
  SleepMs(kPauseMs);
  std::string version = ReplyVersion();
  panel.ShowVersion(MessageText(kMsgVersion) + " : " + version, version);
  if (SendCommand("H00L")) panel.SetKeyText(ReplyKeyCount());
  if (!PauseAndSend("H00A")) return -1;
  ShowModeAndRs485(panel);
  if (!PauseAndSend("H00N")) return -1;
  ShowSecondId(panel);
  return 1;
}

bool ReadInformation(OperatorPanel& panel) {
  if (!OpenPort(Module.ScanCommNo, Module.ScanBaudRate)) return false;
  PortGuard port;
  for (int pass = 0; pass < 2; ++pass) {
    int result = ReadInformationPass(panel);
    if (result < 0) return false;
    if (result > 0) {
      panel.ShowMessage(MessageText(kMsgInfoOk) + PortSuffix(Module.ScanCommNo) + ")");
      Module.ModuleFound = true;
      return true;
    }
  }
  return false;
}

void ReportNotFound(OperatorPanel& panel, BusyScope& busy) {
  busy.Leave();
  panel.SetLamp(LampColour::Red);
  panel.SelectLineSetting(kDefaultLineSettingNo);
  panel.ShowMessage(MessageText(kMsgNotFound));
  Beep(kLowBeepHz, kBeepMs);
}

void ReportInformation(OperatorPanel& panel, BusyScope& busy, bool complete) {
  if (!complete) panel.ShowMessage(MessageText(kMsgInfoError) + PortSuffix(Module.ScanCommNo) + ")");
  busy.Leave();
  panel.SetLamp(complete ? LampColour::Yellow : LampColour::Red);
  Beep(complete ? kHighBeepHz : kLowBeepHz, kBeepMs);
}
}  // namespace

void RunModuleScan(OperatorPanel& panel) {
  BusyScope busy(panel);
  ResetDisplay(panel);
  Module.ModuleFound = false;

  if (!QuickTry(panel) && !FullSearch(panel)) {
    ReportNotFound(panel, busy);
    return;
  }
  ShowIdentity(panel);
  ReportInformation(panel, busy, ReadInformation(panel));
}
