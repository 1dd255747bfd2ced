// SPDX-License-Identifier: MIT
#include "application_window.h"

#include <stdexcept>

#include "resource_ids.h"
#include "window_class.h"

namespace {
constexpr wchar_t kApplicationClass[] = L"RT420Application";
// Posted to itself when activated: the main window takes the activation once
// the system has finished handing it over.
constexpr UINT kActivateMain = WM_APP + 1;
}  // namespace

ApplicationWindow::ApplicationWindow(const wchar_t* title) {
  RegisterWindowClass(kApplicationClass, &ApplicationWindow::WindowProc, nullptr,
                      LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(RT420_ICON_WINDOW)));
  hwnd_ = CreateWindowExW(0, kApplicationClass, title, WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0, nullptr, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) throw std::runtime_error("The application window could not be created.");
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ApplicationWindow::~ApplicationWindow() {
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
}

void ApplicationWindow::Show(const RECT& around) {
  SetWindowPos(hwnd_, nullptr, (around.left + around.right) / 2, (around.top + around.bottom) / 2, 0, 0,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
  ShowWindow(hwnd_, SW_SHOWNA);
}

void ApplicationWindow::Minimise() {
  // Not every system hides an owned window with its owner: it is hidden
  // here, and shown again when the entry is restored.
  if (main_ && IsWindowVisible(main_)) {
    ShowWindow(main_, SW_HIDE);
    mainHidden_ = true;
  }
  ShowWindow(hwnd_, SW_MINIMIZE);
}

LRESULT CALLBACK ApplicationWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<ApplicationWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) PostMessageW(hwnd, kActivateMain, 0, 0);
      break;
    case kActivateMain:
      // A disabled main window cannot be activated; it stays in front of
      // this one all the same.
      if (window->main_ && IsWindowVisible(window->main_) && IsWindowEnabled(window->main_))
        SetActiveWindow(window->main_);
      return 0;
    case WM_SIZE:
      if (wParam == SIZE_RESTORED && window->mainHidden_) {
        window->mainHidden_ = false;
        ShowWindow(window->main_, SW_SHOW);
        PostMessageW(hwnd, kActivateMain, 0, 0);
      }
      break;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) return 0;
      break;
    case WM_CLOSE: return 0;
    default: break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}
