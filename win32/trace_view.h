// SPDX-License-Identifier: MIT
#pragma once
// The trace view on Windows: the frames sent to the module and the replies
// received from its first opening on, one line each (time, direction, hex
// and escaped text), refreshed every 200 ms. A top-level window of its own,
// so that it stays usable while an operation disables the main window; the
// operation's message pump refreshes it. Texts are plain list lines.

#include <windows.h>

#include <cstdint>
#include <string>

#include "trace_log.h"

class TfrmTrace {
 public:
  TfrmTrace();
  ~TfrmTrace();
  TfrmTrace(const TfrmTrace&) = delete;
  TfrmTrace& operator=(const TfrmTrace&) = delete;

  void Show();
  // Brings the list up to date with the log now (the timer does it too).
  void Refresh();
  HWND Handle() const { return hwnd_; }
  HWND List() const { return list_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
  HWND list_ = nullptr;
  TraceLog log_;
  // Records taken into the list so far, dropped ones included.
  uint64_t shown_ = 0;
};
