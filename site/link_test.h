// SPDX-License-Identifier: MIT
#pragma once
// The link test: how well the line carries exchanges with each reader ID,
// at the production cadence. Like the survey it runs over a connection the
// caller owns, opens and closes the port itself and prints nothing.
//
// Without a line setting it finds one as the survey does. Then it makes
// `count` rounds; each round polls every listed reader ID once, in order
// ("H" + ID + "F"). Without IDs the test is point to point: each round is
// one presence check of the one module ("H00M", any reply). Every exchange
// is judged (poll_reading.h) and counted per ID (link_figures.h). Around
// the rounds it reads the driver's line error counts, where the system
// keeps them, and the USB adapter's latency timer, where the system shows
// it. Between exchanges it looks at the connection's stop request.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link_figures.h"
#include "link_state.h"
#include "survey_result.h"

namespace site {

inline constexpr int kDefaultLinkTestCount = 100;
// The "ID" of the point-to-point presence check.
inline constexpr int kPresenceCheckId = 0;

struct LinkTestOptions {
  int port = 0;
  int lineIndex = -1;    // -1: find it
  std::vector<int> ids;  // empty: the presence check of one module
  int count = kDefaultLinkTestCount;
};

struct IdLinkFigures {
  int id = kPresenceCheckId;
  LinkFigures figures;
};

struct LinkTestResult {
  int port = 0;
  std::string device;  // untrusted text
  int lineIndex = -1;  // -1: nothing answered the line search
  LineObservations line;
  std::vector<IdLinkFigures> ids;
  // The line errors the driver counted during the test; nullopt when the
  // system keeps no counts for this port.
  std::optional<serial::LineErrorCounts> lineErrors;
  std::optional<int> latencyTimerMs;
};

enum class LinkTestOutcome { Done, PortNotOpened, NoAnswer, Stopped };

// Told before each round (0-based) and before each setting of a search.
using LinkTestProgress = std::function<void(const std::string& step)>;

LinkTestOutcome RunLinkTest(serial::LinkState& link, const LinkTestOptions& options, LinkTestResult& result,
                            const LinkTestProgress& progress = {});

}  // namespace site
