#pragma once
// The serial port of the module link: opened by each operation, closed before
// it returns, at most one open at a time.
//
// - OpenPort(n, setting) opens port n (see port_names.h) exclusively and
//   applies the link timeouts and the line setting. It returns false when the
//   device cannot be opened (missing, held by another program); then no
//   ClosePort follows. A line setting that does not parse leaves the line as
//   the port had it, and OpenPort still returns true.
// - ClosePort writes the port's own timeouts back and closes it. The line
//   parameters stay as the line setting set them.
// - WritePortByte writes one byte, then pauses 1 ms; WritePortBlock writes a
//   run of bytes in one write, then pauses 3 ms. Writes have no time limit and
//   their failures are not reported.
// - ReadPortByte returns true and one byte when one was delivered; else false
//   after waiting at most about 1 ms. It never spins, also when the device has
//   gone away.

#include <cstdint>
#include <string>

bool OpenPort(int portNumber, const std::string& lineSetting);
void ClosePort();
void WritePortByte(uint8_t byte);
void WritePortBlock(const uint8_t* bytes, int length);
bool ReadPortByte(uint8_t& byte);

// True between an OpenPort that returned true and its ClosePort.
bool PortIsOpen();

// How many times OpenPort has returned false since the program started. A
// caller compares the count before and after an operation to tell a port
// that could not be opened from a module that did not answer.
uint64_t PortOpenFailureCount();
