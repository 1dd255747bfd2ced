// SPDX-License-Identifier: MIT
#pragma once
// The serial port of the module link: opened by each operation, closed before
// it returns, at most one open at a time.
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
#include <string>

bool OpenPort(int portNumber, const std::string& lineSetting);
void ClosePort();
void WritePortByte(uint8_t byte);
void WritePortBlock(const uint8_t* bytes, int length);
bool ReadPortByte(uint8_t& byte);
void DiscardPortInput();

// True between an OpenPort that returned true and its ClosePort.
bool PortIsOpen();

// How many times OpenPort has returned false since the program started. A
// caller compares the count before and after an operation to tell a port
// that could not be opened from a module that did not answer.
uint64_t PortOpenFailureCount();

// Why the last OpenPort returned false.
enum class PortOpenProblem {
  None,               // the last OpenPort opened the port
  NothingBehindPort,  // the port number resolved to no device
  AlreadyOpen,        // a port was already open in this program
  Missing,            // the device path does not exist, or no device answers it
  PermissionDenied,   // this user may not open the device
  Busy,               // another program (or another open in this one) holds it
  NotATerminal,       // the path is not a serial device
  Other,              // anything else; systemText says what
};

// The record of the last OpenPort, filled by every call. After an OpenPort
// that returned false it explains the failure, for a message to the operator
// or a test's report:
// - portNumber: the number OpenPort was given.
// - devicePath: what the port number resolved to; empty when nothing is
//   behind it. For AlreadyOpen (nothing is looked up then), the device of the
//   port that is open.
// - problem: the kind of failure; systemText: the system's own text for it
//   (strerror), empty when the system was not asked.
struct PortOpenFailure {
  int portNumber = 0;
  std::string devicePath;
  PortOpenProblem problem = PortOpenProblem::None;
  std::string systemText;
};

const PortOpenFailure& LastPortOpenFailure();

// One line for people, such as
//   COM1 (/dev/ttyS0): permission denied (Permission denied)
//   COM5: no device behind this port number
//   COM3 (/dev/pts/4): already open in this program
std::string DescribePortOpenFailure(const PortOpenFailure& failure);
