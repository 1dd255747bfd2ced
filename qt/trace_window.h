// SPDX-License-Identifier: MIT
#pragma once
// The trace view: the last frames sent to the module and the replies
// received, each with its time, direction, bytes in hex and as text. Opened
// with Ctrl+T from the main window; its layout is untouched by it.
//
// It is a window of its own, with no parent, so that it stays usable while
// the main window is disabled by an operation: the operation's own event
// processing refreshes it. What it shows, keeps, saves and clears is the
// form's trace model (form_trace.h) over the window's connection; the table
// and the saved file count times from the program's start. Every text is
// plain text: bytes from the line are shown through the trace's escapes,
// never interpreted.

#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <cstdint>

#include "form_trace.h"

class TfrmTrace : public QWidget {
  Q_OBJECT

 public:
  // The connection must outlive the view.
  explicit TfrmTrace(serial::LinkState& link);
  ~TfrmTrace() override;

  // Writes every record kept, one line each, to path; false when the file
  // cannot be written.
  bool SaveTo(const QString& path) const;
  // Brings the table up to date with the log now (the timer does it too).
  void Refresh();

  QTableWidget* tblFrames;
  QPushButton* btnSave;
  QPushButton* btnClear;

 private:
  void AppendRow(const serial::TraceRecord& record);
  void SaveClick();
  void ClearClick();

  form::TraceModel model_;
  QTimer refresh_;
};
