#pragma once
// The serial device as the platform offers it. One implementation per
// platform (serial_device_posix.cpp, ...), chosen by the build; the portable
// port layer (serial_port.h) is written against this interface only.
//
// Contract:
// - OpenSerialDevice opens a device path for reading and writing, exclusively:
//   a device that another program holds (or that this program already holds)
//   does not open. It returns nullptr when the device cannot be opened.
// - ReadByte waits at most the read time of the applied CommTimeouts
//   (ReadTotalTimeoutConstant) for one byte and never spins. A device that
//   has gone away (hung up, unplugged) reads as "no byte" after that same wait.
// - Write has no time limit; a short or failed write is not reported.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Read and write time limits in milliseconds, field for field the platform
// record of the original target. The link applies {0, 0, 1, 0, 0}: a read
// waits at most 1 ms for a byte, writes have no limit.
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
};

// A line setting such as "19200,e,8,1": baud rate, parity letter, data bits,
// stop bits.
struct LineParameters {
  uint32_t baud = 0;
  char parity = 'n';  // n none, e even, o odd, m mark, s space
  int dataBits = 8;   // 5 to 8
  int stopBits = 1;   // 1 or 2
};

// Parses a line setting text. Accepts what a mode-text parser would: decimal
// baud rate, parity letter in either case, 5 to 8 data bits, 1 or 2 stop bits,
// optional blanks around the fields. Returns nullopt for anything else.
std::optional<LineParameters> ParseLineSetting(std::string_view text);

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
};

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path);
