// SPDX-License-Identifier: MIT
#pragma once
// The application window: the program's entry in the taskbar and the task
// switcher, titled with the application's title ("TAVIX RT-420 Module
// Config"), which the main window's caption extends by the version. It is
// never seen itself (it has no size) and owns the main window, so the main
// window has no entry of its own; the main window is hidden and shown with
// it when it is minimised and restored, and activating it (from the
// taskbar) activates the main window. It cannot be closed: the main
// window's Exit ends the program.

#include <windows.h>

class ApplicationWindow {
 public:
  explicit ApplicationWindow(const wchar_t* title);
  ~ApplicationWindow();
  ApplicationWindow(const ApplicationWindow&) = delete;
  ApplicationWindow& operator=(const ApplicationWindow&) = delete;

  HWND Handle() const { return hwnd_; }
  // The window that takes the activation, owned by this one.
  void SetMainWindow(HWND main) { main_ = main; }
  // Gives the program its entry, at the middle of the rectangle (where the
  // main window shows): minimising and restoring start there.
  void Show(const RECT& around);
  void Minimise();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
  HWND main_ = nullptr;
  // The main window was hidden by Minimise.
  bool mainHidden_ = false;
};
