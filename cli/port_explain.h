// SPDX-License-Identifier: MIT
#pragma once
// Why rt420ctl could not reach a module, said on stderr as soon as the scan
// or operation has ended, from the same facts as `ports` (port_report.h):
// the COM number, the device behind it, and the reason (missing, permission
// denied, busy and by which PID).

#include <string>

#include "cli_options.h"
#include "port_report.h"

// One port as `ports` shows it: "COM3: /dev/ttyUSB0 (port table): busy,
// held by PID 4242 (minicom)". Texts from the system are escaped.
std::string PortLine(const PortReport& report);

// After an operation in which no port opened: a line for each port that has
// a device and does not open now, and always one for port (the port the
// operation used first); or that no device is behind any number.
void ExplainNoPortOpened(int port);

// What a scan that found no module searched: the quick try (port and line
// setting; none when no port was stored yet), then COM1 to COM16 at every
// line setting or, with --lock, at the stored one only (with a hint to
// search without it), and which numbers have a device behind them.
void ExplainModuleNotFound(const CliOptions& options, int quickPort, const std::string& quickSetting);

// --port N whose quick try found nothing: says that COM N did not answer or
// did not open (and why), and where the module was found instead, if it was.
void ExplainQuickTryMissed(int port, int foundAt);
