// SPDX-License-Identifier: MIT
#include "cli_help.h"

#include "rt420_version.h"
#include "settings_store.h"

namespace {
const char kProgramHelp[] =
    "usage: rt420ctl [options] SUBCOMMAND [arguments]\n"
    "\n"
    "Configures a TAVIX RT-420 converter module over a serial port with the\n"
    "same operations as the window (rt420config): the same frames, pauses and\n"
    "retries, and the same settings store, so a scan result found by either\n"
    "program serves the other.\n"
    "\n"
    "Subcommands:\n"
    "  scan [--lock] [--port N] [--save-profile FILE]\n"
    "                                    find the module and print what it holds\n"
    "  set-id ID1 [ID2]                  write ID 1 (and ID 2), each 1 to 99\n"
    "  set-baud SETTING                  write the line setting (text or index 0-11)\n"
    "  set-keys NN                       write the reader key count, 0 to 20\n"
    "  set-mode two|one [--rs485 24|32|40]  write the mode and the RS-485 setting\n"
    "  factory-default                   restore the factory configuration\n"
    "  watch [--seconds S] [--csv FILE]  print each card read until stopped\n"
    "  apply PROFILE [--repeat] [--csv FILE] [--ports LIST|all]\n"
    "                                    provision modules from a profile; with\n"
    "                                    --ports on each listed port at once\n"
    "  discover [--ports LIST]           search COM1 to COM16 at once and list\n"
    "                                    every module found\n"
    "  ports                             explain what is behind COM1 to COM16\n"
    "\n"
    "What the module's settings are:\n"
    "  ID 1, ID 2     the addresses its two reader channels answer to (ID 2 is\n"
    "                 polled in two-reader mode only)\n"
    "  key count      the reader key setting the module keeps, 0 to 20 (the\n"
    "                 window's \"Key Num\")\n"
    "  mode           two readers or one: whether the second channel is served\n"
    "  RS-485         which of the module's three RS-485 settings (24, 32 or\n"
    "                 40) it uses on its RS-485 side\n"
    "  line setting   speed and parity of the serial line to the PC\n"
    "\n"
    "Every subcommand but ports and discover scans for the module first, in\n"
    "the same run, because the operations refuse to run before a scan has\n"
    "read the module: a quick try at the stored port and line setting, then,\n"
    "when the module does not answer there, the search over COM1 to COM16\n"
    "(every line setting, or with --lock the stored one only). --lock and\n"
    "--port N apply to each.\n"
    "\n"
    "Options:\n"
    "  --trace            every frame sent and reply received, on stderr, with\n"
    "                     the time in ms since the program started\n"
    "  --json             results as JSON, one object per line\n"
    "  --lang en|gb|big5  language of the module's messages (default: the\n"
    "                     stored one); the tool's own lines stay English\n"
    "  --no-beep          no tone at the end of an operation\n"
    "  --lock             search only the stored line setting on each port\n"
    "  --port N           make the quick try at COM N (1-16); a module found\n"
    "                     there is stored as the scan result\n"
    "  --help             this text; SUBCOMMAND --help explains a subcommand\n"
    "  --version          the program's version\n"
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  the module failed or was not found\n"
    "  2  usage error: nothing was sent to the module\n"
    "  3  the port could not be opened: no port the operation tried opened\n"
    "  4  stopped (apply, set-*): a stop came before every write was made\n"
    "\n"
    "Ctrl+C lets the operation in progress finish its step (a write is never\n"
    "cut off; a search opens no further port), closes the port and ends; a\n"
    "second Ctrl+C ends at once. Words may be given in any case (TWO, GB,\n"
    "COM3); --port takes 3 or COM3.\n";

const char kScanHelp[] =
    "usage: rt420ctl scan [--lock] [--port N] [--save-profile FILE]\n"
    "\n"
    "Finds the module as the window's Scan button does and prints its port,\n"
    "line setting, serial number, version, IDs, key count, mode and RS-485\n"
    "setting. A quick try at the stored port and line setting comes first;\n"
    "when it does not answer, COM1 to COM16 are searched and the port and line\n"
    "setting where the module answers are stored.\n"
    "\n"
    "  --lock    try only the stored line setting on each port\n"
    "  --port N  make the quick try at COM N (at the stored line setting); a\n"
    "            module found there is stored as the scan result\n"
    "  --save-profile FILE  also save what the scan read as a profile for\n"
    "            apply, to copy this module's settings to the next ones; FILE\n"
    "            is replaced whole, and only after a scan that read the module\n"
    "            (a file that cannot be written there is exit code 2)\n";

const char kSetIdHelp[] =
    "usage: rt420ctl set-id ID1 [ID2]\n"
    "\n"
    "Scans, then writes ID 1 and, when given, ID 2 (each 1 to 99). ID 2 is\n"
    "written as in the window with \"Two Reader\" chosen, whatever mode the\n"
    "module is in; the mode itself is not changed. Without ID2 a module in\n"
    "two-reader mode gets its present ID 2 again.\n";

const char kSetBaudHelp[] =
    "usage: rt420ctl set-baud SETTING\n"
    "\n"
    "Scans, then writes the module's line setting: one of 4800,n,8,1\n"
    "4800,e,8,1 9600,n,8,1 9600,e,8,1 19200,n,8,1 19200,e,8,1 38400,n,8,1\n"
    "38400,e,8,1 57600,n,8,1 57600,e,8,1 115200,n,8,1 115200,e,8,1, or its\n"
    "index 0 to 11. Once the module has taken it, the new line setting is\n"
    "stored as the scan result, so that the next run finds the module at once.\n";

const char kSetKeysHelp[] =
    "usage: rt420ctl set-keys NN\n"
    "\n"
    "Scans, then writes the reader key count, 0 to 20: the reader key\n"
    "setting the module keeps (the window's \"Key Num\"), sent as two digits.\n";

const char kSetModeHelp[] =
    "usage: rt420ctl set-mode two|one [--rs485 24|32|40]\n"
    "\n"
    "Scans, then writes the mode (two readers or one) and the RS-485 setting\n"
    "in one command. In one-reader mode the module's second channel (ID 2)\n"
    "is not polled. --rs485 picks which of its three RS-485 settings it uses.\n"
    "Without --rs485 the module keeps the one it has.\n";

const char kFactoryHelp[] =
    "usage: rt420ctl factory-default\n"
    "\n"
    "Scans, then restores the factory configuration: ID 1 01, ID 2 05, two\n"
    "readers, RS-485 32, line setting 19200,e,8,1. The stored scan result\n"
    "keeps the line setting the module was found at.\n";

const char kWatchHelp[] =
    "usage: rt420ctl watch [--seconds S] [--csv FILE]\n"
    "\n"
    "Scans, then polls the module's readers as the window's Process button\n"
    "does and prints one line per card read: time (UTC), reader and data\n"
    "(bytes other than printable ASCII as \\xNN). Ctrl+C, SIGTERM or the end\n"
    "of --seconds ends polling after the current cycle, closes the port and\n"
    "exits 0; a poll without a valid reply ends it with exit code 1.\n"
    "\n"
    "  --seconds S  stop after S seconds\n"
    "  --csv FILE   also append each card to FILE: time,reader,data\n";

const char kApplyHelp[] =
    "usage: rt420ctl apply PROFILE [--repeat] [--csv FILE] [--ports LIST|all]\n"
    "\n"
    "Provisions a module from PROFILE, a small INI file:\n"
    "  [module]\n"
    "  id1 = 12\n"
    "  id2 = 7\n"
    "  line-setting = 38400,e,8,1\n"
    "  key-count = 6\n"
    "  mode = two\n"
    "  rs485 = 32\n"
    "Every setting is optional. apply scans, writes each setting that differs\n"
    "(IDs, key count, mode with RS-485, line setting last), scans again to\n"
    "read the module back, and appends one record to the CSV file: time,\n"
    "port, serial number, version, settings before and after, what was\n"
    "written, outcome. A failed write or a read-back that is missing or\n"
    "differs from the profile is a failure (exit code 1).\n"
    "\n"
    "  --csv FILE  the record file (default: PROFILE with the extension .csv)\n"
    "  --repeat    then wait for the next module (another serial number, or\n"
    "              any module after none answered) and provision it, until\n"
    "              Ctrl+C; exit code 0 when every module was provisioned\n"
    "  --ports LIST  a production bench: one module on each listed port (such\n"
    "              as 3,5-8, or all for 1-16), all provisioned at the same time.\n"
    "              Each port searches its own 12 line settings; nothing is\n"
    "              stored as the scan result. One CSV file takes every record\n"
    "              (port column COMn). One line per module, prefixed by its\n"
    "              COM number, then the totals and a line per port. A port\n"
    "              that does not open or has no module counts as failed;\n"
    "              exit code 0 only when every module was provisioned. With\n"
    "              --repeat each port waits for its own next module. Not with\n"
    "              --port or --lock.\n";

const char kDiscoverHelp[] =
    "usage: rt420ctl discover [--ports LIST]\n"
    "\n"
    "Searches COM1 to COM16 (or the ports in LIST, such as 3,5-8, or all) at\n"
    "the same time, each port on its own: the 12 line settings in the search's\n"
    "order, 2 tries each, up to the first answer, then the module is read as\n"
    "scan reads it. The search takes about 3 seconds however many ports there\n"
    "are. Then one line per port, in port order:\n"
    "  COM3 (/dev/ttyUSB0): 19200,n,8,1 serial 12345678-9 version 03.20-01 ...\n"
    "  COM5 (/dev/ttyUSB2): no module\n"
    "  COM11: not opened: no device behind this port number\n"
    "and the count of modules found. Nothing is stored: scan --port N then\n"
    "picks one module. Exit code 0 when a module was found, 3 when no port\n"
    "opened, 1 otherwise. --json gives one object with modules, silent and\n"
    "notOpened.\n"
    "Options of every subcommand: --trace, --json, --lang en|gb|big5,\n"
    "--no-beep.\n";

const char kPortsHelp[] =
    "usage: rt420ctl ports\n"
    "\n"
    "For each of COM1 to COM16: the device it maps to and why (a port-table\n"
    "entry or the enumeration), the USB adapter's vendor, product and serial\n"
    "number, whether the device exists, opens or is held by another program\n"
    "(with its PID and name), and hints when access is denied or a service\n"
    "known to grab serial ports is running. Nothing is sent.\n"
    "On Windows the COM numbers are the system's own ports: each is shown\n"
    "with whether the system lists it and whether it opens.\n"
    "\n"
    "  --dev DIR --sys DIR --proc DIR   read these trees instead of /dev,\n"
    "                                   /sys and /proc (Linux)\n";
}  // namespace

std::string ProgramHelp() { return std::string(kProgramHelp) + "\nSettings: " + SettingsLocation() + "\n"; }

namespace {
const char kScanOptionsNote[] =
    "\n"
    "The scan before it takes --lock and --port N as scan does. Options of\n"
    "every subcommand: --trace, --json, --lang en|gb|big5, --no-beep.\n";

std::string OwnHelp(Subcommand subcommand) {
  switch (subcommand) {
    case Subcommand::Scan: return kScanHelp;
    case Subcommand::SetId: return kSetIdHelp;
    case Subcommand::SetBaud: return kSetBaudHelp;
    case Subcommand::SetKeys: return kSetKeysHelp;
    case Subcommand::SetMode: return kSetModeHelp;
    case Subcommand::FactoryDefault: return kFactoryHelp;
    case Subcommand::Watch: return kWatchHelp;
    case Subcommand::Apply: return kApplyHelp;
    case Subcommand::Ports: return kPortsHelp;
    case Subcommand::Discover: return kDiscoverHelp;
    default: return ProgramHelp();
  }
}
}  // namespace

std::string SubcommandHelp(Subcommand subcommand) {
  bool scansFirst = TalksToModule(subcommand) && subcommand != Subcommand::Scan && subcommand != Subcommand::Discover;
  return OwnHelp(subcommand) + (scansFirst ? kScanOptionsNote : "");
}

std::string VersionLine() { return std::string("rt420ctl ") + kVersionText; }
