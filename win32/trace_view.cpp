// SPDX-License-Identifier: MIT
#include "trace_view.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include "paint_resources.h"
#include "window_class.h"

namespace {
using form::TraceModel;

constexpr wchar_t kClass[] = L"TfrmTrace";
constexpr wchar_t kTitle[] = L"Frame trace";
constexpr UINT_PTR kRefreshTimerId = 1;
constexpr int kWidth = 720, kHeight = 360;
// The buttons below the list, at 96 DPI.
constexpr int kButtonWidth = 88, kButtonHeight = 26, kMargin = 6;
constexpr form::FontSpec kButtonFont{13, false};
constexpr int kSaveId = 1, kClearId = 2;
// The file name the save dialog offers, and the longest path it takes.
constexpr wchar_t kDefaultFile[] = L"rt420-trace.txt";
constexpr DWORD kPathChars = 1024;


struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
}  // namespace

TfrmTrace::TfrmTrace(serial::LinkState& link) : model_(link) {
  RegisterWindowClass(kClass, &TfrmTrace::WindowProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  hwnd_ = CreateWindowExW(0, kClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, Scaled(kWidth),
                          Scaled(kHeight), nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) throw std::runtime_error("The trace view could not be created.");
  list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTBOXW, L"",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT, 0, 0,
                          0, 0, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
  btnClear_ = MakeButton(L"Clear", kClearId);
  btnSave_ = MakeButton(L"Save...", kSaveId);
  RECT area;
  GetClientRect(hwnd_, &area);
  Layout(area.right, area.bottom);
  // Messages reach the view only once it is whole.
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetTimer(hwnd_, kRefreshTimerId, TraceModel::kRefreshMs, nullptr);
}

TfrmTrace::~TfrmTrace() {
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  KillTimer(hwnd_, kRefreshTimerId);
  DestroyWindow(hwnd_);
}

HWND TfrmTrace::MakeButton(const wchar_t* text, int id) {
  HWND button = CreateWindowExW(0, WC_BUTTONW, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
                                hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                nullptr);
  SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(kButtonFont)), FALSE);
  return button;
}

// The list fills the view above a strip with the buttons at its right end,
// Clear before Save.
void TfrmTrace::Layout(int width, int height) {
  const int margin = Scaled(kMargin), buttonWidth = Scaled(kButtonWidth), buttonHeight = Scaled(kButtonHeight);
  const int strip = buttonHeight + 2 * margin;
  const int top = height - strip + margin;
  MoveWindow(list_, 0, 0, width, std::max(0, height - strip), TRUE);
  MoveWindow(btnSave_, width - margin - buttonWidth, top, buttonWidth, buttonHeight, TRUE);
  MoveWindow(btnClear_, width - 2 * (margin + buttonWidth), top, buttonWidth, buttonHeight, TRUE);
}

void TfrmTrace::Show() {
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd_);
  Refresh();
}

void TfrmTrace::Refresh() {
  const std::vector<serial::TraceRecord> records = model_.TakeFresh();
  if (records.empty()) return;
  for (const serial::TraceRecord& record : records)
    SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(serial::TraceLine(record)).c_str()));
  while (static_cast<size_t>(SendMessageW(list_, LB_GETCOUNT, 0, 0)) > TraceModel::kRowsKept)
    SendMessageW(list_, LB_DELETESTRING, 0, 0);
  SendMessageW(list_, LB_SETTOPINDEX, SendMessageW(list_, LB_GETCOUNT, 0, 0) - 1, 0);
}

bool TfrmTrace::SaveTo(const std::wstring& path) const {
  // Text mode: each line ends with CR LF, as Windows text files do.
  std::unique_ptr<std::FILE, FileCloser> file(_wfopen(path.c_str(), L"w"));
  return file && model_.WriteLines(file.get());
}

void TfrmTrace::SaveClick() {
  std::wstring path(kPathChars, L'\0');
  path.replace(0, std::size(kDefaultFile) - 1, kDefaultFile);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = L"Text files (*.txt)\0*.txt\0All files\0*.*\0";
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = kPathChars;
  dialog.lpstrTitle = L"Save frame trace";
  dialog.lpstrDefExt = L"txt";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&dialog)) return;
  path.resize(wcsnlen(path.c_str(), kPathChars));
  if (SaveTo(path)) return;
  const std::wstring text = L"The trace could not be written to " + path + L".";
  MessageBoxW(hwnd_, text.c_str(), kTitle, MB_OK | MB_ICONERROR);
}

void TfrmTrace::ClearClick() {
  model_.Clear();
  SendMessageW(list_, LB_RESETCONTENT, 0, 0);
}

LRESULT CALLBACK TfrmTrace::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* view = reinterpret_cast<TfrmTrace*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!view) return DefWindowProcW(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_TIMER: view->Refresh(); return 0;
    case WM_SIZE: view->Layout(LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kSaveId) view->SaveClick();
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kClearId) view->ClearClick();
      return 0;
    case WM_CLOSE: ShowWindow(hwnd, SW_HIDE); return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}
