// SPDX-License-Identifier: MIT
#pragma once
// The trace view: the last frames sent to the module and the replies
// received, each with its time, direction, bytes in hex and as text. Opened
// with Ctrl+T from the main window; its layout is untouched by it.
//
// It is a window of its own, with no parent, so that it stays usable while
// the main window is disabled by an operation: the operation's own event
// processing refreshes it. The frames are those of the window's connection,
// collected from the moment the view is made; while it exists, its log is
// the connection's trace hook. Times are milliseconds since the program
// started, in the table and in the saved file, as rt420ctl --trace counts
// them. Every text is plain text: bytes from the line are shown through the
// trace's escapes, never interpreted.

#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <cstdint>

#include "trace_log.h"

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

  serial::LinkState& link_;
  serial::TraceLog log_;
  QTimer refresh_;
  // Records taken into the table so far, dropped ones included.
  uint64_t shown_ = 0;
};
