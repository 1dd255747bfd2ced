// SPDX-License-Identifier: MIT
#pragma once
// Port numbers 1 to 16 name serial ports as "COM1" to "COM16". Where the
// system itself names its ports by these numbers (Windows), the number gives
// the device path directly (SystemPortPath). On a platform without such names
// each number is mapped to a device path:
// 1. an explicit entry for "COMn" in the port table, when there is one; an
//    entry with an empty path says that nothing is behind that port;
// 2. otherwise the n-th serial device that exists right now, in the stable
//    order that ListSerialDevices gives;
// 3. but while the table (or the port's entry) cannot be read, nothing: a
//    table that the user wrote is never bypassed by guessing a device, which
//    could be a serial console.
//
// Threads: every call here is safe from several threads at once. A port
// table or device lister may be installed while other threads resolve ports;
// each resolution uses the one installed when it looked, and the hooks
// themselves must be safe to call from several threads.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace serial {

// What the port table says about one port name.
struct PortTableAnswer {
  enum class Kind {
    Entry,       // an explicit entry: path (empty: nothing is behind the port)
    NoEntry,     // none: the port is numbered among the devices found
    Unreadable,  // the table or this entry cannot be read: no port is guessed
  };
  Kind kind = Kind::NoEntry;
  std::string path;

  PortTableAnswer() = default;
  // A lookup that knows only entries: a path is an entry, nullopt none.
  PortTableAnswer(std::optional<std::string> entry);  // implicit on purpose
  static PortTableAnswer Unreadable();
};

// Looks up the port table by a port's name ("COM3"). Read afresh at every
// open, so that an edit takes effect at the next operation. A function that
// returns std::optional<std::string> serves as well (no Unreadable answer).
using PortTableLookup = std::function<PortTableAnswer(const std::string& name)>;

// Installs the port table (the settings store supplies it). Without one, only
// the devices found on the machine are numbered.
void SetPortTable(PortTableLookup lookup);

// Where the numbering by enumeration takes its devices from: the list the
// lister gives, in its order. Without one, ListSerialDevices(); a test sets
// ListSerialDevicesUnder a device tree built for the purpose.
using DeviceLister = std::function<std::vector<std::string>()>;
void SetDeviceLister(DeviceLister lister);

// "COM" and the number in decimal, no leading zeros.
std::string PortName(int portNumber);

// The system's own device path for a port number, or nullopt on a platform
// whose system has no such names (there the port table and the enumeration
// map the number). Platform file.
std::optional<std::string> SystemPortPath(int portNumber);

// The port table's answer for a port number, read now; NoEntry without a
// table.
PortTableAnswer LookUpPortTable(int portNumber);

// The device path for a port number, or nullopt when nothing is behind it
// (or the port table cannot be read).
std::optional<std::string> ResolvePort(int portNumber);

// What makes two device paths one device: the same path after every link
// is followed, or the same device number. Two paths with the same identity
// lead to the same device; the identity of a path that does not exist is
// the path itself. Platform file.
std::string DeviceIdentity(const std::string& path);

// The serial devices present now, in a stable order: USB adapters by their
// persistent names first, then built-in UARTs in numeric order; on Windows
// the COM ports the system reports, by number. Platform file.
std::vector<std::string> ListSerialDevices();

// The same list for a device tree and a sysfs tree mounted elsewhere
// ("/dev" and "/sys" on a running system), so that a report on the ports can
// be checked against a tree built for the purpose. Paths start with devRoot.
std::vector<std::string> ListSerialDevicesUnder(const std::string& devRoot, const std::string& sysRoot);

}  // namespace serial
