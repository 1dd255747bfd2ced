// SPDX-License-Identifier: MIT
#include "port_explain.h"

#include "cli_output.h"
#include "line_settings.h"
#include "port_names.h"

namespace {
constexpr const char* kStateOpens = "opens";
constexpr const char* kStateNone = "none";
constexpr const char* kPrefix = "rt420ctl: ";

std::string UsbText(const PortReport& r) {
  std::string usb;
  if (!r.usbVendorId.empty() || !r.usbProductId.empty()) usb = ShownText(r.usbVendorId) + ":" + ShownText(r.usbProductId);
  for (const std::string& part : {r.usbVendor, r.usbProduct})
    if (!part.empty()) usb += (usb.empty() ? "" : " ") + ShownText(part);
  if (!r.usbSerial.empty()) usb += (usb.empty() ? "" : ", ") + std::string("serial ") + ShownText(r.usbSerial);
  return usb.empty() ? "" : "; USB " + usb;
}

std::string HoldersText(const PortReport& r) {
  std::string text;
  for (const auto& [pid, name] : r.holders)
    text += (text.empty() ? ", held by " : ", ") + std::string("PID ") + std::to_string(pid) + " (" +
            ShownText(name) + ")";
  return text;
}

// Device paths come plain from the report (printable ASCII, bounded) and are
// shown as they are: escaping would double the backslashes of a Windows
// device name ("\\.\COM3").
std::string DeviceText(const PortReport& r) {
  if (r.device.empty()) return "no device";
  bool linked = !r.resolved.empty() && r.resolved != r.device;
  return r.device + (linked ? " -> " + r.resolved : "");
}

const PortReport* Find(const std::vector<PortReport>& reports, int port) {
  for (const PortReport& r : reports)
    if (r.number == port) return &r;
  return nullptr;
}

// "COM3 (/dev/ttyUSB0), COM7 (/dev/ttyS1)": the numbers with a device.
std::string DevicesBehind(const std::vector<PortReport>& reports) {
  std::string text;
  for (const PortReport& r : reports)
    if (!r.device.empty()) text += (text.empty() ? "" : ", ") + PortName(r.number) + " (" + r.device + ")";
  return text;
}
}  // namespace

std::string PortLine(const PortReport& r) {
  std::string listed = !r.listed ? "" : *r.listed ? ", listed" : ", not listed";
  std::string source = r.source.empty() ? "" : " (" + ShownText(r.source) + listed + ")";
  // "none" only repeats that no device is behind the number.
  std::string state = r.state == kStateNone ? "" : ": " + ShownText(r.state);
  return PortName(r.number) + ": " + DeviceText(r) + source + state + HoldersText(r) + UsbText(r);
}

void ExplainNoPortOpened(int port) {
  std::vector<PortReport> reports = DescribePorts();
  PrintErrorLine(std::string(kPrefix) + "no port could be opened:");
  bool anyDevice = false;
  for (const PortReport& r : reports) {
    anyDevice = anyDevice || !r.device.empty();
    bool fails = !r.device.empty() && r.state != kStateOpens;
    if (fails || r.number == port) PrintErrorLine(std::string(kPrefix) + "  " + PortLine(r));
  }
  if (!anyDevice) PrintErrorLine(std::string(kPrefix) + "  no device is behind any of COM1 to COM16");
}

void ExplainModuleNotFound(const CliOptions& options, int quickPort, const std::string& quickSetting) {
  std::vector<PortReport> reports = DescribePorts();
  std::string settings = options.lock ? "at " + quickSetting + " only (--lock)" : "at every line setting";
  std::string search = "COM1 to COM16 " + settings;
  PrintErrorLine(std::string(kPrefix) + "searched: " +
                 (quickPort > 0 ? "the quick try at " + PortName(quickPort) + " (" + quickSetting + "), then " + search
                                : search + "; no port was stored yet, so there was no quick try"));
  std::string devices = DevicesBehind(reports);
  PrintErrorLine(std::string(kPrefix) + (devices.empty() ? "no device is behind any of COM1 to COM16"
                                                         : "devices behind the numbers: " + devices));
  if (options.lock) {
    PrintErrorLine(std::string(kPrefix) + "hint: search without --lock to try every line setting (after a factory "
                   "default the module talks at " + kDefaultLineSetting + ")");
  }
}

void ExplainQuickTryMissed(int port, int foundAt) {
  std::vector<PortReport> reports = DescribePorts();
  const PortReport* r = Find(reports, port);
  bool opens = r && !r->device.empty() && r->state == kStateOpens;
  std::string why = opens ? PortName(port) + " did not answer"
                          : PortName(port) + " did not open (" + (r ? PortLine(*r) : PortName(port)) + ")";
  std::string then = foundAt ? "; the module was found on " + PortName(foundAt) : "; the search over all ports followed";
  PrintErrorLine(std::string(kPrefix) + why + then);
}
