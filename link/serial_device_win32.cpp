// SPDX-License-Identifier: MIT
// The serial device on Win32: a synchronous (non-overlapped) handle from
// CreateFileA, the link's timeouts through SetCommTimeouts, the line through
// BuildCommDCBA and SetCommState.
//
// The line setting ("19200,e,8,1") goes to BuildCommDCBA as it is. That is
// the older form of the mode syntax, for which the system documents the rest
// of the control block too: XON/XOFF and CTS/DSR flow control off, DTR and
// RTS on (DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE), as long as the text does
// not end in "x" or "p" (the parser never lets those through). Converters
// that draw their power from DTR and RTS, or switch their RS-485 driver
// with RTS, therefore work whatever the port's previous owner left. The
// newer form ("baud=19200 parity=E ...") would leave DTR and RTS as they
// were. A two-digit speed would be read as the mode command's abbreviation
// ("96" for 9600); the link's settings always spell the speed out.
//
// Exclusive open: share mode 0, so a port that another program holds does
// not open. Reads are one-byte ReadFile calls that return after the read
// time of the applied timeouts ({0, 0, 1, 0, 0}: at most 1 ms) when no byte
// is waiting. A read that fails outright (a line error under the port's
// abort-on-error setting, an adapter pulled out) returns at once on Windows:
// the error is cleared and the read time waited out here, so that a caller
// polling in a loop does not spin.

#include <windows.h>

#include <string>

#include "deadline.h"
#include "serial_device.h"

namespace serial {

namespace {

COMMTIMEOUTS ToNative(const CommTimeouts& t) {
  return {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
          t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
}

class Win32SerialDevice final : public SerialDevice {
 public:
  explicit Win32SerialDevice(HANDLE handle) : handle_(handle) {}
  ~Win32SerialDevice() override { CloseHandle(handle_); }
  Win32SerialDevice(const Win32SerialDevice&) = delete;
  Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

  // The port's own record, field for field in the platform's order.
  NativeTimeouts GetTimeouts() override {
    COMMTIMEOUTS t{};
    NativeTimeouts saved;
    if (!GetCommTimeouts(handle_, &t)) return saved;  // not known: nothing is written back
    saved.known = true;
    saved.words[0] = t.ReadIntervalTimeout;
    saved.words[1] = t.ReadTotalTimeoutMultiplier;
    saved.words[2] = t.ReadTotalTimeoutConstant;
    saved.words[3] = t.WriteTotalTimeoutMultiplier;
    saved.words[4] = t.WriteTotalTimeoutConstant;
    return saved;
  }

  void SetTimeouts(const NativeTimeouts& saved) override {
    // An all-zero record would mean "no limit" to the next program's reads.
    if (!saved.known) return;
    COMMTIMEOUTS t{saved.words[0], saved.words[1], saved.words[2], saved.words[3], saved.words[4]};
    SetCommTimeouts(handle_, &t);
  }

  void ApplyTimeouts(const CommTimeouts& timeouts) override {
    readWaitMs_ = timeouts.ReadTotalTimeoutConstant;
    COMMTIMEOUTS t = ToNative(timeouts);
    SetCommTimeouts(handle_, &t);
  }

  // The block is filled from the port first, so that what the setting does
  // not name stays as the port had it. Failures are not examined: the port
  // then keeps its previous line.
  void ApplyLine(const LineParameters& line) override {
    DCB block{};
    block.DCBlength = sizeof block;
    if (!GetCommState(handle_, &block)) return;
    if (!BuildCommDCBA(line.text.c_str(), &block)) return;
    SetCommState(handle_, &block);
  }

  // One synchronous write; the link's write timeouts set no limit. A short
  // or failed write is not reported.
  void Write(const uint8_t* bytes, size_t length) override {
    DWORD written = 0;
    WriteFile(handle_, bytes, static_cast<DWORD>(length), &written, nullptr);
  }

  bool ReadByte(uint8_t& byte) override {
    DWORD got = 0;
    if (ReadFile(handle_, &byte, 1, &got, nullptr)) return got == 1;
    DWORD errors = 0;
    ClearCommError(handle_, &errors, nullptr);
    SleepMs(readWaitMs_);
    return false;
  }

  // Drops whatever the port has received and not yet been read. A framing or
  // parity error still pending from an earlier owner that set abort-on-error
  // would make every read and write fail until it is cleared, so it is
  // cleared first.
  void DiscardInput() override {
    DWORD errors = 0;
    ClearCommError(handle_, &errors, nullptr);
    PurgeComm(handle_, PURGE_RXCLEAR);
  }

  // The queue's fill as ClearCommError reports it (which also clears a
  // pending line error, as DiscardInput does).
  size_t InputWaiting() override {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(handle_, &errors, &status) ? status.cbInQue : 0;
  }

 private:
  HANDLE handle_;
  unsigned readWaitMs_ = 1;
};

// What CreateFileA's error says about the device.
DeviceOpenError ErrorKind(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return DeviceOpenError::Missing;
    // Share mode 0: a port another program holds refuses every other open.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return DeviceOpenError::Busy;
    default: return DeviceOpenError::Other;
  }
}

}  // namespace

DeviceOpenResult OpenSerialDevice(const std::string& path) {
  DeviceOpenResult result;
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    result.error = ErrorKind(error);
    result.systemText = "Windows error " + std::to_string(error);
    return result;
  }
  result.device = std::make_unique<Win32SerialDevice>(handle);
  return result;
}

// The handle's exclusive access ends with the process.
void ReleaseSerialDeviceForExit() {}

}  // namespace serial
