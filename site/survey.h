// SPDX-License-Identifier: MIT
#pragma once
// The survey of a bus: which reader IDs answer on one port, which collide,
// and what the line shows besides. It runs over a connection the caller
// owns and opens the port itself (closing it on every path); it prints
// nothing: progress goes to a callback, the result to the caller.
//
// Steps:
// 1. Listens 0.5 s at the given line setting (or the default one) before
//    writing anything: another host's frames, replies nobody here asked
//    for, stray bytes.
// 2. Without a given setting, tries each line setting in the search's
//    order, "H00M" twice at each: any answer counts, garbled or not (see
//    PollResult::answerHeard).
//    Every setting is tried, so modules at two speeds are seen; the survey
//    goes on at the first that answered. An echo of the frames is noted.
// 3. Polls each reader ID (01 to 99, or the given list) once at the
//    production cadence, listening past each reply for a second one.
// 4. Polls again, once, every ID whose answer was not clean (anything but
//    ok and absent).
// Between polls it looks at the connection's stop request.

#include <functional>
#include <vector>

#include "link_state.h"
#include "survey_result.h"

namespace site {

inline constexpr std::chrono::milliseconds kIdleListen{500};

struct SurveyOptions {
  int port = 0;
  int lineIndex = -1;    // -1: find it
  std::vector<int> ids;  // empty: 1 to 99
};

enum class SurveyOutcome { Done, PortNotOpened, Stopped };

// Told before each step: "listening", "line 3", "poll 17", "again 17".
using SurveyProgress = std::function<void(const std::string& step)>;

// Fills result (also when stopped: what was found until then).
SurveyOutcome RunSurvey(serial::LinkState& link, const SurveyOptions& options, SurveyResult& result,
                        const SurveyProgress& progress = {});

}  // namespace site
