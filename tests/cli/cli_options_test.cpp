// SPDX-License-Identifier: MIT
// The command line: words in any case, errors that suggest the way out, and
// the port lists of a bench.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "cli_options.h"

namespace {
TEST(CliOptionsTest, WordsAreTakenInAnyCase) {
  struct Case {
    std::vector<std::string> args;
    std::function<bool(const CliOptions&)> holds;
  };
  const Case cases[] = {
      {{"set-mode", "TWO"}, [](const CliOptions& o) { return o.modeIndex == 0; }},
      {{"set-mode", "One"}, [](const CliOptions& o) { return o.modeIndex == 1; }},
      {{"--lang", "GB", "scan"}, [](const CliOptions& o) { return o.language == 1; }},
      {{"--lang", "Big5", "scan"}, [](const CliOptions& o) { return o.language == 2; }},
      {{"scan", "--port", "COM3"}, [](const CliOptions& o) { return o.port == 3; }},
      {{"scan", "--port", "com16"}, [](const CliOptions& o) { return o.port == 16; }},
      {{"scan", "--port=3"}, [](const CliOptions& o) { return o.port == 3; }},
      {{"SCAN"}, [](const CliOptions& o) { return o.subcommand == Subcommand::Scan && o.subcommandName == "scan"; }},
      {{"Set-Baud", "19200,E,8,1"}, [](const CliOptions& o) { return o.lineSettingIndex == 5; }},
  };
  for (const Case& c : cases) {
    ParsedCommandLine parsed = ParseCommandLine(c.args);
    std::string line = ::testing::PrintToString(c.args);
    EXPECT_EQ(parsed.error, "") << line;
    EXPECT_TRUE(c.holds(parsed.options)) << line;
  }
}

TEST(CliOptionsTest, ErrorsSuggestTheWayOut) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"setid", "12"}, "unknown subcommand 'setid' (did you mean set-id?)"},
      {{"scna"}, "unknown subcommand 'scna' (did you mean scan?)"},
      {{"frobnicate"}, "unknown subcommand 'frobnicate'"},
      {{"set-baud", "19200"}, "unknown line setting '19200': give 19200,n,8,1 or 19200,e,8,1"},
      {{"scan", "--port", "COM17"}, "--port must be a number from 1 to 16 (or COM1 to COM16), not 'COM17'"},
      {{"scan", "--port", "COM"}, "--port must be a number from 1 to 16 (or COM1 to COM16), not 'COM'"},
  };
  for (const auto& [args, error] : cases) EXPECT_EQ(ParseCommandLine(args).error, error);
}

TEST(CliOptionsTest, PortListsAreNumbersAndRangesFromOneToSixteen) {
  std::vector<int> all(16);
  std::iota(all.begin(), all.end(), 1);
  const std::pair<const char*, std::vector<int>> good[] = {
      {"3", {3}},   {"3,5-8", {3, 5, 6, 7, 8}}, {"16,1", {1, 16}}, {"4-4", {4}},
      {"3,3,2-4", {2, 3, 4}}, {"ALL", all},    {"1-16", all},
  };
  for (const auto& [text, ports] : good) {
    std::optional<std::vector<int>> parsed = ParsePortList(text);
    ASSERT_TRUE(parsed) << text;
    EXPECT_EQ(*parsed, ports) << text;
  }
  for (const char* bad :
       {"", "0", "17", "8-5", "3,", ",3", "3,,5", "3-", "-3", "3-5-7", "a", "3 ,4", "COM3", "+3", "1-99"})
    EXPECT_FALSE(ParsePortList(bad)) << "'" << bad << "'";
}

TEST(CliOptionsTest, TheBenchTakesItsPortsAndRefusesWhatConfinesTheScan) {
  ParsedCommandLine discover = ParseCommandLine({"discover"});
  EXPECT_EQ(discover.error, "");
  EXPECT_EQ(discover.options.ports.size(), 16u);
  ParsedCommandLine apply = ParseCommandLine({"apply", "p.ini", "--ports", "5-6,3"});
  EXPECT_EQ(apply.error, "");
  EXPECT_EQ(apply.options.ports, (std::vector<int>{3, 5, 6}));
  EXPECT_TRUE(ParseCommandLine({"apply", "p.ini"}).options.ports.empty());
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"discover", "--ports", "3,,5"},
       "--ports must be all or numbers and ranges from 1 to 16 such as 3,5-8, not '3,,5'"},
      {{"apply", "p.ini", "--ports", "3", "--port", "3"}, "--port and --ports cannot be given together"},
      {{"apply", "p.ini", "--ports", "all", "--lock"}, "--lock cannot be given with --ports"},
      {{"scan", "--ports", "3"}, "option --ports does not apply to scan"},
      {{"discover", "--port", "3"}, "option --port does not apply to discover"},
      {{"discover", "extra"}, "discover takes no arguments, not 'extra'"},
  };
  for (const auto& [args, error] : refused) EXPECT_EQ(ParseCommandLine(args).error, error);
}
}  // namespace
