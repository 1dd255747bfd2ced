// SPDX-License-Identifier: MIT
#pragma once
// The trace view on Windows: the form's trace model (form_trace.h) over the
// window's connection, one list line a record (time from the program's
// start, direction, hex and escaped text). "Save..." writes the lines kept
// to a text file, "Clear" empties the view and the log. A top-level window of its own, so that it stays usable while an
// operation disables the main window; the operation's message pump
// refreshes it. Texts are plain list lines.

#include <windows.h>

#include <cstdint>
#include <string>

#include "form_trace.h"

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
  form::TraceModel model_;
};
