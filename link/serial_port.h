// SPDX-License-Identifier: MIT
#pragma once
// The serial port of the module link: opened by each operation, closed before
// it returns, at most one open at a time on a connection. Every call works on
// the connection it is given (link_state.h).
//
// - OpenPort(n, setting) opens port n (see port_names.h) exclusively and
//   applies the link timeouts and the line setting. It returns false when the
//   device cannot be opened (nothing behind the port number, missing, held by
//   another program, ...); then no ClosePort follows, and LastPortOpenFailure
//   says why. A line setting that does not parse leaves the line as the port
//   had it, and OpenPort still returns true.
// - OpenPort never takes over a port that is already open: while one is open
//   (held by an operation further up the stack), it returns false and leaves
//   that port exactly as it was, open, with its saved timeouts and its
//   received bytes. The caller of that failed OpenPort must not ClosePort.
// - ClosePort writes the port's own timeouts back and closes it. The line
//   parameters stay as the line setting set them.
// - WritePortByte writes one byte, then pauses 1 ms; WritePortBlock writes a
//   run of bytes in one write, then pauses 3 ms. Writes have no time limit and
//   their failures are not reported. Each pause is at least its length,
//   counted from the end of the write.
// - ReadPortByte returns true and one byte when one was delivered; else false
//   after waiting at most about 1 ms. It never spins, also when the device has
//   gone away.
// - DiscardPortInput drops what the port has received and not yet read, so
//   that a late reply to an earlier frame cannot pass for the next reply.

#include <cstdint>
#include <optional>
#include <string>

#include "link_state.h"

namespace serial {

bool OpenPort(LinkState& link, int portNumber, const std::string& lineSetting);
void ClosePort(LinkState& link);
void WritePortByte(LinkState& link, uint8_t byte);
void WritePortBlock(LinkState& link, const uint8_t* bytes, int length);
bool ReadPortByte(LinkState& link, uint8_t& byte);
void DiscardPortInput(LinkState& link);
// The open port's line error counts (serial_device.h); nullopt when no port
// is open or the system keeps none for it.
std::optional<LineErrorCounts> PortErrorCounts(const LinkState& link);
// How many received bytes wait to be read now; 0 when no port is open.
size_t PortInputWaiting(const LinkState& link);

// True between an OpenPort that returned true and its ClosePort.
bool PortIsOpen(const LinkState& link);

// The device path a port opens now: for the connection's own port the device
// pinned when its run began (ConnectionDevice), else what the number
// resolves to (port_names.h). nullopt when nothing is behind it.
std::optional<std::string> DeviceBehindPort(const LinkState& link, int portNumber);

// Whether this connection may open the port (its PortScope). OpenPort
// refuses any other (NotThisConnection), and a search skips it.
bool PortInReach(const LinkState& link, int portNumber);

// How many times OpenPort has returned false on this connection. A
// caller compares the count before and after an operation to tell a port
// that could not be opened from a module that did not answer.
uint64_t PortOpenFailureCount(const LinkState& link);

// The record of the last OpenPort on this connection (link_state.h).
const PortOpenFailure& LastPortOpenFailure(const LinkState& link);

// One line for people, such as
//   COM1 (/dev/ttyS0): permission denied (Permission denied)
//   COM5: no device behind this port number
//   COM3 (/dev/pts/4): already open in this program
//   COM4 (/dev/pts/4): held by this program (as COM3)
std::string DescribePortOpenFailure(const PortOpenFailure& failure);

}  // namespace serial
