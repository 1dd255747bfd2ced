// SPDX-License-Identifier: MIT
// Ports that do not open, through the real window: one that another program
// holds, and the port of a module that has gone after a new terminal has
// taken its number. In both the window must write nothing to any port; the
// fixture's diagnosis of the port only explains a failure.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>

#include "e2e_fixture.h"
#include "serial_port.h"

namespace {
// The port numbers a scan may try, COM1 to COM16.
constexpr uint64_t kPortNumbers = 16;

// A descriptor of the test's own, holding the advisory lock as another
// serial program would.
class LockHolder {
 public:
  explicit LockHolder(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    locked_ = fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0;
  }
  ~LockHolder() {
    if (fd_ >= 0) close(fd_);
  }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
  bool Locked() const { return locked_; }

 private:
  int fd_;
  bool locked_ = false;
};
}  // namespace

TEST_F(EndToEnd, PortHeldByAnotherProgramIsPassedOverWithoutWritingAFrame) {
  sim::SimModule& module = AddModule(1);
  OpenWindow();
  {
    LockHolder other(PortPath(1));
    ASSERT_TRUE(other.Locked());
    const uint64_t failuresBefore = serial::PortOpenFailureCount(Conn());
    SentFrameCounter sent(Conn());

    Window().btnScan->click();

    EXPECT_EQ(Message(), "Module Not Find");
    // Every port number was tried once, the held one included, and none
    // opened; no frame was written, so none can reach the module later.
    EXPECT_EQ(serial::PortOpenFailureCount(Conn()) - failuresBefore, kPortNumbers) << ExplainPort(1);
    EXPECT_EQ(sent.Count(), 0u) << ExplainPort(1);
    EXPECT_TRUE(module.Commands().empty());
  }
  ScanOk();  // released, the same port opens again
}

TEST_F(EndToEnd, PortOfAGoneModuleStaysShutAfterANewTerminalTakesItsNumber) {
  sim::SimModule& module = AddModule(3);
  TfrmModule& w = OpenWindow();
  ScanOk();
  module.Stop();
  // The kernel hands the freed number to the next new terminal, here one
  // that answers nothing the window sends: a poll that reached it would end
  // processing red at once instead of reporting the port.
  sim::ModuleConfig silent;
  silent.id1 = "77";
  silent.id2 = "78";
  sim::SimModule newcomer(silent);
  ASSERT_TRUE(newcomer.Start());

  const uint64_t failuresBefore = serial::PortOpenFailureCount(Conn());
  SentFrameCounter sent(Conn());

  w.btnProcess->click();

  EXPECT_EQ(Message(), "Open COM : 3 Error");
  EXPECT_EQ(serial::PortOpenFailureCount(Conn()) - failuresBefore, 1u);
  const serial::PortOpenFailure failure = serial::LastPortOpenFailure(Conn());
  EXPECT_EQ(failure.problem, serial::PortOpenProblem::Missing) << ExplainPort(3);
  EXPECT_EQ(failure.devicePath, PortPath(3)) << ExplainPort(3);
  EXPECT_EQ(sent.Count(), 0u) << "the window wrote to " << failure.devicePath;
  EXPECT_EQ(FramesReceived(newcomer), 0u) << "the window reached " << newcomer.SlavePath();
  EXPECT_EQ(DescriptorsOn(DeviceNumber(newcomer.SlavePath())), 1) << "only the newcomer's own";
}

namespace {
// Everything the code under test writes to stderr while it lives, read back
// with Text().
class StderrCapture {
 public:
  StderrCapture() : file_(std::tmpfile()), saved_(dup(STDERR_FILENO)) {
    std::fflush(stderr);
    if (file_) dup2(fileno(file_), STDERR_FILENO);
  }
  ~StderrCapture() {
    Restore();
    if (file_) std::fclose(file_);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  std::string Text() {
    Restore();
    std::string text;
    if (!file_) return text;
    std::rewind(file_);
    for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) text += static_cast<char>(c);
    return text;
  }

 private:
  void Restore() {
    std::fflush(stderr);
    if (saved_ >= 0) dup2(saved_, STDERR_FILENO), close(saved_);
    saved_ = -1;
  }
  std::FILE* file_;
  int saved_;
};
}  // namespace

// The status panel shows the module's own words; why the port did not open
// goes to stderr, in one line with a hint.
TEST_F(EndToEnd, APortThatDoesNotOpenIsExplainedOnStderr) {
  sim::SimModule& module = ScannedModule();
  {
    LockHolder other(PortPath(1));
    ASSERT_TRUE(other.Locked());
    StderrCapture captured;
    Window().btnMode->click();
    const std::string text = captured.Text();
    EXPECT_EQ(Message(), "Set Module Mode Error");
    EXPECT_NE(text.find("rt420config: cannot open COM1 (" + PortPath(1) + "): busy"), std::string::npos) << text;
    EXPECT_NE(text.find("another program holds it"), std::string::npos) << text;
  }
  module.Stop();
  StderrCapture captured;
  Window().btnProcess->click();
  const std::string text = captured.Text();
  EXPECT_EQ(Message(), "Open COM : 1 Error");
  EXPECT_NE(text.find("rt420config: cannot open COM1"), std::string::npos) << text;
  EXPECT_NE(text.find("missing"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  EXPECT_TRUE(module.Commands().empty());
}
