// SPDX-License-Identifier: MIT
#pragma once
// What a module operation reads from the operator and shows to the operator.
// The window implements it over its controls, so every value an operation
// sends is what the window shows; the command-line tool implements it over
// its arguments and the terminal. No Qt here.
//
// What only a window has (the wait and busy states, the hourglass, pending
// messages, the process button's caption, the locked controls) does nothing
// by default, so that a panel without a window leaves it out.
//
// Texts are bytes in the code page of the current language (catalogue texts,
// or characters of a reply as received). Indexes are those of the window's
// lists: line setting 0 to 11 (-1 when none is selected), mode 0 "Two Reader"
// and 1 "One Reader", RS-485 0 to 2.

#include <string>

namespace commands {

enum class LampColour { Red, Yellow };

class OperatorPanel {
 public:
  virtual ~OperatorPanel() = default;

  // The status message and the lamp: the outcome of an operation.
  virtual void ShowMessage(const std::string& bytes) = 0;
  virtual void SetLamp(LampColour colour) = 0;

  // A port that an operation needed did not open: one plain line naming the
  // port, the device and the reason, with a hint, for the operator's log or
  // terminal (the status message and the lamp report the failure as usual).
  virtual void ReportPortProblem(const std::string& line) = 0;

  // The wait state: hourglass and the window disabled; leaving it enables
  // the window and brings back the default cursor.
  virtual void EnterWaitState() {}
  virtual void LeaveWaitState() {}
  // The hourglass alone (the scan shows it around its busy state).
  virtual void SetHourglass(bool) {}
  // The busy state: true starts the lamp blinking and disables the window;
  // false enables the window and stops the blinking, the lamp as it is.
  virtual void SetBusy(bool) {}
  // Lets the operator's side catch up while an operation runs: repaint,
  // blink, and (during Wiegand processing) take the stop click.
  virtual void ProcessMessages() {}

  // The values the operator chose, read at the moment an operation needs
  // them: the ID panels, the key-count panel, the lists and the lock box.
  virtual std::string IdText() = 0;
  virtual std::string Id2Text() = 0;
  virtual std::string KeyText() = 0;
  virtual int LineSettingIndex() = 0;
  virtual int ModeIndex() = 0;
  virtual int Rs485Index() = 0;
  virtual bool LockChecked() = 0;

  // What the scan and the factory default set. Moving an ID bar to a new
  // position rewrites its panel as two digits; moving it to the position it
  // has changes nothing.
  virtual void SelectLineSetting(int index) = 0;
  virtual void SelectMode(int index) = 0;
  virtual void SelectRs485(int index) = 0;
  virtual void SetIdText(const std::string& bytes) = 0;
  virtual void SetId2Text(const std::string& bytes) = 0;
  virtual void SetKeyText(const std::string& bytes) = 0;
  virtual void MoveIdBar(int position) = 0;
  virtual void MoveId2Bar(int position) = 0;

  // The identity panels a scan fills: the whole caption as the window shows
  // it, and the bare value within it ("12345678-9", "01.02-03"; empty while
  // the panel shows its placeholder).
  virtual void ShowSerial(const std::string& caption, const std::string& value) = 0;
  virtual void ShowVersion(const std::string& caption, const std::string& value) = 0;

  // Wiegand processing: the data of reader 1 or 2 as received; the process
  // button's caption while processing runs (BeginProcessCaption keeps the
  // caption it replaces, EndProcessCaption puts it back); the controls that
  // could start another operation, locked and unlocked in their fixed order;
  // and the window enabled again inside the busy state so the stop request
  // can reach it.
  virtual void ShowCardData(int reader, const std::string& bytes) = 0;
  virtual void BeginProcessCaption(const std::string&) {}
  virtual void EndProcessCaption() {}
  virtual void LockOperationControls(bool) {}
  virtual void EnableWindow() {}
};

}  // namespace commands
