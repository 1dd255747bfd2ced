// SPDX-License-Identifier: MIT
// rt420ctl ports: for each of COM1 to COM16, the device it maps to and why,
// the USB adapter behind it, whether it opens or who holds it, and plain
// hints. The facts come from DescribePorts (port_report.h); this prints them.
// Texts read from sysfs and /proc are untrusted and printed escaped; the
// device paths are plain ASCII already (port_report.h).

#include <set>

#include "cli_output.h"
#include "port_explain.h"
#include "port_names.h"
#include "port_report.h"
#include "settings_store.h"
#include "subcommands.h"

namespace {
// A hint that concerns the whole machine comes with several ports in the
// same words; the text form shows each hint once, under its first port.
void PrintPortText(const PortReport& r, std::set<std::string>& hintsShown) {
  PrintLine(PortLine(r));
  for (const std::string& hint : r.hints)
    if (hintsShown.insert(hint).second) PrintLine("       hint: " + text::ShownText(hint));
}

JsonObject PortJson(const PortReport& r) {
  std::vector<JsonObject> holders;
  for (const auto& [pid, name] : r.holders) holders.push_back(JsonObject().Add("pid", pid).Add("name", text::ShownText(name)));
  std::vector<std::string> hints;
  for (const std::string& hint : r.hints) hints.push_back(text::ShownText(hint));
  JsonObject json;
  json.Add("port", serial::PortName(r.number)).Add("number", r.number).Add("device", r.device);
  json.Add("resolved", r.resolved).Add("source", text::ShownText(r.source));
  json.Add("usbVendorId", text::ShownText(r.usbVendorId)).Add("usbProductId", text::ShownText(r.usbProductId));
  json.Add("usbVendor", text::ShownText(r.usbVendor));
  json.Add("usbProduct", text::ShownText(r.usbProduct)).Add("usbSerial", text::ShownText(r.usbSerial));
  if (r.listed) json.Add("listed", *r.listed);
  return json.Add("state", text::ShownText(r.state)).Add("holders", holders).Add("hints", hints);
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
    PrintLine(JsonObject().Add("subcommand", "ports").Add("settings", store::SettingsLocation()).Add("ports", ports).Text());
    return kExitOk;
  }
  PrintLine(PortReportHeading());
  std::set<std::string> hintsShown;
  for (const PortReport& r : reports) PrintPortText(r, hintsShown);
  return kExitOk;
}
