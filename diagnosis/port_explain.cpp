// SPDX-License-Identifier: MIT
#include "port_explain.h"

#include "line_settings.h"
#include "port_names.h"
#include "shown_text.h"

namespace {

std::string UsbText(const PortReport& r) {
  std::string usb;
  if (!r.usbVendorId.empty() || !r.usbProductId.empty()) usb = text::ShownText(r.usbVendorId) + ":" + text::ShownText(r.usbProductId);
  for (const std::string& part : {r.usbVendor, r.usbProduct})
    if (!part.empty()) usb += (usb.empty() ? "" : " ") + text::ShownText(part);
  if (!r.usbSerial.empty()) usb += (usb.empty() ? "" : ", ") + std::string("serial ") + text::ShownText(r.usbSerial);
  return usb.empty() ? "" : "; USB " + usb;
}

std::string HoldersText(const PortReport& r) {
  std::string text;
  for (const auto& [pid, name] : r.holders)
    text += (text.empty() ? ", held by " : ", ") + std::string("PID ") + std::to_string(pid) + " (" +
            text::ShownText(name) + ")";
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
    if (!r.device.empty()) text += (text.empty() ? "" : ", ") + serial::PortName(r.number) + " (" + r.device + ")";
  return text;
}
}  // namespace

std::string PortLine(const PortReport& r) {
  std::string listed = !r.listed ? "" : *r.listed ? ", listed" : ", not listed";
  std::string source = r.source.empty() ? "" : " (" + text::ShownText(r.source) + listed + ")";
  // "none" only repeats that no device is behind the number.
  std::string state = r.state == kStateNone ? "" : ": " + text::ShownText(r.state);
  return serial::PortName(r.number) + ": " + DeviceText(r) + source + state + HoldersText(r) + UsbText(r);
}

std::vector<std::string> ExplainNoPortOpened(int port) {
  std::vector<PortReport> reports = DescribePorts();
  std::vector<std::string> lines{"no port could be opened:"};
  bool anyDevice = false;
  for (const PortReport& r : reports) {
    anyDevice = anyDevice || !r.device.empty();
    bool fails = !r.device.empty() && r.state != kStateOpens;
    if (fails || r.number == port) lines.push_back("  " + PortLine(r));
  }
  if (!anyDevice) lines.push_back("  no device is behind any of COM1 to COM16");
  return lines;
}

std::vector<std::string> ExplainModuleNotFound(bool locked, int quickPort, const std::string& quickSetting) {
  std::vector<PortReport> reports = DescribePorts();
  std::string settings = locked ? "at " + quickSetting + " only (--lock)" : "at every line setting";
  std::string search = "COM1 to COM16 " + settings;
  std::vector<std::string> lines;
  lines.push_back("searched: " + (quickPort > 0 ? "the quick try at " + serial::PortName(quickPort) + " (" + quickSetting +
                                                      "), then " + search
                                                : search + "; no port was stored yet, so there was no quick try"));
  std::string devices = DevicesBehind(reports);
  lines.push_back(devices.empty() ? "no device is behind any of COM1 to COM16" : "devices behind the numbers: " + devices);
  if (locked) {
    lines.push_back("hint: search without --lock to try every line setting (after a factory default the module "
                    "talks at " + std::string(serial::kDefaultLineSetting) + ")");
  }
  return lines;
}

std::string ExplainQuickTryMissed(int port, int foundAt) {
  std::vector<PortReport> reports = DescribePorts();
  const PortReport* r = Find(reports, port);
  bool opens = r && !r->device.empty() && r->state == kStateOpens;
  std::string why = opens ? serial::PortName(port) + " did not answer"
                          : serial::PortName(port) + " did not open (" + (r ? PortLine(*r) : serial::PortName(port)) + ")";
  std::string then = foundAt ? "; the module was found on " + serial::PortName(foundAt) : "; the search over all ports followed";
  return why + then;
}
