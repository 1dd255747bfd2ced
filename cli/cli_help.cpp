// SPDX-License-Identifier: MIT
#include "cli_help.h"

#include <algorithm>

#include "rt420_version.h"
#include "settings_store.h"

namespace {
// Where the option lists put the texts, and the width every line keeps to.
constexpr size_t kWidth = 79;
constexpr size_t kSummaryColumn = 36;
constexpr size_t kOptionColumn = 21;
constexpr size_t kOwnOptionColumn = 22;

const HelpTable kHelp = {
    "[options] SUBCOMMAND [arguments]",

    "Configures a TAVIX RT-420 converter module over a serial port with the same operations as the window "
    "(rt420config), for scripts, for production benches that set up modules by the dozen, and for a module "
    "reached over SSH. It sends the same frames with the same pauses and retries, and it uses the same settings "
    "store, so a scan result found by either program serves the other.\n\n"
    "A command line that is wrong in any way (an unknown subcommand or option, a value out of range) sends "
    "nothing to the module: one line on stderr says what is wrong, and the exit code is 2.",

    {
        {Subcommand::Scan, "", "find the module and print what it holds",
         "Finds the module as the window's Scan button does and prints its port, line setting, serial number, "
         "version, IDs, key count, mode and RS-485 setting. A quick try at the stored port and line setting comes "
         "first; when no port is stored yet or the module does not answer there, COM1 to COM16 are searched, and "
         "the port and line setting where the module answers are stored.",
         {{"--save-profile", "FILE",
           "also save what the scan read as a profile for apply, to copy this module's settings to the next "
           "ones. FILE is replaced whole, and only after a scan that read the module; a FILE that cannot be "
           "written there is a usage error (exit code 2) before anything is sent."}},
         true},
        {Subcommand::SetId, "ID1 [ID2]", "write ID 1 (and ID 2), each 1 to 99",
         "Scans, then writes ID 1 and, when given, ID 2 (each 1 to 99). ID 2 is written as in the window with "
         "\"Two Reader\" chosen, whatever mode the module is in; the mode itself is not changed. Without ID2 a "
         "module in two-reader mode gets its present ID 2 again.",
         {},
         true},
        {Subcommand::SetBaud, "SETTING", "write the line setting (text or index 0-11)",
         "Scans, then writes the module's line setting: one of 4800,n,8,1 4800,e,8,1 9600,n,8,1 9600,e,8,1 "
         "19200,n,8,1 19200,e,8,1 38400,n,8,1 38400,e,8,1 57600,n,8,1 57600,e,8,1 115200,n,8,1 115200,e,8,1, or "
         "its index 0 to 11. Once the module has taken it, the new line setting is stored as the scan result, so "
         "that the next run finds the module at once.",
         {},
         true},
        {Subcommand::SetKeys, "NN", "write the reader key count, 0 to 20",
         "Scans, then writes the reader key count, 0 to 20: the reader key setting the module keeps (the window's "
         "\"Key Num\"), sent as two digits.",
         {},
         true},
        {Subcommand::SetMode, "two|one", "write the mode and the RS-485 setting",
         "Scans, then writes the mode (two readers or one reader) and the RS-485 setting in one command. In "
         "one-reader mode the module's second channel (ID 2) is not polled.",
         {{"--rs485", "24|32|40",
           "which of its three RS-485 settings the module uses; without --rs485 it keeps the one it has"}},
         true},
        {Subcommand::FactoryDefault, "", "restore the factory configuration",
         "Scans, then restores the factory configuration: ID 1 01, ID 2 05, two readers, RS-485 32, line setting "
         "19200,e,8,1. The stored scan result keeps the line setting the module was found at.",
         {},
         true},
        {Subcommand::Watch, "", "print each card read until stopped",
         "Scans, then polls the module's readers as the window's Process button does and prints one line per card "
         "read: time (UTC), reader and data (bytes other than printable ASCII as \\xNN). Ctrl+C, SIGTERM or the "
         "end of --seconds ends polling after the current cycle, closes the port and exits 0. A module that stops "
         "answering ends it with the line \"polling ended: no reply from the module at COMn after N cards\" and "
         "exit code 1.",
         {{"--seconds", "S", "stop after S seconds"},
          {"--csv", "FILE", "also append each card to FILE: time,reader,data (with --ids: time,id,data)"},
          {"--ids", "LIST",
           "the walk test on a bus of modules: no scan; polls the reader IDs of LIST (such as 1-16,20) in turn at "
           "the production cadence on --port N (or the stored port) and prints each card with its time, reader "
           "ID and data, with a beep; at the end, which IDs gave reads and which never did"},
          {"--line", "SETTING", "with --ids: the line setting of the bus (default: found as survey finds it)"}},
         true},
        {Subcommand::Apply, "PROFILE", "provision modules from a profile; with --ports on each listed port at once",
         "Provisions a module from PROFILE, a small INI file:\n\n"
         "  [module]\n"
         "  id1 = 12\n"
         "  id2 = 7\n"
         "  line-setting = 38400,e,8,1\n"
         "  key-count = 6\n"
         "  mode = two\n"
         "  rs485 = 32\n\n"
         "Every setting is optional. Section names, keys and words may be in any case, ; and # start a comment "
         "anywhere on a line, and a profile saved with a byte-order mark or as UTF-16 is read as well. apply "
         "scans, writes each setting that differs (IDs, key count, mode with RS-485, line setting last), scans "
         "again to read the module back, and appends one record to the CSV file: time, port, serial number, "
         "version, settings before and after, what was written, outcome. A failed write or a read-back that is "
         "missing or differs from the profile is a failure (exit code 1).",
         {{"--csv", "FILE", "the record file (default: PROFILE with the extension .csv)"},
          {"--repeat", "",
           "then wait for the next module (another serial number, or any module after none answered) and "
           "provision it, until Ctrl+C; a summary follows (provisioned, failed, skipped because already as the "
           "profile says), and the exit code is 0 when every module was provisioned"},
          {"--ports", "LIST|all",
           "a production bench: one module on each listed port (such as 3,5-8, or all for 1-16), all provisioned "
           "at the same time. Each port searches its own 12 line settings; nothing is stored as the scan result. "
           "One CSV file takes every record (port column COMn). One line per module, prefixed by its COM number, "
           "then the totals and a line per port. A port that does not open or has no module counts as failed; "
           "exit code 0 only when every module was provisioned. With --repeat each port waits for its own next "
           "module. Not with --port or --lock."}},
         true},
        {Subcommand::Discover, "", "search COM1 to COM16 at once and list every module found",
         "Searches COM1 to COM16 (or the ports of --ports) at the same time, each port on its own: the 12 line "
         "settings in the search's order, 2 tries each, up to the first answer, then the module is read as scan "
         "reads it. The search takes about 3 seconds however many ports there are. Then one line per port, in "
         "port order:\n\n"
         "  COM3 (/dev/ttyUSB0): 19200,n,8,1 serial 12345678-9 ...\n"
         "  COM5 (/dev/ttyUSB2): no module\n"
         "  COM11: not opened: no device behind this port number\n\n"
         "and the count of modules found. Nothing is stored: scan --port N then picks one module. Exit code 0 "
         "when a module was found, 3 when no port opened, 1 otherwise. --json gives one object with modules, "
         "silent and notOpened.",
         {{"--ports", "LIST|all", "search only these ports: numbers and ranges from 1 to 16, such as 3,5-8"}},
         false},
        {Subcommand::Survey, "", "list the reader IDs that answer on a bus, and what is wrong",
         "For a bus of modules on one line (no scan: a bus cannot be scanned). Listens 0.5 s first (another host's "
         "frames, noise), finds the line setting unless --line gives it (every setting, \"H00M\" twice each, any "
         "answer counts), polls each reader ID 01 to 99 (or --ids) once at the production cadence, listening past "
         "each reply for a second one, and polls again every ID that was not clean. Each ID gets one status: ok, "
         "absent, garbled, double, partial or late. Then a 10 x 10 map of the IDs and the findings, each with "
         "what to check: duplicate ID, factory IDs 01/05 on a bus, modules at two speeds, an echoing adapter "
         "(handled), another host polling, noise, late replies, a module that answers 00 but no ID. Exit code 0 "
         "when all is clean, 1 with findings, 3 when the port does not open.",
         {{"--port", "N", "the port of the bus (default: the stored port)"},
          {"--line", "SETTING", "the bus's line setting, such as 19200,e,8,1 or its index 0 to 11"},
          {"--ids", "LIST", "poll only these reader IDs, such as 1-16,20"},
          {"--csv", "FILE", "also append a row per ID to FILE: id,status,polls"},
          {"--report", "FILE", "also write the commissioning record to FILE, in Markdown"},
          {"--site", "NAME", "the site's name in the record"}},
         false},
        {Subcommand::Linktest, "", "count how well the line carries exchanges, per reader ID",
         "Makes --count rounds (default 100) at the production cadence; each round polls every ID of --ids once, "
         "or without --ids checks the one module's presence (\"H00M\"). Per ID: sent, ok, timeouts, checksum "
         "errors, partial, other, extra bytes; first-byte and whole-reply latency p50/p95/p99/max (from the end "
         "of the frame, read to about 1 ms); a histogram; a verdict PASS, MARGINAL or FAIL with its thresholds. "
         "Also the driver's line error counts (framing, parity, overrun, break) where the system keeps them, "
         "and the USB adapter's latency timer where the system shows it, with a hint when it is 16 ms. Exit code "
         "0 when every ID passes, 1 otherwise, 3 when the port does not open.",
         {{"--port", "N", "the port of the line (default: the stored port)"},
          {"--line", "SETTING", "the line setting (default: found as survey finds it)"},
          {"--ids", "LIST", "the reader IDs to poll, such as 1-16,20"},
          {"--count", "N", "rounds, 1 to 100000"},
          {"--report", "FILE", "also write the figures to FILE, in Markdown"},
          {"--site", "NAME", "the site's name in the report"}},
         false},
        {Subcommand::Ports, "", "explain what is behind COM1 to COM16",
         "For each of COM1 to COM16: the device it maps to and why (a port-table entry or the enumeration), the "
         "USB adapter's vendor, product and serial number, whether the device exists, opens or is held by another "
         "program (with its PID and name), and hints when access is denied or a service known to grab serial "
         "ports is running. Nothing is sent. On Windows the COM numbers are the system's own ports: each is shown "
         "with whether the system lists it and whether it opens.",
         {{"--dev", "DIR", "read the device tree from DIR instead of /dev (Linux; for a chroot or a test)"},
          {"--sys", "DIR", "read sysfs from DIR instead of /sys"},
          {"--proc", "DIR", "read the process table from DIR instead of /proc"}},
         false},
    },

    "  ID 1, ID 2     the addresses its two reader channels answer to\n"
    "                 (ID 2 is polled in two-reader mode only)\n"
    "  key count      the reader key setting the module keeps, 0 to 20\n"
    "                 (the window's \"Key Num\")\n"
    "  mode           two readers or one reader: whether the second\n"
    "                 channel is served\n"
    "  RS-485         which of the module's three RS-485 settings\n"
    "                 (24, 32 or 40) it uses on its RS-485 side\n"
    "  line setting   speed and parity of the serial line to the PC",

    "Every subcommand but ports and discover scans for the module first, in the same run, because the "
    "operations refuse to run before a scan has read the module: a quick try at the stored port and line "
    "setting, then, when no port is stored yet or the module does not answer there, the search over COM1 to "
    "COM16 (every line setting, or with --lock the stored one only). There is no need to run scan before "
    "another subcommand. --lock and --port N apply to each.",

    {
        {"--trace", "",
         "every frame sent and reply received, on stderr, with the time in ms since the program started, in hex "
         "and as text"},
        {"--json", "", "results as JSON, one object per line"},
        {"--lang", "en|gb|big5",
         "language of the module's messages (default: the stored one), printed as UTF-8; the tool's own lines "
         "stay English"},
        {"--no-beep", "", "no tone at the end of an operation"},
        {"--help", "", "the usage of the program, or of the subcommand it follows (also -h)"},
        {"--version", "", "the program's version"},
    },

    {
        {"--lock", "", "search only the stored line setting on each port"},
        {"--port", "N",
         "make the quick try at COM N (1-16, or COM1-COM16) at the stored line setting; a module found there is "
         "stored as the scan result. When COM N does not answer, the search over COM1 to COM16 follows"},
    },

    {
        {kExitOk, "success"},
        {kExitModule, "the module failed or was not found"},
        {kExitUsage, "usage error: nothing was sent to the module"},
        {kExitPort,
         "the port could not be opened: no port the operation tried opened, and stderr says for each COM number "
         "with a device that does not open which device and why (missing, permission denied, busy and by which "
         "PIDs)"},
        {kExitStopped,
         "stopped (apply, set-*): a stop (Ctrl+C, SIGTERM or a hang-up) came before every write was made. No "
         "write begins after a stop; a module whose writes had begun finishes the one in flight, and its record "
         "says what was and was not written"},
    },

    "Ctrl+C, SIGTERM or a hang-up (the terminal closed) lets the operation in progress finish its step (a "
    "write is never cut off; a search opens no further port; no further write begins), closes the port and "
    "ends; a second Ctrl+C ends at once.\n\n"
    "Words may be given in any case (TWO, GB, COM3); --port takes 3 or COM3.",
};

// Breaks text into lines of at most kWidth: the first after `first`, the
// rest after `rest` (prefixes of spaces or a label). A word longer than a
// line stands alone.
std::string Wrap(const std::string& text, const std::string& first, const std::string& rest) {
  std::string out = first;
  size_t lineStart = 0;
  bool lineEmpty = true;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(pos, end - pos);
    pos = end + 1;
    if (word.empty()) continue;
    if (!lineEmpty && out.size() - lineStart + 1 + word.size() > kWidth) {
      out += "\n";
      lineStart = out.size();
      out += rest;
      lineEmpty = true;
    }
    if (!lineEmpty) out += ' ';
    out += word;
    lineEmpty = false;
  }
  return out + "\n";
}

// A table text flowed to the width; examples line for line.
std::string Flow(const std::string& text) {
  std::string out;
  for (const std::vector<std::string>& paragraph : Paragraphs(text)) {
    if (!out.empty()) out += "\n";
    if (IsVerbatim(paragraph)) {
      for (const std::string& line : paragraph) out += line + "\n";
      continue;
    }
    std::string joined;
    for (const std::string& line : paragraph) joined += (joined.empty() ? "" : " ") + line;
    out += Wrap(joined, "", "");
  }
  return out;
}

// "  name   text" with the text at `column`, or on the next line there when
// the name leaves no room.
std::string ListItem(const std::string& name, const std::string& text, size_t column) {
  std::string head = "  " + name;
  std::string indent(column, ' ');
  if (head.size() + 2 > column) return head + "\n" + Wrap(text, indent, indent);
  return Wrap(text, head + std::string(column - head.size(), ' '), indent);
}

std::string CommonOptionNames() {
  std::string names;
  for (const HelpOption& option : kHelp.commonOptions)
    if (std::string(option.name) != "--help" && std::string(option.name) != "--version")
      names += (names.empty() ? "" : ", ") + OptionWithValue(option);
  return names;
}

const HelpSubcommand* Entry(Subcommand subcommand) {
  for (const HelpSubcommand& entry : kHelp.subcommands)
    if (entry.subcommand == subcommand) return &entry;
  return nullptr;
}

std::string OwnHelp(const HelpSubcommand& entry) {
  std::string out = "usage: rt420ctl " + SubcommandSynopsis(entry) + "\n\n" + Flow(entry.text);
  std::vector<HelpOption> options = ListedOptions(entry);
  if (!options.empty()) out += "\n";
  for (const HelpOption& option : options) out += ListItem(OptionWithValue(option), option.text, kOwnOptionColumn);
  std::string note;
  if (entry.scansFirst && entry.subcommand != Subcommand::Scan)
    note = "The scan before it takes --lock and --port N as scan does. ";
  return out + "\n" + Wrap(note + "Options of every subcommand: " + CommonOptionNames() + ".", "", "");
}
}  // namespace

const HelpTable& Help() { return kHelp; }

std::string OptionWithValue(const HelpOption& option) {
  return std::string(option.name) + (*option.value ? std::string(" ") + option.value : "");
}

std::vector<HelpOption> ListedOptions(const HelpSubcommand& entry) {
  // The scan's options belong to scan itself; the others take them along.
  std::vector<HelpOption> options = entry.options;
  if (entry.subcommand == Subcommand::Scan)
    options.insert(options.begin(), kHelp.scanOptions.begin(), kHelp.scanOptions.end());
  return options;
}

std::string SubcommandSynopsis(const HelpSubcommand& entry) {
  std::string synopsis = SubcommandName(entry.subcommand);
  if (*entry.arguments) synopsis += std::string(" ") + entry.arguments;
  for (const HelpOption& option : ListedOptions(entry)) synopsis += " [" + OptionWithValue(option) + "]";
  return synopsis;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = std::min(text.find('\n', pos), text.size());
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

std::vector<std::vector<std::string>> Paragraphs(const std::string& text) {
  std::vector<std::vector<std::string>> paragraphs(1);
  for (const std::string& line : Lines(text)) {
    if (!line.empty()) paragraphs.back().push_back(line);
    else if (!paragraphs.back().empty()) paragraphs.emplace_back();
  }
  if (paragraphs.back().empty()) paragraphs.pop_back();
  return paragraphs;
}

bool IsVerbatim(const std::vector<std::string>& paragraph) {
  return std::all_of(paragraph.begin(), paragraph.end(),
                     [](const std::string& line) { return line.rfind("  ", 0) == 0; });
}

std::string ProgramHelp() {
  std::string out = std::string("usage: rt420ctl ") + kHelp.usage + "\n\n" + Flow(kHelp.description);
  out += "\nSubcommands:\n";
  for (const HelpSubcommand& entry : kHelp.subcommands)
    out += ListItem(SubcommandSynopsis(entry), entry.summary, kSummaryColumn);
  out += "\nWhat the module's settings are:\n" + Flow(kHelp.settings);
  out += "\n" + Flow(kHelp.scanFirst);
  out += "\nOptions:\n";
  for (const HelpOption& option : kHelp.commonOptions)
    out += ListItem(OptionWithValue(option), option.text, kOptionColumn);
  out += "Options of the scan (every subcommand but ports and discover):\n";
  for (const HelpOption& option : kHelp.scanOptions)
    out += ListItem(OptionWithValue(option), option.text, kOptionColumn);
  out += "\nExit codes:\n";
  for (const HelpExitCode& exit : kHelp.exitCodes)
    out += Wrap(exit.text, "  " + std::to_string(static_cast<int>(exit.code)) + "  ", "     ");
  out += "\n" + Flow(kHelp.notes);
  return out + "\nSettings: " + store::SettingsLocation() + "\n";
}

std::string SubcommandHelp(Subcommand subcommand) {
  const HelpSubcommand* entry = Entry(subcommand);
  return entry ? OwnHelp(*entry) : ProgramHelp();
}

std::string VersionLine() { return std::string("rt420ctl ") + kVersionText; }
