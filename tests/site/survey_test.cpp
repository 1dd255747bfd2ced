// SPDX-License-Identifier: MIT
// The survey against a simulated bus of modules on a pseudo-terminal: each
// line fault with the statuses and findings it must produce.

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "port_names.h"
#include "serial_port.h"
#include "sim_bus.h"
#include "sim_port.h"
#include "survey.h"

namespace {

constexpr int kPort = 3;

sim::ModuleConfig Module(const std::string& id1, const std::string& id2, int k, char mode = '0', int lineIndex = 5) {
  sim::ModuleConfig c;
  c.id1 = id1;
  c.id2 = id2;
  c.serial1 = std::to_string(12345678 + k);
  c.serial2 = std::to_string(87654321 - k);
  c.mode = mode;
  c.lineIndex = lineIndex;
  return c;
}

struct SurveyCase {
  const char* name;
  std::vector<sim::ModuleConfig> modules;
  sim::LineFaults faults;
  int lineIndex;  // -1: the survey finds it
  int lineFound;
  std::vector<int> ids;
  std::map<int, std::string> status;  // ID -> its final status; "not ok" for anything else
  std::vector<std::string> findings;  // that must be among the findings
  std::vector<std::string> absentFindings;
};

std::vector<SurveyCase> Cases() {
  sim::LineFaults echo;
  echo.echo = true;
  sim::LineFaults foreign;
  foreign.foreignMasterMs = 100;
  foreign.foreignIds = {"09"};
  sim::LineFaults stray;
  stray.strayMs = 50;
  return {
      {"four modules, one shared ID, one with one reader",
       {Module("11", "12", 0), Module("13", "14", 1), Module("13", "15", 2), Module("16", "17", 3, '1')},
       {}, -1, 4, {11, 12, 13, 14, 15, 16, 17},
       {{11, "ok"}, {12, "ok"}, {13, "not ok"}, {14, "ok"}, {15, "ok"}, {16, "ok"}, {17, "absent"}},
       {"duplicate-id"}, {"echo", "speed-mismatch"}},
      {"an echoing adapter", {Module("01", "05", 0)}, echo, 5, 5, {1, 2, 5},
       {{1, "ok"}, {2, "absent"}, {5, "ok"}}, {"echo"}, {"noise", "duplicate-id"}},
      {"factory IDs on a bus", {Module("01", "05", 0), Module("21", "22", 1)}, {}, 5, 5, {1, 5, 21},
       {{1, "ok"}, {5, "ok"}, {21, "ok"}}, {"factory-ids"}, {"duplicate-id"}},
      // The search goes on at the first setting that answered, in its order.
      {"a module at another speed", {Module("31", "32", 0), Module("33", "34", 1, '0', 2)}, {}, -1, 2, {31, 33},
       {{31, "absent"}, {33, "ok"}}, {"speed-mismatch"}, {}},
      // Its polls collide with the survey's: only the finding is certain.
      {"another host polling", {Module("41", "09", 0)}, foreign, 5, 5, {41}, {}, {"foreign-master"}, {}},
      {"stray bytes on the idle line", {Module("51", "52", 0)}, stray, 5, 5, {51}, {}, {"noise"}, {}},
  };
}

class Survey : public ::testing::TestWithParam<SurveyCase> {
 protected:
  void TearDown() override {
    SetPortTable([](const std::string&) { return std::optional<std::string>(std::string()); });
    if (bus && HasFailure()) {
      for (const std::string& line : bus->LogLines()) std::printf("  bus: %s\n", line.c_str());
    }
  }
  std::unique_ptr<sim::SimBus> bus;
};

TEST_P(Survey, EachFaultGivesItsStatusesAndFindings) {
  const SurveyCase& c = GetParam();
  bus = std::make_unique<sim::SimBus>(c.modules, c.faults);
  ASSERT_TRUE(bus->Start());
  SetPortTable(sim::SimPortTable(bus->SlavePath(), kPort));
  LinkState link{PortScope::AnyPort()};
  site::SurveyResult result;
  std::vector<std::string> steps;
  const site::SurveyOutcome outcome = site::RunSurvey(link, {kPort, c.lineIndex, c.ids}, result,
                                                      [&](const std::string& step) { steps.push_back(step); });
  ASSERT_EQ(outcome, site::SurveyOutcome::Done);
  EXPECT_FALSE(PortIsOpen(link)) << "the survey closes its port";
  EXPECT_EQ(steps.front(), "listening");
  EXPECT_EQ(result.lineIndex, c.lineFound);
  ASSERT_EQ(result.ids.size(), c.ids.size());
  for (const site::IdResult& r : result.ids) {
    SCOPED_TRACE("ID " + site::IdText(r.id));
    auto expected = c.status.find(r.id);
    if (expected == c.status.end()) continue;
    const std::string status = site::StatusName(r.Status());
    if (expected->second == "not ok") {
      EXPECT_NE(status, "ok");
      EXPECT_NE(status, "absent");
    } else {
      EXPECT_EQ(status, expected->second);
    }
  }
  std::vector<std::string> names;
  for (const site::Finding& f : site::FindingsOf(result)) names.push_back(site::FindingName(f.kind));
  for (const std::string& name : c.findings)
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  for (const std::string& name : c.absentFindings)
    EXPECT_EQ(std::find(names.begin(), names.end(), name), names.end()) << name;
}

INSTANTIATE_TEST_SUITE_P(Bus, Survey, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<SurveyCase>& info) {
                           std::string name;
                           for (char ch : std::string(info.param.name))
                             if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
                           return name;
                         });

// The poll that meets nothing but the window: no port, no bus.
TEST(SurveyPorts, APortThatDoesNotOpenEndsTheSurveyAtOnce) {
  SetPortTable([](const std::string&) { return std::optional<std::string>(std::string()); });
  LinkState link{PortScope::AnyPort()};
  site::SurveyResult result;
  EXPECT_EQ(site::RunSurvey(link, {kPort, 5, {1}}, result), site::SurveyOutcome::PortNotOpened);
  EXPECT_TRUE(result.ids.empty());
}

}  // namespace
