// SPDX-License-Identifier: MIT
// The port report on Windows. COM numbers are the system's own names, so
// there is no port table and no enumeration to explain: port n is
// "\\.\COMn" (port_names_win32.cpp), its source is the system. What the
// report tells is whether the serial drivers list the port as present
// (HARDWARE\DEVICEMAP\SERIALCOMM, read by ListSerialDevices) and whether it
// opens: CreateFileA exactly as the link opens it (read and write, share
// mode 0, OPEN_EXISTING), closed at once. A port that another program holds
// refuses with ERROR_ACCESS_DENIED; the system does not tell which program
// holds it. Opening and closing changes neither the line nor the timeouts.

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "port_names.h"
#include "port_report.h"
#include "settings_store.h"

namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 16;
// The system's text for an error, as shown in a hint.
constexpr DWORD kMaxReasonChars = 256;

constexpr const char* kSourceSystem = "system";

constexpr const char* kStateMissing = "missing";
constexpr const char* kStateBusy = "busy";
constexpr const char* kStateFails = "does not open";

// An open handle, closed when the object goes.
class HandleGuard {
 public:
  explicit HandleGuard(HANDLE handle) : handle_(handle) {}
  ~HandleGuard() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// What an open of the port tells: ERROR_SUCCESS when it opened.
DWORD ProbeOpen(const std::string& device) {
  HandleGuard port(CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  return port.valid() ? ERROR_SUCCESS : GetLastError();
}

const char* StateForOpenError(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return kStateOpens;
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: return kStateBusy;
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return kStateMissing;
    default: return kStateFails;
  }
}

// The system's message for an error in English where the system has it (a
// Chinese Windows without the English messages does not), else in the
// system's own language. Returns the number of characters written.
DWORD SystemMessage(DWORD error, char (&text)[kMaxReasonChars]) {
  constexpr DWORD kFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  const DWORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  DWORD length = FormatMessageA(kFlags, nullptr, error, english, text, kMaxReasonChars, nullptr);
  if (length == 0) length = FormatMessageA(kFlags, nullptr, error, 0, text, kMaxReasonChars, nullptr);
  return length;
}

// The system's text for an error, on one line, as printable ASCII ('?' for
// anything else, should only a message in another language and code page
// be available).
std::string ErrorText(DWORD error) {
  char text[kMaxReasonChars] = {};
  DWORD length = SystemMessage(error, text);
  std::string reason;
  for (char c : std::string_view(text, std::min(length, kMaxReasonChars))) {
    if (c == '\r' || c == '\n') c = ' ';
    reason.push_back(c >= 0x20 && c < 0x7f ? c : '?');
  }
  while (!reason.empty() && reason.back() == ' ') reason.pop_back();
  if (reason.empty()) reason = "system error";
  return reason + " (error " + std::to_string(error) + ")";
}

void AddHints(PortReport& report, DWORD error) {
  const std::string name = serial::PortName(report.number);
  if (report.state == kStateBusy) {
    report.hints.push_back("another program holds " + name + ": close it before using the port");
  }
  if (report.state == kStateFails) report.hints.push_back(name + " does not open: " + ErrorText(error));
  if (report.state == kStateMissing && *report.listed) {
    report.hints.push_back("the system lists " + name + " but it is not there: plug the adapter in again");
  }
}

PortReport DescribePort(int number, const std::vector<std::string>& present) {
  PortReport report{};
  report.number = number;
  report.device = *serial::SystemPortPath(number);
  report.source = kSourceSystem;
  report.listed = std::find(present.begin(), present.end(), report.device) != present.end();
  const DWORD error = ProbeOpen(report.device);
  report.state = StateForOpenError(error);
  AddHints(report, error);
  return report;
}

}  // namespace

std::vector<PortReport> DescribePorts(const PortRoots& roots) { return DescribePorts(roots, store::ReadPortTable); }

std::vector<PortReport> DescribePorts(const PortRoots&, const PortTableReader&) {
  const std::vector<std::string> present = serial::ListSerialDevices();
  std::vector<PortReport> reports;
  for (int number = kFirstPort; number <= kLastPort; ++number) reports.push_back(DescribePort(number, present));
  return reports;
}

std::string PortReportHeading() {
  return "COM numbers are the system's own names (no port table); settings: " + store::SettingsLocation();
}
