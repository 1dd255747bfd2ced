// SPDX-License-Identifier: MIT
#pragma once
// The trace log: a consumer of the frame trace (frame_trace.h) that turns its
// events into records, one per frame sent and one per reply received, and
// keeps the last of them. The command-line trace prints each record as it
// completes; a trace view shows the records kept.
//
// Records:
// - a Sent event is one record: the whole frame, TAB to CR;
// - the bytes received during one exchange form one record, closed at the CR
//   that completes a reply (the exchange's first byte received was an LF, as
//   the link judges it) or at the exchange's end, whichever comes first;
//   bytes that still arrive in the same exchange start a new record;
// - an exchange that received nothing makes no received record;
// - bytes thrown away while the link waits for a quiet line form Discarded
//   records, each closed at a CR or when the wait ends;
// - the adapter's echo of a frame is one Echo record.
// A record's time is the link's millisecond counter at its first byte, and
// its port the port of the connection it came from. A log may be attached to
// several connections, on several threads at once: each port's records are
// assembled apart, so bytes of one connection never join another's record.
//
// Bounds (the line is untrusted): a record keeps at most maxBytes bytes and
// counts the rest in `omitted`; the log keeps at most maxRecords records and
// drops the oldest. Nothing grows with the traffic.
//
// Thread safety: events may come from the thread that runs the exchanges
// while another thread reads Records(); the callback runs on the events'
// thread, with no lock held.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "frame_trace.h"
#include "link_state.h"

namespace serial {

inline constexpr size_t kTraceRecordBytes = 512;
inline constexpr size_t kTraceRecordsKept = 2000;

struct TraceRecord {
  uint32_t tickMs = 0;
  TraceDirection direction = TraceDirection::Sent;  // Sent, Received, Discarded or Echo
  std::string bytes;                                 // at most the log's maxBytes
  size_t omitted = 0;                                // bytes beyond the bound
  int port = 0;                                      // the connection's port
};

class TraceLog {
 public:
  using RecordCallback = std::function<void(const TraceRecord& record)>;

  explicit TraceLog(size_t maxRecords = kTraceRecordsKept, size_t maxBytes = kTraceRecordBytes);
  // Detaches from every connection still attached.
  ~TraceLog();
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // Makes this log the connection's trace hook (replacing any other hook).
  // Detach removes it and closes that connection's record still open; a
  // connection must be detached (or the log gone) before it is destroyed.
  // Each runs on the connection's own thread.
  void Attach(LinkState& link);
  void Detach(LinkState& link);

  // Called with every record as it completes. Set it before Attach.
  void SetCallback(RecordCallback callback);

  // One event of the frame trace; Attach routes the hook here.
  void Take(const TraceEvent& event);

  // The records kept, oldest first, and how many older ones were dropped.
  std::vector<TraceRecord> Records() const;
  uint64_t DroppedRecords() const;
  void Clear();

 private:
  // One port's record being assembled, and what the link would make of
  // its exchange so far.
  struct Assembly {
    bool open = false;
    TraceRecord current;
    bool exchangeStartedWithLf = false;
    bool exchangeReceived = false;
  };
  // Each adds the records it completes, to be handed to the callback.
  void TakeWhole(Assembly& a, const TraceEvent& event, std::vector<TraceRecord>& completed);
  void TakeReceived(Assembly& a, const TraceEvent& event, std::vector<TraceRecord>& completed);
  void TakeDiscarded(Assembly& a, const TraceEvent& event, std::vector<TraceRecord>& completed);
  // Opens a record of the direction at the event's time and port.
  static void OpenRecord(Assembly& a, const TraceEvent& event, TraceDirection direction);
  // Adds a byte to the open record, or counts it beyond the bound.
  void Append(Assembly& a, uint8_t byte);
  void CloseOpen(Assembly& a, std::vector<TraceRecord>& completed);
  void Keep(const TraceRecord& record);

  const size_t maxRecords_;
  const size_t maxBytes_;
  mutable std::mutex mutex_;
  std::deque<TraceRecord> records_;
  uint64_t dropped_ = 0;
  // Per port, only while an exchange runs there: the map holds at most one
  // entry per connection.
  std::map<int, Assembly> assemblies_;
  RecordCallback callback_;
  // The connections this log is the hook of.
  std::vector<LinkState*> attached_;
};

// "09 48 30 30 4D 30 43 0D": two upper-case hex digits per byte, blank apart.
std::string TraceHex(std::string_view bytes);

// Printable ASCII as it is, "\\" for a backslash, \t \r \n, and \xNN for
// every other byte: safe on any terminal and in any text file.
std::string TraceText(std::string_view bytes);

// One line: time in ms, ">" sent or "<" received, hex, text, the count of
// bytes beyond the bound when there were any, "(discarded)" for bytes
// thrown away and "(echo)" for the adapter's copy of a frame:
//   "    1234 ms > 09 48 30 30 4D 30 43 0D  \tH00M0C\r"
std::string TraceLine(const TraceRecord& record);

}  // namespace serial
