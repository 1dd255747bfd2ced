// SPDX-License-Identifier: MIT
#pragma once
// Why a module could not be reached, in plain lines for the operator, from
// the same facts as the port report (port_report.h): the COM number, the
// device behind it, and the reason (missing, permission denied, busy and by
// which PID). Each function describes the ports as they are now and returns
// the lines; it prints nothing (the command line prints them on stderr as
// soon as the scan or operation has ended).

#include <string>
#include <vector>

#include "port_report.h"

// One port as the port report shows it: "COM3: /dev/ttyUSB0 (port table):
// busy, held by PID 4242 (minicom)". Texts from the system are escaped.
std::string PortLine(const PortReport& report);

// After an operation in which no port opened: a line for each port that has
// a device and does not open now, and always one for port (the port the
// operation used first); or that no device is behind any number.
std::vector<std::string> ExplainNoPortOpened(int port);

// What a scan that found no module searched: the quick try (port and line
// setting; none when no port was stored yet), then COM1 to COM16 at every
// line setting or, when the line setting was locked, at the stored one only
// (with a hint to search without the lock), and which numbers have a device
// behind them.
std::vector<std::string> ExplainModuleNotFound(bool locked, int quickPort, const std::string& quickSetting);

// A quick try at port that found nothing: says that the port did not answer
// or did not open (and why), and where the module was found instead, if it
// was (foundAt 0: not found).
std::string ExplainQuickTryMissed(int port, int foundAt);
