// SPDX-License-Identifier: MIT
// The Win32 window driven as an operator drives it: real clicks and keys at
// real timing (real_input.h), beeps included, while operations run; double
// clicks; the keyboard's focus, Tab and Enter.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "deadline.h"
#include "catalogue.h"
#include "messages.h"
#include "real_input.h"
#include "window_fixture.h"

namespace {
using namespace window_test;

// Long enough for input still queued when an operation has ended to reach
// the window and start whatever it would start.
constexpr std::chrono::milliseconds kSettle{400};
// A case whose input came only after the operation had ended tells nothing;
// it is tried again, this often at most.
constexpr int kTries = 3;
// Longer than any script waits in all (a few waits of kWait at most).
constexpr std::chrono::milliseconds kScriptLimit = 4 * kWait;

class Win32WindowInput : public Win32Window {
 protected:
  // Serves the window, as the program's loop does, while the script's input
  // comes, until the script has ended and no operation runs; then kSettle
  // longer. betweenMessages is called after every message the loop takes
  // meanwhile, when no handler runs.
  void Serve(const InputThread::Script& script, const std::function<void()>& betweenMessages = [] {}) {
    InputThread input(script);
    // The script's own waits are bounded; this one only ends with them.
    ServeUntil(
        [&] {
          betweenMessages();
          return input.Finished() && !window->OperationRunning();
        },
        kScriptLimit);
    serial::Deadline settled(kSettle);
    ServeUntil([&] {
      betweenMessages();
      return settled.Expired();
    });
  }
  size_t Frames(const std::string& command) { return log.Count(command); }
  std::string PollOfReader1() { return "H" + window->Caption(C::pnID) + "F"; }
};

TEST_F(Win32WindowInput, AClickWhileAnOperationRunsStartsNothing) {
  struct Case {
    const char* name;
    C operation;
    size_t frames;  // the frames the operation sends: the click comes in its closing beep
    C stray;
    const char* strayCommand;  // a frame that only the stray click's operation sends
  };
  const Case cases[] = {
      {"Set Module ID in Set Module Mode", C::btnMode, 2, C::btnID, "H00C"},
      {"Set Module Baud Rate in Set Module Mode", C::btnMode, 2, C::btnBaudRate, "H00E"},
      {"Set Module ID in a scan", C::btnScan, 5, C::btnID, "H00C"},
  };
  ScanStoredPort();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int conclusive = 0;
    for (int attempt = 0; attempt < kTries && conclusive == 0; ++attempt) {
      const size_t replies = log.Replies(), strayFrames = Frames(c.strayCommand);
      const int started = window->OperationClicks();
      std::atomic<bool> whileRunning{false};
      Serve([&](InputThread& input) {
        input.Click(Control(c.operation));
        if (!input.WaitUntil([&] { return log.Replies() >= replies + c.frames; }, kWait)) return;
        input.Click(Control(c.stray));
        whileRunning = window->OperationRunning();
      });
      ASSERT_GE(log.Replies(), replies + c.frames) << "the operation did not run";
      // A click that came after the operation is a click of its own.
      if (!whileRunning) continue;
      ++conclusive;
      EXPECT_EQ(window->OperationClicks(), started + 1);
      EXPECT_EQ(Frames(c.strayCommand), strayFrames);
      EXPECT_TRUE(IsWindowEnabled(window->Handle()));
    }
    EXPECT_GT(conclusive, 0) << "no stray click came while the operation ran";
  }
}

TEST_F(Win32WindowInput, KeysDuringAScanChangeNothing) {
  struct Case {
    const char* name;
    C focused;
    WORD key;
    std::function<bool()> unchanged;
  };
  const Case cases[] = {
      {"arrows on sbKey", C::sbKey, VK_RIGHT,
       [&] { return GetScrollPos(Control(C::sbKey), SB_CTL) == form::RowOf(C::sbKey).position; }},
      {"space on chkLock", C::chkLock, VK_SPACE,
       [&] { return SendMessageW(Control(C::chkLock), BM_GETCHECK, 0, 0) == BST_CHECKED; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int conclusive = 0;
    for (int attempt = 0; attempt < kTries && conclusive == 0; ++attempt) {
      Reopen();
      SetFocus(Control(c.focused));
      const size_t replies = log.Replies();
      const int started = window->OperationClicks();
      std::atomic<bool> whileRunning{false};
      Serve([&](InputThread& input) {
        // Enter starts the scan: no button has the focus.
        input.Key(VK_RETURN);
        if (!input.WaitUntil([&] { return log.Replies() > replies; }, kWait)) return;
        for (int i = 0; i < 3; ++i) {
          input.Key(c.key);
          serial::SleepMs(static_cast<unsigned>(InputThread::kPress.count()));
        }
        whileRunning = window->OperationRunning();
      });
      ASSERT_EQ(window->OperationClicks(), started + 1) << "Enter started no scan";
      if (!whileRunning) continue;
      ++conclusive;
      EXPECT_TRUE(c.unchanged());
      EXPECT_EQ(GetFocus(), Control(c.focused)) << "the focus came back";
    }
    EXPECT_GT(conclusive, 0) << "no key came while the scan ran";
  }
}

// The system's double-click time, raised for one test and put back.
class DoubleClickTime {
 public:
  explicit DoubleClickTime(UINT ms) : before_(GetDoubleClickTime()) { SetDoubleClickTime(ms); }
  ~DoubleClickTime() { SetDoubleClickTime(before_); }
  DoubleClickTime(const DoubleClickTime&) = delete;
  DoubleClickTime& operator=(const DoubleClickTime&) = delete;

 private:
  UINT before_;
};

TEST_F(Win32WindowInput, ProcessingStoppedByTheOperatorStaysStopped) {
  // Long enough that a second click can come after processing has ended
  // (its closing beep included) and still within the double-click time.
  constexpr uint32_t kDoubleClickMs = 1200;
  constexpr uint32_t kLateClickMs = 800;
  struct Case {
    const char* name;
    bool doubleClick;  // else a second click kLateClickMs after the stopping one
  };
  const Case cases[] = {{"a double click", true}, {"a late second click", false}};
  DoubleClickTime doubleClickTime(kDoubleClickMs);
  ScanStoredPort();
  // One reader: a cycle, and so the loop, ends soon after the stop.
  window->SelectMode(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int conclusive = 0;
    for (int attempt = 0; attempt < kTries && conclusive == 0; ++attempt) {
      // A click within the double-click time of the last stop starts nothing.
      ServeFor(std::chrono::milliseconds(kDoubleClickMs));
      const size_t polls = Frames(PollOfReader1());
      const int started = window->OperationClicks();
      std::atomic<bool> inTime{false};
      bool restarted = false;
      // How the first run ended: yellow when the operator stopped it, red
      // when a poll failed first (a loaded machine can hold a reply back).
      std::optional<form::Rgb> firstRunEnded;
      // Processing started again (by a click taken after the first run) is
      // stopped here, so that the test ends.
      TickWatcher runaway([&] {
        if (window->OperationClicks() <= started + 1 || !Conn().Processing) return false;
        restarted = true;
        Conn().Stop.Request();
        return true;
      });
      auto watchFirstRun = [&] {
        if (!firstRunEnded && window->OperationClicks() == started + 1) firstRunEnded = window->LampColor();
      };
      Serve([&](InputThread& input) {
        input.Click(Control(C::btnProcess));
        // Processing polls twice, unless a failed poll ends it first.
        if (!input.WaitUntil([&] { return window->OperationRunning(); }, kWait)) return;
        if (!input.WaitUntil([&] { return Frames(PollOfReader1()) >= polls + 2 || !window->OperationRunning(); },
                             kWait) ||
            !window->OperationRunning())
          return;
        const uint32_t stop = serial::TickCount();
        if (c.doubleClick) {
          input.DoubleClick(Control(C::btnProcess));
          inTime = true;
          return;
        }
        input.Click(Control(C::btnProcess));
        if (!input.WaitUntil([&] { return !window->OperationRunning(); }, kWait)) return;
        const uint32_t elapsed = serial::TickCount() - stop;
        if (elapsed < kLateClickMs) serial::SleepMs(kLateClickMs - elapsed);
        input.Click(Control(C::btnProcess));
        // It counts when both clicks came within the double-click time.
        inTime = serial::TickCount() - stop < kDoubleClickMs;
      }, watchFirstRun);
      // Processing that ended by itself before the stop is no case of this.
      if (!inTime || firstRunEnded != form::kYellow) continue;
      ++conclusive;
      EXPECT_FALSE(restarted);
      EXPECT_FALSE(Conn().Processing);
      EXPECT_EQ(window->LampColor(), form::kYellow);
      EXPECT_EQ(Text(C::btnProcess), Message(catalogue::kMsgProcess));
    }
    EXPECT_GT(conclusive, 0);
  }
}

TEST_F(Win32WindowInput, TabGoesThroughEveryControlInReadingOrder) {
  std::vector<HWND> expected;
  for (const form::ControlRow& row : form::FormControls()) {
    switch (row.kind) {
      case form::ControlKind::Button:
      case form::ControlKind::ScrollBar:
      case form::ControlKind::List:
      case form::ControlKind::CheckBox: expected.push_back(Control(row.control)); break;
      default: break;
    }
  }
  expected.push_back(expected.front());  // and round again
  for (size_t i = 0; i < expected.size(); ++i) {
    HWND before = GetFocus();
    PressKey(VK_TAB);
    ASSERT_TRUE(ServeUntil([&] { return GetFocus() != before; })) << "Tab number " << i + 1 << " moved nothing";
    EXPECT_EQ(GetFocus(), expected[i]) << "Tab number " << i + 1;
  }
}

TEST_F(Win32WindowInput, EnterPressesTheFocusedButtonAndScansWithoutOne) {
  ScanStoredPort();
  struct Case {
    const char* name;
    std::function<void()> focus;
    std::vector<int> outcomes;  // the messages of the operation Enter starts; none: no operation
    int language;               // the language afterwards
  };
  const Case cases[] = {
      {"btnGB", [&] { SetFocus(Control(C::btnGB)); }, {}, 1},
      {"btnEng", [&] { SetFocus(Control(C::btnEng)); }, {}, 0},
      {"btnID after its click", [&] { Serve([&](InputThread& input) { input.Click(Control(C::btnID)); }); },
       {catalogue::kMsgSetIdOk, catalogue::kMsgSetIdError}, 0},
      {"no button", [&] { SetFocus(window->Handle()); }, {catalogue::kMsgInfoOk, catalogue::kMsgInfoError, catalogue::kMsgNotFound}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.focus();
    const size_t received = log.Count(SimLog::kReceivedMark);
    const int started = window->OperationClicks();
    Serve([&](InputThread& input) { input.Key(VK_RETURN); });
    EXPECT_EQ(catalogue::Language.LanguageIndex, c.language);
    EXPECT_EQ(window->OperationClicks(), started + (c.outcomes.empty() ? 0 : 1));
    if (c.outcomes.empty()) {
      EXPECT_EQ(log.Count(SimLog::kReceivedMark), received) << "Enter started an operation";
      continue;
    }
    const std::string shown = window->Caption(C::pnMsg);
    EXPECT_TRUE(std::any_of(c.outcomes.begin(), c.outcomes.end(),
                            [&](int outcome) { return shown.rfind(catalogue::MessageText(outcome), 0) == 0; }))
        << "pnMsg: " << shown;
  }
}

TEST_F(Win32WindowInput, TheKeyboardWorksAfterAScanStartedWithEnter) {
  const int started = window->OperationClicks();
  Serve([&](InputThread& input) { input.Key(VK_RETURN); });
  ASSERT_EQ(window->OperationClicks(), started + 1);
  EXPECT_EQ(GetFocus(), window->Handle()) << "the focus came back";
  PressKey(VK_TAB);
  ASSERT_TRUE(ServeUntil([&] { return GetFocus() == Control(C::btnScan); }));
  Serve([&](InputThread& input) { input.Key(VK_RETURN); });
  EXPECT_EQ(window->OperationClicks(), started + 2);
  EXPECT_EQ(GetFocus(), Control(C::btnScan));
}

}  // namespace
