// SPDX-License-Identifier: MIT
#pragma once
// The operator panel of both windows, over the form's controls. What an
// operation shows and reads is the same on every toolkit: message, lamp,
// panels, lists, bars and the lock order are controls of the form table.
// A window derives from FormPanel, implements the form's view (form_steps.h)
// and the few reads below over its toolkit's controls, and keeps only what a
// toolkit does its own way: the hourglass and the process button's caption.
//
// The panel owns the window's connection: it may open every port (the scan
// searches them all) and it stores the scan result it finds. Every operation
// the window runs runs on it; it goes with the window.

#include <string>

#include "connection.h"
#include "form_steps.h"
#include "operator_panel.h"

namespace form {

class FormPanel : public OperatorPanel, protected FormView {
 public:
  FormPanel();
  FormPanel(const FormPanel&) = delete;
  FormPanel& operator=(const FormPanel&) = delete;

  Connection& WindowConnection() { return connection_; }
  const Connection& WindowConnection() const { return connection_; }

  void ShowMessage(const std::string& bytes) override;
  void SetLamp(LampColour colour) override;
  // One line on stderr, after the program's name.
  void ReportPortProblem(const std::string& line) override;
  void EnterWaitState() override;
  void LeaveWaitState() override;
  void SetBusy(bool busy) override;
  // Lets the window repaint, blink and take clicks while an operation runs.
  void ProcessMessages() override;
  std::string IdText() override;
  std::string Id2Text() override;
  std::string KeyText() override;
  int LineSettingIndex() override;
  int ModeIndex() override;
  int Rs485Index() override;
  bool LockChecked() override;
  void SelectLineSetting(int index) override;
  void SelectMode(int index) override;
  void SelectRs485(int index) override;
  void SetIdText(const std::string& bytes) override;
  void SetId2Text(const std::string& bytes) override;
  void SetKeyText(const std::string& bytes) override;
  // A bar's change handler runs only when the position really changes.
  void MoveIdBar(int position) override;
  void MoveId2Bar(int position) override;
  void ShowSerial(const std::string& caption, const std::string& value) override;
  void ShowVersion(const std::string& caption, const std::string& value) override;
  void ShowCardData(int reader, const std::string& bytes) override;
  // btnExit, btnScan, btnFactory, btnID, btnBaudRate, btnMode, gbDefault,
  // btnEng, btnGB, btnBIG5, and btnKey, in this order both ways.
  void LockOperationControls(bool locked) override;
  void EnableWindow() override;

 protected:
  // Runs the click handler of a module operation (scan, the writes,
  // processing). When the outermost one ends, however it ends, the input
  // queued meanwhile is thrown away (DiscardPendingInput): whatever the
  // operator clicked or typed while the operation ran acts on nothing. A
  // handler nested in it (the stop request of Wiegand processing) discards
  // nothing.
  template <class Handler>
  void RunOperationHandler(Handler&& handler) {
    ++handlerDepth_;
    try {
      handler();
    } catch (...) {
      EndOperationHandler();
      throw;
    }
    EndOperationHandler();
  }

  // A panel's caption as the bytes it was given.
  virtual std::string PanelCaption(FormControl panel) const = 0;
  // The index a list shows (-1: none).
  virtual int SelectedItem(FormControl list) const = 0;
  virtual bool BoxChecked(FormControl box) const = 0;
  virtual void MoveBar(FormControl bar, int position) = 0;
  virtual void SetControlEnabled(FormControl control, bool enabled) = 0;

 private:
  void EndOperationHandler();

  Connection connection_{PortScope::AnyPort()};
  int handlerDepth_ = 0;
};

}  // namespace form
