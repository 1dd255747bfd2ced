// SPDX-License-Identifier: MIT
// Input made while an operation runs, as a mouse and a keyboard make it:
// real events queued at their moment (real_input.h) while the operation
// sleeps, waits or beeps for the full 300 ms (lasting_tone.h). None of it
// may start another operation once the first is over.
#include <QPushButton>
#include <QStyleHints>
#include <memory>

#include "e2e_fixture.h"
#include "lasting_tone.h"
#include "link_state.h"
#include "real_input.h"

namespace {
using Frames = std::vector<std::string>;
using Button = QPushButton* TfrmModule::*;
constexpr std::chrono::milliseconds kIntoBeep{50};
constexpr std::chrono::milliseconds kIntoFreeze{100};
constexpr uint32_t kFreezeMs = 600;
// A scroll bar held down steps again every 50 ms or so.
constexpr std::chrono::milliseconds kRepeatsWouldShow{300};

// Past the double-click time of the last stop: a click within it would
// start nothing.
std::chrono::milliseconds AfterStop() {
  return std::chrono::milliseconds(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
}

// Handles the window's events until the condition holds (20 s at most),
// then once more for anything still queued.
bool HandleEventsUntil(const std::function<bool()>& condition) {
  serial::Deadline deadline{std::chrono::seconds(20)};
  while (!condition() && !deadline.Expired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  QCoreApplication::processEvents();
  return condition();
}

size_t CountStarting(const Frames& frames, const std::string& start) {
  return static_cast<size_t>(
      std::count_if(frames.begin(), frames.end(), [&](const std::string& f) { return f.rfind(start, 0) == 0; }));
}

// An operation started by a click, and input that comes while it beeps its
// outcome (the beep lasts until that input is queued): a click on another
// button, or a key to the focused button. One operation, one beep; and
// the frames of the operation the stray input would start never go out.
struct StrayInput {
  const char* name;
  Button operation;
  Button strayClick;  // nullptr: the key instead
  int strayKey;
  const char* strayFrame;  // nullptr: the same operation again
};

void PrintTo(const StrayInput& c, std::ostream* out) { *out << c.name; }

const StrayInput kStrayInputs[] = {
    {"ClickOnSetIdWhileModeIsWritten", &TfrmModule::btnMode, &TfrmModule::btnID, 0, "H00C"},
    {"ClickOnSetIdDuringAScan", &TfrmModule::btnScan, &TfrmModule::btnID, 0, "H00C"},
    {"ClickOnSetBaudRateDuringAScan", &TfrmModule::btnScan, &TfrmModule::btnBaudRate, 0, "H00E"},
    {"EnterOnTheFocusedButtonWhileItsOperationRuns", &TfrmModule::btnMode, nullptr, Qt::Key_Return, nullptr},
    {"SpaceOnTheFocusedButtonWhileItsOperationRuns", &TfrmModule::btnID, nullptr, Qt::Key_Space, nullptr},
};

class StrayInputTest : public EndToEnd, public ::testing::WithParamInterface<StrayInput> {};

class BusyInput : public EndToEnd {
 protected:
  // A one-reader module, scanned: a processing cycle is one poll, so the
  // loop ends soon after a stop.
  sim::SimModule& OneReaderModule() {
    sim::ModuleConfig config;
    config.mode = '1';
    return FoundModule(config);
  }
  // From now on no poll is answered: processing started again would end at
  // its first poll, red, with a beep of its own.
  static void AnswerNoPoll(sim::SimModule& module) {
    module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "F", -1));
  }

  // Runs a script (made by script()) that starts processing and stops it
  // with a click, until processing ends and the script with it. The run
  // counts when processing still ran at the stop: the first beep is the
  // stop's high one. On a machine loaded beyond its means a poll can miss
  // its reply window and end processing before the stop; such a run says
  // nothing of the stop and is made again, three runs at most. Returns the
  // run that counted.
  std::unique_ptr<RealInput> RunUntilStopped(sim::SimModule& module, LastingTone& tone,
                                             const std::function<void(RealInput&)>& script) {
    constexpr int kRuns = 3;
    for (int run = 0; run < kRuns; ++run) {
      module.ClearFaults();
      module.ClearCommands();
      tone.Clear();
      auto input = std::make_unique<RealInput>(Window());
      input->Pause(AfterStop());
      script(*input);
      input->Start();
      if (!HandleEventsUntil([&] { return input->Finished() && tone.Ended() >= 1 && !Conn().ProcessingActive; })) {
        ADD_FAILURE() << "the script did not end";
        return nullptr;
      }
      const LastingTone::Beeps heard = tone.Heard();
      if (!heard.empty() && heard.front().first == kStopHz) {
        EXPECT_FALSE(input->TimedOut());
        return input;
      }
    }
    ADD_FAILURE() << "processing never ran until its stop";
    return nullptr;
  }

  static constexpr unsigned kStopHz = 1000;
};

}  // namespace

TEST_P(StrayInputTest, RunsNoSecondOperation) {
  const StrayInput& c = GetParam();
  sim::SimModule& module = FoundModule();
  TfrmModule& w = Window();
  QApplication::setActiveWindow(&w);
  LastingTone tone;
  tone.HoldFrom(1);
  RealInput input(w);
  input.Click(w.*c.operation);
  input.WaitFor([&] { return tone.Begun() >= 1; });
  input.Pause(kIntoBeep);
  if (c.strayClick)
    input.Click(w.*c.strayClick);
  else
    input.Key(c.strayKey);
  input.Then([&] { tone.Release(); });
  input.Start();

  ASSERT_TRUE(HandleEventsUntil([&] { return input.Finished() && tone.Ended() >= 1; }));
  EXPECT_FALSE(input.TimedOut());
  EXPECT_EQ(tone.Heard().size(), 1u) << Message();
  if (c.strayFrame) {
    EXPECT_EQ(CountStarting(module.Commands(), c.strayFrame), 0u);
  }
  ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, StrayInputTest, ::testing::ValuesIn(kStrayInputs),
                         [](const auto& info) { return std::string(info.param.name); });

// A double click at real speed on a writing button writes once.
TEST_F(EndToEnd, DoubleClickOnSetModuleIdWritesTheIdsOnce) {
  FoundModule();
  TfrmModule& w = Window();
  LastingTone tone;
  RealInput input(w);
  input.DoubleClick(w.btnID);
  input.Start();

  ASSERT_TRUE(HandleEventsUntil([&] { return input.Finished() && tone.Ended() >= 1; }));
  EXPECT_EQ(tone.Heard().size(), 1u) << Message();
  ExpectIdle();
}

// A module that floods a poll holds the window until the flood limit; a
// click on Cancel Process Module meanwhile comes too late to stop anything
// and must not start processing again once the failed poll has ended it.
TEST_F(BusyInput, CancelClickWhileAFloodHoldsTheWindowStartsNothing) {
  sim::SimModule& module = OneReaderModule();
  TfrmModule& w = Window();
  Conn().FloodLimitMs = kFreezeMs;
  module.AddFault(sim::MakeFault(sim::FaultKind::EndlessFlood, "F", 1));
  LastingTone tone;
  tone.HoldFrom(1);
  RealInput input(w);
  input.Click(w.btnProcess);
  input.WaitFor([&] { return !module.Commands().empty(); });
  input.Pause(kIntoFreeze);
  input.Click(w.btnProcess);
  input.Then([&] {
    AnswerNoPoll(module);
    tone.Release();
  });
  input.Start();

  const bool ended = HandleEventsUntil([&] { return input.Finished() && tone.Ended() >= 1; });
  ASSERT_TRUE(ended);
  EXPECT_EQ(module.Commands(), Frames{"H01F"});
  EXPECT_EQ(tone.Heard(), (LastingTone::Beeps{{300, 300}}));
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
  EXPECT_FALSE(Conn().ProcessingActive);
  ExpectIdle();
}

// A press made while processing runs, released only after a failed poll has
// ended it: the release starts nothing, leaves no button pressed in, and
// lets a held scroll bar go.
TEST_F(BusyInput, PressHeldUntilProcessingEndedActsOnItsReleaseOnlyAsALetGo) {
  sim::SimModule& module = OneReaderModule();
  TfrmModule& w = Window();
  const QPoint rightArrow(w.sbID->width() - 4, w.sbID->height() / 2);
  for (auto [held, at] : {std::pair<QWidget*, std::optional<QPoint>>{w.btnProcess, std::nullopt}, {w.sbID, rightArrow}}) {
    SCOPED_TRACE(held->objectName().toStdString());
    module.ClearFaults();
    LastingTone tone;
    tone.HoldFrom(1);
    RealInput input(w);
    input.Pause(AfterStop());
    input.Click(w.btnProcess);
    input.WaitFor([&] { return module.Commands().size() >= 2; });
    input.Press(held, at);
    // The press is queued before the poll that fails, whose wait serves it.
    input.Then([&] { AnswerNoPoll(module); });
    input.WaitFor([&] { return tone.Begun() >= 1; });
    input.Release(held, at);
    input.Then([&] { tone.Release(); });
    input.Start();

    ASSERT_TRUE(HandleEventsUntil([&] { return input.Finished() && tone.Ended() >= 1 && !Conn().ProcessingActive; }));
    const int idAtEnd = w.sbID->value();
    const serial::Deadline settle(kRepeatsWouldShow);
    HandleEventsUntil([&] { return settle.Expired(); });
    EXPECT_EQ(tone.Heard(), (LastingTone::Beeps{{300, 300}}));
    EXPECT_FALSE(w.btnProcess->isDown());
    EXPECT_EQ(w.sbID->value(), idAtEnd) << "the bar still moves";
    ExpectIdle();
  }
}

// Two clicks 60 ms apart on "Cancel Process Module": the first stops the
// loop, which then beeps; the second must not start it again. Repeated,
// since where the second click lands depends on where the loop was.
TEST_F(BusyInput, DoubleClickOnCancelLeavesProcessingStopped) {
  constexpr int kRounds = 4;
  sim::SimModule& module = OneReaderModule();
  TfrmModule& w = Window();
  LastingTone tone;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const auto run = RunUntilStopped(module, tone, [&](RealInput& input) {
      input.Click(w.btnProcess);
      input.WaitFor([&] { return module.Commands().size() >= 2; });
      input.DoubleClick(w.btnProcess);
      input.WaitFor([&] { return tone.Begun() >= 1; });
      input.Then([&] { AnswerNoPoll(module); });
    });
    ASSERT_TRUE(run);
    EXPECT_EQ(tone.Heard(), (LastingTone::Beeps{{1000, 300}}));
    EXPECT_EQ(w.shComm->Color(), TfrmModule::kYellow);
    ExpectIdle();
  }
}

// Enter presses the focused button while processing runs too: on "Cancel
// Process Module" it stops processing.
TEST_F(BusyInput, EnterOnCancelProcessModuleStopsProcessing) {
  sim::SimModule& module = OneReaderModule();
  TfrmModule& w = Window();
  QApplication::setActiveWindow(&w);
  LastingTone tone;
  const auto run = RunUntilStopped(module, tone, [&](RealInput& input) {
    input.Click(w.btnProcess);
    input.WaitFor([&] { return module.Commands().size() >= 2; });
    input.Key(Qt::Key_Return);
    input.WaitFor([&] { return tone.Begun() >= 1; });
    input.Then([&] { AnswerNoPoll(module); });
  });
  ASSERT_TRUE(run);
  EXPECT_EQ(tone.Heard(), (LastingTone::Beeps{{1000, 300}}));
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kYellow);
}

// A click made within the double-click time of the stopping click does not
// start processing, even after the stop has ended; a later one does.
TEST_F(BusyInput, ClickSoonAfterTheStoppingClickStartsNothingALaterOneDoes) {
  constexpr int kIntervalMs = 1500;
  sim::SimModule& module = OneReaderModule();
  TfrmModule& w = Window();
  QStyleHints* hints = QGuiApplication::styleHints();
  const int interval = hints->mouseDoubleClickInterval();
  hints->setMouseDoubleClickInterval(kIntervalMs);
  LastingTone tone;
  const auto run = RunUntilStopped(module, tone, [&](RealInput& input) {
    input.Click(w.btnProcess);
    input.WaitFor([&] { return module.Commands().size() >= 2; });
    input.Mark("stop");
    input.Click(w.btnProcess);
    input.WaitFor([&] { return tone.Ended() >= 1; });
    input.Pause(std::chrono::milliseconds(100));
    input.Mark("soon");
    input.Click(w.btnProcess);
    input.Then([&] { AnswerNoPoll(module); });
    input.Pause(std::chrono::milliseconds(kIntervalMs));
    input.Mark("later");
    input.Click(w.btnProcess);
    input.WaitFor([&] { return tone.Ended() >= 2; });
  });
  hints->setMouseDoubleClickInterval(interval);
  ASSERT_TRUE(run);
  ASSERT_LT(run->Between("stop", "soon"), kIntervalMs) << "the machine held the input back too long";
  // The stop (high beep), then the later click's processing, ended by its
  // unanswered poll (low beep); nothing between them.
  EXPECT_EQ(tone.Heard(), (LastingTone::Beeps{{1000, 300}, {300, 300}}));
  ExpectIdle();
}
