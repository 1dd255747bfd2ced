// SPDX-License-Identifier: MIT
#pragma once
// The serial device as the platform offers it. One implementation per
// platform (serial_device_posix.cpp, ...), chosen by the build; the portable
// port layer (serial_port.h) is written against this interface only.
//
// Contract:
// - OpenSerialDevice opens a device path for reading and writing, exclusively:
//   a device that another program holds (or that this program already holds)
//   does not open. When it cannot be opened, the result holds no device but
//   the reason, in the platform-neutral kinds of DeviceOpenError, and the
//   platform's own text for it.
// - ReadByte waits at most the read time of the applied CommTimeouts
//   (ReadTotalTimeoutConstant) for one byte and never spins. A device that
//   has gone away (hung up, unplugged) reads as "no byte" after that same wait.
// - Write has no time limit; a short or failed write is not reported.
// - DiscardInput drops every byte the device has received and not yet
//   delivered by ReadByte, at the moment of the call; bytes arriving after it
//   are kept. It waits for nothing and does not touch the output. (POSIX:
//   tcflush with TCIFLUSH; Windows: ClearCommError, then PurgeComm with
//   PURGE_RXCLEAR, so that a line error left by an earlier owner of the port
//   does not block the next frame.)

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace serial {

// Read and write time limits in milliseconds, field for field the Windows
// COMMTIMEOUTS record (each platform file maps them onto its own device
// settings). The link applies {0, 0, 1, 0, 0}: a read waits at most 1 ms for
// a byte, writes have no limit.
struct CommTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};

// The device's own timeout settings as read at open, to be written back at
// close. Opaque to portable code: each platform keeps what it needs in it.
struct NativeTimeouts {
  uint32_t words[5] = {};
  // Whether the words were read from the device. A record that could not be
  // read is never written back: on some platforms all zeros mean "no limit".
  bool known = false;
};

// A line setting such as "19200,e,8,1": baud rate, parity letter, data bits,
// stop bits.
struct LineParameters {
  std::string text;  // the setting exactly as given, for a platform that parses it itself
  uint32_t baud = 0;
  char parity = 'n';  // n none, e even, o odd, m mark, s space
  int dataBits = 8;   // 5 to 8
  int stopBits = 1;   // 1 or 2
};

// Parses a line setting text. Accepts what a mode-text parser would: decimal
// baud rate, parity letter in either case, 5 to 8 data bits, 1 or 2 stop bits,
// optional blanks around the fields. Returns nullopt for anything else.
std::optional<LineParameters> ParseLineSetting(std::string_view text);

// The line's error counts as the driver keeps them (since it was loaded,
// not since the port was opened): framing, parity, overrun, break.
struct LineErrorCounts {
  uint64_t framing = 0;
  uint64_t parity = 0;
  uint64_t overrun = 0;
  uint64_t breaks = 0;
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  virtual NativeTimeouts GetTimeouts() = 0;
  virtual void SetTimeouts(const NativeTimeouts& saved) = 0;
  virtual void ApplyTimeouts(const CommTimeouts& timeouts) = 0;
  // Sets baud rate, parity, data and stop bits; flow control off, raw bytes.
  virtual void ApplyLine(const LineParameters& line) = 0;
  virtual void Write(const uint8_t* bytes, size_t length) = 0;
  virtual bool ReadByte(uint8_t& byte) = 0;
  virtual void DiscardInput() = 0;
  // nullopt where the system keeps no such counts for the device (a
  // pseudo-terminal; Windows, whose error flags are no counts).
  virtual std::optional<LineErrorCounts> ErrorCounts() { return std::nullopt; }
  // How many received bytes wait to be read, without waiting for any; 0
  // where the device cannot tell.
  virtual size_t InputWaiting() { return 0; }
};

// Why a device did not open. Each platform maps its own error codes to these.
enum class DeviceOpenError {
  None,              // it opened
  Missing,           // no such device (path absent, or no hardware behind it)
  PermissionDenied,  // this user may not open it
  Busy,              // held by another program, or by another open in this one
  NotATerminal,      // it exists but is not a serial device
  Other,             // anything else; the text says what
};

struct DeviceOpenResult {
  std::unique_ptr<SerialDevice> device;  // empty when it did not open
  DeviceOpenError error = DeviceOpenError::None;
  std::string systemText;  // the platform's text for the error, "" when none
};

DeviceOpenResult OpenSerialDevice(const std::string& path);

// Gives up the exclusive mode of every device open now, for the exit
// paths that run no destructor (exit(), the immediate end after a second
// stop signal): on a terminal that some other program keeps open the mode
// would otherwise outlive the process and keep every later open out. Safe to
// call from a signal handler; does nothing where the mode ends with the
// handle anyway. The program is ending: a device opened meanwhile on another
// thread, or afterwards, is not put in exclusive mode at all.
void ReleaseSerialDeviceForExit();

}  // namespace serial
