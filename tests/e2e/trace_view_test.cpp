// SPDX-License-Identifier: MIT
// The trace view through the real window: Ctrl+T opens it, it shows the
// frames of the operations that follow in the order they went out, with the
// module's replies, and saves them to a file.
#include <unistd.h>

#include <QKeyEvent>
#include <QTableWidget>
#include <fstream>
#include <sstream>

#include "e2e_fixture.h"
#include "frames.h"
#include "serial_port.h"
#include "wait_until.h"
#include "trace_window.h"

namespace {
void PressCtrlT(QWidget* target) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_T, Qt::ControlModifier);
  QCoreApplication::sendEvent(target, &press);
}

std::vector<std::string> Column(const QTableWidget* table, int column) {
  std::vector<std::string> cells;
  for (int row = 0; row < table->rowCount(); ++row) cells.push_back(table->item(row, column)->text().toStdString());
  return cells;
}

// Milliseconds since this process started, by the kernel's accounts (the
// start in clock ticks since boot, field 22 of /proc/self/stat, against
// /proc/uptime).
long long ProcessAgeMs() {
  std::ifstream statFile("/proc/self/stat");
  std::string stat;
  std::getline(statFile, stat);
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));  // from field 3
  std::string field;
  for (int number = 3; number <= 22; ++number) fields >> field;
  double uptime = 0;
  std::ifstream("/proc/uptime") >> uptime;
  return static_cast<long long>(uptime * 1000) - std::stoll(field) * 1000 / sysconf(_SC_CLK_TCK);
}
}  // namespace

TEST_F(EndToEnd, CtrlTShowsTheFramesOfTheNextOperationInOrder) {
  sim::SimModule& module = ScannedModule();
  TfrmModule& w = Window();
  const QRect modeButton = w.btnMode->geometry();
  const QSize windowSize = w.size();
  w.sbID->setFocus();
  PressCtrlT(w.sbID);
  TfrmTrace* view = w.TraceView();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
  EXPECT_EQ(w.btnMode->geometry(), modeButton);
  EXPECT_EQ(w.size(), windowSize);

  w.cmbMode->setCurrentIndex(1);
  w.cmbRS485->setCurrentIndex(2);
  w.btnMode->click();
  view->Refresh();

  ASSERT_EQ(module.Commands(), (std::vector<std::string>{"H00M", "H00A102"}));
  std::vector<std::string> directions = Column(view->tblFrames, 1);
  std::vector<std::string> texts = Column(view->tblFrames, 3);
  ASSERT_GE(texts.size(), 4u);
  // Each frame went out before its reply came in, and they alternate.
  EXPECT_EQ(directions[0], ">");
  EXPECT_EQ(texts[0], "\\tH00M0C\\r");
  EXPECT_EQ(directions[1], "<");
  EXPECT_EQ(texts[1].substr(0, 2), "\\n");
  EXPECT_EQ(directions[2], ">");
  EXPECT_NE(texts[2].find("H00A102"), std::string::npos);
  EXPECT_EQ(directions[3], "<");
  EXPECT_EQ(Column(view->tblFrames, 2)[0], "09 48 30 30 4D 30 43 0D");
}

TEST_F(EndToEnd, TheTraceViewSavesItsFramesAsLines) {
  ScannedModule();
  TfrmModule& w = Window();
  w.OpenTraceView();
  w.btnMode->click();
  const std::string path = SettingsPath() + ".trace.txt";
  ASSERT_TRUE(w.TraceView()->SaveTo(QString::fromStdString(path)));

  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_NE(lines[0].find("> 09 48 30 30 4D 30 43 0D"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("< 0A"), std::string::npos) << lines[1];
  // Nothing of the line's bytes reaches the file unescaped.
  for (const std::string& line : lines)
    for (char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << line;
  // A view that cannot write says so.
  EXPECT_FALSE(w.TraceView()->SaveTo(QStringLiteral("/nonexistent-folder/trace.txt")));
}

TEST_F(EndToEnd, TheTraceViewMarksBytesThrownAwayWhileTheLineFellQuiet) {
  sim::SimModule& module = ScannedModule();
  TfrmModule& w = Window();
  PressCtrlT(&w);
  TfrmTrace* view = w.TraceView();
  ASSERT_NE(view, nullptr);
  // An earlier frame still unanswered: the next command of another kind
  // first waits for the line to fall quiet, and a stray reply that comes
  // meanwhile is thrown away.
  ASSERT_TRUE(serial::OpenPort(Conn(), 1, Conn().ScanBaudRate));
  Conn().FramesSinceQuiet = 1;
  Conn().RepliesSinceQuiet = 0;
  Conn().LastCommand = "H00V";
  module.WriteRaw("\nlate\r");
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const sim::LineChunk& chunk : module.LineChunks())
          if (chunk.direction == sim::LineChunk::Direction::ToTool && chunk.bytes == "\nlate\r") return true;
        return false;
      },
      std::chrono::seconds(5)));
  Conn().LastLineActivityAt = serial::TickCount();
  serial::SendCommand(Conn(), "H00M");
  serial::ClosePort(Conn());
  view->Refresh();

  std::vector<std::string> texts = Column(view->tblFrames, 3);
  std::vector<std::string> directions = Column(view->tblFrames, 1);
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[0], "\\nlate\\r  (discarded)");
  EXPECT_EQ(directions[0], "<");
  EXPECT_EQ(texts[1], "\\tH00M0C\\r");
  EXPECT_EQ(texts.back().find("(discarded)"), std::string::npos);
}

// Times count from the program's start, as rt420ctl --trace counts them: in
// the table and in the saved file, none is later than this process is old.
TEST_F(EndToEnd, TraceTimesCountFromTheProgramsStart) {
  FoundModule();
  TfrmModule& w = Window();
  w.OpenTraceView();
  w.btnMode->click();
  w.TraceView()->Refresh();
  const std::string path = SettingsPath() + ".trace.txt";
  ASSERT_TRUE(w.TraceView()->SaveTo(QString::fromStdString(path)));
  std::ifstream saved(path);
  long long firstSaved = -1;
  saved >> firstSaved;
  // A tick of the kernel's start time (10 ms at most here) may round it.
  const long long age = ProcessAgeMs() + 20;

  const std::vector<std::string> times = Column(w.TraceView()->tblFrames, 0);
  ASSERT_FALSE(times.empty());
  long long previous = 0;
  for (const std::string& time : times) {
    EXPECT_GE(std::stoll(time), previous);
    EXPECT_LE(std::stoll(time), age);
    previous = std::stoll(time);
  }
  EXPECT_EQ(firstSaved, std::stoll(times.front()));
}
