// SPDX-License-Identifier: MIT
// Serial ports on Windows. COM numbers are the system's own names, so port n
// is simply COMn, opened as "\\.\COMn": only COM1 to COM9 are predefined DOS
// device names, and a bare "COM10" would be taken for a file of that name.
// The device namespace form works for every number.
//
// The ports present are the ones the serial drivers register under
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM: one value per port, its
// data the port's name ("COM3"). The values come in no particular order;
// they are sorted by number here. Names that are not COM and a number (some
// virtual port drivers choose their own) cannot be reached by a port number
// and are left out.

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

#include "port_names.h"

namespace serial {

namespace {

constexpr const char* kDeviceNamespace = "\\\\.\\";
constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
// Bounds on what is read from the registry: a value name and data of a
// serial port are short, and no machine has thousands of ports.
constexpr DWORD kMaxValues = 1024;
constexpr DWORD kMaxNameChars = 256;
constexpr DWORD kMaxDataBytes = 64;

// The number of a "COMn" name, or 0 for any other name.
int ComNumber(std::string_view name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.data(), 3, "COM", 3) != CSTR_EQUAL) return 0;
  int number = 0;
  auto [end, ec] = std::from_chars(name.data() + 3, name.data() + name.size(), number);
  if (ec != std::errc() || end != name.data() + name.size() || number < 1) return 0;
  return number;
}

// The port number held by the value at index, or 0.
int PortAt(HKEY key, DWORD index) {
  char name[kMaxNameChars];
  DWORD nameChars = kMaxNameChars;
  char data[kMaxDataBytes + 1] = {};
  DWORD dataBytes = kMaxDataBytes;
  DWORD type = 0;
  if (RegEnumValueA(key, index, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes) !=
      ERROR_SUCCESS)
    return 0;
  if (type != REG_SZ) return 0;
  std::string_view text(data, dataBytes);
  return ComNumber(text.substr(0, text.find('\0')));
}

// The port numbers registered now, in the registry's order.
std::vector<int> RegisteredPorts() {
  std::vector<int> numbers;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return numbers;
  DWORD values = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                       nullptr) == ERROR_SUCCESS) {
    // A value that does not fit the bounds above is skipped.
    for (DWORD index = 0; index < std::min(values, kMaxValues); ++index) {
      if (int number = PortAt(key, index)) numbers.push_back(number);
    }
  }
  RegCloseKey(key);
  return numbers;
}

}  // namespace

std::optional<std::string> SystemPortPath(int portNumber) {
  return std::string(kDeviceNamespace) + "COM" + std::to_string(portNumber);
}

std::vector<std::string> ListSerialDevices() {
  std::vector<int> numbers = RegisteredPorts();
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  std::vector<std::string> paths;
  for (int number : numbers) paths.push_back(*SystemPortPath(number));
  return paths;
}

// Every port number has a device name of its own ("\\.\COMn"), and the
// system's names are not links: the name is the device.
std::string DeviceIdentity(const std::string& path) { return path; }

}  // namespace serial
