// SPDX-License-Identifier: MIT
// The survey's map and the commissioning record.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site_report.h"

namespace {
using S = site::PollStatus;

site::SurveyResult Surveyed() {
  site::SurveyResult r;
  r.lineIndex = 5;
  for (int id = 1; id <= 99; ++id) r.ids.push_back({id, {S::Absent}});
  r.ids[0].polls = {S::Ok};                  // 01
  r.ids[2].polls = {S::Garbled, S::Double};  // 03
  r.ids[41].polls = {S::Late, S::Late};      // 42
  r.ids[98].polls = {S::Partial, S::Ok};     // 99
  return r;
}

TEST(SiteReport, TheMapHasARowPerTensDigitAndACellPerId) {
  const std::vector<std::string> map = site::IdMap(Surveyed());
  ASSERT_EQ(map.size(), 12u);
  EXPECT_EQ(map[0], "       0   1   2   3   4   5   6   7   8   9");
  EXPECT_EQ(map[1], "  0       ok   .  D!   .   .   .   .   .   .");
  EXPECT_EQ(map[5], "  4    .   .  L!   .   .   .   .   .   .   .");
  EXPECT_EQ(map[10], "  9    .   .   .   .   .   .   .   .   .  ok");
  site::SurveyResult some;
  some.ids = {{12, {S::Ok}}};
  EXPECT_EQ(site::IdMap(some)[2], "  1           ok");  // IDs not polled stay blank
}

TEST(SiteReport, TheRecordHoldsHeadingMapIdsAndFindings) {
  const site::SurveyResult result = Surveyed();
  const auto findings = site::FindingsOf(result);
  const std::string doc = site::SurveyRecord(
      {"Gate | B \x1b]0;x\x07", "2026-12-09 10:00 UTC", "COM3 (/dev/ttyUSB0)", "", "rt420ctl 3.20-01"}, result, findings);
  for (const char* part : {"# Commissioning record: Gate \\| B \\\\x1B\\]0;x\\\\x07",
                           "| Line setting | 19200,e,8,1 \\(found by the search\\) |", "| Adapter | (not known) |",
                           "| 03 | double | garbled, double |", "| 42 | late | late, late |",
                           "| 99 | ok | partial, ok |", "No answer: 02, 04,", "**duplicate-id**", "**late-replies**",
                           "*Check:*"}) {
    EXPECT_NE(doc.find(part), std::string::npos) << part << "\n" << doc;
  }
  EXPECT_EQ(doc.find('\x1b'), std::string::npos);
  EXPECT_NE(doc.find("| 01 | ok | ok |"), std::string::npos);
}

}  // namespace
