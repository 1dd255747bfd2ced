// SPDX-License-Identifier: MIT
#include "trace_view.h"

#include <commctrl.h>

#include <stdexcept>
#include <vector>

#include "paint_resources.h"

namespace {
constexpr wchar_t kClass[] = L"TfrmTrace";
constexpr UINT_PTR kRefreshTimerId = 1;
constexpr UINT kRefreshMs = 200;
constexpr int kWidth = 720, kHeight = 360;

void RegisterTraceClass(WNDPROC procedure) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW window{};
  window.cbSize = sizeof window;
  window.lpfnWndProc = procedure;
  window.hInstance = GetModuleHandleW(nullptr);
  window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window.lpszClassName = kClass;
  RegisterClassExW(&window);
  registered = true;
}
}  // namespace

TfrmTrace::TfrmTrace() {
  RegisterTraceClass(&TfrmTrace::WindowProc);
  hwnd_ = CreateWindowExW(0, kClass, L"Frame trace", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                          Scaled(kWidth), Scaled(kHeight), nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) throw std::runtime_error("The trace view could not be created.");
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  RECT area;
  GetClientRect(hwnd_, &area);
  list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTBOXW, L"",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0,
                          area.right, area.bottom, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
  log_.Attach();
  SetTimer(hwnd_, kRefreshTimerId, kRefreshMs, nullptr);
}

TfrmTrace::~TfrmTrace() {
  log_.Detach();
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  KillTimer(hwnd_, kRefreshTimerId);
  DestroyWindow(hwnd_);
}

void TfrmTrace::Show() {
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd_);
  Refresh();
}

void TfrmTrace::Refresh() {
  const std::vector<TraceRecord> records = log_.Records();
  const uint64_t total = log_.DroppedRecords() + records.size();
  if (total <= shown_) return;
  uint64_t fresh = total - shown_;
  if (fresh > records.size()) fresh = records.size();
  for (size_t i = records.size() - static_cast<size_t>(fresh); i < records.size(); ++i)
    SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(TraceLine(records[i])).c_str()));
  // The list keeps no more lines than the log keeps records.
  while (static_cast<size_t>(SendMessageW(list_, LB_GETCOUNT, 0, 0)) > kTraceRecordsKept)
    SendMessageW(list_, LB_DELETESTRING, 0, 0);
  shown_ = total;
  SendMessageW(list_, LB_SETTOPINDEX, SendMessageW(list_, LB_GETCOUNT, 0, 0) - 1, 0);
}

LRESULT CALLBACK TfrmTrace::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* view = reinterpret_cast<TfrmTrace*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!view) return DefWindowProcW(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_TIMER: view->Refresh(); return 0;
    case WM_SIZE: MoveWindow(view->list_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE); return 0;
    case WM_CLOSE: ShowWindow(hwnd, SW_HIDE); return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}
