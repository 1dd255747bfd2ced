// SPDX-License-Identifier: MIT
// The port's exclusive mode after ends that run no destructor: a second
// Ctrl+C to rt420ctl, and a tool killed outright while the simulated module
// keeps its own end of the terminal open. Either way the next run, as an
// unprivileged user (root is not kept out by the mode), opens the port.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "serial_device.h"
#include "settings_file.h"
#include "settings_home.h"
#include "sim_module.h"
#include "test_user.h"
#include "wait_until.h"

extern char** environ;

namespace {

constexpr std::chrono::seconds kLimit{30};

bool Exclusive(int fd) {
  int exclusive = 0;
  return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

// Whether a signal sent to the process is still waiting to be delivered
// (two signals of one kind sent together may merge into one).
bool SignalPending(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  const unsigned long long bit = 1ULL << (signal - 1);
  for (std::string line; std::getline(status, line);)
    if ((line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0) &&
        (std::stoull(line.substr(7), nullptr, 16) & bit) != 0)
      return true;
  return false;
}

// As the user, opens the port as the next run would; waits up to the limit
// for it to open. 0 when it opened.
int OpensWithin(const std::string& path, std::chrono::milliseconds limit) {
  return WaitUntil([&] { return serial::OpenSerialDevice(path).device != nullptr; }, limit) ? 0 : 1;
}

class ExitPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!user_.available) GTEST_SKIP() << user_.why;
    ASSERT_TRUE(home_.Made());
  }

  // The settings home and the terminal become the user's, as on a machine
  // where the user may use the port.
  void GiveToUser(const std::string& terminal) {
    std::filesystem::create_directories(home_.Folder());
    for (const auto& path : {home_.Root(), home_.Folder(), home_.File()}) {
      if (!std::filesystem::exists(path)) continue;
      ASSERT_EQ(::chown(path.c_str(), user_.uid, user_.gid), 0) << path;
    }
    ASSERT_EQ(::chown(terminal.c_str(), user_.uid, user_.gid), 0);
  }

  const TestUser& user_ = UnprivilegedUser();
  SettingsHome home_{"rt420-exit"};
};

// A terminal nobody answers on, with a descriptor of the test's own on it,
// as the simulated module keeps one: the mode does not end with the tool's
// last descriptor.
class SilentTerminal {
 public:
  SilentTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0)
      return;
    path_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~SilentTerminal() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  bool Made() const { return slave_ >= 0; }
  const std::string& Path() const { return path_; }
  int Slave() const { return slave_; }

 private:
  int master_ = -1, slave_ = -1;
  std::string path_;
};

TEST_F(ExitPathTest, SecondCtrlCLeavesThePortFreeForTheNextRun) {
  SilentTerminal terminal;
  ASSERT_TRUE(terminal.Made());
  // The stored result sends the scan to COM3 first; no other port is behind.
  WriteSettingsFile(home_.File(),
                    "\"ScanCommNo\"=dword:00000003\n\"ScanBaudRate\"=\"19200,e,8,1\"\n\"ScanBaudRateNo\"=dword:00000005\n",
                    {{3, terminal.Path()}});
  GiveToUser(terminal.Path());

  // The first Ctrl+C lets the step finish; should the step end before the
  // second arrives, the program exits by itself, and the case is tried again.
  constexpr int kTries = 3;
  bool endedBySecond = false;
  for (int attempt = 0; attempt < kTries && !endedBySecond; ++attempt) {
    pid_t tool = StartAsUser(user_, [] {
      int null = open("/dev/null", O_RDWR);
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      char* const argv[] = {const_cast<char*>(RT420CTL_PATH), const_cast<char*>("--no-beep"),
                            const_cast<char*>("scan"), nullptr};
      execve(RT420CTL_PATH, argv, environ);
      return 127;
    });
    ASSERT_GT(tool, 0);
    const bool held = WaitUntil([&] { return Exclusive(terminal.Slave()); }, kLimit);
    kill(tool, SIGINT);
    WaitUntil([&] { return !SignalPending(tool, SIGINT); }, kLimit);
    kill(tool, SIGINT);
    ChildEnd end = WaitForChild(tool, kLimit);
    ASSERT_TRUE(held) << "the scan never held the port";
    ASSERT_TRUE(end.ended);
    endedBySecond = end.signal == SIGINT;
    EXPECT_TRUE(endedBySecond || end.exitCode >= 0) << "signal " << end.signal;
    EXPECT_FALSE(Exclusive(terminal.Slave()));
    ChildEnd next = RunAsUser(user_, [&] { return OpensWithin(terminal.Path(), std::chrono::milliseconds(0)); }, kLimit);
    EXPECT_TRUE(next.ended && next.exitCode == 0) << "the next run does not open " << terminal.Path();
  }
  EXPECT_TRUE(endedBySecond) << "the second Ctrl+C never ended the program";
}

TEST_F(ExitPathTest, SimulatedModuleClearsTheModeOfAKilledTool) {
  sim::SimModule module;
  ASSERT_TRUE(module.Start());
  // Taken before the children fork: the module's lock may be held by its
  // thread at that moment, and a child would wait for it for ever.
  const std::string port = module.SlavePath();
  GiveToUser(port);

  // The tool opens the port (exclusive mode and lock) and is killed.
  ChildEnd killed = RunAsUser(
      user_,
      [&] {
        serial::DeviceOpenResult opened = serial::OpenSerialDevice(port);
        if (!opened.device) return 1;
        raise(SIGKILL);
        return 2;
      },
      kLimit);
  ASSERT_TRUE(killed.ended);
  ASSERT_EQ(killed.signal, SIGKILL) << "exit code " << killed.exitCode;

  ChildEnd next = RunAsUser(user_, [&] { return OpensWithin(port, std::chrono::seconds(5)); }, kLimit);
  EXPECT_TRUE(next.ended && next.exitCode == 0) << "the next run does not open " << port;
  bool told = false;
  for (const std::string& line : module.LogLines()) told = told || line.find("mode cleared") != std::string::npos;
  EXPECT_TRUE(told);
}

// The exit path gives up the mode of every device it knows, and no device
// takes the mode after it: a device opened on another thread at that moment
// would otherwise keep the mode after the end. In a child process of its
// own, since the exit path is for good there.
TEST(ExitPathModeTest, NoDeviceTakesTheModeOnceTheExitPathHasRun) {
  SilentTerminal terminal;
  ASSERT_TRUE(terminal.Made());
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    serial::DeviceOpenResult held = serial::OpenSerialDevice(terminal.Path());
    if (!held.device || !Exclusive(terminal.Slave())) _exit(2);
    serial::ReleaseSerialDeviceForExit();
    if (Exclusive(terminal.Slave())) _exit(3);
    held.device.reset();
    serial::DeviceOpenResult late = serial::OpenSerialDevice(terminal.Path());
    _exit(!late.device ? 4 : Exclusive(terminal.Slave()) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the device opened after the exit path took the mode";
}

}  // namespace
