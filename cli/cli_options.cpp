// SPDX-License-Identifier: MIT
#include "cli_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "cli_output.h"
#include "line_settings.h"

namespace {
// Where an option may be given.
enum Scope : unsigned {
  kEverywhere = 1u << 0,
  kScanning = 1u << 1,  // every subcommand that scans first
  kWatchOnly = 1u << 2,
  kApplyOnly = 1u << 3,
  kSetModeOnly = 1u << 4,
  kPortsOnly = 1u << 5,
  kScanOnly = 1u << 6,
  kDiscoverOnly = 1u << 7,
  kBus = 1u << 8,          // survey, linktest, watch --ids
  kSurveyOnly = 1u << 9,   // survey
  kSiteReport = 1u << 10,  // survey, linktest
  kLinktestOnly = 1u << 11,
};

struct OptionEntry {
  const char* name;
  bool takesValue;
  unsigned scope;
};

constexpr OptionEntry kOptions[] = {
    {"--help", false, kEverywhere},   {"-h", false, kEverywhere},      {"--version", false, kEverywhere},
    {"--trace", false, kEverywhere},  {"--json", false, kEverywhere},  {"--lang", true, kEverywhere},
    {"--no-beep", false, kEverywhere}, {"--lock", false, kScanning},   {"--port", true, kScanning | kBus},
    {"--seconds", true, kWatchOnly},  {"--csv", true, kWatchOnly | kApplyOnly | kSurveyOnly},
    {"--repeat", false, kApplyOnly},  {"--rs485", true, kSetModeOnly}, {"--dev", true, kPortsOnly},
    {"--sys", true, kPortsOnly},      {"--proc", true, kPortsOnly},    {"--save-profile", true, kScanOnly},
    {"--ports", true, kDiscoverOnly | kApplyOnly},
    {"--ids", true, kBus},            {"--line", true, kBus},          {"--count", true, kLinktestOnly},
    {"--report", true, kSiteReport},  {"--site", true, kSiteReport},
};

struct SubcommandEntry {
  Subcommand subcommand;
  const char* name;
  unsigned scope;
  size_t minArguments, maxArguments;
  const char* arguments;  // for the error text
};

constexpr SubcommandEntry kSubcommands[] = {
    {Subcommand::Scan, "scan", kScanning | kScanOnly, 0, 0, "no arguments"},
    {Subcommand::SetId, "set-id", kScanning, 1, 2, "ID1 [ID2]"},
    {Subcommand::SetBaud, "set-baud", kScanning, 1, 1, "one line setting"},
    {Subcommand::SetKeys, "set-keys", kScanning, 1, 1, "one key count"},
    {Subcommand::SetMode, "set-mode", kScanning | kSetModeOnly, 1, 1, "two or one"},
    {Subcommand::FactoryDefault, "factory-default", kScanning, 0, 0, "no arguments"},
    {Subcommand::Watch, "watch", kScanning | kWatchOnly | kBus, 0, 0, "no arguments"},
    {Subcommand::Ports, "ports", kPortsOnly, 0, 0, "no arguments"},
    {Subcommand::Apply, "apply", kScanning | kApplyOnly, 1, 1, "one profile"},
    {Subcommand::Discover, "discover", kDiscoverOnly, 0, 0, "no arguments"},
    {Subcommand::Survey, "survey", kBus | kSurveyOnly | kSiteReport, 0, 0, "no arguments"},
    {Subcommand::Linktest, "linktest", kBus | kSiteReport | kLinktestOnly, 0, 0, "no arguments"},
};

constexpr int kMinId = 1, kMaxId = 99;
constexpr int kMaxKeyCount = 20;
constexpr int kFirstPort = 1, kLastPort = 16;
// A watch may run about eleven days; longer is surely a typing error.
constexpr double kMaxWatchSeconds = 1e6;
constexpr int kMaxLinktestCount = 100000;

const OptionEntry* FindOption(const std::string& name) {
  for (const OptionEntry& entry : kOptions)
    if (name == entry.name) return &entry;
  return nullptr;
}

const SubcommandEntry* FindSubcommand(Subcommand subcommand) {
  for (const SubcommandEntry& entry : kSubcommands)
    if (entry.subcommand == subcommand) return &entry;
  return nullptr;
}

bool LooksLikeNegativeNumber(const std::string& text) {
  return text.size() > 1 && text[0] == '-' && std::isdigit(static_cast<unsigned char>(text[1]));
}

bool IsOption(const std::string& text) { return text.size() > 1 && text[0] == '-' && !LooksLikeNegativeNumber(text); }

// Arguments may carry bytes a terminal would act on (a file name made so).
std::string Quoted(const std::string& text) { return "'" + text::ShownText(text) + "'"; }

// What the command line holds before the values are checked.
struct RawCommandLine {
  std::vector<std::pair<std::string, std::string>> options;  // name, value
  std::vector<std::string> positionals;                      // subcommand first
};

// Splits the arguments into options and positionals; false with an error.
bool Split(const std::vector<std::string>& arguments, RawCommandLine& raw, std::string& error) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!IsOption(argument)) {
      raw.positionals.push_back(argument);
      continue;
    }
    size_t equals = argument.find('=');
    std::string name = argument.substr(0, equals);
    const OptionEntry* entry = FindOption(name);
    if (!entry) {
      error = "unknown option " + Quoted(name);
      return false;
    }
    if (!entry->takesValue && equals != std::string::npos) {
      error = "option " + name + " takes no value";
      return false;
    }
    std::string value;
    if (entry->takesValue && equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (entry->takesValue) {
      if (i + 1 >= arguments.size()) {
        error = "option " + name + " needs a value";
        return false;
      }
      value = arguments[++i];
    }
    raw.options.emplace_back(name, value);
  }
  return true;
}

bool FindSubcommandByName(const std::string& name, CliOptions& options) {
  std::string lower = LowerCase(name);
  for (const SubcommandEntry& entry : kSubcommands) {
    if (lower != entry.name) continue;
    options.subcommand = entry.subcommand;
    options.subcommandName = entry.name;
    return true;
  }
  return false;
}

// Edits (insert, delete, replace one character) from a to b.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// " (did you mean set-id?)" for a near miss of a subcommand's name.
std::string NearestSubcommand(const std::string& name) {
  constexpr size_t kMaxEdits = 3;
  std::string lower = LowerCase(name.substr(0, kMaxDigits * 4));
  const char* best = nullptr;
  size_t bestDistance = kMaxEdits + 1;
  for (const SubcommandEntry& entry : kSubcommands) {
    size_t distance = EditDistance(lower, entry.name);
    if (distance < bestDistance) {
      best = entry.name;
      bestDistance = distance;
    }
  }
  return best ? std::string(" (did you mean ") + best + "?)" : "";
}

std::optional<double> ParseSeconds(const std::string& text) {
  size_t dot = text.find('.');
  std::string whole = text.substr(0, dot);
  std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  auto digitsOnly = [](const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
  };
  if (whole.empty() || whole.size() > kMaxDigits || !digitsOnly(whole) || !digitsOnly(fraction)) return std::nullopt;
  if (dot != std::string::npos && fraction.empty()) return std::nullopt;
  double value = std::stod(whole + (fraction.empty() ? "" : "." + fraction.substr(0, kMaxDigits)));
  if (value <= 0 || value > kMaxWatchSeconds) return std::nullopt;
  return value;
}

// Sets one option's value; false with an error for a value out of place.
bool ApplyValueOption(const std::string& name, const std::string& value, CliOptions& o, std::string& error) {
  if (name == "--lang") {
    o.language = ParseLanguage(value);
    if (!o.language) error = "--lang must be en, gb or big5, not " + Quoted(value);
  } else if (name == "--port") {
    o.port = ParsePortChoice(value);
    if (!o.port) error = "--port must be a number from 1 to 16 (or COM1 to COM16), not " + Quoted(value);
  } else if (name == "--seconds") {
    o.seconds = ParseSeconds(value);
    if (!o.seconds) error = "--seconds must be a positive number of seconds, not " + Quoted(value);
  } else if (name == "--rs485") {
    o.rs485Index = ParseRs485(value);
    if (!o.rs485Index) error = "--rs485 must be 24, 32 or 40, not " + Quoted(value);
  } else if (name == "--csv") {
    o.csvPath = value;
    if (value.empty()) error = "--csv needs a file name";
  } else if (name == "--ports") {
    std::optional<std::vector<int>> ports = ParsePortList(value);
    if (ports) o.ports = *ports;
    else error = "--ports must be all or numbers and ranges from 1 to 16 such as 3,5-8, not " + Quoted(value);
  } else if (name == "--ids") {
    std::optional<std::vector<int>> ids = ParseIdList(value);
    if (ids) o.ids = *ids;
    else error = "--ids must be reader IDs and ranges from 1 to 99 such as 1-16,20, not " + Quoted(value);
  } else if (name == "--line") {
    std::optional<int> index = ParseLineSettingChoice(value);
    if (index) o.busLineIndex = *index;
    else error = "--line must be a line setting such as 19200,e,8,1 or its index 0 to 11, not " + Quoted(value);
  } else if (name == "--count") {
    std::optional<int> count = ParseNumberInRange(value, 1, kMaxLinktestCount);
    if (count) o.count = *count;
    else error = "--count must be a number from 1 to 100000, not " + Quoted(value);
  } else if (name == "--report" || name == "--site") {
    (name == "--report" ? o.reportPath : o.siteName) = value;
    if (value.empty()) error = name + (name == "--report" ? " needs a file name" : " needs a name");
  } else if (name == "--save-profile") {
    o.saveProfilePath = value;
    if (value.empty()) error = "--save-profile needs a file name";
  } else {
    std::string& root = name == "--dev" ? o.devRoot : name == "--sys" ? o.sysRoot : o.procRoot;
    root = value;
    if (value.empty()) error = name + " needs a folder";
  }
  return error.empty();
}

bool ApplyOption(const std::string& name, const std::string& value, CliOptions& o, std::string& error) {
  if (name == "--help" || name == "-h") o.help = true;
  else if (name == "--version") o.version = true;
  else if (name == "--trace") o.trace = true;
  else if (name == "--json") o.json = true;
  else if (name == "--no-beep") o.beep = false;
  else if (name == "--lock") o.lock = true;
  else if (name == "--repeat") o.repeat = true;
  else return ApplyValueOption(name, value, o, error);
  return true;
}

// Each option must belong to the subcommand given (or to every one).
bool CheckScopes(const RawCommandLine& raw, const CliOptions& o, std::string& error) {
  const SubcommandEntry* entry = FindSubcommand(o.subcommand);
  for (const auto& [name, value] : raw.options) {
    unsigned scope = FindOption(name)->scope;
    if (scope & kEverywhere) continue;
    if (entry && (scope & entry->scope)) continue;
    error = "option " + name + (entry ? " does not apply to " + std::string(entry->name) : " needs a subcommand");
    return false;
  }
  return true;
}

bool ParseId(const std::string& text, const char* which, int& id, std::string& error) {
  std::optional<int> value = ParseNumberInRange(text, kMinId, kMaxId);
  if (!value) {
    error = std::string(which) + " must be a number from 1 to 99, not " + Quoted(text);
    return false;
  }
  id = *value;
  return true;
}

bool ParseSetId(const std::vector<std::string>& args, CliOptions& o, std::string& error) {
  if (!ParseId(args[0], "ID 1", o.id1, error)) return false;
  if (args.size() < 2) return true;
  int id2 = 0;
  if (!ParseId(args[1], "ID 2", id2, error)) return false;
  o.id2 = id2;
  return true;
}

bool ParseSetBaud(const std::string& text, CliOptions& o, std::string& error) {
  std::optional<int> index = ParseLineSettingChoice(text);
  if (!index) {
    // A speed alone ("19200") matches two settings: offer both.
    std::vector<std::string> matching;
    for (const char* setting : serial::kLineSettings)
      if (std::string(setting).rfind(text + ",", 0) == 0) matching.push_back(setting);
    if (matching.size() == 2) {
      error = "unknown line setting " + Quoted(text) + ": give " + matching[0] + " or " + matching[1];
    } else {
      error = "unknown line setting " + Quoted(text) + ": give one of " + serial::kLineSettings[0] + " ... " +
              serial::kLineSettings[serial::kLineSettingCount - 1] + " or its index 0 to 11";
    }
    return false;
  }
  o.lineSettingIndex = *index;
  return true;
}

bool ParseSetKeys(const std::string& text, CliOptions& o, std::string& error) {
  std::optional<int> count = ParseNumberInRange(text, 0, kMaxKeyCount);
  if (!count) {
    error = "the key count must be a number from 0 to 20, not " + Quoted(text);
    return false;
  }
  o.keyCount = *count;
  return true;
}

bool ParseSetMode(const std::string& text, CliOptions& o, std::string& error) {
  std::optional<int> mode = ParseModeName(text);
  if (!mode) {
    error = "the mode must be two or one, not " + Quoted(text);
    return false;
  }
  o.modeIndex = *mode;
  return true;
}

// The subcommand's own arguments, checked; their count is right.
bool ParseArguments(const std::vector<std::string>& args, CliOptions& o, std::string& error) {
  switch (o.subcommand) {
    case Subcommand::SetId: return ParseSetId(args, o, error);
    case Subcommand::SetBaud: return ParseSetBaud(args[0], o, error);
    case Subcommand::SetKeys: return ParseSetKeys(args[0], o, error);
    case Subcommand::SetMode: return ParseSetMode(args[0], o, error);
    case Subcommand::Apply: o.profilePath = args[0]; return true;
    default: return true;
  }
}

bool CheckSubcommand(const RawCommandLine& raw, CliOptions& o, std::string& error) {
  if (raw.positionals.empty()) {
    error = "no subcommand given";
    return false;
  }
  const SubcommandEntry* entry = FindSubcommand(o.subcommand);
  std::vector<std::string> args(raw.positionals.begin() + 1, raw.positionals.end());
  if (args.size() < entry->minArguments || args.size() > entry->maxArguments) {
    error = std::string(entry->name) + " takes " + entry->arguments +
            (args.size() > entry->maxArguments ? ", not " + Quoted(args[entry->maxArguments]) : "");
    return false;
  }
  return ParseArguments(args, o, error);
}

// The bench's connections each search their own port: a quick try at one
// port or a search confined to the stored line setting has no place there.
bool CheckBus(const CliOptions& o, std::string& error) {
  if (o.subcommand != Subcommand::Watch || !o.ids.empty()) return true;
  if (o.busLineIndex >= 0) error = "--line applies to watch only with --ids";
  return error.empty();
}

bool CheckBench(CliOptions& o, std::string& error) {
  if (o.subcommand == Subcommand::Discover && o.ports.empty())
    for (int port = kFirstPort; port <= kLastPort; ++port) o.ports.push_back(port);
  if (o.subcommand != Subcommand::Apply || o.ports.empty()) return true;
  if (o.port) error = "--port and --ports cannot be given together";
  else if (o.lock) error = "--lock cannot be given with --ports";
  return error.empty();
}
}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommandLine parsed;
  CliOptions& o = parsed.options;
  std::string& error = parsed.error;
  RawCommandLine raw;
  if (!Split(arguments, raw, error)) return parsed;
  if (!raw.positionals.empty() && !FindSubcommandByName(raw.positionals[0], o)) {
    error = "unknown subcommand " + Quoted(raw.positionals[0]) + NearestSubcommand(raw.positionals[0]);
    return parsed;
  }
  for (const auto& [name, value] : raw.options)
    if (!ApplyOption(name, value, o, error)) return parsed;
  if (!CheckScopes(raw, o, error)) return parsed;
  if (o.help || o.version) return parsed;
  if (CheckSubcommand(raw, o, error) && CheckBench(o, error)) CheckBus(o, error);
  return parsed;
}

const char* SubcommandName(Subcommand subcommand) {
  const SubcommandEntry* entry = FindSubcommand(subcommand);
  return entry ? entry->name : "";
}

std::vector<std::string> OptionNames() {
  std::vector<std::string> names;
  for (const OptionEntry& entry : kOptions) names.push_back(entry.name);
  return names;
}

bool TalksToModule(Subcommand subcommand) {
  return subcommand != Subcommand::None && subcommand != Subcommand::Ports;
}

std::optional<int> ParsePortChoice(const std::string& text) {
  std::string lower = LowerCase(text);
  std::string number = lower.rfind("com", 0) == 0 ? lower.substr(3) : lower;
  return ParseNumberInRange(number, kFirstPort, kLastPort);
}

namespace {
// One item of a port list: "5" or "5-8".
bool AddPortItem(const std::string& item, std::vector<int>& ports) {
  size_t dash = item.find('-');
  std::optional<int> low = ParseNumberInRange(item.substr(0, dash), kFirstPort, kLastPort);
  std::optional<int> high = dash == std::string::npos ? low
                                                      : ParseNumberInRange(item.substr(dash + 1), kFirstPort, kLastPort);
  if (!low || !high || *low > *high) return false;
  for (int port = *low; port <= *high; ++port) ports.push_back(port);
  return true;
}
}  // namespace

std::optional<std::vector<int>> ParseIdList(const std::string& text) {
  std::vector<int> ids;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma - start);
    const size_t dash = item.find('-');
    std::optional<int> low = ParseNumberInRange(item.substr(0, dash), kMinId, kMaxId);
    std::optional<int> high = dash == std::string::npos ? low : ParseNumberInRange(item.substr(dash + 1), kMinId, kMaxId);
    if (!low || !high || *low > *high) return std::nullopt;
    for (int id = *low; id <= *high; ++id) ids.push_back(id);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

std::optional<std::vector<int>> ParsePortList(const std::string& text) {
  std::vector<int> ports;
  if (LowerCase(text) == "all") {
    for (int port = kFirstPort; port <= kLastPort; ++port) ports.push_back(port);
    return ports;
  }
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    if (!AddPortItem(text.substr(start, comma - start), ports)) return std::nullopt;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::sort(ports.begin(), ports.end());
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  return ports;
}

std::optional<int> ParseLanguage(const std::string& text) {
  std::string lower = LowerCase(text);
  if (lower == "en") return 0;
  if (lower == "gb") return 1;
  if (lower == "big5") return 2;
  return std::nullopt;
}
