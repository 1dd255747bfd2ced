// SPDX-License-Identifier: MIT
#include "window_class.h"

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background, HICON icon) {
  HINSTANCE program = GetModuleHandleW(nullptr);
  WNDCLASSEXW window{};
  window.cbSize = sizeof window;
  if (GetClassInfoExW(program, name, &window)) return;
  window.lpfnWndProc = procedure;
  window.hInstance = program;
  window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window.hbrBackground = background;
  window.hIcon = icon;
  window.lpszClassName = name;
  RegisterClassExW(&window);
}
