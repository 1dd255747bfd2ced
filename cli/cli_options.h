// SPDX-License-Identifier: MIT
#pragma once
// The command line of rt420ctl: one subcommand, its arguments, and options
// that may stand anywhere after the program name.
//
//   rt420ctl [--trace] [--json] [--lang en|gb|big5] [--no-beep] SUBCOMMAND ...
//
// Options take their value as the next argument or after "=" ("--port 3",
// "--port=3"). Every value is checked here, before anything is sent: a
// number must be all digits and in range, a line setting one of the twelve
// texts or its index. An argument that looks like a negative number is taken
// as a value, so that "set-id -5" reports the ID rather than an option.

#include <optional>
#include <string>
#include <vector>

#include "setting_words.h"

enum class Subcommand {
  None,
  Scan,
  SetId,
  SetBaud,
  SetKeys,
  SetMode,
  FactoryDefault,
  Watch,
  Ports,
  Apply,
  Discover,
  Survey,
  Linktest
};

struct CliOptions {
  Subcommand subcommand = Subcommand::None;
  std::string subcommandName;

  // For every subcommand.
  bool help = false;
  bool version = false;
  bool trace = false;
  bool json = false;
  bool beep = true;
  std::optional<int> language;  // 0 en, 1 gb, 2 big5; else the stored one

  // The scan that every module subcommand runs first.
  bool lock = false;
  std::optional<int> port;  // 1 to 16: the port of the quick try

  int id1 = 0;                 // set-id, 1 to 99
  std::optional<int> id2;      // set-id, 1 to 99
  int lineSettingIndex = -1;   // set-baud, 0 to 11
  int keyCount = -1;           // set-keys, 0 to 20
  int modeIndex = -1;          // set-mode: 0 two readers, 1 one reader
  std::optional<int> rs485Index;  // set-mode --rs485: 0 (24), 1 (32), 2 (40)

  std::optional<double> seconds;  // watch: stop after this long
  std::string csvPath;            // watch, apply: records appended here
  std::string profilePath;        // apply
  std::string saveProfilePath;    // scan: what it read, saved as a profile
  bool repeat = false;            // apply
  // discover, apply --ports: the ports of the bench, one connection each,
  // in increasing order without repeats. Empty for apply without --ports;
  // discover without --ports searches COM1 to COM16.
  std::vector<int> ports;

  // On site: survey, linktest, watch --ids.
  std::vector<int> ids;    // --ids: reader IDs, increasing, without repeats
  int busLineIndex = -1;   // --line: 0 to 11; -1: found by a search
  int count = 100;         // linktest --count: rounds
  std::string reportPath;  // --report: the commissioning record
  std::string siteName;    // --site: its site's name

  // ports: where the device, sysfs and process trees are (for a chroot or a
  // test; "/dev", "/sys", "/proc" by default).
  std::string devRoot = "/dev";
  std::string sysRoot = "/sys";
  std::string procRoot = "/proc";
};

// Parsed options, or the one-line reason why the command line is wrong.
struct ParsedCommandLine {
  CliOptions options;
  std::string error;  // empty when the command line is good
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Reader IDs such as "1-16,20" (1 to 99), increasing without repeats;
// nullopt for anything else.
std::optional<std::vector<int>> ParseIdList(const std::string& text);

// "scan", "set-id", ... for a subcommand.
const char* SubcommandName(Subcommand subcommand);

// The name of every option the command line takes ("--port", "-h", ...).
std::vector<std::string> OptionNames();

// The subcommands that talk to the module (every one but ports).
bool TalksToModule(Subcommand subcommand);

// Values as the command line gives them; nullopt when not one of them. Words
// are taken in any case ("TWO", "GB", "COM3").
std::string LowerCase(std::string text);
std::optional<int> ParseNumberInRange(const std::string& text, int low, int high);
std::optional<int> ParseLineSettingChoice(const std::string& text);  // text or index 0-11
std::optional<int> ParseModeName(const std::string& text);     // "two" 0, "one" 1
std::optional<int> ParseRs485(const std::string& text);        // "24" 0, "32" 1, "40" 2
std::optional<int> ParseLanguage(const std::string& text);     // "en" 0, "gb" 1, "big5" 2
std::optional<int> ParsePortChoice(const std::string& text);   // "3" or "COM3": 3
// "3,5-8" gives 3 5 6 7 8; "all" 1 to 16. Numbers 1 to 16, ranges low-high
// with low <= high, comma-separated; repeats are taken once. nullopt for
// anything else (an empty item, a reversed range, a stray character).
std::optional<std::vector<int>> ParsePortList(const std::string& text);
