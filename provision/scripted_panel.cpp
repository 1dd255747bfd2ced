// SPDX-License-Identifier: MIT
#include "scripted_panel.h"

#include <algorithm>
#include <cstdio>

#include "catalogue.h"
#include "codepage.h"

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

ScriptedPanel::ScriptedPanel(commands::Connection& connection) : connection_(connection) {
  shown_.idText = "__";
  shown_.id2Text = "__";
  shown_.keyText = "__";
  SelectLineSetting(connection_.ScanBaudRateNo);
}

void ScriptedPanel::SetMessageHandler(MessageHandler handler) { onMessage_ = std::move(handler); }
void ScriptedPanel::SetCardHandler(CardHandler handler) { onCard_ = std::move(handler); }

void ScriptedPanel::ChooseId(int id) {
  MoveIdBar(id);
  shown_.idText = text::TwoDigits(id);
}

void ScriptedPanel::ChooseId2(int id) {
  MoveId2Bar(id);
  shown_.id2Text = text::TwoDigits(id);
}

void ScriptedPanel::ChooseKeyCount(int count) {
  MoveBar(shown_.keyBar, count, kKeyBarMin, kKeyBarMax);
  shown_.keyText = text::TwoDigits(count);
}

void ScriptedPanel::ChooseLock(bool locked) { locked_ = locked; }

void ScriptedPanel::ClearOutcome() {
  lamp_.reset();
  messages_.clear();
  shown_.id2Read.reset();
}

void ScriptedPanel::ReportPortProblem(const std::string& line) {
  if (onPortProblem_) onPortProblem_(line);
}

void ScriptedPanel::ShowMessage(const std::string& bytes) {
  std::string utf8 = catalogue::DecodeToUtf8(bytes, catalogue::CurrentCodePage());
  if (messages_.size() >= kPanelMessagesKept) messages_.erase(messages_.begin());
  messages_.push_back(utf8);
  if (onMessage_) onMessage_(utf8);
}

void ScriptedPanel::SetLamp(commands::LampColour colour) { lamp_ = colour; }

void ScriptedPanel::ProcessMessages() {
  // Processing ends by asking its connection to stop; it looks at the
  // request before every cycle.
  commands::Connection& c = connection_;
  if (c.ProcessingActive && c.Processing && stopCheck_ && stopCheck_()) c.Stop.Request();
}

void ScriptedPanel::SelectLineSetting(int index) {
  // Like a list: an index outside it selects nothing.
  bool inList = index >= 0 && index < serial::kLineSettingCount;
  shown_.lineSettingIndex = inList ? index : -1;
}

void ScriptedPanel::SelectMode(int index) { shown_.modeIndex = index >= 0 && index < kModeCount ? index : -1; }
void ScriptedPanel::SelectRs485(int index) { shown_.rs485Index = index >= 0 && index < kRs485Count ? index : -1; }

void ScriptedPanel::MoveIdBar(int position) {
  if (MoveBar(shown_.idBar, position, kBarMin, kBarMax)) shown_.idText = text::TwoDigits(shown_.idBar);
}

void ScriptedPanel::MoveId2Bar(int position) {
  shown_.id2Read = position;
  if (MoveBar(shown_.id2Bar, position, kBarMin, kBarMax)) shown_.id2Text = text::TwoDigits(shown_.id2Bar);
}

void ScriptedPanel::ShowSerial(const std::string&, const std::string& value) { shown_.serial = value; }
void ScriptedPanel::ShowVersion(const std::string&, const std::string& value) { shown_.version = value; }

void ScriptedPanel::ShowCardData(int reader, const std::string& bytes) {
  // Empty data is a poll with no card waiting (or the panels being cleared).
  if (!bytes.empty() && onCard_) onCard_(reader, bytes);
}
