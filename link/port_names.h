#pragma once
// Port numbers 1 to 16 name serial ports as "COM1" to "COM16". On a platform
// without such names each number is mapped to a device path:
// 1. an explicit entry for "COMn" in the port table, when there is one; an
//    entry with an empty path says that nothing is behind that port;
// 2. otherwise the n-th serial device that exists right now, in the stable
//    order that ListSerialDevices gives.

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Looks up an explicit entry of the port table by its name ("COM3"). Read
// afresh at every open, so that an edit takes effect at the next operation.
using PortTableLookup = std::function<std::optional<std::string>(const std::string& name)>;

// Installs the port table (the settings store supplies it). Without one, only
// the devices found on the machine are numbered.
void SetPortTable(PortTableLookup lookup);

// "COM" and the number in decimal, no leading zeros.
std::string PortName(int portNumber);

// The device path for a port number, or nullopt when nothing is behind it.
std::optional<std::string> ResolvePort(int portNumber);

// The serial devices present now, in a stable order: USB adapters by their
// persistent names first, then built-in UARTs in numeric order. Platform file.
std::vector<std::string> ListSerialDevices();

// The same list for a device tree and a sysfs tree mounted elsewhere
// ("/dev" and "/sys" on a running system), so that a report on the ports can
// be checked against a tree built for the purpose. Paths start with devRoot.
std::vector<std::string> ListSerialDevicesUnder(const std::string& devRoot, const std::string& sysRoot);
