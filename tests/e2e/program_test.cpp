// SPDX-License-Identifier: MIT
// The program as main() runs it (RunProgram, in this process, with its own
// application object and its handler for exceptions in event handlers),
// driven through its own event loop by a script of mouse clicks. Qt starts
// the script when the program creates its application (a startup routine).
// An exception is thrown where the program really meets the outside world
// in an event handler: the tone, whose test recorder throws here.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "connection.h"
#include "deadline.h"
#include "held_back_line.h"
#include "main_window.h"
#include "port_diagnosis.h"
#include "program.h"
#include "serial_port.h"
#include "settings_file.h"
#include "sim_module.h"
#include "tone.h"

namespace {

constexpr std::chrono::milliseconds kScriptLimit{20000};
constexpr int kTickMs = 10;

// Steps that run one after the other, each once its condition holds, on a
// timer of the program's own event loop (which also ticks inside nested
// loops: an operation's waits, a message box). Past the time limit the
// script ends the program's loop, so that a test never hangs.
class Script {
 public:
  void Then(std::function<bool()> ready, std::function<void()> act) { steps_.push_back({std::move(ready), std::move(act)}); }
  bool Finished() const { return next_ == steps_.size(); }
  bool TimedOut() const { return timedOut_; }
  size_t StepsDone() const { return next_; }

  // Called by Qt as the program creates its application.
  void Start() {
    deadline_ = std::make_unique<serial::Deadline>(kScriptLimit);
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [this] { Tick(); });
    timer->start(kTickMs);
  }

 private:
  struct Step {
    std::function<bool()> ready;
    std::function<void()> act;
  };

  void Tick() {
    if (timedOut_) return;
    if (!Finished() && steps_[next_].ready()) {
      steps_[next_++].act();
    } else if (!Finished() && deadline_->Expired()) {
      timedOut_ = true;
      QCoreApplication::exit(1);  // every loop of the thread, nested ones too
    }
  }

  std::vector<Step> steps_;
  size_t next_ = 0;
  bool timedOut_ = false;
  std::unique_ptr<serial::Deadline> deadline_;
};

Script* runningScript = nullptr;
bool throwOnStart = false;

void StartRunningScript() {
  if (throwOnStart) {
    throwOnStart = false;
    throw std::runtime_error("no application");
  }
  if (runningScript != nullptr) runningScript->Start();
}

// A left click as the platform delivers one: press and release at the
// button's centre, through the application's event loop and its handler.
void Click(QAbstractButton* button) {
  const QPointF centre = QRectF(button->rect()).center();
  const QPointF global = button->mapToGlobal(centre);
  QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, centre, global, Qt::LeftButton,
                                                      Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton,
                                                      Qt::NoButton, Qt::NoModifier));
}

QMessageBox* ShownBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

// The window idle: shown, enabled, no message box, no hourglass.
bool WindowIdle() {
  return frmModule != nullptr && frmModule->isVisible() && frmModule->IsWindowEnabled() && ShownBox() == nullptr &&
         QApplication::overrideCursor() == nullptr;
}

// What the program's message box showed.
struct BoxSeen {
  std::string title;
  std::string text;
  bool critical = false;
};

BoxSeen ReadAndCloseBox() {
  QMessageBox* box = ShownBox();
  BoxSeen seen{box->windowTitle().toStdString(), box->text().toStdString(), box->icon() == QMessageBox::Critical};
  Click(box->button(QMessageBox::Ok));
  return seen;
}

// One run of the program in this process, over a settings folder of its own
// whose port table maps COM1 to `com1` (nothing when empty) and the other
// ports to nothing.
class ProgramRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/rt420-program-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static const bool hooked = (qAddPreRoutine(StartRunningScript), true);
    (void)hooked;
  }

  void TearDown() override {
    tone::SetToneRecorder({});
    std::filesystem::remove_all(folder_);
  }

  int Run(Script& script, const std::string& com1 = "") {
    WriteSettingsFile(folder_ + "/TAVIX/Corvel.reg", "", {{1, com1}});
    char name[] = "rt420config";
    char* argv[] = {name, nullptr};
    runningScript = &script;
    const int result = RunProgram(1, argv);
    runningScript = nullptr;
    EXPECT_FALSE(script.TimedOut()) << "script stuck after step " << script.StepsDone();
    EXPECT_TRUE(script.Finished());
    return result;
  }

  std::string folder_;
};

using EndToEndProgram = ProgramRun;

commands::Connection& Conn() { return frmModule->WindowConnection(); }

// Processing is over: the port closed, the flag clear, the caption and the
// controls that processing locks back as they were.
void ExpectProcessingOver(dev_t device) {
  TfrmModule& w = *frmModule;
  EXPECT_FALSE(serial::PortIsOpen(Conn()));
  EXPECT_EQ(DescriptorsOn(device), 1) << "descriptors on the terminal besides the simulated module's own";
  EXPECT_FALSE(w.tmrBusy->isActive());
  EXPECT_FALSE(Conn().Processing) << "a click on btnProcess would only stop a loop that no longer runs";
  EXPECT_EQ(w.btnProcess->text().toStdString(), "Process Module");
  for (QWidget* control : std::vector<QWidget*>{w.btnExit, w.btnScan, w.btnFactory, w.btnID, w.btnBaudRate,
                                                w.btnMode, w.gbDefault, w.btnEng, w.btnGB, w.btnBIG5, w.btnKey}) {
    EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
  }
}

}  // namespace

TEST_F(EndToEndProgram, ExceptionInAClickHandlerIsShownAndTheWindowStaysUsable) {
  int beepsAsked = 0;
  tone::SetToneRecorder([&](unsigned, unsigned) {
    if (++beepsAsked == 1) throw std::runtime_error("sound device gone");
  });
  BoxSeen box;
  std::string afterException;
  std::string afterSecondClick;
  Script script;
  script.Then(WindowIdle, [] { Click(frmModule->btnMode); });  // refused without a scan: red lamp, low beep
  script.Then([] { return ShownBox() != nullptr; }, [&] { box = ReadAndCloseBox(); });
  script.Then(WindowIdle, [&] {
    afterException = frmModule->pnMsg->text().toStdString();
    Click(frmModule->btnMode);
  });
  script.Then([&] { return beepsAsked == 2 && WindowIdle(); }, [&] {
    afterSecondClick = frmModule->pnMsg->text().toStdString();
    Click(frmModule->btnExit);
  });

  EXPECT_EQ(Run(script), 0);

  EXPECT_EQ(box.title, "TAVIX RT-420 Module Config");
  EXPECT_EQ(box.text, "sound device gone");
  EXPECT_TRUE(box.critical);
  EXPECT_EQ(afterException, "Start Scan Module!") << "the handler ran up to the beep";
  EXPECT_EQ(afterSecondClick, "Start Scan Module!");
  EXPECT_EQ(beepsAsked, 2);
}

TEST_F(EndToEndProgram, ExceptionWhileProcessingHoldsThePortLeavesItClosedAndTheWindowUsable) {
  sim::SimModule module;
  ASSERT_TRUE(module.Start());
  ASSERT_TRUE(module.LinkAt(folder_ + "/com1"));
  const dev_t device = DeviceNumber(module.SlavePath());
  int beepsAsked = 0;
  tone::SetToneRecorder([&](unsigned hz, unsigned) {
    // The beep after a failed poll comes while processing still holds the port.
    if (++beepsAsked == 2) throw std::runtime_error("sound device gone at " + std::to_string(hz) + " Hz");
  });
  BoxSeen box;
  Script script;
  script.Then(WindowIdle, [] { Click(frmModule->btnScan); });
  script.Then([&] { return beepsAsked == 1 && WindowIdle(); }, [&] {
    ASSERT_TRUE(Conn().ModuleFound);
    module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "F", 1));
    Click(frmModule->btnProcess);
  });
  script.Then([] { return ShownBox() != nullptr; }, [&] { box = ReadAndCloseBox(); });
  script.Then(WindowIdle, [&] {
    ExpectProcessingOver(device);
    // Without Exit the loop is ended from here, so that the run still ends.
    if (frmModule->btnExit->isEnabled()) {
      Click(frmModule->btnExit);
    } else {
      QCoreApplication::exit(0);
    }
  });

  EXPECT_EQ(Run(script, folder_ + "/com1"), 0);

  EXPECT_EQ(box.text, "sound device gone at 300 Hz");
  EXPECT_EQ(module.Commands(), (std::vector<std::string>{"H00M", "H00V", "H00L", "H00A", "H00N", "H01F"}));
  if (HasFailure()) NoteHeldBackLine(module, true);
}

// In a process of its own: an application whose constructor threw leaves Qt
// unusable for any later application in the same process.
TEST_F(EndToEndProgram, ExceptionWhileTheApplicationIsMadeEndsTheProgramWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto run = [] {
    throwOnStart = true;  // thrown by the startup routine, inside the application's constructor
    char name[] = "rt420config";
    char* argv[] = {name, nullptr};
    std::exit(RunProgram(1, argv));
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), "rt420config: no application\n$");
}
