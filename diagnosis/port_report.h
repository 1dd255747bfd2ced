// SPDX-License-Identifier: MIT
#pragma once
// What stands behind each port number, COM1 to COM16, on this machine: the
// device it maps to and why, what the device is, whether it can be opened,
// who holds it, and plain hints for the user. This is what `rt420ctl ports`
// prints; it answers the question "why does COM3 not work" without a module.
//
// On Linux (port_report_posix.cpp) the mapping follows the link's own rules
// (port_names.h): an entry of the port table first, otherwise the n-th
// serial device found now. On Windows (port_report_win32.cpp) COM numbers
// are the system's own names: there is no port table, port n is "\\.\COMn",
// and the report says whether the system lists the port and whether it
// opens (CreateFileA as the link opens it, closed at once). Nothing here
// changes a line setting: on Linux a device is opened the way the link opens
// it (O_NOCTTY, O_NONBLOCK, isatty, flock LOCK_EX|LOCK_NB) and closed at once.
// As with any open of a serial port, the open itself may raise the modem
// lines. Only character devices are opened, so a port-table entry naming a
// plain file is reported without touching it.
//
// Everything read from the device tree, sysfs, the process table and the
// port table is untrusted: each read is bounded, and every text taken from
// them is reduced to printable ASCII ('?' for anything else) and cut to a
// fixed length, so that it cannot disturb a terminal line.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "port_names.h"

// Where the system's trees are mounted; a test points them at trees it built.
struct PortRoots {
  std::string dev = "/dev";
  std::string sys = "/sys";
  std::string proc = "/proc";
};

// The states that the explanations tell apart.
inline constexpr const char* kStateOpens = "opens";
inline constexpr const char* kStateNone = "none";

struct PortReport {
  int number;          // 1 to 16
  std::string device;  // the device path, "" when nothing is behind the number
  // Why this device: "port table", "port table: empty entry", "enumeration",
  // "nothing found", or "port table: unreadable" when the settings cannot be
  // read (then nothing is enumerated either: an unknown table may name any
  // device, and guessing would point the number at the wrong one).
  std::string source;
  // From sysfs for a USB adapter, else empty: the manufacturer and product
  // texts (the IDs when the adapter has no texts) and its serial number.
  std::string usbVendor, usbProduct, usbSerial;
  // "missing", "opens", "busy", "denied", "not a terminal", "none" (nothing
  // behind the number), "unreadable settings", or "does not open" for any
  // other refusal (a hint then gives the system's reason).
  std::string state;
  // PID and program name of every process that has the device open, by PID.
  std::vector<std::pair<int, std::string>> holders;
  // Plain one-line hints. A hint about a service that grabs serial ports is
  // machine-wide: it is repeated on each "missing", "busy" and "nothing
  // found" port, identical in text, so that a printer may show it once.
  std::vector<std::string> hints;

  // Added fields.
  std::string resolved;  // the device node the path leads to (by-id links followed), "" without a device
  std::string usbVendorId, usbProductId;  // four hex digits each, for a USB adapter
  // Where the system keeps a list of the serial ports present (Windows:
  // HARDWARE\DEVICEMAP\SERIALCOMM), whether it lists this one; nullopt
  // where there is no such list.
  std::optional<bool> listed;
};

// What the port table says about one port name ("COM3"): an entry, none,
// or that it cannot be read (port_names.h).
using PortTableReader = std::function<serial::PortTableAnswer(const std::string& portName)>;

// One report for each of COM1 to COM16, in order, from the settings store's
// port table.
std::vector<PortReport> DescribePorts(const PortRoots& roots = {});

// As above, with the port table read through `table`. (On Windows neither
// the roots nor a table play a part.)
std::vector<PortReport> DescribePorts(const PortRoots& roots, const PortTableReader& table);

// The report's first line: where the settings are and what maps the numbers.
std::string PortReportHeading();
