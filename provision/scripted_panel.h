// SPDX-License-Identifier: MIT
#pragma once
// The operator panel of a front end without a window (the command line, a
// provisioning run): the operator's values are set by the caller, the
// messages go to a handler, and what a window would show is kept so that the
// caller can read it afterwards.
//
// It behaves as the window does where an operation can tell:
// - the values start as the window's do when it is created: ID panels "__"
//   with both bars at 1, key panel "__" with its bar at 4, line setting the
//   stored index, "Two Reader", "RS485 32", the lock box unchecked;
// - moving an ID bar to a new position (clamped to 1 to 99, like the bar)
//   rewrites its ID text as two digits; the position it has changes nothing;
// - a line-setting index outside the list selects nothing (-1);
// - ProcessMessages is where the caller's stop check is taken: while Wiegand
//   processing runs and the check says stop (a deadline, a stop the program
//   requested itself), the panel asks the connection to stop, which ends
//   processing after its current cycle.
// The wait and busy states, the hourglass, the caption and the locked
// controls have nothing to show without a window: the panel leaves them to
// the operator panel's defaults, which do nothing.
//
// Messages are catalogue texts or reply characters in the current language's
// code page; the panel hands them on as UTF-8.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "connection.h"
#include "operator_panel.h"
#include "two_digits.h"

class ScriptedPanel final : public commands::OperatorPanel {
 public:
  // Gets each message as UTF-8 when it is shown.
  using MessageHandler = std::function<void(const std::string& utf8)>;
  // Gets each card read: reader 1 or 2 and its data as received (non-empty).
  using CardHandler = std::function<void(int reader, const std::string& bytes)>;

  // The panel of one connection, which outlives it: its line-setting list
  // starts at the connection's scan result.
  explicit ScriptedPanel(commands::Connection& connection);

  void SetMessageHandler(MessageHandler handler);
  void SetCardHandler(CardHandler handler);

  // The operator's choices, as the command line gives them. An ID or key
  // count is set as the operator would set it with its bar, and its panel
  // then reads the number as two digits in any case.
  void ChooseId(int id);
  void ChooseId2(int id);
  void ChooseKeyCount(int count);
  void ChooseLock(bool locked);

  // Gets each line about a port that did not open (none by default: the
  // caller may tell it in its result instead).
  using PortProblemHandler = std::function<void(const std::string& line)>;
  void SetPortProblemHandler(PortProblemHandler handler) { onPortProblem_ = std::move(handler); }
  // Asked while Wiegand processing runs; true asks the connection to stop.
  using StopCheck = std::function<bool()>;
  void SetStopCheck(StopCheck check) { stopCheck_ = std::move(check); }

  // What the panel shows now.
  struct Shown {
    std::string serial;   // "12345678-9", empty before a scan read it
    std::string version;  // "03.20-01", empty before a scan read it
    std::string idText, id2Text, keyText;
    int idBar = 1, id2Bar = 1, keyBar = 4;
    // The position last asked of the ID 2 bar since ClearOutcome, before the
    // bar clamps it. After a scan: the second ID it read, also in one-reader
    // mode where its panel shows "__"; empty when the reply held no number.
    std::optional<int> id2Read;
    int lineSettingIndex = -1, modeIndex = 0, rs485Index = 1;
  };
  const Shown& Showing() const { return shown_; }

  // The outcome of the last operation: the lamp it set (none if it set none
  // since ClearOutcome) and the messages it showed, as UTF-8.
  void ClearOutcome();
  std::optional<commands::LampColour> Lamp() const { return lamp_; }
  const std::vector<std::string>& Messages() const { return messages_; }

  // OperatorPanel.
  void ShowMessage(const std::string& bytes) override;
  void SetLamp(commands::LampColour colour) override;
  // To the port-problem handler.
  void ReportPortProblem(const std::string& line) override;
  void ProcessMessages() override;
  std::string IdText() override { return shown_.idText; }
  std::string Id2Text() override { return shown_.id2Text; }
  std::string KeyText() override { return shown_.keyText; }
  int LineSettingIndex() override { return shown_.lineSettingIndex; }
  int ModeIndex() override { return shown_.modeIndex; }
  int Rs485Index() override { return shown_.rs485Index; }
  bool LockChecked() override { return locked_; }
  void SelectLineSetting(int index) override;
  void SelectMode(int index) override;
  void SelectRs485(int index) override;
  void SetIdText(const std::string& bytes) override { shown_.idText = bytes; }
  void SetId2Text(const std::string& bytes) override { shown_.id2Text = bytes; }
  void SetKeyText(const std::string& bytes) override { shown_.keyText = bytes; }
  void MoveIdBar(int position) override;
  void MoveId2Bar(int position) override;
  void ShowSerial(const std::string& caption, const std::string& value) override;
  void ShowVersion(const std::string& caption, const std::string& value) override;
  void ShowCardData(int reader, const std::string& bytes) override;

 private:
  commands::Connection& connection_;
  Shown shown_;
  bool locked_ = false;
  std::optional<commands::LampColour> lamp_;
  std::vector<std::string> messages_;
  MessageHandler onMessage_;
  CardHandler onCard_;
  PortProblemHandler onPortProblem_;
  StopCheck stopCheck_;
};

