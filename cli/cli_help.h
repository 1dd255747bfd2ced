// SPDX-License-Identifier: MIT
#pragma once
// The texts of --help and --version, and the table they are printed from.
//
// One table describes the program: its subcommands with their arguments and
// own options, the options of every subcommand, the options of the scan that
// the module subcommands run first, and the exit codes. `rt420ctl --help`,
// `rt420ctl SUBCOMMAND --help` and the manual page (cli_manual.h, made at
// build time) are all printed from it, so they cannot disagree.
//
// Texts in the table are paragraphs separated by an empty line. A paragraph
// is flowed to the width of the output, except a paragraph whose every line
// starts with two spaces, which is shown line for line (an example).

#include <string>
#include <vector>

#include "cli_options.h"
#include "exit_codes.h"

struct HelpOption {
  const char* name;   // "--port"
  const char* value;  // "N", or "" for an option without a value
  const char* text;   // what it does
};

struct HelpSubcommand {
  Subcommand subcommand;
  const char* arguments;  // "ID1 [ID2]", "" for none
  const char* summary;    // one line for the program's list
  const char* text;       // the subcommand's own help
  std::vector<HelpOption> options;  // its own options
  bool scansFirst;        // runs the scan first, and takes its options
};

struct HelpExitCode {
  ExitCode code;
  const char* text;
};

struct HelpTable {
  const char* usage;        // "[options] SUBCOMMAND [arguments]"
  const char* description;  // what the program is and how it works
  std::vector<HelpSubcommand> subcommands;
  const char* settings;     // what the module's settings are
  const char* scanFirst;    // the scan that the module subcommands run first
  std::vector<HelpOption> commonOptions;  // of every subcommand
  std::vector<HelpOption> scanOptions;    // of the scan run first
  std::vector<HelpExitCode> exitCodes;
  const char* notes;        // Ctrl+C, letter case
};

const HelpTable& Help();

std::string ProgramHelp();
// The help of one subcommand; the program's help for Subcommand::None.
std::string SubcommandHelp(Subcommand subcommand);
std::string VersionLine();

// "--port N", "--save-profile FILE", "--trace": an option with its value.
std::string OptionWithValue(const HelpOption& option);
// The options a subcommand's help lists: its own, and for scan itself the
// scan's options first.
std::vector<HelpOption> ListedOptions(const HelpSubcommand& entry);
// "scan [--lock] [--port N] [--save-profile FILE]": the subcommand's name,
// its arguments and its options.
std::string SubcommandSynopsis(const HelpSubcommand& entry);
// The lines of a text without their ends (none after a last line end).
std::vector<std::string> Lines(const std::string& text);
// The paragraphs of a table text; each paragraph's lines without their ends.
std::vector<std::vector<std::string>> Paragraphs(const std::string& text);
// True for a paragraph that is shown line for line.
bool IsVerbatim(const std::vector<std::string>& paragraph);
