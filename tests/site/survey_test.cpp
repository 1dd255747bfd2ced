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
#include "bus_module.h"
#include "sim_bus.h"
#include "sim_port.h"
#include "link_test.h"
#include "survey.h"
#include "walk_test.h"

namespace {

constexpr int kPort = 3;


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
       {BusModule("11", "12", 0), BusModule("13", "14", 1), BusModule("13", "15", 2), BusModule("16", "17", 3, '1')},
       {}, -1, 4, {11, 12, 13, 14, 15, 16, 17},
       {{11, "ok"}, {12, "ok"}, {13, "not ok"}, {14, "ok"}, {15, "ok"}, {16, "ok"}, {17, "absent"}},
       {"duplicate-id"}, {"echo", "speed-mismatch"}},
      {"an echoing adapter", {BusModule("01", "05", 0)}, echo, 5, 5, {1, 2, 5},
       {{1, "ok"}, {2, "absent"}, {5, "ok"}}, {"echo"}, {"noise", "duplicate-id"}},
      {"factory IDs on a bus", {BusModule("01", "05", 0), BusModule("21", "22", 1)}, {}, 5, 5, {1, 5, 21},
       {{1, "ok"}, {5, "ok"}, {21, "ok"}}, {"factory-ids"}, {"duplicate-id"}},
      // The search goes on at the first setting that answered, in its order.
      {"a module at another speed", {BusModule("31", "32", 0), BusModule("33", "34", 1, '0', 2)}, {}, -1, 2, {31, 33},
       {{31, "absent"}, {33, "ok"}}, {"speed-mismatch"}, {}},
      // Its polls collide with the survey's: only the finding is certain.
      {"another host polling", {BusModule("41", "09", 0)}, foreign, 5, 5, {41}, {}, {"foreign-master"}, {}},
      {"stray bytes on the idle line", {BusModule("51", "52", 0)}, stray, 5, 5, {51}, {}, {"noise"}, {}},
  };
}

class Survey : public ::testing::TestWithParam<SurveyCase> {
 protected:
  void TearDown() override {
    serial::SetPortTable([](const std::string&) { return std::optional<std::string>(std::string()); });
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
  serial::SetPortTable(sim::SimPortTable(bus->SlavePath(), kPort));
  serial::LinkState link{serial::PortScope::AnyPort()};
  site::SurveyResult result;
  std::vector<std::string> steps;
  const site::SurveyOutcome outcome = site::RunSurvey(link, {kPort, c.lineIndex, c.ids}, result,
                                                      [&](const std::string& step) { steps.push_back(step); });
  ASSERT_EQ(outcome, site::SurveyOutcome::Done);
  EXPECT_FALSE(serial::PortIsOpen(link)) << "the survey closes its port";
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

// The link test counts every exchange per reader ID, with and without an
// echoing adapter, and point to point with the presence check.
TEST(LinkTest, EveryExchangeIsCountedPerId) {
  struct Case {
    const char* name;
    bool echo;
    std::vector<int> ids;
  };
  const Case cases[] = {{"bus", false, {1, 2, 6}}, {"echoing bus", true, {1, 6}}, {"point to point", false, {}}};
  constexpr int kRounds = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::LineFaults faults;
    faults.echo = c.echo;
    sim::SimBus bus({BusModule("01", "05", 0), BusModule("02", "06", 1)}, faults);
    ASSERT_TRUE(bus.Start());
    serial::SetPortTable(sim::SimPortTable(bus.SlavePath(), kPort));
    serial::LinkState link{serial::PortScope::AnyPort()};
    site::LinkTestResult result;
    site::LinkTestOptions options{kPort, 5, c.ids, kRounds};
    ASSERT_EQ(site::RunLinkTest(link, options, result), site::LinkTestOutcome::Done);
    EXPECT_FALSE(serial::PortIsOpen(link));
    ASSERT_EQ(result.ids.size(), c.ids.empty() ? 1u : c.ids.size());
    for (const site::IdLinkFigures& f : result.ids) {
      SCOPED_TRACE("ID " + site::IdText(f.id));
      EXPECT_EQ(f.figures.Sent(), static_cast<uint64_t>(kRounds));
      EXPECT_EQ(f.figures.Ok() + f.figures.Timeouts() + f.figures.ChecksumErrors() + f.figures.Partial() +
                    f.figures.Other(),
                f.figures.Sent());
      // Point to point every module answers "00" at once: the presence
      // check of a bus of two is never clean.
      if (!c.ids.empty()) {
        EXPECT_GE(f.figures.Ok(), static_cast<uint64_t>(kRounds - 1));
      }
      if (f.figures.Ok() > 0) {
        EXPECT_GT(f.figures.WholeReply().max, f.figures.FirstByte().p50);
      }
      EXPECT_EQ(f.figures.Echoes() > 0, c.echo);
    }
    EXPECT_FALSE(result.lineErrors) << "a pseudo-terminal keeps no line error counts";
    EXPECT_FALSE(result.latencyTimerMs);
    serial::SetPortTable([](const std::string&) { return std::optional<std::string>(std::string()); });
  }
}

// The walk test hands on each card under the ID whose reader read it, and
// counts the IDs that never gave one.
TEST(WalkTest, EachCardComesUnderItsReaderId) {
  sim::SimBus bus({BusModule("01", "05", 0), BusModule("02", "06", 1, '1')});
  ASSERT_TRUE(bus.Start());
  serial::SetPortTable(sim::SimPortTable(bus.SlavePath(), kPort));
  ASSERT_TRUE(bus.PresentCardAt("05", "CARD5"));
  ASSERT_TRUE(bus.PresentCardAt("02", "CARD2"));
  serial::LinkState link{serial::PortScope::AnyPort()};
  site::WalkResult result;
  std::vector<std::pair<int, std::string>> cards;
  site::WalkOptions options{kPort, 5, {1, 2, 5, 6}, serial::LineClock::now() + std::chrono::milliseconds(1500)};
  EXPECT_EQ(site::RunWalkTest(link, options, result,
                              [&](int id, const std::string& data) { cards.emplace_back(id, data); }),
            site::WalkOutcome::Ended);
  EXPECT_FALSE(serial::PortIsOpen(link));
  std::sort(cards.begin(), cards.end());
  EXPECT_EQ(cards, (std::vector<std::pair<int, std::string>>{{2, "CARD2"}, {5, "CARD5"}}));
  ASSERT_EQ(result.ids.size(), 4u);
  EXPECT_EQ(result.ids[0].cards, 0u);
  EXPECT_GT(result.ids[0].answered, 0u);
  EXPECT_EQ(result.ids[1].cards, 1u);
  EXPECT_EQ(result.ids[2].cards, 1u);
  EXPECT_EQ(result.ids[3].answered, 0u) << "a one-reader module does not answer its second ID";
  serial::SetPortTable([](const std::string&) { return std::optional<std::string>(std::string()); });
}

TEST(WalkTest, CardOfAnAnswer) {
  EXPECT_EQ(site::CardOfAnswer("\nF07:1ABC12\r", 7), "ABC");
  EXPECT_EQ(site::CardOfAnswer("\nF07:012\r", 7), std::nullopt);
  EXPECT_EQ(site::CardOfAnswer("\nF08:1ABC12\r", 7), std::nullopt);
  EXPECT_EQ(site::CardOfAnswer("\nF07:1\r", 7), std::nullopt);
}

// The poll that meets nothing but the window: no port, no bus.
TEST(SurveyPorts, APortThatDoesNotOpenEndsTheSurveyAtOnce) {
  serial::SetPortTable([](const std::string&) { return std::optional<std::string>(std::string()); });
  serial::LinkState link{serial::PortScope::AnyPort()};
  site::SurveyResult result;
  EXPECT_EQ(site::RunSurvey(link, {kPort, 5, {1}}, result), site::SurveyOutcome::PortNotOpened);
  EXPECT_TRUE(result.ids.empty());
}

}  // namespace
