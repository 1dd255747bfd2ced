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
#include "connection.h"
#include "operation_steps.h"
#include "operations.h"
#include "operator_panel.h"
#include "reply_fields.h"
#include "serial_port.h"
#include "settings_store.h"
#include "tone.h"

namespace commands {

namespace {
constexpr int kPortCount = 16;
constexpr int kQuickAttempts = 3;
constexpr int kSearchAttempts = 2;
// The RS-485 settings the panel lists: 0 to 2.
constexpr int kLastRs485Index = 2;

std::string PortSuffix(int port) { return " : #" + std::to_string(port); }

bool AnswersIdentity(serial::LinkState& link, int attempts) {
  for (int i = 0; i < attempts; ++i) {
    if (serial::SendCommand(link, "H00M") && link.ReplyPos == kIdentityReplyLength) return true;
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
  panel.ShowMessage(catalogue::MessageText(catalogue::kMsgScanModule) + " ....");
  panel.ShowSerial(catalogue::MessageText(catalogue::kMsgSerial) + " : ________-_", "");
  panel.ShowVersion(catalogue::MessageText(catalogue::kMsgVersion) + " : __.__-__", "");
  panel.SetIdText("__");
  panel.SetId2Text("__");
  panel.ProcessMessages();
}

bool QuickTry(Connection& c, OperatorPanel& panel) {
  if (c.ScanCommNo <= 0 || !serial::PortInReach(c, c.ScanCommNo)) return false;
  panel.SelectLineSetting(c.ScanBaudRateNo);
  if (!serial::OpenPort(c, c.ScanCommNo, c.ScanBaudRate)) return false;
  PortGuard port(c);
  panel.ShowMessage(catalogue::MessageText(catalogue::kMsgScanCom) + PortSuffix(c.ScanCommNo));
  return AnswersIdentity(c, kQuickAttempts);
}

// The remembered index for a locked search. A stored index outside the list
// names no line setting; the default entry stands in for it.
int LockedIndex(const Connection& c) {
  bool inList = c.ScanBaudRateNo >= 0 && c.ScanBaudRateNo < serial::kLineSettingCount;
  return inList ? c.ScanBaudRateNo : serial::kDefaultLineSettingNo;
}

enum class Candidate { NotOpened, Silent, Found };

Candidate TryCandidate(Connection& c, OperatorPanel& panel, int port, int index) {
  panel.SelectLineSetting(index);
  if (!serial::OpenPort(c, port, serial::kLineSettings[index])) return Candidate::NotOpened;
  PortGuard guard(c);
  panel.ShowMessage(catalogue::MessageText(catalogue::kMsgScanCom) + PortSuffix(port));
  if (!AnswersIdentity(c, kSearchAttempts)) return Candidate::Silent;
  c.ScanCommNo = port;
  c.ScanBaudRate = serial::kLineSettings[index];
  c.ScanBaudRateNo = index;
  if (c.StoreScanResult) store::SaveScanResult(c);
  return Candidate::Found;
}

bool FullSearch(Connection& c, OperatorPanel& panel) {
  for (int port = 1; port <= kPortCount; ++port) {
    // Another connection's port is not this search's to open.
    if (!serial::PortInReach(c, port)) continue;
    if (c.Stop.Requested()) return false;
    for (int index = 0; index < serial::kLineSettingCount; ++index) {
      bool locked = panel.LockChecked();
      Candidate result = TryCandidate(c, panel, port, locked ? LockedIndex(c) : index);
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
void ShowIdentity(const Connection& c, OperatorPanel& panel) {
  panel.SelectLineSetting(c.ScanBaudRateNo);
  std::string serial = ReplySerialField(c) + "-" + SerialSuffix(ReplySerialLastChar(c));
  panel.ShowSerial(catalogue::MessageText(catalogue::kMsgSerial) + " : " + serial, serial);
  std::string id = ReplyModuleId(c);
  panel.SetIdText(id);
  if (int value = DecimalValue(id); value >= 0) panel.MoveIdBar(value);
}

void ShowModeAndRs485(const Connection& c, OperatorPanel& panel) {
  panel.SelectMode(ReplyModeDigit(c) == "0" ? 0 : 1);
  int rs485 = DecimalValue(ReplyRs485Digit(c));
  if (rs485 >= 0 && rs485 <= kLastRs485Index) panel.SelectRs485(rs485);
}

void ShowSecondId(const Connection& c, OperatorPanel& panel) {
  std::string id2 = ReplyModuleId(c);
  if (int value = DecimalValue(id2); value >= 0) panel.MoveId2Bar(value);
  panel.SetId2Text(panel.ModeIndex() == 0 ? id2 : "__");
}

// One pass of the information reads: 1 read, 0 failed at "H00V" (another
// pass may follow), -1 failed later (the reads end).
int ReadInformationPass(Connection& c, OperatorPanel& panel) {
  if (!PauseAndSend(c, "H00V")) return 0;
  serial::SleepMs(kPauseMs);
  std::string version = ReplyVersion(c);
  panel.ShowVersion(catalogue::MessageText(catalogue::kMsgVersion) + " : " + version, version);
  if (serial::SendCommand(c, "H00L")) panel.SetKeyText(ReplyKeyCount(c));
  if (!PauseAndSend(c, "H00A")) return -1;
  ShowModeAndRs485(c, panel);
  if (!PauseAndSend(c, "H00N")) return -1;
  ShowSecondId(c, panel);
  return 1;
}

bool ReadInformation(Connection& c, OperatorPanel& panel) {
  if (!serial::OpenPort(c, c.ScanCommNo, c.ScanBaudRate)) return false;
  PortGuard port(c);
  for (int pass = 0; pass < 2; ++pass) {
    int result = ReadInformationPass(c, panel);
    if (result < 0) return false;
    if (result > 0) {
      panel.ShowMessage(catalogue::MessageText(catalogue::kMsgInfoOk) + PortSuffix(c.ScanCommNo) + ")");
      c.ModuleFound = true;
      return true;
    }
  }
  return false;
}

void ReportNotFound(OperatorPanel& panel, BusyScope& busy) {
  busy.Leave();
  panel.SetLamp(LampColour::Red);
  panel.SelectLineSetting(serial::kDefaultLineSettingNo);
  panel.ShowMessage(catalogue::MessageText(catalogue::kMsgNotFound));
  tone::Beep(kLowBeepHz, kBeepMs);
}

void ReportInformation(const Connection& c, OperatorPanel& panel, BusyScope& busy, bool complete) {
  if (!complete) panel.ShowMessage(catalogue::MessageText(catalogue::kMsgInfoError) + PortSuffix(c.ScanCommNo) + ")");
  busy.Leave();
  panel.SetLamp(complete ? LampColour::Yellow : LampColour::Red);
  tone::Beep(complete ? kHighBeepHz : kLowBeepHz, kBeepMs);
}
}  // namespace

void RunModuleScan(Connection& c, OperatorPanel& panel) {
  BusyScope busy(panel);
  ResetDisplay(panel);
  c.ModuleFound = false;

  if (!QuickTry(c, panel) && !FullSearch(c, panel)) {
    ReportNotFound(panel, busy);
    return;
  }
  ShowIdentity(c, panel);
  ReportInformation(c, panel, busy, ReadInformation(c, panel));
}

}  // namespace commands
