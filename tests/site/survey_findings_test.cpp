// SPDX-License-Identifier: MIT
// What a survey's statuses and observations are taken to mean.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "survey_result.h"

namespace {
using site::FindingKind;
using S = site::PollStatus;

site::SurveyResult Bus(std::vector<site::IdResult> ids, std::function<void(site::LineObservations&)> line = {}) {
  site::SurveyResult result;
  result.lineIndex = 5;
  result.ids = std::move(ids);
  if (line) line(result.line);
  return result;
}

struct FindingCase {
  const char* name;
  site::SurveyResult result;
  // Each expected finding with the IDs it names.
  std::vector<std::pair<FindingKind, std::vector<int>>> findings;
};

TEST(SurveyFindings, EachSituationGivesItsFindings) {
  const std::vector<FindingCase> cases = {
      {"one module alone, factory IDs", Bus({{1, {S::Ok}}, {5, {S::Ok}}, {9, {S::Absent}}}), {}},
      {"a shared ID garbled every time",
       Bus({{2, {S::Ok}}, {3, {S::Garbled, S::Double}}}),
       {{FindingKind::DuplicateId, {3}}}},
      {"damaged once, clean again: noise, not a duplicate",
       Bus({{2, {S::Ok}}, {3, {S::Garbled, S::Ok}}}),
       {{FindingKind::Noise, {3}}}},
      {"factory IDs among others",
       Bus({{1, {S::Ok}}, {5, {S::Ok}}, {12, {S::Ok}}}),
       {{FindingKind::FactoryIds, {1, 5}}}},
      {"two new modules: 01 and 05 collide",
       Bus({{1, {S::Garbled, S::Garbled}}, {5, {S::Double, S::Garbled}}}),
       {{FindingKind::DuplicateId, {1, 5}}, {FindingKind::FactoryIds, {1, 5}}}},
      {"answers at two speeds",
       Bus({{2, {S::Ok}}}, [](auto& l) { l.answeringSettings = {2, 3, 5}; }),
       {{FindingKind::SpeedMismatch, {}}}},
      {"both parities of one speed are one speed",
       Bus({{2, {S::Ok}}}, [](auto& l) { l.answeringSettings = {4, 5}; }),
       {}},
      {"an echoing adapter is a note", Bus({{2, {S::Ok}}}, [](auto& l) { l.echo = true; }),
       {{FindingKind::Echo, {}}}},
      {"another master", Bus({{2, {S::Ok}}}, [](auto& l) { l.foreignFrames = 3; }),
       {{FindingKind::ForeignMaster, {}}}},
      {"stray bytes", Bus({{2, {S::Ok}}}, [](auto& l) { l.strayBytes = 7; }), {{FindingKind::Noise, {}}}},
      {"a reply cut off", Bus({{2, {S::Partial, S::Partial}}}), {{FindingKind::Noise, {2}}}},
      {"late replies", Bus({{4, {S::Late, S::Late}}}), {{FindingKind::LateReplies, {4}}}},
      {"answers 00 but no poll", Bus({{1, {S::Absent}}, {2, {S::Absent}}}, [](auto& l) { l.answersAddress00 = true; }),
       {{FindingKind::Address00Only, {}}}},
  };
  for (const FindingCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<site::Finding> found = site::FindingsOf(c.result);
    ASSERT_EQ(found.size(), c.findings.size());
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(site::FindingName(found[i].kind), std::string(site::FindingName(c.findings[i].first)));
      EXPECT_EQ(found[i].ids, c.findings[i].second);
      EXPECT_FALSE(found[i].what.empty());
      EXPECT_FALSE(found[i].check.empty());
    }
  }
}

TEST(SurveyFindings, OnlyTheEchoIsNotAProblem) {
  site::Finding echo{FindingKind::Echo, {}, "", ""};
  site::Finding duplicate{FindingKind::DuplicateId, {3}, "", ""};
  EXPECT_FALSE(echo.Problem());
  EXPECT_TRUE(duplicate.Problem());
  EXPECT_EQ(site::IdText(7), "07");
  EXPECT_EQ(site::IdText(99), "99");
}

}  // namespace
