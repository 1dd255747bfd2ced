// SPDX-License-Identifier: MIT
// rt420ctl watch against a simulated module: a line per card, the CSV file,
// and the ends: a stop request (deadline, SIGINT, SIGTERM) closes the port
// and exits 0; a poll without a reply exits 1.
#include <termios.h>

#include <csignal>

#include "cli_fixture.h"
#include "serial_device.h"

namespace {
// VMIN of the line as another program sees it. The link sets it to 0 while
// it holds the port and puts the port's own value back when it closes it.
int LineVmin(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios tio{};
  bool read = fd >= 0 && tcgetattr(fd, &tio) == 0;
  if (fd >= 0) close(fd);
  return read ? tio.c_cc[VMIN] : -1;
}

size_t CountPolls(const std::vector<std::string>& commands) {
  size_t polls = 0;
  for (const std::string& c : commands) polls += c.size() == 4 && c.back() == 'F';
  return polls;
}
}  // namespace

TEST_F(CliTest, WatchPrintsALinePerCardAndAppendsThemToTheCsvFile) {
  sim::SimModule& module = StoredModule();
  ASSERT_TRUE(module.PresentCard(1, "0012345678"));
  ASSERT_TRUE(module.PresentCard(2, "AB,\x01\"C"));
  std::string csv = WriteFile("cards.csv", "time,reader,data\nearlier,1,kept");  // no final line break
  ChildResult r = Run({"watch", "--seconds", "0.5", "--csv", csv});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  std::vector<std::string> cards;
  for (const std::string& line : Lines(r.out))
    if (Contains(line, " reader ")) cards.push_back(line.substr(line.find(" reader ")));
  EXPECT_EQ(cards, (std::vector<std::string>{" reader 1 0012345678", " reader 2 AB,\\x01\"C"})) << r.out;
  EXPECT_TRUE(Contains(r.out, "stopped: 2 cards read")) << r.out;
  // Both readers polled under their IDs, one after the other.
  std::vector<std::string> polls = After(module, kScanFrames.size());
  ASSERT_GE(polls.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(polls.begin(), polls.begin() + 4),
            (std::vector<std::string>{"H01F", "H05F", "H01F", "H05F"}));
  std::vector<std::string> lines = Lines(ReadFile(csv));
  ASSERT_EQ(lines.size(), 4u) << ReadFile(csv);
  EXPECT_EQ(lines[1], "earlier,1,kept");
  EXPECT_TRUE(Contains(lines[2], ",1,0012345678")) << lines[2];
  EXPECT_TRUE(Contains(lines[3], ",2,\"AB,\\x01\"\"C\"")) << lines[3];
}

TEST_F(CliTest, WatchCsvCellsFromTheLineNeverStartAFormula) {
  sim::SimModule& module = StoredModule();
  const std::vector<std::string> cards = {"=HYPERLINK(\"x\")", "@SUM(1)", "+1", "-2", "12,34"};
  for (const std::string& card : cards) ASSERT_TRUE(module.PresentCard(1, card));
  std::string csv = (Dir() / "cards.csv").string();
  // One card per poll of reader 1: wait for the last, then stop.
  std::unique_ptr<ChildProcess> child = Start({"watch", "--csv", csv});
  ASSERT_TRUE(child->WaitForOutput(" reader 1 " + cards.back() + "\n", std::chrono::seconds(60))) << child->Out();
  child->Signal(SIGTERM);
  ChildResult r = child->Finish(kLimit);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  // The terminal shows the data as it came.
  EXPECT_TRUE(Contains(r.out, " reader 1 =HYPERLINK(\"x\")")) << r.out;
  std::vector<std::vector<std::string>> records = ReadCsv(ReadFile(csv));
  ASSERT_EQ(records.size(), cards.size() + 1) << ReadFile(csv);
  EXPECT_EQ(records[0], (std::vector<std::string>{"time", "reader", "data"}));
  for (size_t i = 0; i < cards.size(); ++i) {
    ASSERT_EQ(records[i + 1].size(), 3u) << ReadFile(csv);
    for (const std::string& cell : records[i + 1])
      EXPECT_EQ(std::string("=+-@\t\r").find(cell.front()), std::string::npos) << cell;
    bool formula = std::string("=+-@").find(cards[i].front()) != std::string::npos;
    EXPECT_EQ(records[i + 1][2], (formula ? "'" : "") + cards[i]);
  }
}

TEST_F(CliTest, ASignalEndsWatchAfterTheCycleClosesThePortAndExitsZero) {
  for (int stop : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(stop == SIGINT ? "SIGINT" : "SIGTERM");
    sim::SimModule& module = StoredModule();
    int vminBefore = LineVmin(module.SlavePath());
    ASSERT_GE(vminBefore, 1);
    std::unique_ptr<ChildProcess> child = Start({"watch"});
    ASSERT_TRUE(module.WaitForCommands(kScanFrames.size() + 6, std::chrono::seconds(60)));
    // Held by the program: its exclusive mode keeps a user other than root
    // out; root sees the link's own VMIN.
    int held = LineVmin(module.SlavePath());
    EXPECT_TRUE(held == 0 || held == -1) << held;
    child->Signal(stop);
    ChildResult r = child->Finish(kLimit);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.signal, 0);
    EXPECT_TRUE(Contains(r.out, "stopped: 0 cards read")) << r.out;
    // The port was closed properly: its own setting is back, and it opens
    // exclusively again.
    EXPECT_EQ(LineVmin(module.SlavePath()), vminBefore);
    EXPECT_NE(serial::OpenSerialDevice(module.SlavePath()).device, nullptr);
    EXPECT_GE(CountPolls(module.Commands()), 6u);
  }
}

TEST_F(CliTest, AReaderOfTheOutputThatGoesAwayEndsWatchLikeAStopRequest) {
  sim::SimModule& module = StoredModule();
  int vminBefore = LineVmin(module.SlavePath());
  ASSERT_TRUE(module.PresentCard(1, "11111111"));
  std::unique_ptr<ChildProcess> child = Start({"watch"});
  ASSERT_TRUE(child->WaitForOutput(" reader 1 11111111", std::chrono::seconds(60))) << child->Out();
  child->CloseOutput();
  // The next card cannot be printed: the program stops after the cycle.
  ASSERT_TRUE(module.PresentCard(1, "22222222"));
  ChildResult r = child->Finish(kLimit);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(LineVmin(module.SlavePath()), vminBefore);
}

TEST_F(CliTest, APollWithoutReplyEndsWatchWithExitCodeOne) {
  sim::SimModule& module = StoredModule();
  module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "F", 1));
  ChildResult r = Run({"--json", "watch"});
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_TRUE(Contains(r.out, "\"outcome\":\"failed\",")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\"cards\":0")) << r.out;
  EXPECT_EQ(After(module, kScanFrames.size()), (std::vector<std::string>{"H01F"}));
  module.ClearCommands();
  module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "F", 1));
  EXPECT_TRUE(Contains(Run({"watch"}).out, "polling ended: no reply from the module at COM3 after 0 cards"));
}
