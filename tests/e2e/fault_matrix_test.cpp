// SPDX-License-Identifier: MIT
// Every line fault of the simulated module applied to every operation of the
// window, each started by clicks on the real window. Whatever the fault, the
// operation must end with
// - the port closed and no descriptor left on the terminal but the
//   simulated module's own;
// - the window enabled, the cursor restored and the lamp steady;
// - one beep that agrees with the lamp (yellow and 1000 Hz, or red and
//   300 Hz), and the outcome that the fault calls for: a fault that spoils
//   every reply must never be reported as a success;
// - nothing shown that is not the module's own: no field filled from the
//   reply to another command.
//
// One process and one window for all cases: the window is scanned once and
// reused by the writing operations and the processing. Each case gets a
// fresh module behind the same COM1 link, with its fault on every reply.
// The endless flood runs against one operation, with a shortened flood
// limit; a slow module (200 ms late, and 150, 200 and 400 ms late with a
// queue) runs against every operation as a test of its own.
#include <QApplication>
#include <algorithm>
#include <cctype>
#include <map>
#include <ostream>
#include <set>
#include <sstream>

#include "e2e_fixture.h"
#include "link_state.h"
#include "serial_port.h"

namespace {

enum class Operation { Ids, BaudRate, KeyCount, Mode, FactoryDefault, Processing, Scan };

// The scan comes last: a failed scan clears the module-found flag, and the
// other operations would need a new scan first.
const Operation kOperations[] = {Operation::Ids,  Operation::BaudRate,       Operation::KeyCount,
                                 Operation::Mode, Operation::FactoryDefault, Operation::Processing,
                                 Operation::Scan};

std::string OperationName(Operation operation) {
  switch (operation) {
    case Operation::Ids: return "Ids";
    case Operation::BaudRate: return "BaudRate";
    case Operation::KeyCount: return "KeyCount";
    case Operation::Mode: return "Mode";
    case Operation::FactoryDefault: return "FactoryDefault";
    case Operation::Processing: return "Processing";
    case Operation::Scan: return "Scan";
  }
  return "?";
}

// What a fault on every reply must lead to.
enum class Outcome {
  Fails,     // red lamp, 300 Hz
  Succeeds,  // yellow lamp, 1000 Hz (processing: stopped by the second click)
};

struct FaultCase {
  std::string name;
  sim::Fault fault;
  Outcome outcome;     // the configuration operations and the scan
  Outcome processing;  // Wiegand processing, whose polls carry no length check
  // Operations whose outcome differs from the two above: the module's texts
  // are fixed, so which replies a fault spoils is known for each of them.
  std::map<Operation, Outcome> pinned = {};
  // The key count a scan leaves shown: read ("06") only when the scan got
  // that far and the key count reply was taken, else the operator's "15".
  std::string scanKey = "15";
  // Instead of the fault: the line hands back every frame the tool writes,
  // as a two-wire adapter does.
  bool echo = false;

  Outcome For(Operation operation) const {
    auto found = pinned.find(operation);
    if (found != pinned.end()) return found->second;
    return operation == Operation::Processing ? processing : outcome;
  }
};

constexpr int kEveryReply = -1;
constexpr int kLateMs = 200;     // well beyond the 120 ms reply window
// A slow module that queues what comes in while it is busy: just past the
// reply window, the 200 ms, and later than the quiet the link waits
// for.
constexpr int kQueuedLateMs[] = {150, 200, 400};
// The endless flood ends each exchange at the flood limit; the fault is the
// same at a fraction of it, and the matrix stays quick.
constexpr uint32_t kMatrixFloodLimitMs = 300;
constexpr int kTrickleMs = 1;    // the whole reply still well inside it
constexpr int kShortFrame = 15;  // one byte short of an identity reply
// A valid reply with no text: accepted by the link, too short for any
// operation's length check, and no data for a panel.
const char kEmptyReply[] = "\n0A\r";

// Against MatrixModule's fixed texts, only three replies have a letter in
// their checksum for the lower-case fault to spoil: the key count ("L00:06",
// 7A), the key count operation's presence check ("B00:51627384", 7A) and
// reader 2's card data ("F34:XYZ789", 1C). So the key count operation and
// the processing fail, and the scan succeeds without the key count.
const std::map<Operation, Outcome> kLowerCasePinned = {{Operation::KeyCount, Outcome::Fails}};

// One case per kind of fault. A kind without a case here is a -Wswitch
// warning, so a fault added to the simulator cannot be left out.
FaultCase CaseFor(sim::FaultKind kind) {
  using K = sim::FaultKind;
  using O = Outcome;
  sim::Fault fault = sim::MakeFault(kind, "", kEveryReply);
  switch (kind) {
    case K::NoReply: return {"NoReply", fault, O::Fails, O::Fails};
    case K::Delay: fault.value = kLateMs; return {"LateReply", fault, O::Fails, O::Fails};
    case K::BadChecksum: return {"BadChecksum", fault, O::Fails, O::Fails};
    case K::LowerCaseChecksum: return {"LowerCaseChecksum", fault, O::Succeeds, O::Fails, kLowerCasePinned, "15"};
    case K::WrongLength: fault.value = kShortFrame; return {"ShortFrame", fault, O::Fails, O::Succeeds};
    case K::StrayByte: return {"StrayByte", fault, O::Fails, O::Fails};
    case K::Trickle: fault.value = kTrickleMs; return {"Trickle", fault, O::Succeeds, O::Succeeds, {}, "06"};
    case K::Flood: return {"Flood", fault, O::Fails, O::Fails};
    case K::EndlessFlood: return {"EndlessFlood", fault, O::Fails, O::Fails};
    case K::HangUp: return {"HangUp", fault, O::Fails, O::Fails};
    case K::RawReply: fault.bytes = kEmptyReply; return {"EmptyReply", fault, O::Fails, O::Succeeds};
    case K::FallSilent: fault.count = 0; return {"FallSilent", fault, O::Fails, O::Fails};
    case K::LateQueue:
      fault.value = kQueuedLateMs[1];
      return {"LateQueue" + std::to_string(fault.value), fault, O::Fails, O::Fails};
  }
  return {"Unknown", fault, O::Fails, O::Fails};
}

// Every kind but three: the endless flood costs the flood limit per
// exchange and runs against one operation (EndlessFloodCase); the late
// replies, queued or not, are the slow module's cases (LateReplyCases).
std::vector<FaultCase> AllFaultCases() {
  using K = sim::FaultKind;
  std::vector<FaultCase> cases;
  for (K kind : {K::NoReply, K::BadChecksum, K::LowerCaseChecksum, K::WrongLength, K::StrayByte, K::Trickle,
                 K::Flood, K::HangUp, K::RawReply, K::FallSilent}) {
    cases.push_back(CaseFor(kind));
  }
  // An echoing adapter is no fault: every operation succeeds through it.
  FaultCase echo{"EchoingAdapter", sim::MakeFault(K::NoReply, "", kEveryReply), Outcome::Succeeds,
                 Outcome::Succeeds, {}, "06"};
  echo.echo = true;
  cases.push_back(echo);
  return cases;
}

FaultCase EndlessFloodCase() { return CaseFor(sim::FaultKind::EndlessFlood); }

// Every operation fails against a module this slow, whether it queues or
// not: each answer comes after its window, and a late one is never taken
// for another command's.
std::vector<FaultCase> LateReplyCases() {
  std::vector<FaultCase> cases{CaseFor(sim::FaultKind::Delay)};
  for (int lateMs : kQueuedLateMs) {
    FaultCase late = CaseFor(sim::FaultKind::LateQueue);
    late.fault.value = lateMs;
    late.name = "LateQueue" + std::to_string(lateMs);
    cases.push_back(late);
  }
  return cases;
}

using Param = std::tuple<Operation, FaultCase>;

std::string CaseName(const ::testing::TestParamInfo<Param>& info) {
  return OperationName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
}

// A module whose every field differs from every other, so that a field
// filled from the reply to another command cannot pass for the right one.
sim::ModuleConfig MatrixModule() {
  sim::ModuleConfig config;
  config.id1 = "21";
  config.id2 = "34";
  config.serial1 = "51627384";
  config.serial2 = "95847362";
  config.version = "07.31-19";
  config.keyCount = "06";
  config.mode = '0';
  config.rs485 = '2';
  return config;
}

// The two line settings the baud rate case switches between, by index.
const std::map<int, std::string> kBaudRateSettings = {{4, "19200,n,8,1"}, {5, "19200,e,8,1"}};

const BeepRecord kHigh{1000, 300};
const BeepRecord kLow{300, 300};
constexpr std::chrono::milliseconds kProcessingLimit{10000};
constexpr size_t kPollsBeforeStop = 4;

void PrintTo(Operation operation, std::ostream* out) { *out << OperationName(operation); }
void PrintTo(const FaultCase& faultCase, std::ostream* out) { *out << faultCase.name; }

}  // namespace

class FaultMatrix : public ::testing::TestWithParam<Param> {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  static TfrmModule& Window() { return *window_; }
  static commands::Connection& Conn() { return window_->WindowConnection(); }
  static sim::SimModule& Line() { return *module_; }
  static std::string Shown(const TPanel* panel) { return panel->text().toStdString(); }
  static std::string Message() { return Shown(window_->pnMsg); }

  void StartModule();
  void ScanHealthyModule();
  void SetInputs(Operation operation);
  void Run(Operation operation);
  void ExpectCleanEnd();
  bool ExpectOutcome(Outcome expected);
  void ExpectModulesOwnValues(Operation operation, bool success, const FaultCase& faultCase);
  void ExpectWrittenValues(Operation operation, bool success);
  void ExpectOwnScanValues(bool success, const std::string& key);
  void ExpectOwnCardData();
  int RepliesSpoiltByLowerCase() const;

  static inline std::string folder_;
  static inline std::unique_ptr<TfrmModule> window_;
  static inline std::unique_ptr<sim::SimModule> module_;
  static inline std::vector<BeepRecord> beeps_;
  dev_t device_ = 0;
  int baudTarget_ = 0;
  int baudBefore_ = 0;
  std::string messageBefore_;
};

void FaultMatrix::SetUpTestSuite() {
  char pattern[] = "/tmp/rt420-faults-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  folder_ = pattern;
  setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
  std::filesystem::create_directories(folder_ + "/dev");
  WriteSettingsFile(folder_ + "/TAVIX/Corvel.reg", "", {{1, folder_ + "/dev/COM1"}});
  catalogue::FillCatalogue();
  tone::SetToneRecorder([](unsigned hz, unsigned ms) { beeps_.push_back({hz, ms}); });
  window_ = std::make_unique<TfrmModule>();
  frmModule = window_.get();
  Conn().FloodLimitMs = kMatrixFloodLimitMs;
  window_->show();
  QApplication::processEvents();
}

void FaultMatrix::TearDownTestSuite() {
  window_.reset();
  frmModule = nullptr;
  module_.reset();
  tone::SetToneRecorder({});
  catalogue::ReleaseCatalogue();
  std::filesystem::remove_all(folder_);
}

// A fresh module behind COM1's link; the last case's module is stopped
// first, which removes the link to it.
void FaultMatrix::StartModule() {
  module_.reset();
  module_ = std::make_unique<sim::SimModule>(MatrixModule());
  ASSERT_TRUE(module_->Start());
  ASSERT_TRUE(module_->LinkAt(folder_ + "/dev/COM1"));
  device_ = DeviceNumber(module_->SlavePath());
  ASSERT_NE(device_, 0u);
}

void FaultMatrix::ScanHealthyModule() {
  window_->btnScan->click();
  ASSERT_TRUE(Conn().ModuleFound) << Message() << "\n" << ExplainPort(1);
  module_->ClearCommands();
}

void FaultMatrix::SetUp() {
  ASSERT_TRUE(window_) << "no window: the suite's set-up failed";
  ASSERT_NO_FATAL_FAILURE(StartModule());
  if (std::get<0>(GetParam()) != Operation::Scan && !Conn().ModuleFound) {
    ASSERT_NO_FATAL_FAILURE(ScanHealthyModule());
  }
  beeps_.clear();
}

void FaultMatrix::TearDown() {
  if (!HasFailure() || !module_) return;
  for (const std::string& line : module_->LogLines()) std::printf("  sim: %s\n", line.c_str());
  const auto& [operation, faultCase] = GetParam();
  NoteHeldBackLine(*module_, true, faultCase.For(operation) == Outcome::Succeeds);
}

namespace {

// Sets a scroll bar so that its change handler runs even when it already
// stands at the value: the panel beside it then shows the value for sure.
void SetBar(QScrollBar* bar, int value) {
  bar->setValue(value == bar->minimum() ? value + 1 : value - 1);
  bar->setValue(value);
}

// Starts processing with a click and, from inside its loop, clicks again once
// ready() holds. Returns when the loop has ended, by the second click or by
// itself; false when ready() did not hold in time (the loop is then stopped
// all the same).
bool ProcessUntil(TfrmModule& w, const std::function<bool()>& ready) {
  QTimer watcher;
  serial::Deadline deadline{kProcessingLimit};
  bool clicked = false;
  bool late = false;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (clicked || !w.WindowConnection().Processing) return;
    if (ready() || deadline.Expired()) {
      late = !ready();
      clicked = true;
      w.btnProcess->click();
    }
  });
  watcher.start(5);
  w.btnProcess->click();
  watcher.stop();
  return !late;
}

}  // namespace

// The inputs each operation sends, set as an operator would set them.
void FaultMatrix::SetInputs(Operation operation) {
  TfrmModule& w = Window();
  switch (operation) {
    case Operation::Ids:
      w.cmbMode->setCurrentIndex(0);
      SetBar(w.sbID, 12);
      SetBar(w.sbID2, 13);
      break;
    case Operation::BaudRate:
      // Both settings run at 19200 baud, so every later case still reaches a
      // fresh module whichever of them the window now remembers.
      baudBefore_ = Conn().ScanBaudRateNo;
      baudTarget_ = baudBefore_ == 4 ? 5 : 4;
      w.cmbBaudRate->setCurrentIndex(baudTarget_);
      break;
    case Operation::KeyCount: SetBar(w.sbKey, 9); break;
    case Operation::Mode:
      w.cmbMode->setCurrentIndex(1);
      w.cmbRS485->setCurrentIndex(0);
      break;
    case Operation::FactoryDefault: break;
    case Operation::Processing:
      w.cmbMode->setCurrentIndex(0);
      SetBar(w.sbID, 21);
      SetBar(w.sbID2, 34);
      break;
    case Operation::Scan:
      // Values the module does not have, to tell "kept" from "read".
      SetBar(w.sbKey, 15);
      w.cmbMode->setCurrentIndex(1);
      w.cmbRS485->setCurrentIndex(0);
      break;
  }
}

void FaultMatrix::Run(Operation operation) {
  TfrmModule& w = Window();
  SetInputs(operation);
  messageBefore_ = Message();
  QAbstractButton* buttons[] = {w.btnID, w.btnBaudRate, w.btnKey, w.btnMode, w.btnFactory, w.btnProcess, w.btnScan};
  if (operation != Operation::Processing) {
    buttons[static_cast<int>(operation)]->click();
    return;
  }
  Line().PresentCard(1, "ABC");
  Line().PresentCard(2, "XYZ789");
  EXPECT_TRUE(ProcessUntil(w, [] { return Line().Commands().size() >= kPollsBeforeStop; }))
      << "processing neither ended nor polled " << kPollsBeforeStop << " times";
}

void FaultMatrix::ExpectCleanEnd() {
  EXPECT_FALSE(serial::PortIsOpen(Conn()));
  EXPECT_EQ(DescriptorsOn(device_), 1) << "descriptors on the terminal besides the simulated module's own";
  EXPECT_TRUE(window_->IsWindowEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(window_->tmrBusy->isActive());
  EXPECT_FALSE(Conn().Processing);
}

// Lamp, beep and the outcome the fault calls for; true for a success.
bool FaultMatrix::ExpectOutcome(Outcome expected) {
  const QColor lamp = window_->shComm->Color();
  const bool success = lamp == TfrmModule::kYellow;
  EXPECT_TRUE(success || lamp == TfrmModule::kRed) << lamp.name().toStdString();
  EXPECT_EQ(beeps_, std::vector<BeepRecord>{success ? kHigh : kLow}) << "one beep, agreeing with the lamp";
  if (expected == Outcome::Fails) {
    EXPECT_FALSE(success) << "a failure reported as a success";
  } else {
    EXPECT_TRUE(success) << "replies that arrived intact were not taken";
  }
  return success;
}

// Replies that the lower-case fault changed: the module notes every reply
// it applies the fault to, and those whose checksum had no letter to change.
int FaultMatrix::RepliesSpoiltByLowerCase() const {
  int faulted = 0;
  int unchanged = 0;
  for (const std::string& line : Line().LogLines()) {
    if (line.find("fault: lowercase") != std::string::npos) ++faulted;
    if (line.find("has no letters") != std::string::npos) ++unchanged;
  }
  return faulted - unchanged;
}

void FaultMatrix::ExpectModulesOwnValues(Operation operation, bool success, const FaultCase& faultCase) {
  if (operation == Operation::Processing) return ExpectOwnCardData();
  if (operation == Operation::Scan) return ExpectOwnScanValues(success, faultCase.scanKey);
  const char* names[] = {"Module ID", "Module BaudRate", "Reader Key", "Module Mode", "Factory Default"};
  EXPECT_EQ(Message(), std::string("Set ") + names[static_cast<int>(operation)] + (success ? " Ok" : " Error"));
  ExpectWrittenValues(operation, success);
}

// A success means that the module has what the window shows; after a
// failure the window still shows what the operator chose.
void FaultMatrix::ExpectWrittenValues(Operation operation, bool success) {
  TfrmModule& w = Window();
  const sim::ModuleConfig now = Line().State();
  switch (operation) {
    case Operation::Ids:
      EXPECT_EQ(w.pnID->Caption() + w.pnID2->Caption(), "1213");
      if (success) {
        EXPECT_EQ(now.id1 + now.id2, "1213");
      }
      break;
    case Operation::BaudRate:
      EXPECT_EQ(Conn().ScanBaudRateNo, success ? baudTarget_ : baudBefore_);
      EXPECT_EQ(Conn().ScanBaudRate, kBaudRateSettings.at(Conn().ScanBaudRateNo));
      if (success) {
        EXPECT_EQ(now.lineIndex, baudTarget_);
      }
      break;
    case Operation::KeyCount:
      EXPECT_EQ(w.pnKey->Caption(), "09");
      if (success) {
        EXPECT_EQ(now.keyCount, "09");
      }
      break;
    case Operation::Mode:
      EXPECT_EQ(w.cmbMode->currentIndex(), 1);
      EXPECT_EQ(w.cmbRS485->currentIndex(), 0);
      if (success) {
        EXPECT_EQ(std::string() + now.mode + now.rs485, "10");
      }
      break;
    default:  // the factory default
      EXPECT_EQ(w.pnID->Caption() + w.pnID2->Caption(), "0105");
      if (success) {
        EXPECT_EQ(now.id1 + now.id2 + now.mode + now.rs485 + std::to_string(now.lineIndex), "0105015");
      }
      break;
  }
}

// A scan shows each field as the module has it, or leaves it as the scan
// found it: reset to blanks (serial, version, IDs) or as it was before (key
// count, mode, RS-485). A complete scan has read all but the key count,
// whose read may fail without failing the scan.
void FaultMatrix::ExpectOwnScanValues(bool success, const std::string& key) {
  TfrmModule& w = Window();
  auto either = [success](const std::string& shown, const std::string& own, const std::string& other) {
    EXPECT_TRUE(shown == own || (!success && shown == other)) << "shows \"" << shown << "\", module has \"" << own << "\"";
  };
  either(Shown(w.pnSerial), "S/N : 51627384-5", "S/N : ________-_");
  either(Shown(w.pnVersion), "VER : 07.31-19", "VER : __.__-__");
  either(w.pnID->Caption(), "21", "__");
  either(w.pnID2->Caption(), "34", "__");
  either(std::to_string(w.cmbMode->currentIndex()), "0", "1");
  either(std::to_string(w.cmbRS485->currentIndex()), "2", "0");
  EXPECT_EQ(w.pnKey->Caption(), key);
  EXPECT_EQ(Conn().ModuleFound, success);
  if (success) {
    EXPECT_EQ(Message(), "Get Module Info Ok. (COM : #1)");
  } else {
    EXPECT_TRUE(Message() == "Module Not Find" || Message() == "Get Module Info Error. (COM : #1)") << Message();
  }
}

namespace {

// The bytes the module wrote, in order, from the hexadecimal part of its
// "->" log lines.
std::string WrittenBytes(const sim::SimModule& module) {
  std::string bytes;
  for (const std::string& line : module.LogLines()) {
    size_t open = line.rfind('[');
    size_t close = line.rfind(']');
    if (line.find(" -> ") == std::string::npos || open == std::string::npos || close < open) continue;
    std::istringstream hex(line.substr(open + 1, close - open - 1));
    for (std::string pair; hex >> pair;) {
      if (pair.size() == 2 && std::isxdigit(static_cast<unsigned char>(pair[0])) &&
          std::isxdigit(static_cast<unsigned char>(pair[1]))) {
        bytes.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
      }
    }
  }
  return bytes;
}

// What a panel may show for one reader: nothing, or the data (characters 7
// to n-3) of a reply frame that the module wrote to a poll of that reader.
std::set<std::string> CardDataSent(const sim::SimModule& module, const std::string& id) {
  std::set<std::string> data{""};
  const std::string bytes = WrittenBytes(module);
  for (size_t lf = bytes.find('\n'); lf != std::string::npos; lf = bytes.find('\n', lf + 1)) {
    size_t cr = bytes.find('\r', lf);
    if (cr == std::string::npos) break;
    const std::string frame = bytes.substr(lf, cr - lf + 1);
    if (frame.size() >= 9 && frame.compare(1, 4, "F" + id + ":") == 0) data.insert(frame.substr(6, frame.size() - 9));
  }
  return data;
}

}  // namespace

void FaultMatrix::ExpectOwnCardData() {
  TfrmModule& w = Window();
  EXPECT_EQ(CardDataSent(Line(), "21").count(w.pnWie1->Caption()), 1u) << "reader 1 shows " << w.pnWie1->Caption();
  EXPECT_EQ(CardDataSent(Line(), "34").count(w.pnWie2->Caption()), 1u) << "reader 2 shows " << w.pnWie2->Caption();
  EXPECT_EQ(Message(), messageBefore_) << "processing writes no message of its own";
  EXPECT_EQ(w.btnProcess->text().toStdString(), "Process Module");
  for (QWidget* control : std::vector<QWidget*>{w.btnExit, w.btnScan, w.btnFactory, w.btnID, w.btnBaudRate,
                                                w.btnMode, w.gbDefault, w.btnEng, w.btnGB, w.btnBIG5, w.btnKey}) {
    EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
  }
}

TEST_P(FaultMatrix, EndsCleanWithTheModulesOwnValues) {
  const auto& [operation, faultCase] = GetParam();
  if (faultCase.echo) {
    Line().SetEcho(true);
  } else {
    Line().AddFault(faultCase.fault);
  }

  Run(operation);

  ExpectCleanEnd();
  const bool success = ExpectOutcome(faultCase.For(operation));
  if (!success && faultCase.fault.kind == sim::FaultKind::LowerCaseChecksum) {
    EXPECT_GT(RepliesSpoiltByLowerCase(), 0) << "failed although every reply was intact";
  }
  ExpectModulesOwnValues(operation, success, faultCase);
}

INSTANTIATE_TEST_SUITE_P(EveryFaultOnEveryOperation, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(kOperations), ::testing::ValuesIn(AllFaultCases())),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(EndlessFloodOnOneOperation, FaultMatrix,
                         ::testing::Combine(::testing::Values(Operation::Ids), ::testing::Values(EndlessFloodCase())),
                         CaseName);
// Registered as a test of its own (EndToEndSlowModule).
INSTANTIATE_TEST_SUITE_P(SlowModuleOnEveryOperation, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(kOperations), ::testing::ValuesIn(LateReplyCases())),
                         CaseName);
