// Finds the module: a quick try at the remembered port and line setting, then
// a search over ports 1 to 16 and the line settings (only the remembered one
// while chkLock is checked). Where the module answers "H00M" with a 16-byte
// reply, the scan reads its identity, version, key count, mode, RS-485
// setting and second ID, and sets the module-found flag when all was read.
//
// Reply characters read as numbers may hold anything in a reply with a
// correct checksum: a scroll bar is moved only by a text of digits, and a
// serial number whose last character is no digit shows "_" as its suffix.

#include "catalogue.h"
#include "deadline.h"
#include "frames.h"
#include "main_window.h"
#include "module_state.h"
#include "operation_steps.h"
#include "operations.h"
#include "serial_port.h"
#include "settings_store.h"
#include "tone.h"

namespace {
constexpr int kPortCount = 16;
constexpr int kQuickAttempts = 3;
constexpr int kSearchAttempts = 2;
constexpr int kMsgScanModule = 16, kMsgSerial = 17, kMsgVersion = 19, kMsgScanCom = 20;
constexpr int kMsgInfoOk = 21, kMsgInfoError = 22, kMsgNotFound = 23;

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
  explicit BusyScope(TfrmModule& form) : form_(form) {
    TfrmModule::SetHourglass(true);
    TfrmModule::ProcessMessages();
    form_.SetBusy(true);
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
  ~BusyScope() {
    Leave();
    TfrmModule::SetHourglass(false);
  }
  void Leave() {
    if (busy_) form_.SetBusy(false);
    busy_ = false;
  }

 private:
  TfrmModule& form_;
  bool busy_ = true;
};

void ResetDisplay(TfrmModule& form) {
  form.ShowMessage(MessageText(kMsgScanModule) + " ....");
  form.pnSerial->SetCaption(MessageText(kMsgSerial) + " : ________-_");
  form.pnVersion->SetCaption(MessageText(kMsgVersion) + " : __.__-__");
  form.pnID->SetCaption("__");
  form.pnID2->SetCaption("__");
  TfrmModule::ProcessMessages();
}

bool QuickTry(TfrmModule& form) {
  if (Module.ScanCommNo <= 0) return false;
  form.cmbBaudRate->setCurrentIndex(Module.ScanBaudRateNo);
  if (!OpenPort(Module.ScanCommNo, Module.ScanBaudRate)) return false;
  PortGuard port;
  form.ShowMessage(MessageText(kMsgScanCom) + PortSuffix(Module.ScanCommNo));
  return AnswersIdentity(kQuickAttempts);
}

// The remembered index for a locked search. A stored index outside the list
// names no line setting; the default entry stands in for it.
int LockedIndex() {
  bool inList = Module.ScanBaudRateNo >= 0 && Module.ScanBaudRateNo < kLineSettingCount;
  return inList ? Module.ScanBaudRateNo : kDefaultLineSettingNo;
}

enum class Candidate { NotOpened, Silent, Found };

Candidate TryCandidate(TfrmModule& form, int port, int index) {
  form.cmbBaudRate->setCurrentIndex(index);
  if (!OpenPort(port, kLineSettings[index])) return Candidate::NotOpened;
  PortGuard guard;
  form.ShowMessage(MessageText(kMsgScanCom) + PortSuffix(port));
  if (!AnswersIdentity(kSearchAttempts)) return Candidate::Silent;
  Module.ScanCommNo = port;
  Module.ScanBaudRate = kLineSettings[index];
  Module.ScanBaudRateNo = index;
  SaveScanResult(Module);
  return Candidate::Found;
}

bool FullSearch(TfrmModule& form) {
  for (int port = 1; port <= kPortCount; ++port) {
    for (int index = 0; index < kLineSettingCount; ++index) {
      bool locked = form.chkLock->isChecked();
      Candidate result = TryCandidate(form, port, locked ? LockedIndex() : index);
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
void ShowIdentity(TfrmModule& form) {
  form.cmbBaudRate->setCurrentIndex(Module.ScanBaudRateNo);
  form.pnSerial->SetCaption(MessageText(kMsgSerial) + " : " + ReplyChars(6, 13) + "-" + SerialSuffix(ReplyChars(13, 13)));
  std::string id = ReplyChars(3, 4);
  form.pnID->SetCaption(id);
  if (int value = DecimalValue(id); value >= 0) form.sbID->setValue(value);
}

void ShowModeAndRs485(TfrmModule& form) {
  form.cmbMode->setCurrentIndex(ReplyChars(6, 6) == "0" ? 0 : 1);
  int rs485 = DecimalValue(ReplyChars(8, 8));
  if (rs485 >= 0 && rs485 <= 2) form.cmbRS485->setCurrentIndex(rs485);
}

void ShowSecondId(TfrmModule& form) {
  std::string id2 = ReplyChars(3, 4);
  if (int value = DecimalValue(id2); value >= 0) form.sbID2->setValue(value);
  form.pnID2->SetCaption(form.cmbMode->currentIndex() == 0 ? id2 : "__");
}

// One pass of the information reads: 1 read, 0 failed at "H00V" (another
// pass may follow), -1 failed later (the reads end).
int ReadInformationPass(TfrmModule& form) {
  if (!PauseAndSend("H00V")) return 0;
  SleepMs(kPauseMs);
  form.pnVersion->SetCaption(MessageText(kMsgVersion) + " : " + ReplyChars(6, 13));
  if (SendCommand("H00L")) form.pnKey->SetCaption(ReplyChars(6, 7));
  if (!PauseAndSend("H00A")) return -1;
  ShowModeAndRs485(form);
  if (!PauseAndSend("H00N")) return -1;
  ShowSecondId(form);
  return 1;
}

bool ReadInformation(TfrmModule& form) {
  if (!OpenPort(Module.ScanCommNo, Module.ScanBaudRate)) return false;
  PortGuard port;
  for (int pass = 0; pass < 2; ++pass) {
    int result = ReadInformationPass(form);
    if (result < 0) return false;
    if (result > 0) {
      form.ShowMessage(MessageText(kMsgInfoOk) + PortSuffix(Module.ScanCommNo) + ")");
      Module.ModuleFound = true;
      return true;
    }
  }
  return false;
}

void ReportNotFound(TfrmModule& form, BusyScope& busy) {
  busy.Leave();
  form.SetLamp(TfrmModule::kRed);
  form.cmbBaudRate->setCurrentIndex(kDefaultLineSettingNo);
  form.ShowMessage(MessageText(kMsgNotFound));
  Beep(kLowBeepHz, kBeepMs);
}

void ReportInformation(TfrmModule& form, BusyScope& busy, bool complete) {
  if (!complete) form.ShowMessage(MessageText(kMsgInfoError) + PortSuffix(Module.ScanCommNo) + ")");
  busy.Leave();
  form.SetLamp(complete ? TfrmModule::kYellow : TfrmModule::kRed);
  Beep(complete ? kHighBeepHz : kLowBeepHz, kBeepMs);
}
}  // namespace

void RunModuleScan(TfrmModule& form) {
  BusyScope busy(form);
  ResetDisplay(form);
  Module.ModuleFound = false;

  if (!QuickTry(form) && !FullSearch(form)) {
    ReportNotFound(form, busy);
    return;
  }
  ShowIdentity(form);
  ReportInformation(form, busy, ReadInformation(form));
}
