// SPDX-License-Identifier: MIT
#pragma once
// The walk test: an installer walks from door to door presenting a card,
// while the tool polls the listed reader IDs in turn at the production
// cadence (no scan: a bus cannot be scanned). Every card read is handed to
// a callback with its reader ID; at the end the result says which IDs gave
// reads and which never did. It runs over a connection the caller owns,
// opens and closes the port itself, prints nothing, and ends at the
// connection's stop request or at the given time.
//
// A poll's answer "F" + ID + ":1" + data carries a card; ":0" none. Only a
// clean answer (ok, poll_reading.h) counts; the card data is line data,
// untrusted, and handed on as received.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "line_capture.h"
#include "link_state.h"
#include "survey_result.h"

namespace site {

struct WalkOptions {
  int port = 0;
  int lineIndex = -1;    // -1: find it as the survey does
  std::vector<int> ids;  // the reader IDs to poll, in turn; not empty
  serial::LineClock::time_point until = serial::LineClock::time_point::max();
};

struct WalkIdCount {
  int id = 0;
  uint64_t polls = 0;
  uint64_t answered = 0;  // clean answers
  uint64_t cards = 0;
};

struct WalkResult {
  int port = 0;
  int lineIndex = -1;
  LineObservations line;
  std::vector<WalkIdCount> ids;  // in the order given
};

enum class WalkOutcome { Ended, PortNotOpened, NoAnswer };

using CardRead = std::function<void(int id, const std::string& data)>;

WalkOutcome RunWalkTest(serial::LinkState& link, const WalkOptions& options, WalkResult& result, const CardRead& onCard);

// The card data of a clean poll answer of reader `id` (LF..CR as received),
// or nullopt when it carries none.
std::optional<std::string> CardOfAnswer(const std::string& reply, int id);

}  // namespace site
