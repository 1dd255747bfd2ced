// SPDX-License-Identifier: MIT
#pragma once
// The program's one window on Windows, TfrmModule, built with the standard
// controls from the shared control table (form_table.h) and running the
// shared steps (form_steps.h). Its single instance is frmModule.
//
// The buttons' handlers each run one module operation synchronously with the
// window as its operator panel. While an operation waits, ProcessMessages
// pumps the thread's messages, so the window repaints, the lamp blinks and,
// during Wiegand processing, the second press of btnProcess arrives.
//
// Window states: idle; busy (the lamp blinks red and yellow every 200 ms and
// the window is disabled); wait (hourglass and disabled window, steady lamp).
// The close box and the system menu do not close the window; btnExit does.
//
// Input while an operation runs: mouse and keyboard input to the disabled
// window is dropped as it is taken from the queue, the keyboard focus is off
// the controls while the window is disabled, and whatever input is still
// queued when the window is enabled again, or when an operation's handler
// ends (after its closing beep), is thrown away. So a click or a key made
// while an operation runs never starts another one afterwards. The focus
// comes back to the control that had it.
//
// The keyboard: Tab follows the reading order (the left column from the
// top, then the right column); Enter presses the focused button, and
// btnScan while no button has the focus.

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "form_panel.h"

class ApplicationWindow;
class TfrmTrace;

class TfrmModule final : public form::FormPanel {
 public:
  // Creates the window hidden with its controls and runs FormCreate.
  TfrmModule();
  ~TfrmModule() override;
  TfrmModule(const TfrmModule&) = delete;
  TfrmModule& operator=(const TfrmModule&) = delete;

  // Centres the window on the desktop and shows it; the first show applies
  // the texts of the current language.
  void Show();
  HWND Handle() const { return hwnd_; }
  // The window of the program's taskbar entry, which owns this one.
  HWND ApplicationHandle() const;
  HWND Control(form::FormControl control) const { return controls_[static_cast<int>(control)]; }
  // A control's text as shown (the tab's text for tsDefault).
  std::wstring ShownText(form::FormControl control) const;
  // A panel's caption as the bytes it was given.
  const std::string& Caption(form::FormControl control) const { return captions_[static_cast<int>(control)]; }
  form::Rgb LampColor() const { return lamp_; }
  bool HourglassShown() const { return hourglass_; }
  bool BlinkTimerRunning() const { return blinking_; }
  // True once btnExit closed the window.
  bool Closed() const { return closed_; }

  // Ctrl+T: the frame trace view, made on first use.
  void OpenTraceView();
  TfrmTrace* TraceView() const { return frmTrace_.get(); }

  // An exception's text in a message box of the application.
  static void ShowException(HWND owner, const char* what);

  // The operator panel (form_panel.h): what Win32 does its own way.
  void SetHourglass(bool on) override;
  void BeginProcessCaption(const std::string& bytes) override;
  void EndProcessCaption() override;

 private:
  // The form's view of the window and its hooks (form_panel.h).
  FORM_PANEL_TOOLKIT_MEMBERS

  // Input to the window (see above). DropsInput: whether a message taken
  // from the queue is input that the window does not take now.
  bool DropsInput(const MSG& message) const;
  void KeepFocusOffControls();
  void RestoreFocus();
  // Gives the focused push button the default look that Enter presses, and
  // btnScan the look again when no push button has the focus.
  void FollowFocus();
  HWND DefaultButton() const;
  bool OwnsWindow(HWND window) const;
  friend void DispatchThreadMessage(MSG& message);

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void FitLineSettingList();
  HWND CreateControl(const form::ControlRow& row);
  void FillList(form::FormControl list);
  void SetPicture(HWND button, const form::ControlRow& row);
  // Reads the system's colours again and redraws the window in them; the
  // common controls hear of the change from the window.
  void FollowColourScheme(bool forwardToControls);
  void OnCommand(int id, int code);
  void OnScroll(HWND bar, int code);
  LRESULT OnControlColour(HDC dc, HWND control);
  void CentreOnDesktop();

  std::unique_ptr<ApplicationWindow> application_;
  HWND hwnd_ = nullptr;
  std::array<HWND, form::kFormControlCount> controls_{};
  std::array<std::string, form::kFormControlCount> captions_{};
  form::Rgb lamp_ = form::kRed;
  bool hourglass_ = false;
  bool blinking_ = false;
  bool shown_ = false;
  bool closed_ = false;
  // btnProcess's caption while processing runs, put back at its end.
  std::string savedProcessCaption_;
  // The control (or the window itself) that had the focus when the window
  // was disabled or deactivated, given it back when the window is enabled
  // and active again.
  HWND rememberedFocus_ = nullptr;
  // The push button that shows the default look.
  HWND defaultLook_ = nullptr;
  std::unique_ptr<TfrmTrace> frmTrace_;
  // The buttons' pictures, destroyed with the window.
  std::vector<HICON> icons_;
  std::vector<HIMAGELIST> imageLists_;
};

extern TfrmModule* frmModule;

// Takes one message of the window's thread: Ctrl+T, then Enter and the
// dialog keys for the main window, else the usual translation and dispatch.
void DispatchThreadMessage(MSG& message);
