// SPDX-License-Identifier: MIT
// The manual page agrees with --help, and --help with the command line the
// program takes. The page is the one the build made (the package installs
// it); the help is what the program prints.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "cli_help.h"
#include "cli_options.h"

namespace {
using Names = std::set<std::string>;
constexpr std::chrono::milliseconds kLimit{60000};

std::string RunHelp(const std::vector<std::string>& arguments) {
  ChildProcess child(RT420CTL_PATH, arguments, {});
  ChildResult result = child.Finish(kLimit);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.out;
}

// The first word of each line of a help list that starts with two spaces
// and a letter or "--", between the heading `from` and the next line that
// does not start with a space.
Names ListedNames(const std::string& help, const std::string& from) {
  static const std::regex item("^  (--[a-z0-9-]+|[a-z][a-z-]*)( |$).*");
  Names names;
  bool inside = false;
  for (const std::string& line : Lines(help)) {
    if (line == from) {
      inside = true;
      continue;
    }
    if (inside && !line.empty() && line[0] != ' ') break;
    std::smatch m;
    if (inside && std::regex_match(line, m, item)) names.insert(m[1]);
  }
  return names;
}

// A subcommand's own options in its help: the list after the usage.
Names OwnOptions(const std::string& help) {
  static const std::regex item("^  (--[a-z0-9-]+)( .*|$)");
  Names names;
  for (const std::string& line : Lines(help)) {
    std::smatch m;
    if (std::regex_match(line, m, item)) names.insert(m[1]);
  }
  return names;
}

// Roff text as a reader sees it: font changes dropped, escapes undone.
std::string Plain(std::string text) {
  text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
  text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
  return std::regex_replace(text, std::regex(R"(\\e)"), "\\");
}

// The manual's tagged paragraphs by section: for each ".SH" (and ".SS")
// the first word of each ".TP" heading. Headings inside ".RS" belong to the
// last heading outside it, under "SECTION/name".
std::map<std::string, Names> ManualHeadings(const std::string& page) {
  std::map<std::string, Names> headings;
  std::string section, outer;
  bool nested = false, heading = false;
  for (const std::string& line : Lines(page)) {
    if (line.rfind(".SH ", 0) == 0 || line.rfind(".SS ", 0) == 0) {
      section = Plain(line.substr(4));
      continue;
    }
    if (line == ".RS") nested = true;
    if (line == ".RE") nested = false;
    if (line == ".TP") {
      heading = true;
      continue;
    }
    if (!heading) continue;
    heading = false;
    std::string plain = Plain(line.rfind(".B ", 0) == 0 ? line.substr(3) : line);
    std::string first = plain.substr(0, plain.find(' '));
    if (nested) {
      headings[section + "/" + outer].insert(first);
    } else {
      headings[section].insert(first);
      outer = first;
    }
  }
  return headings;
}

std::string ReadManual() {
  std::ifstream in(RT420CTL_MANUAL_PATH, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_TRUE(in) << "no manual page at " << RT420CTL_MANUAL_PATH;
  return text.str();
}

TEST(CliManual, ListsTheSubcommandsOptionsAndExitCodesThatHelpDoes) {
  std::map<std::string, Names> manual = ManualHeadings(ReadManual());
  std::string help = RunHelp({"--help"});

  Names subcommands = ListedNames(help, "Subcommands:");
  EXPECT_EQ(manual["SUBCOMMANDS"], subcommands);
  EXPECT_EQ(subcommands.size(), Help().subcommands.size());
  EXPECT_EQ(manual["OPTIONS"], ListedNames(help, "Options:"));
  EXPECT_EQ(manual["The scan's options"],
            ListedNames(help, "Options of the scan (every subcommand but ports and discover):"));
  Names codes;
  for (const std::string& line : Lines(help))
    if (std::regex_match(line, std::regex("^  [0-9]  .*"))) codes.insert(line.substr(2, 1));
  EXPECT_EQ(manual["EXIT STATUS"], codes);

  for (const std::string& name : subcommands) {
    Names own = OwnOptions(RunHelp({name, "--help"}));
    EXPECT_EQ(manual["SUBCOMMANDS/" + name], own) << name;
  }
}

// A value the parser takes for each kind of option value the help shows.
std::string SampleValue(const std::string& value) {
  static const std::map<std::string, std::string> samples = {
      {"", ""},           {"N", "3"},       {"FILE", "x.txt"},  {"S", "1"},      {"LIST|all", "3"},
      {"DIR", "/tmp"},    {"en|gb|big5", "en"}, {"24|32|40", "32"}, {"LIST", "1-3"},
      {"SETTING", "19200,e,8,1"}, {"NAME", "Hall B"}};
  auto found = samples.find(value);
  EXPECT_NE(found, samples.end()) << "no sample for the value " << value;
  return found == samples.end() ? "" : found->second;
}

// Arguments that make each subcommand's command line complete.
std::vector<std::string> SampleArguments(Subcommand subcommand) {
  switch (subcommand) {
    case Subcommand::SetId: return {"12"};
    case Subcommand::SetBaud: return {"5"};
    case Subcommand::SetKeys: return {"4"};
    case Subcommand::SetMode: return {"two"};
    case Subcommand::Apply: return {"p.ini"};
    default: return {};
  }
}

TEST(CliManual, TheHelpGivesEveryOptionWhereTheCommandLineTakesIt) {
  const HelpTable& help = Help();
  std::vector<HelpOption> all = help.commonOptions;
  all.insert(all.end(), help.scanOptions.begin(), help.scanOptions.end());
  for (const HelpSubcommand& entry : help.subcommands)
    all.insert(all.end(), entry.options.begin(), entry.options.end());
  // No option is left out of the help ("-h" is the short --help).
  Names documented = {"-h"};
  for (const HelpOption& option : all) documented.insert(option.name);
  for (const std::string& name : OptionNames()) EXPECT_TRUE(documented.count(name)) << name << " is not in the help";

  for (const HelpSubcommand& entry : help.subcommands) {
    Names listed;
    for (const auto* group : {&help.commonOptions, &entry.options})
      for (const HelpOption& option : *group) listed.insert(option.name);
    if (entry.scansFirst)
      for (const HelpOption& option : help.scanOptions) listed.insert(option.name);
    for (const HelpOption& option : all) {
      std::vector<std::string> arguments = {SubcommandName(entry.subcommand)};
      for (const std::string& argument : SampleArguments(entry.subcommand)) arguments.push_back(argument);
      arguments.push_back(option.name);
      if (*option.value) arguments.push_back(SampleValue(option.value));
      std::string error = ParseCommandLine(arguments).error;
      bool refused =
          error.find("does not apply") != std::string::npos || error.find("unknown option") != std::string::npos;
      EXPECT_EQ(refused, !listed.count(option.name))
          << SubcommandName(entry.subcommand) << " " << option.name << ": " << error;
    }
  }
}
}  // namespace
