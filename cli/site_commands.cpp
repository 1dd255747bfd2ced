// SPDX-License-Identifier: MIT
// rt420ctl on site: survey, linktest and watch --ids, over the on-site
// engine (site/). They work on one port of a bus and never scan: the port is
// --port, or the one where a scan last found a module.

#include <cstdio>
#include <fstream>
#include <memory>

#include "csv_file.h"
#include "link_test.h"
#include "operation_steps.h"
#include "port_report.h"
#include "serial_port.h"
#include "site_report.h"
#include "site_text.h"
#include "subcommands.h"
#include "survey.h"
#include "tone.h"
#include "two_digits.h"
#include "rt420_version.h"
#include "walk_test.h"

namespace {

constexpr unsigned kCardBeepMs = 100;

std::optional<int> SitePort(CliConnection& connection) {
  if (connection.Options().port) return connection.Options().port;
  const int stored = connection.State().ScanCommNo;
  if (stored > 0) return stored;
  PrintErrorLine("rt420ctl: " + connection.Options().subcommandName +
                 " needs --port N: no port is stored yet (rt420ctl ports lists them)");
  return std::nullopt;
}

ExitCode PortNotOpened(CliConnection& connection) {
  const std::string why = serial::DescribePortOpenFailure(serial::LastPortOpenFailure(connection.State()));
  if (connection.Json()) {
    PrintLine(text::JsonObject().Add("error", "port not opened").Add("why", text::ShownText(why)).Text());
  } else {
    PrintLine("port not opened: " + text::ShownText(why));
  }
  return kExitPort;
}

// The USB adapter behind the port, as `rt420ctl ports` names it; empty
// when it is not one.
std::string AdapterText(int port) {
  for (const PortReport& report : DescribePorts()) {
    if (report.number != port || report.usbProduct.empty()) continue;
    std::string text = report.usbVendor + " " + report.usbProduct;
    if (!report.usbSerial.empty()) text += ", serial " + report.usbSerial;
    return text;
  }
  return {};
}

// Writes a whole file; false with the reason printed.
bool WriteReport(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (out) return true;
  PrintErrorLine("rt420ctl: cannot write the report " + text::ShownText(path));
  return false;
}

site::RecordHeading Heading(const CliConnection& connection, int port, const std::string& device) {
  site::RecordHeading heading;
  heading.site = connection.Options().siteName;
  heading.date = TimestampNow();
  heading.port = site::PortText(port, device);
  heading.adapter = AdapterText(port);
  heading.tool = std::string("rt420ctl ") + kVersionText;
  return heading;
}

bool WriteSurveyCsv(const std::string& path, const site::SurveyResult& result) {
  std::string error;
  std::unique_ptr<CsvFile> csv = CsvFile::Open(path, site::kSurveyCsvHeader, error);
  if (!csv) {
    PrintErrorLine("rt420ctl: " + error);
    return false;
  }
  for (const std::vector<std::string>& row : site::SurveyCsvRows(result)) {
    if (!csv->Append(row)) {
      PrintErrorLine("rt420ctl: cannot write to " + text::ShownText(path));
      return false;
    }
  }
  return true;
}

}  // namespace

ExitCode RunSurveyCommand(CliConnection& connection) {
  const CliOptions& o = connection.Options();
  const std::optional<int> port = SitePort(connection);
  if (!port) return kExitUsage;
  site::SurveyResult result;
  const site::SurveyOutcome outcome = site::RunSurvey(connection.State(), {*port, o.busLineIndex, o.ids}, result);
  if (outcome == site::SurveyOutcome::PortNotOpened) return PortNotOpened(connection);
  const std::vector<site::Finding> findings = site::FindingsOf(result);
  if (connection.Json()) {
    PrintLine(site::SurveyJson(result, findings).Text());
  } else {
    for (const std::string& line : site::SurveyLines(result, findings)) PrintLine(line);
  }
  bool written = o.csvPath.empty() || WriteSurveyCsv(o.csvPath, result);
  if (!o.reportPath.empty())
    written = WriteReport(o.reportPath, site::SurveyRecord(Heading(connection, *port, result.device), result,
                                                            findings)) && written;
  if (outcome == site::SurveyOutcome::Stopped) return kExitStopped;
  bool clean = result.lineIndex >= 0 && written;
  for (const site::Finding& f : findings) clean = clean && !f.Problem();
  return clean ? kExitOk : kExitModule;
}

ExitCode RunLinktestCommand(CliConnection& connection) {
  const CliOptions& o = connection.Options();
  const std::optional<int> port = SitePort(connection);
  if (!port) return kExitUsage;
  site::LinkTestResult result;
  const site::LinkTestOutcome outcome =
      site::RunLinkTest(connection.State(), {*port, o.busLineIndex, o.ids, o.count}, result);
  if (outcome == site::LinkTestOutcome::PortNotOpened) return PortNotOpened(connection);
  if (outcome == site::LinkTestOutcome::NoAnswer) {
    PrintLine(connection.Json() ? text::JsonObject().Add("error", "no module answered").Text()
                                : "no module answered at any line setting of " + site::PortText(*port, result.device));
    return kExitModule;
  }
  const std::vector<std::string> lines = site::LinkTestLines(result);
  if (connection.Json()) {
    PrintLine(site::LinkTestJson(result).Text());
  } else {
    for (const std::string& line : lines) PrintLine(line);
  }
  bool written = true;
  if (!o.reportPath.empty()) {
    const site::RecordHeading h = Heading(connection, *port, result.device);
    std::string doc = "# Link test" + (h.site.empty() ? std::string() : ": " + site::MarkdownText(h.site)) + "\n\n";
    doc += "| | |\n|---|---|\n| Date | " + site::MarkdownText(h.date) + " |\n| Port | " + site::MarkdownText(h.port) +
           " |\n| Adapter | " + (h.adapter.empty() ? std::string("(not known)") : site::MarkdownText(h.adapter)) +
           " |\n| Tool | " + site::MarkdownText(h.tool) + " |\n\n```\n";
    for (const std::string& line : lines) doc += line + "\n";
    written = WriteReport(o.reportPath, doc + "```\n");
  }
  if (outcome == site::LinkTestOutcome::Stopped) return kExitStopped;
  return written && site::OverallVerdict(result) == site::Verdict::Pass ? kExitOk : kExitModule;
}

ExitCode RunWalkCommand(CliConnection& connection) {
  const CliOptions& o = connection.Options();
  const std::optional<int> port = SitePort(connection);
  if (!port) return kExitUsage;
  std::unique_ptr<CsvFile> csv;
  std::string error;
  if (!o.csvPath.empty() && !(csv = CsvFile::Open(o.csvPath, {"time", "id", "data"}, error))) {
    PrintErrorLine("rt420ctl: " + error);
    return kExitUsage;
  }
  site::WalkOptions options{*port, o.busLineIndex, o.ids};
  if (o.seconds)
    options.until = serial::LineClock::now() + std::chrono::duration_cast<serial::LineClock::duration>(
                                                   std::chrono::duration<double>(*o.seconds));
  const auto card = [&](int id, const std::string& bytes) {
    const std::string time = TimestampNow(), data = text::ShownText(bytes);
    if (connection.Json()) {
      PrintLine(text::JsonObject().Add("time", time).Add("id", site::IdText(id)).Add("data", data).Text());
    } else {
      PrintLine(time + " ID " + site::IdText(id) + " " + data);
    }
    if (csv) csv->Append({time, site::IdText(id), data});
    tone::Beep(commands::kHighBeepHz, kCardBeepMs);  // silent with --no-beep
  };
  site::WalkResult result;
  const site::WalkOutcome outcome = site::RunWalkTest(connection.State(), options, result, card);
  if (outcome == site::WalkOutcome::PortNotOpened) return PortNotOpened(connection);
  if (outcome == site::WalkOutcome::NoAnswer) {
    PrintLine("no module answered at any line setting of " + site::PortText(*port, ""));
    return kExitModule;
  }
  if (connection.Json()) {
    PrintLine(site::WalkSummaryJson(result).Text());
  } else {
    for (const std::string& line : site::WalkSummaryLines(result)) PrintLine(line);
  }
  return kExitOk;
}
