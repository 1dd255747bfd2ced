// SPDX-License-Identifier: MIT
#pragma once
// What the on-site tools show: the lines of text, the JSON objects and the
// CSV rows of a survey, a link test and a walk test, as the command line
// prints them (and a window may show them). Texts from the line or the
// system (the device path, card data) are shown through ShownText.

#include <string>
#include <vector>

#include "json.h"
#include "link_test.h"
#include "survey_result.h"
#include "walk_test.h"

namespace site {

// "COM3 (/dev/ttyUSB0)", the device escaped; "COM3" without one.
std::string PortText(int port, const std::string& device);

// The survey: where, the line, the map, the IDs that were not clean, the
// findings each with what to check.
std::vector<std::string> SurveyLines(const SurveyResult& result, const std::vector<Finding>& findings);
// {"port","device","line","echo","ids":[{"id","status","polls"}],"findings":[{"kind","ids","what","check"}]}
text::JsonObject SurveyJson(const SurveyResult& result, const std::vector<Finding>& findings);
// The survey's CSV: the header's cells and a row of cells per ID polled.
inline const std::vector<std::string> kSurveyCsvHeader = {"id", "status", "polls"};
std::vector<std::vector<std::string>> SurveyCsvRows(const SurveyResult& result);

// The link test: per ID its counts, latencies, verdict and histogram; the
// line error counts ("unavailable" where the system keeps none); the
// adapter's latency timer with a hint when it is slow; the thresholds.
std::vector<std::string> LinkTestLines(const LinkTestResult& result);
text::JsonObject LinkTestJson(const LinkTestResult& result);
// The worst verdict over the IDs; FAIL when there are none.
Verdict OverallVerdict(const LinkTestResult& result);

// The walk test's end: which IDs gave reads and which never did.
std::vector<std::string> WalkSummaryLines(const WalkResult& result);
text::JsonObject WalkSummaryJson(const WalkResult& result);

// The line setting's text, or "none" for -1.
std::string LineSettingText(int index);

}  // namespace site
