// SPDX-License-Identifier: MIT
// The command line: words in any case, and errors that suggest the way out.
#include <gtest/gtest.h>

#include <functional>

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
}  // namespace
