// rt420ctl ports: for each of COM1 to COM16, the device it maps to and why,
// the USB adapter behind it, whether it opens or who holds it, and plain
// hints. The facts come from DescribePorts (port_report.h); this prints them.
// Texts read from sysfs and /proc are untrusted and printed escaped.

#include "cli_output.h"
#include "port_names.h"
#include "port_report.h"
#include "settings_store.h"
#include "subcommands.h"
#include "trace_log.h"

namespace {
std::string UsbText(const PortReport& r) {
  std::string usb;
  for (const std::string& part : {r.usbVendor, r.usbProduct})
    if (!part.empty()) usb += (usb.empty() ? "" : " ") + TraceText(part);
  if (!r.usbSerial.empty()) usb += (usb.empty() ? "" : ", ") + std::string("serial ") + TraceText(r.usbSerial);
  return usb.empty() ? "" : "; USB " + usb;
}

std::string HoldersText(const PortReport& r) {
  std::string text;
  for (const auto& [pid, name] : r.holders)
    text += (text.empty() ? ", held by " : ", ") + std::string("PID ") + std::to_string(pid) + " (" +
            TraceText(name) + ")";
  return text;
}

void PrintPortText(const PortReport& r) {
  std::string device = r.device.empty() ? "no device" : TraceText(r.device);
  std::string source = r.source.empty() ? "" : " (" + TraceText(r.source) + ")";
  PrintLine(PortName(r.number) + ": " + device + source + ": " + TraceText(r.state) + HoldersText(r) + UsbText(r));
  for (const std::string& hint : r.hints) PrintLine("       hint: " + TraceText(hint));
}

JsonObject PortJson(const PortReport& r) {
  std::vector<JsonObject> holders;
  for (const auto& [pid, name] : r.holders) holders.push_back(JsonObject().Add("pid", pid).Add("name", TraceText(name)));
  std::vector<std::string> hints;
  for (const std::string& hint : r.hints) hints.push_back(TraceText(hint));
  JsonObject json;
  json.Add("port", PortName(r.number)).Add("number", r.number).Add("device", TraceText(r.device));
  json.Add("source", TraceText(r.source)).Add("usbVendor", TraceText(r.usbVendor));
  json.Add("usbProduct", TraceText(r.usbProduct)).Add("usbSerial", TraceText(r.usbSerial));
  return json.Add("state", TraceText(r.state)).Add("holders", holders).Add("hints", hints);
}
}  // namespace

ExitCode RunPortsCommand(const CliOptions& options) {
  PortRoots roots;
  roots.dev = options.devRoot;
  roots.sys = options.sysRoot;
  roots.proc = options.procRoot;
  std::vector<PortReport> reports = DescribePorts(roots);
  if (options.json) {
    std::vector<JsonObject> ports;
    for (const PortReport& r : reports) ports.push_back(PortJson(r));
    PrintLine(JsonObject().Add("subcommand", "ports").Add("settings", SettingsLocation()).Add("ports", ports).Text());
    return kExitOk;
  }
  PrintLine("settings and port table: " + SettingsLocation());
  for (const PortReport& r : reports) PrintPortText(r);
  return kExitOk;
}
