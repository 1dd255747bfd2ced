// SPDX-License-Identifier: MIT
#pragma once
// The operator panel and the controller of both windows, over the form's
// controls. What an operation shows and reads is the same on every toolkit:
// message, lamp, panels, lists, bars and the lock order are controls of the
// form table. The handlers are the same too: a window derives from
// FormPanel, implements the form's view (form_steps.h) and the few reads
// below over its toolkit's controls, routes its toolkit's events to the
// handlers (Click, BarChanged, tmrBusyTimer), and keeps only what a toolkit
// does its own way: the hourglass, the process button's caption, closing.
//
// The panel owns the window's connection: it may open every port (the scan
// searches them all) and it stores the scan result it finds. Every operation
// the window runs runs on it; it goes with the window.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "connection.h"
#include "form_steps.h"
#include "operator_panel.h"

namespace form {

class FormPanel : public commands::OperatorPanel, protected FormView {
 public:
  FormPanel();
  FormPanel(const FormPanel&) = delete;
  FormPanel& operator=(const FormPanel&) = delete;

  commands::Connection& WindowConnection() { return connection_; }
  const commands::Connection& WindowConnection() const { return connection_; }

  // Reads the settings into the window's connection, clears the module
  // flags, selects the list entries. Called once the controls exist.
  void FormCreate();
  // Applies the texts of the current language. Called on the first show and
  // by the language buttons.
  void FormShow();
  // One blink of the busy state (SetBusy).
  void tmrBusyTimer();
  // A bar moved: its panel shows the position in two digits.
  void sbIDChange();
  void sbID2Change();
  void sbKeyChange();
  // Each runs its module operation synchronously, with the window as its
  // operator panel.
  void btnScanClick();
  void btnIDClick();
  void btnBaudRateClick();
  void btnKeyClick();
  void btnModeClick();
  void btnFactoryClick();
  // Starts processing, or asks the running one to stop. A click within the
  // platform's double-click time of the click that stopped processing, once
  // processing has ended, is the second click of that double click and
  // starts nothing.
  void btnProcessClick();
  void btnEngClick();
  void btnGBClick();
  void btnBIG5Click();
  // The one way the window closes: it closes the program's other windows
  // with it.
  void btnExitClick();

  // Whether a click on the control has a handler in the click table.
  static bool HasClickHandler(FormControl control);
  // Whether that handler runs a module operation.
  static bool RunsOperation(FormControl control);
  // Runs the control's click handler from the click table, that of a module
  // operation through RunOperationHandler; nothing for a control without
  // one. The toolkit calls it only for a click the window takes (an enabled
  // button of an enabled window).
  void Click(FormControl control);
  // Runs a bar's change handler (sbID, sbID2, sbKey); nothing for others.
  void BarChanged(FormControl bar);

  // Runs an event handler. An exception it throws is shown to the operator
  // (ShowHandlerException) and the window stays: it never unwinds through
  // the toolkit's or the system's frames.
  void RunHandler(const std::function<void()>& handler);

  // True while the click handler of a module operation runs, its closing
  // beep included. Readable from any thread.
  bool OperationRunning() const { return handlerDepth_.load() > 0; }
  // How many clicks on the buttons of the operations the window has taken
  // while no operation ran. Readable from any thread.
  int OperationClicks() const { return operationClicks_.load(); }

  // The blink phase: 1 after the lamp last turned red. Never reset.
  int tmrBusyTag = 0;

  void ShowMessage(const std::string& bytes) override;
  void SetLamp(commands::LampColour colour) override;
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
    OperationScope scope(*this);
    handler();
  }

  // The position a bar shows.
  virtual int BarPosition(FormControl bar) const = 0;
  // Closes the window, which btnExit has allowed (CloseAllowed()).
  virtual void CloseWindow() = 0;
  bool CloseAllowed() const { return closeAllowed_; }
  // The input time in milliseconds (the toolkit's clock, modulo 2^32) of
  // the click on btnProcess being handled; none when it is not known.
  virtual std::optional<uint32_t> ProcessClickTime() = 0;
  // The platform's double-click time in milliseconds.
  virtual uint32_t DoubleClickMs() const = 0;
  // Shows the text of an exception that a handler threw.
  virtual void ShowHandlerException(const char* what) = 0;

  // A panel's caption as the bytes it was given.
  virtual std::string PanelCaption(FormControl panel) const = 0;
  // The index a list shows (-1: none).
  virtual int SelectedItem(FormControl list) const = 0;
  virtual bool BoxChecked(FormControl box) const = 0;
  virtual void MoveBar(FormControl bar, int position) = 0;
  virtual void SetControlEnabled(FormControl control, bool enabled) = 0;

 private:
  // Counts an operation handler while it runs; when the outermost one ends,
  // however it ends, the input queued meanwhile is thrown away before the
  // count falls, so that nothing reads the window as idle with that input
  // still queued.
  class OperationScope {
   public:
    explicit OperationScope(FormPanel& panel);
    ~OperationScope();
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

   private:
    FormPanel& panel_;
  };

  bool SecondClickOfTheStop(std::optional<uint32_t> clickAt) const;
  void ShowBarPosition(FormControl bar, FormControl panel);

  commands::Connection connection_{serial::PortScope::AnyPort()};
  std::atomic<int> handlerDepth_{0};
  std::atomic<int> operationClicks_{0};
  bool closeAllowed_ = false;
  // The input time of the click that last stopped processing.
  std::optional<uint32_t> stopClickAt_;
};

}  // namespace form

// What a toolkit's window implements for the form, declared once: the
// form's view (form_steps.h) and FormPanel's reads, writes and hooks above.
// A window's class states it in its private section; the compiler holds
// the window to the interface through `override`.
#define FORM_PANEL_TOOLKIT_MEMBERS                                                   \
  void SetCaption(form::FormControl control, const std::string& bytes) override;     \
  void SelectListItem(form::FormControl list, int index) override;                   \
  void RemoveCloseCommand() override;                                                \
  void SetBlinkTimer(bool running) override;                                         \
  void SetWindowEnabled(bool enabled) override;                                      \
  void FillLamp(form::Rgb colour) override;                                          \
  void PumpMessages() override;                                                      \
  void DiscardPendingInput() override;                                               \
  std::string PanelCaption(form::FormControl panel) const override;                  \
  int SelectedItem(form::FormControl list) const override;                           \
  bool BoxChecked(form::FormControl box) const override;                             \
  void MoveBar(form::FormControl bar, int position) override;                        \
  void SetControlEnabled(form::FormControl control, bool enabled) override;          \
  int BarPosition(form::FormControl bar) const override;                             \
  void CloseWindow() override;                                                       \
  std::optional<uint32_t> ProcessClickTime() override;                               \
  uint32_t DoubleClickMs() const override;                                           \
  void ShowHandlerException(const char* what) override;
