// SPDX-License-Identifier: MIT
#pragma once
// The trace view's model, the same in both windows: the frames sent and the
// replies received on one connection from the model's making on, as rows
// that each toolkit draws. While the model exists, its log is the
// connection's trace hook. Times count in milliseconds from the program's
// start, as rt420ctl --trace counts them. The view keeps no more rows than
// the log keeps records (kRowsKept), refreshes every kRefreshMs, saves the
// records as text lines and clears the log and its rows together.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "trace_log.h"

namespace form {

class TraceModel {
 public:
  static constexpr int kRefreshMs = 200;
  static constexpr size_t kRowsKept = serial::kTraceRecordsKept;

  // The connection must outlive the model.
  explicit TraceModel(serial::LinkState& link);
  ~TraceModel();
  TraceModel(const TraceModel&) = delete;
  TraceModel& operator=(const TraceModel&) = delete;

  // The records that came since the last call (or the last Clear), oldest
  // first, their times counted from the program's start; at most kRowsKept.
  std::vector<serial::TraceRecord> TakeFresh();
  // Writes every record kept, one text line each, to an open file; false
  // when a write fails.
  bool WriteLines(std::FILE* file) const;
  // Empties the log; the view empties its rows.
  void Clear();

  // A record's time counted from the program's start.
  static serial::TraceRecord SinceProgramStart(serial::TraceRecord record);

 private:
  serial::LinkState& link_;
  serial::TraceLog log_;
  // Records handed out so far, dropped ones included.
  uint64_t shown_ = 0;
};

}  // namespace form
