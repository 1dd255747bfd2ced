// SPDX-License-Identifier: MIT
#include "console_panel.h"

#include <algorithm>
#include <cstdio>

#include "catalogue.h"
#include "cli_output.h"
#include "codepage.h"
#include "stop_request.h"

namespace {
// The ID bars' range, as the window's scroll bars have it.
constexpr int kBarMin = 1, kBarMax = 99;
// The key-count bar's range.
constexpr int kKeyBarMin = 0, kKeyBarMax = 20;
// The entries of the mode and RS-485 lists.
constexpr int kModeCount = 2, kRs485Count = 3;
// A full search shows a message per port and line setting; an operation
// keeps the last of them only.
constexpr size_t kPanelMessagesKept = 256;

// Moves a bar; true when its position changed (its change handler runs).
bool MoveBar(int& bar, int position, int low, int high) {
  int clamped = std::clamp(position, low, high);
  if (clamped == bar) return false;
  bar = clamped;
  return true;
}
}  // namespace

ConsolePanel::ConsolePanel(Connection& connection) : connection_(connection) {
  shown_.idText = "__";
  shown_.id2Text = "__";
  shown_.keyText = "__";
  SelectLineSetting(connection_.ScanBaudRateNo);
}

void ConsolePanel::SetMessageHandler(MessageHandler handler) { onMessage_ = std::move(handler); }
void ConsolePanel::SetCardHandler(CardHandler handler) { onCard_ = std::move(handler); }

void ConsolePanel::ChooseId(int id) {
  MoveIdBar(id);
  shown_.idText = TwoDigits(id);
}

void ConsolePanel::ChooseId2(int id) {
  MoveId2Bar(id);
  shown_.id2Text = TwoDigits(id);
}

void ConsolePanel::ChooseKeyCount(int count) {
  MoveBar(shown_.keyBar, count, kKeyBarMin, kKeyBarMax);
  shown_.keyText = TwoDigits(count);
}

void ConsolePanel::ChooseLock(bool locked) { locked_ = locked; }

void ConsolePanel::ClearOutcome() {
  lamp_.reset();
  messages_.clear();
  shown_.id2Read.reset();
}

void ConsolePanel::ReportPortProblem(const std::string& line) {
  if (reportPortProblems_) PrintErrorLine("rt420ctl: " + line);
}

void ConsolePanel::ShowMessage(const std::string& bytes) {
  std::string utf8 = DecodeToUtf8(bytes, CurrentCodePage());
  if (messages_.size() >= kPanelMessagesKept) messages_.erase(messages_.begin());
  messages_.push_back(utf8);
  if (onMessage_) onMessage_(utf8);
}

void ConsolePanel::SetLamp(LampColour colour) { lamp_ = colour; }

void ConsolePanel::ProcessMessages() {
  // Processing ends by asking its connection to stop; it looks at the
  // request before every cycle.
  Connection& c = connection_;
  if (c.ProcessingActive && c.Processing && StopRequested()) c.Stop.Request();
}

void ConsolePanel::SelectLineSetting(int index) {
  // Like a list: an index outside it selects nothing.
  bool inList = index >= 0 && index < kLineSettingCount;
  shown_.lineSettingIndex = inList ? index : -1;
}

void ConsolePanel::SelectMode(int index) { shown_.modeIndex = index >= 0 && index < kModeCount ? index : -1; }
void ConsolePanel::SelectRs485(int index) { shown_.rs485Index = index >= 0 && index < kRs485Count ? index : -1; }

void ConsolePanel::MoveIdBar(int position) {
  if (MoveBar(shown_.idBar, position, kBarMin, kBarMax)) shown_.idText = TwoDigits(shown_.idBar);
}

void ConsolePanel::MoveId2Bar(int position) {
  shown_.id2Read = position;
  if (MoveBar(shown_.id2Bar, position, kBarMin, kBarMax)) shown_.id2Text = TwoDigits(shown_.id2Bar);
}

void ConsolePanel::ShowSerial(const std::string&, const std::string& value) { shown_.serial = value; }
void ConsolePanel::ShowVersion(const std::string&, const std::string& value) { shown_.version = value; }

void ConsolePanel::ShowCardData(int reader, const std::string& bytes) {
  // Empty data is a poll with no card waiting (or the panels being cleared).
  if (!bytes.empty() && onCard_) onCard_(reader, bytes);
}
