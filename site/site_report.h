// SPDX-License-Identifier: MIT
#pragma once
// The survey's map of reader IDs, and the commissioning record: a Markdown
// file an installer keeps with the site's papers, readable as it is and
// convertible by any Markdown tool.
//
// Texts from outside (the device path, the adapter's texts, the site name)
// are untrusted: each is shown as plain text, with control characters
// escaped and the characters that Markdown would read as markup
// backslash-escaped, so a name cannot break a table or turn into a link.

#include <string>
#include <vector>

#include "survey_result.h"

namespace site {

// The 10 x 10 map of IDs 00 to 99, a row per tens digit, a column per units
// digit, each cell the ID's mark: "ok", "." absent, "G!" garbled, "D!"
// answered twice, "P!" cut off, "L!" late, blank when not polled (00 never
// is). The heading row, ten rows and a legend line.
std::vector<std::string> IdMap(const SurveyResult& result);

// What the record's heading table says, besides the survey itself.
struct RecordHeading {
  std::string site;        // the operator's name for the site; may be empty
  std::string date;        // as the caller formats it
  std::string port;        // "COM3 (/dev/ttyUSB0)"
  std::string adapter;     // "FTDI FT232R USB UART, serial A10K3B7Z", or empty
  std::string tool;        // the program and its version
};

// The whole record: heading table, map, one row per ID that answered or was
// not clean, the IDs that did not answer in one line, and the findings with
// their likely causes.
std::string SurveyRecord(const RecordHeading& heading, const SurveyResult& result,
                         const std::vector<Finding>& findings);

// Untrusted text for a Markdown document: escaped as above.
std::string MarkdownText(const std::string& text);

}  // namespace site
