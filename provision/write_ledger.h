// SPDX-License-Identifier: MIT
#pragma once
// What the module took in during one operation, as the frame trace saw it:
// each command sent and whether a valid reply (a whole reply frame with a
// correct checksum) came back. From it the tool tells, after a write, which
// values the module accepted, also when the operation failed half-way (ID 1
// written, ID 2 not).
//
// The trace is untrusted input like the line itself: only the last
// kExchangesKept exchanges are kept.

#include <optional>
#include <string>
#include <vector>

#include "trace_log.h"

// One value a writing command sets: its key ("id1", "id2", "key-count",
// "mode", "rs485", "line-setting"), a label for people ("ID 1") and the value
// as the tool shows it ("12", "two", "40", "19200,e,8,1").
struct WrittenValue {
  std::string key, label, value;
  bool operator==(const WrittenValue&) const = default;
};

class WriteLedger {
 public:
  static constexpr size_t kExchangesKept = 64;

  void Clear();
  // Each record of the session's trace log, in order.
  void Take(const serial::TraceRecord& record);

  // The values of the write commands the module answered, in the order sent;
  // a value written twice (the second attempt) counts once, at its last.
  std::vector<WrittenValue> Accepted() const;

  // Whether any frame of this command text got a valid reply.
  bool Answered(const std::string& command) const;

 private:
  struct Exchange {
    std::string command;
    bool answered = false;
    bool judged = false;  // its first received record has been seen
  };
  std::vector<Exchange> exchanges_;
};

// The values a command text writes; empty for a command that only reads.
// previous is the command sent before it (an ID command after "H00N" writes
// ID 2).
std::vector<WrittenValue> ValuesWrittenBy(const std::string& command, const std::string& previous);

// "ID 1 12, ID 2 07"; "nothing" for none.
std::string DescribeValues(const std::vector<WrittenValue>& values);
