// SPDX-License-Identifier: MIT
// rt420ctl apply PROFILE [--repeat] [--csv FILE]: provisions a module from a
// profile. It scans, writes each setting that differs from what the scan
// read (IDs, key count, mode with RS-485, then the line setting, since the
// module talks at the new setting only after that), scans again to read the
// module back, and appends one CSV record: time, port, serial number,
// version, the settings before and after, what was written, and the outcome.
// A write that fails ends the run of that module; a read-back that fails or
// differs from the profile is a failure.
//
// --repeat then waits for the next module and does the same again until it
// is interrupted. The next module is one with another serial number, or any
// module after a scan that found none (the same module unplugged and plugged
// in again). The exit code is then 0 when every module was provisioned.
//
// With --ports the same runs on each listed port at once, one connection per
// port, into one CSV file; each connection prints only its result lines, and
// a summary per port follows the end. A bench stores no scan result.

#include <memory>
#include <vector>

#include "csv_file.h"
#include "line_settings.h"
#include "module_steps.h"
#include "port_names.h"
#include "profile.h"
#include "provision_run.h"
#include "repeat_run.h"
#include "serial_port.h"
#include "stop_request.h"
#include "subcommands.h"

namespace {
// The record's COM number: where the module was read (or answered), else
// the bench connection's own port (0, none, for the program's own one).
int RecordPort(const CliConnection& connection, const ApplyRecord& r) {
  return r.module.port ? r.module.port : connection.Port();
}

JsonObject SettingsJson(const ModuleSettings& s) {
  std::vector<std::string> f = SettingsFields(s, true);
  JsonObject json;
  json.Add("id1", f[0]).Add("id2", f[1]).Add("lineSetting", f[2]).Add("keyCount", f[3]);
  return json.Add("mode", f[4]).Add("rs485", f[5]);
}

void PrintRecord(const CliConnection& connection, const ApplyRecord& r) {
  const ModuleReadout& m = r.module;
  int port = RecordPort(connection, r);
  if (!connection.Json()) {
    std::string who = port ? serial::PortName(port) + (m.serial.empty() ? "" : " " + m.serial) + ": " : "";
    PrintLine(who + r.outcome + (r.written.empty() ? " (nothing written)" : " (wrote " + Joined(r.written) + ")"));
    // Every setting, as the first scan and the read-back found it; a bench
    // keeps to one line per module, so that the ports' lines stay apart.
    if (r.readBack && !connection.OneOfSeveral()) {
      ModuleReadout after = m;
      after.settings = r.after;
      if (r.after.lineSettingIndex >= 0 && r.after.lineSettingIndex < serial::kLineSettingCount)
        after.lineSetting = serial::kLineSettings[r.after.lineSettingIndex];
      PrintChanges(m, after);
    }
    return;
  }
  JsonObject json;
  json.Add("time", r.time).Add("port", port).Add("serialNumber", m.serial).Add("version", m.version);
  if (m.read) json.Add("before", SettingsJson(m.settings));
  if (r.readBack) json.Add("after", SettingsJson(r.after));
  json.Add("written", r.written).Add("outcome", r.outcome).Add("exitCode", static_cast<int>(r.code));
  PrintLine(json.Text());
}

// "COM3 12345678-9": the record's port and module, as far as known.
std::string RecordName(const CliConnection& connection, const ApplyRecord& r) {
  int port = RecordPort(connection, r);
  std::string name = port ? serial::PortName(port) : "the module";
  return r.module.serial.empty() ? name : name + " " + r.module.serial;
}

// The record goes into the CSV file, then to stdout, so that a module's
// line means its record is in the file unless stderr said otherwise just
// before. False when the file did not take it (it is then missing from the
// file, which still ends in a whole record).
bool Report(const CliConnection& connection, CsvFile& csv, const ApplyRecord& record) {
  std::string why;
  bool recorded = csv.Append(ApplyCsvFields(record, RecordPort(connection, record)), &why);
  if (!recorded)
    PrintErrorLine("rt420ctl: cannot write the record of " + RecordName(connection, record) + " to " +
                   text::ShownText(csv.Path()) + ": " + why);
  PrintRecord(connection, record);
  return recorded;
}

// Scans, provisions the module found and reports it; a port without a
// module gets its record too.
ApplyRecord ApplyOnce(CliConnection& connection, const Profile& profile, CsvFile& csv, bool& recorded) {
  ModuleReadout module;
  ExitCode code = ScanModule(connection, module);
  ApplyRecord record;
  if (code == kExitOk) {
    record = ProvisionModule(connection, profile, module);
  } else if (code != kExitPort && StopRequested() && !connection.OneOfSeveral()) {
    // The search over the ports ended at the stop; a bench's search of its
    // own port runs to its end.
    record.outcome = "stopped before a module was found";
    record.code = kExitStopped;
  } else {
    record.outcome = code == kExitPort ? "port not opened" : "module not found";
    // On a bench the record is where the operator learns why.
    if (code == kExitPort && connection.OneOfSeveral())
      record.outcome += ": " + text::ShownText(serial::DescribePortOpenFailure(serial::LastPortOpenFailure(connection.State())));
    record.code = code;
  }
  recorded = Report(connection, csv, record);
  return record;
}

// The first scan of a module, in one line, before anything is written.
void PrintFound(const ModuleReadout& m) {
  std::vector<std::string> f = SettingsFields(m.settings, true);
  PrintLine(serial::PortName(m.port) + " " + m.serial + " found: ID 1 " + f[0] + ", ID 2 " + f[1] + ", key count " + f[3] +
            ", mode " + ModeWords(m.settings.modeIndex) + ", RS-485 " + f[5] + ", line setting " + m.lineSetting);
}

// Provisions each next module on the connection until a stop request. The
// program's own connection says what it waits for; a bench's connection
// prints only its result lines.
void ProvisionEachModule(CliConnection& connection, const Profile& profile, CsvFile& csv, RepeatTally& tally) {
  bool text = !connection.Json() && !connection.OneOfSeveral();
  RepeatReport report;
  report.unreadable = [&](const std::string& serial) {
    if (!connection.Json())
      PrintLine(serial::PortName(connection.State().ScanCommNo) + " " + serial + ": answers but cannot be read; trying again");
  };
  report.found = [&](const ModuleReadout& module) {
    if (text) PrintFound(module);
  };
  report.record = [&](const ApplyRecord& record) { return Report(connection, csv, record); };
  report.name = [&](const ApplyRecord& record) { return RecordName(connection, record); };
  report.waiting = [&] {
    if (text) PrintLine("waiting for the next module");
  };
  ProvisionEachModule(connection, profile, report, tally);
}

std::string TallyText(const RepeatTally& t, const char* skipped = "skipped") {
  std::string text = "provisioned " + std::to_string(t.provisioned) + ", failed " + std::to_string(t.failed) + ", " +
                     skipped + " " + std::to_string(t.skipped);
  return t.stopped ? text + ", stopped " + std::to_string(t.stopped) : text;
}

JsonObject TallyJson(JsonObject json, const RepeatTally& t) {
  json.Add("provisioned", t.provisioned).Add("failed", t.failed).Add("skipped", t.skipped);
  return json.Add("stopped", t.stopped).Add("unrecorded", t.unrecorded);
}

// The line that names the modules whose records are missing from the file.
void PrintUnrecorded(const RepeatTally& t, const CsvFile& csv) {
  std::string names;
  for (const std::string& name : t.unrecorded) names += (names.empty() ? "" : ", ") + name;
  if (!names.empty()) PrintLine("records missing from " + text::ShownText(csv.Path()) + ": " + names);
}

ExitCode ApplyRepeatedly(CliConnection& connection, const Profile& profile, CsvFile& csv) {
  RepeatTally tally;
  bool text = !connection.Json();
  if (text) PrintLine("waiting for modules; Ctrl+C ends");
  ProvisionEachModule(connection, profile, csv, tally);
  ExitCode code = TallyExitCode(tally);
  if (text) {
    PrintLine(TallyText(tally, "skipped (already as the profile says)"));
    PrintUnrecorded(tally, csv);
  } else {
    PrintLine(TallyJson(JsonObject().Add("subcommand", "apply"), tally).Add("exitCode", static_cast<int>(code)).Text());
  }
  return code;
}

std::string SameDeviceText(const BenchPort& port) {
  return serial::PortName(port.port) + (port.device ? " (" + text::ShownText(*port.device) + ")" : "") + ": same device as " +
         serial::PortName(port.sameDeviceAs);
}

// The bench's end: the totals, then each port's.
ExitCode PrintBenchSummary(const CliSession& session, const std::vector<BenchPort>& bench,
                           const std::vector<RepeatTally>& tallies, const CsvFile& csv) {
  RepeatTally total;
  for (const RepeatTally& t : tallies) {
    total.provisioned += t.provisioned;
    total.failed += t.failed;
    total.skipped += t.skipped;
    total.stopped += t.stopped;
    total.unrecorded.insert(total.unrecorded.end(), t.unrecorded.begin(), t.unrecorded.end());
  }
  ExitCode code = TallyExitCode(total);
  if (!session.Json()) {
    PrintLine(TallyText(total));
    for (size_t i = 0; i < bench.size(); ++i)
      PrintLine(bench[i].sameDeviceAs ? SameDeviceText(bench[i]) : serial::PortName(bench[i].port) + ": " + TallyText(tallies[i]));
    PrintUnrecorded(total, csv);
    return code;
  }
  std::vector<JsonObject> perPort;
  for (size_t i = 0; i < bench.size(); ++i) {
    JsonObject port = JsonObject().Add("port", bench[i].port);
    perPort.push_back(bench[i].sameDeviceAs ? port.Add("sameDeviceAs", bench[i].sameDeviceAs) : TallyJson(port, tallies[i]));
  }
  JsonObject summary = JsonObject().Add("subcommand", "apply").Add("exitCode", static_cast<int>(code));
  PrintLine(TallyJson(summary, total).Add("ports", perPort).Text());
  return code;
}

// apply --ports: every port at once, one CSV file for all. A port whose
// device a lower port has is said so at once and not provisioned again.
ExitCode ApplyOnBench(CliSession& session, const Profile& profile, CsvFile& csv) {
  const CliOptions& options = session.Options();
  std::vector<BenchPort> bench = ResolveBench(options.ports);
  std::vector<RepeatTally> tallies(bench.size());
  if (options.repeat && !options.json) PrintLine("waiting for modules on each port; Ctrl+C ends");
  for (const BenchPort& port : bench) {
    if (!port.sameDeviceAs) continue;
    if (!options.json) PrintLine(SameDeviceText(port));
    else PrintLine(JsonObject().Add("port", port.port).Add("device", text::ShownText(port.device.value_or("")))
                       .Add("sameDeviceAs", port.sameDeviceAs).Text());
  }
  session.RunOnPorts(bench, [&](CliConnection& connection, size_t index) {
    RepeatTally& tally = tallies[index];
    if (options.repeat) {
      ProvisionEachModule(connection, profile, csv, tally);
      return;
    }
    bool recorded = false;
    ApplyRecord record = ApplyOnce(connection, profile, csv, recorded);
    CountRecord(tally, record, recorded ? std::string() : RecordName(connection, record));
  });
  return PrintBenchSummary(session, bench, tallies, csv);
}
}  // namespace

ExitCode RunApplyCommand(CliSession& session) {
  const CliOptions& options = session.Options();
  std::string error;
  std::optional<Profile> profile = LoadProfile(options.profilePath, error);
  std::string csvPath = RecordFilePath(options.csvPath, options.profilePath);
  // The records must never land in the profile itself.
  if (profile && SameFile(csvPath, options.profilePath)) error = "give the record file with --csv FILE";
  std::unique_ptr<CsvFile> csv = error.empty() ? CsvFile::Open(csvPath, kApplyCsvHeader, error) : nullptr;
  if (!profile || !csv) {
    PrintErrorLine("rt420ctl: " + error);
    return kExitUsage;
  }
  if (!options.ports.empty()) return ApplyOnBench(session, *profile, *csv);
  CliConnection& connection = session.Connection();
  if (options.repeat) return ApplyRepeatedly(connection, *profile, *csv);
  bool recorded = false;
  ExitCode code = ApplyOnce(connection, *profile, *csv, recorded).code;
  return recorded ? code : kExitModule;
}
