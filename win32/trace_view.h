// SPDX-License-Identifier: MIT
#pragma once
// The trace view on Windows: the frames sent to the module and the replies
// received on the window's connection from the view's making on (while it
// exists, its log is the connection's trace hook), one line each (time,
// direction, hex and escaped text), refreshed every 200 ms. Times count in milliseconds
// from the program's start, as rt420ctl --trace counts them. "Save..."
// writes the lines kept to a text file, "Clear" empties the view and the
// log. A top-level window of its own, so that it stays usable while an
// operation disables the main window; the operation's message pump
// refreshes it. Texts are plain list lines.

#include <windows.h>

#include <cstdint>
#include <string>

#include "trace_log.h"

class TfrmTrace {
 public:
  // The connection must outlive the view.
  explicit TfrmTrace(serial::LinkState& link);
  ~TfrmTrace();
  TfrmTrace(const TfrmTrace&) = delete;
  TfrmTrace& operator=(const TfrmTrace&) = delete;

  void Show();
  // Brings the list up to date with the log now (the timer does it too).
  void Refresh();
  // Writes every record kept, one line each, to the file at path (replacing
  // it); false when it cannot be written.
  bool SaveTo(const std::wstring& path) const;
  HWND Handle() const { return hwnd_; }
  HWND List() const { return list_; }
  HWND SaveButton() const { return btnSave_; }
  HWND ClearButton() const { return btnClear_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND MakeButton(const wchar_t* text, int id);
  void Layout(int width, int height);
  void SaveClick();
  void ClearClick();

  HWND hwnd_ = nullptr;
  HWND list_ = nullptr;
  HWND btnSave_ = nullptr;
  HWND btnClear_ = nullptr;
  serial::LinkState& link_;
  serial::TraceLog log_;
  // Records taken into the list so far, dropped ones included.
  uint64_t shown_ = 0;
};

// A record as the view shows it: its time counted from the program's start.
std::string ShownTraceLine(const serial::TraceRecord& record);
