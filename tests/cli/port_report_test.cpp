// SPDX-License-Identifier: MIT
// The port report against device, sysfs and process trees built in a fresh
// folder per test. Pseudo-terminal slaves stand for serial devices (linked
// into the built device tree); a plain file stands for a node that is no
// terminal. Port tables are real settings files. A real child process holds
// a real pseudo-terminal for the case of a port held by another program.

#include "port_report.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "settings_store.h"

namespace {

namespace fs = std::filesystem;

constexpr int kChildWaitMs = 20000;  // generous: the machine may be loaded
constexpr const char* kHolderName = "rt420-holder";

bool HasHint(const PortReport& report, const std::string& part) {
  for (const auto& hint : report.hints) {
    if (hint.find(part) != std::string::npos) return true;
  }
  return false;
}

// Reads what a child process wrote until it closes the pipe or `atMost`
// bytes came, waiting in poll.
std::string ReadFromChild(int fd, size_t atMost = 4096) {
  std::string text;
  char buffer[512];
  pollfd p{fd, POLLIN, 0};
  while (text.size() < atMost && poll(&p, 1, kChildWaitMs) > 0) {
    ssize_t n = read(fd, buffer, std::min(sizeof buffer, atMost - text.size()));
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

class PortReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/port-report-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    roots_ = {(root_ / "dev").string(), (root_ / "sys").string(), (root_ / "proc").string()};
    for (const char* folder : {"dev", "sys/class/tty", "proc", "config"}) fs::create_directories(root_ / folder);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
  }
  void TearDown() override {
    for (int fd : masters_) close(fd);
    unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(root_);
  }

  // A fresh pseudo-terminal; its slave's path serves as a serial device.
  std::string NewPty() {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    masters_.push_back(master);
    close(slave);  // only the master keeps the terminal; nothing here holds the slave
    return name;
  }
  static void Link(const fs::path& link, const std::string& target) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
  }
  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }
  std::string Dev(const std::string& name) const { return (root_ / "dev" / name).string(); }
  std::string ById(const std::string& name) const { return Dev("serial/by-id/" + name); }

  // A USB adapter as the kernel shows it: the node, its by-id link, and in
  // sysfs the tty's device link into the adapter's interface folder below
  // the USB device that carries the attributes.
  void AddUsbAdapter(const std::string& tty, const std::string& byId, const std::string& node,
                     const std::map<std::string, std::string>& attributes) {
    Link(root_ / "dev" / tty, node);
    Link(root_ / "dev/serial/by-id" / byId, "../../" + tty);
    const fs::path usb = root_ / "sys/devices/pci0000:00/usb1" / ("1-" + tty);
    fs::create_directories(usb / "1-1:1.0" / tty);
    for (const auto& [name, value] : attributes) Write(usb / name, value);
    Link(root_ / "sys/class/tty" / tty / "device", (usb / "1-1:1.0" / tty).string());
  }
  void AddUart(const std::string& tty, int type) {
    Write(root_ / "sys/class/tty" / tty / "type", std::to_string(type));
  }
  void AddProcess(int pid, const std::string& comm, const std::vector<std::string>& open) {
    const fs::path folder = root_ / "proc" / std::to_string(pid);
    Write(folder / "comm", comm + "\n");
    fs::create_directories(folder / "fd");
    for (size_t fd = 0; fd < open.size(); ++fd) Link(folder / "fd" / std::to_string(fd + 3), open[fd]);
  }
  // A real settings file with exactly these port-table entries.
  static void WriteTable(const std::map<int, std::string>& entries) {
    std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel\\Ports]\n";
    for (const auto& [number, path] : entries) text += "\"COM" + std::to_string(number) + "\"=\"" + path + "\"\n";
    Write(store::SettingsLocation(), text);
  }

  fs::path root_;
  PortRoots roots_;
  std::vector<int> masters_;
};

const std::map<std::string, std::string> kFtdi = {
    {"idVendor", "0403\n"}, {"idProduct", "6001\n"}, {"manufacturer", "FTDI\n"},
    {"product", "FT232R USB UART\n"}, {"serial", "A12345\n"}};

// Two adapters, whose by-id names sort against their kernel names; UARTs
// with and without hardware; a node that is a plain file; a port table with
// an empty entry and an entry past the devices found.
class MixedMachineTest : public PortReportTest {
 protected:
  void SetUp() override {
    PortReportTest::SetUp();
    AddUsbAdapter("ttyUSB1", "usb-A_first-if00", NewPty(), kFtdi);
    AddUsbAdapter("ttyUSB0", "usb-B_second-if00", NewPty(), {{"idVendor", "1a86"}, {"idProduct", "7523"}});
    AddUart("ttyS0", 4);
    AddUart("ttyS1", 0);  // no UART behind it: not numbered
    AddUart("ttyS10", 4);
    AddUart("ttyS2", 4);
    Write(Dev("ttyS2"), "a plain file");
    WriteTable({{2, ""}, {7, Dev("ttyACM0")}});
    reports_ = DescribePorts(roots_);
    ASSERT_EQ(reports_.size(), 16u);
  }
  std::vector<PortReport> reports_;
};

TEST_F(MixedMachineTest, NumbersAdaptersFirstThenUarts) {
  for (int n = 1; n <= 16; ++n) EXPECT_EQ(reports_[n - 1].number, n);
  const PortReport& com1 = reports_[0];
  EXPECT_EQ(com1.device, ById("usb-A_first-if00"));
  EXPECT_EQ(com1.source, "enumeration");
  EXPECT_EQ(com1.resolved, Dev("ttyUSB1"));
  EXPECT_EQ(com1.state, "opens");
  EXPECT_EQ(com1.usbVendor, "FTDI");
  EXPECT_EQ(com1.usbProduct, "FT232R USB UART");
  EXPECT_EQ(com1.usbSerial, "A12345");
  EXPECT_EQ(com1.usbVendorId, "0403");
  EXPECT_TRUE(com1.hints.empty());
  EXPECT_TRUE(com1.holders.empty());

  // COM2 has an empty entry; COM3 still gets the third device found.
  EXPECT_EQ(reports_[2].device, Dev("ttyS0"));
  EXPECT_EQ(reports_[2].state, "missing");
  EXPECT_EQ(reports_[2].usbVendor, "");
  EXPECT_EQ(reports_[3].device, Dev("ttyS2"));
  EXPECT_EQ(reports_[3].state, "not a terminal");
  EXPECT_TRUE(HasHint(reports_[3], "is not a serial device"));
  EXPECT_EQ(reports_[4].device, Dev("ttyS10"));
  EXPECT_EQ(reports_[5].source, "nothing found");
  EXPECT_EQ(reports_[5].state, "none");
  EXPECT_EQ(reports_[15].source, "nothing found");
}

TEST_F(MixedMachineTest, PortTableEntriesTakeThePlaceOfDevicesFound) {
  EXPECT_EQ(reports_[1].source, "port table: empty entry");
  EXPECT_EQ(reports_[1].device, "");
  EXPECT_EQ(reports_[1].state, "none");
  EXPECT_TRUE(reports_[1].hints.empty());

  const PortReport& com7 = reports_[6];
  EXPECT_EQ(com7.source, "port table");
  EXPECT_EQ(com7.device, Dev("ttyACM0"));
  EXPECT_EQ(com7.state, "missing");
  EXPECT_TRUE(HasHint(com7, "maps COM7 to " + Dev("ttyACM0")));
  EXPECT_TRUE(HasHint(com7, store::SettingsLocation()));
}

TEST_F(PortReportTest, AdapterTextsAreShownPlainAndBounded) {
  AddUsbAdapter("ttyUSB0", "usb-odd-if00", NewPty(),
                {{"idVendor", "10c4"}, {"idProduct", "ea60\n"}, {"manufacturer", "\x1b[31mEvil\nsecond line"},
                 {"serial", std::string(10000, 'x')}});
  const PortReport com1 = DescribePorts(roots_)[0];
  EXPECT_EQ(com1.usbVendor, "?[31mEvil");
  EXPECT_EQ(com1.usbProduct, "ea60");  // no product text: its ID stands in
  EXPECT_GT(com1.usbSerial.size(), 0u);
  EXPECT_LE(com1.usbSerial.size(), 128u);
  EXPECT_EQ(com1.usbSerial.find_first_not_of('x'), std::string::npos);
}

TEST_F(PortReportTest, NamesTheProcessesThatHoldTheDevice) {
  AddUsbAdapter("ttyUSB0", "usb-held-if00", NewPty(), kFtdi);
  // The process table shows the node's name or the path a program opened.
  AddProcess(4242, "minicom", {"/dev/null", Dev("ttyUSB0")});
  AddProcess(77, "evil\x1b]0;title\x07", {ById("usb-held-if00"), ById("usb-held-if00")});
  AddProcess(99, "bystander", {"/dev/null", Dev("ttyUSB9")});
  Link(root_ / "proc/self", "4242");  // not a PID: not counted twice

  const PortReport com1 = DescribePorts(roots_)[0];
  ASSERT_EQ(com1.holders.size(), 2u);
  EXPECT_EQ(com1.holders[0], std::make_pair(77, std::string("evil?]0;title?")));
  EXPECT_EQ(com1.holders[1], std::make_pair(4242, std::string("minicom")));
  // Neither locks it, so the link could open it, beside them.
  EXPECT_EQ(com1.state, "opens");
  EXPECT_TRUE(HasHint(com1, "open without locking it"));
}

TEST_F(PortReportTest, TheSimulatedModuleHoldingItsLineIsNotToBeClosed) {
  AddUsbAdapter("ttyUSB0", "usb-sim-if00", NewPty(), kFtdi);
  AddProcess(4243, "rt420-sim", {Dev("ttyUSB0")});
  const PortReport com1 = DescribePorts(roots_)[0];
  EXPECT_EQ(com1.state, "opens");
  EXPECT_TRUE(HasHint(com1, "simulated module's line (rt420-sim keeps it open): leave it running"));
  EXPECT_FALSE(HasHint(com1, "close it"));
}

TEST_F(PortReportTest, HintsAtServicesThatGrabSerialPorts) {
  AddUsbAdapter("ttyUSB0", "usb-fine-if00", NewPty(), kFtdi);
  WriteTable({{2, Dev("ttyUSB7")}, {3, ""}});
  AddProcess(812, "ModemManager", {});
  AddProcess(530, "brltty", {});

  const auto reports = DescribePorts(roots_);
  EXPECT_TRUE(reports[0].hints.empty());  // the port works: nothing to explain
  for (const PortReport& gone : {reports[1], reports[3]}) {
    EXPECT_TRUE(HasHint(gone, "ModemManager is running (PID 812)")) << gone.number;
    EXPECT_TRUE(HasHint(gone, "brltty is running (PID 530)")) << gone.number;
  }
  EXPECT_TRUE(reports[2].hints.empty());  // switched off on purpose
}

TEST_F(PortReportTest, UnreadablePortTableNumbersNothing) {
  AddUsbAdapter("ttyUSB0", "usb-there-if00", NewPty(), kFtdi);
  const auto reports =
      DescribePorts(roots_, [](const std::string&) { return serial::PortTableAnswer::Unreadable(); });
  for (const PortReport& report : reports) {
    EXPECT_EQ(report.device, "") << report.number;
    EXPECT_EQ(report.source, "port table: unreadable");
    EXPECT_EQ(report.state, "unreadable settings");
    EXPECT_TRUE(HasHint(report, "cannot be read"));
  }
}

// A port-table entry that reaches its node through a long chain of links in
// the device tree (more than a by-id link and a node link) is followed to
// the node, as far as the system itself would follow links.
TEST_F(PortReportTest, ALongChainOfLinksIsFollowedToItsNode) {
  Link(root_ / "dev/ttyUSB0", NewPty());
  constexpr int kChain = 12;
  for (int i = 0; i < kChain; ++i) {
    std::string next = i + 1 < kChain ? Dev("chain/" + std::to_string(i + 1)) : Dev("ttyUSB0");
    Link(root_ / "dev/chain" / std::to_string(i), next);
  }
  WriteTable({{1, Dev("chain/0")}});
  const PortReport com1 = DescribePorts(roots_)[0];
  EXPECT_EQ(com1.device, Dev("chain/0"));
  EXPECT_EQ(com1.resolved, Dev("ttyUSB0"));
  EXPECT_EQ(com1.state, "opens");
}

// A child process opens the device and takes its lock, as a serial program
// does, and keeps it until the test closes the pipe.
TEST_F(PortReportTest, PortHeldByAnotherProcessIsBusyAndNamed) {
  const std::string pty = NewPty();
  Link(root_ / "dev/ttyUSB0", pty);
  Link(root_ / "dev/serial/by-id/usb-held-if00", "../../ttyUSB0");
  roots_.proc = "/proc";
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    prctl(PR_SET_NAME, kHolderName);
    int fd = open(pty.c_str(), O_RDWR | O_NOCTTY);
    char byte = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
    close(release[1]);
    (void)!write(ready[1], &byte, 1);
    (void)!read(release[0], &byte, 1);  // returns when the test closes its end
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  const std::string answer = ReadFromChild(ready[0], 1);
  const auto held = DescribePorts(roots_);
  close(release[1]);
  int status = 0;
  waitpid(child, &status, 0);
  close(ready[0]);

  ASSERT_EQ(answer, "y");
  EXPECT_EQ(held[0].state, "busy");
  ASSERT_EQ(held[0].holders.size(), 1u);
  EXPECT_EQ(held[0].holders[0], std::make_pair(static_cast<int>(child), std::string(kHolderName)));
  const auto freed = DescribePorts(roots_);
  EXPECT_EQ(freed[0].state, "opens");
  EXPECT_TRUE(freed[0].holders.empty());
}

// In a child process that gave up root: state and first hint of COM1 and COM2.
std::string FirstTwoPortsAsNobody(const PortRoots& roots) {
  constexpr uid_t kNobody = 65534;
  if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) return "cannot drop root";
  std::ostringstream text;
  for (const PortReport& r : DescribePorts(roots)) {
    if (r.number <= 2) text << r.state << "|" << (r.hints.empty() ? "" : r.hints[0]) << "\n";
  }
  return text.str();
}

// FirstTwoPortsAsNobody in a forked child, so that the test process keeps
// root; its answer, or what went wrong.
std::string FirstTwoPortsAsNobodyInAChild(const PortRoots& roots) {
  int out[2];
  if (pipe(out) != 0) return "no pipe";
  const pid_t child = fork();
  if (child < 0) return "no fork";
  if (child == 0) {
    close(out[0]);
    const std::string text = FirstTwoPortsAsNobody(roots);
    (void)!write(out[1], text.data(), text.size());
    _exit(0);
  }
  close(out[1]);
  const std::string answer = ReadFromChild(out[0]);
  close(out[0]);
  waitpid(child, nullptr, 0);
  return answer;
}

// Root opens any device, so the refusal is seen by a child that gives up
// root for the user "nobody" first. Two devices: one for a group the user is
// not in, one for its owner alone.
TEST_F(PortReportTest, DeniedDeviceNamesTheMissingGroup) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: the test gives a device to a group the test user is not in";
  const group* dialout = getgrnam("dialout");
  if (dialout == nullptr) GTEST_SKIP() << "this system has no group dialout";
  const std::string forGroup = NewPty();
  const std::string forOwner = NewPty();
  ASSERT_EQ(chown(forGroup.c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(forGroup.c_str(), 0660), 0);
  ASSERT_EQ(chmod(forOwner.c_str(), 0600), 0);
  fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
  WriteTable({{1, forGroup}, {2, forOwner}});
  const std::string answer = FirstTwoPortsAsNobodyInAChild(roots_);
  if (answer == "cannot drop root") GTEST_SKIP() << "this system does not let root become nobody";
  EXPECT_EQ(answer,
            "denied|add yourself to the group dialout: sudo usermod -aG dialout $USER, then log in again\n"
            "denied|access to " + forOwner +
                " is denied: its owner or an administrator must allow you to read and write it\n");
}

// A device with no access for anyone, owned by the user who asks: as root
// (who opens it whatever its mode), a child that became "nobody" owns and
// asks; as any other user, the test itself.
TEST_F(PortReportTest, DeniedDeviceWithoutAnyAccess) {
  constexpr uid_t kNobody = 65534;
  const std::string pty = NewPty();
  ASSERT_EQ(chmod(pty.c_str(), 0), 0);
  WriteTable({{1, pty}});
  std::string answer;
  if (geteuid() == 0) {
    ASSERT_EQ(chown(pty.c_str(), kNobody, kNobody), 0);
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    answer = FirstTwoPortsAsNobodyInAChild(roots_);
    ASSERT_NE(answer, "cannot drop root");
  } else {
    const PortReport com1 = DescribePorts(roots_)[0];
    answer = com1.state + "|" + (com1.hints.empty() ? "" : com1.hints[0]) + "\n";
    EXPECT_EQ(com1.hints.size(), 1u);
  }
  // The user owns it: joining a group would not help.
  EXPECT_EQ(answer.substr(0, answer.find('\n') + 1),
            "denied|access to " + pty + " is denied: its owner or an administrator must allow you to read and write it\n");
}

}  // namespace
