// SPDX-License-Identifier: MIT
#include "provision_run.h"

#include <chrono>
#include <cstdio>
#include <functional>

#include "line_settings.h"
#include "operations.h"
#include "port_names.h"
#include "two_digits.h"

const std::vector<std::string> kApplyCsvHeader = {
    "time",           "port",       "serial",           "version",       "id1_before",
    "id2_before",     "line_setting_before", "key_count_before", "mode_before", "rs485_before",
    "id1_after",      "id2_after",  "line_setting_after", "key_count_after", "mode_after",
    "rs485_after",    "written",    "outcome"};

std::string TimestampNow() {
  using namespace std::chrono;
  // Calendar arithmetic, not gmtime: its one buffer is shared by every thread.
  const auto now = floor<milliseconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
  return stamp;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

namespace {
// Runs the operation of one write and notes it; false when it failed. A
// write that failed half-way (ID 1 taken, ID 2 not) names what the module
// took, in the outcome and in the written list.
bool Write(ProvisionConnection& connection, ApplyRecord& record, const char* name, Operation operation) {
  ExitCode code = connection.Run(operation);
  if (code == kExitOk) {
    record.written.push_back(name);
    return true;
  }
  std::vector<WrittenValue> taken = connection.Ledger().Accepted();
  for (const WrittenValue& value : taken) record.written.push_back(value.key);
  record.outcome = std::string("write failed: ") + name;
  if (!taken.empty()) record.outcome += " (written before the failure: " + DescribeValues(taken) + ")";
  record.code = code;
  return false;
}

// One write of a module's provisioning: its name in the record, and the
// operator's choice and the operation that make it (false when it failed).
struct WriteStep {
  const char* name;
  std::function<bool()> run;
};

// The ID operation writes ID 1 always and ID 2 in two-reader mode only: the
// list shows "Two Reader" exactly when ID 2 must be written.
bool WriteIds(ProvisionConnection& connection, const Profile& p, const ModuleSettings& before, ApplyRecord& record) {
  ScriptedPanel& panel = connection.Panel();
  if (p.id1) panel.ChooseId(*p.id1);
  bool id2Differs = p.id2 && text::TwoDigits(*p.id2) != before.id2;
  if (id2Differs) panel.ChooseId2(*p.id2);
  panel.SelectMode(id2Differs ? 0 : 1);
  return Write(connection, record, "ids", commands::RunSetModuleIds);
}

// The writes of the settings that differ from what the scan read, in the
// order they are made (the line setting last: the module talks at the new
// one only after it).
std::vector<WriteStep> PlannedWrites(ProvisionConnection& connection, const Profile& p, const ModuleSettings& before,
                                     ApplyRecord& record) {
  ModuleSettings target = TargetSettings(before, p);
  std::vector<WriteStep> steps;
  if (target.id1 != before.id1 || target.id2 != before.id2)
    steps.push_back({"ids", [&, before] { return WriteIds(connection, p, before, record); }});
  if (target.keyCount != before.keyCount) {
    steps.push_back({"key-count", [&] {
                       connection.Panel().ChooseKeyCount(*p.keyCount);
                       return Write(connection, record, "key-count", commands::RunSetKeyCount);
                     }});
  }
  if (target.modeIndex != before.modeIndex || target.rs485Index != before.rs485Index) {
    steps.push_back({"mode", [&, target] {
                       connection.Panel().SelectMode(target.modeIndex);
                       connection.Panel().SelectRs485(target.rs485Index);
                       return Write(connection, record, "mode", commands::RunSetModuleMode);
                     }});
  }
  if (target.lineSettingIndex != before.lineSettingIndex) {
    steps.push_back({"line-setting", [&, target] {
                       connection.Panel().SelectLineSetting(target.lineSettingIndex);
                       if (!Write(connection, record, "line-setting", commands::RunSetBaudRate)) return false;
                       // The next run (or the next module) finds the module at once.
                       connection.StoreScanResult();
                       return true;
                     }});
  }
  return steps;
}

// A stop came before steps[next]: that write and the ones after it are not
// made. What was written is in the record already.
void RecordStop(ApplyRecord& record, const std::vector<WriteStep>& steps, size_t next) {
  std::vector<std::string> left;
  for (size_t i = next; i < steps.size(); ++i) left.push_back(steps[i].name);
  record.outcome = "stopped (not written: " + Joined(left) + ")";
  record.code = kExitStopped;
}

// Makes the planned writes; false when one failed or a stop came first.
// The stop is taken before each write, never within one: the write in
// flight when it comes is finished.
bool WriteDifferences(ProvisionConnection& connection, const Profile& p, const ModuleSettings& before, ApplyRecord& record) {
  std::vector<WriteStep> steps = PlannedWrites(connection, p, before, record);
  for (size_t i = 0; i < steps.size(); ++i) {
    if (connection.StopRequested()) {
      RecordStop(record, steps, i);
      return false;
    }
    if (!steps[i].run()) return false;
  }
  return true;
}

void ReadBack(ProvisionConnection& connection, const Profile& p, ApplyRecord& record) {
  ModuleReadout after;
  ExitCode code = connection.Scan(after);
  if (code != kExitOk) {
    record.outcome = "read-back failed";
    record.code = code;
    return;
  }
  record.readBack = true;
  record.after = after.settings;
  std::string differs = SettingsThatDiffer(TargetSettings(record.module.settings, p), record.module, after);
  if (differs.empty()) return;
  record.outcome = "read-back differs: " + differs;
  record.code = kExitModule;
}
}  // namespace

ApplyRecord ProvisionModule(ProvisionConnection& connection, const Profile& p, const ModuleReadout& module) {
  ApplyRecord record;
  record.module = module;
  if (WriteDifferences(connection, p, module.settings, record)) ReadBack(connection, p, record);
  return record;
}

std::vector<std::string> ApplyCsvFields(const ApplyRecord& r, int port) {
  const ModuleReadout& m = r.module;
  std::vector<std::string> fields = {r.time, port ? serial::PortName(port) : "", m.serial, m.version};
  for (std::string& f : SettingsFields(m.settings, m.read)) fields.push_back(std::move(f));
  for (std::string& f : SettingsFields(r.after, r.readBack)) fields.push_back(std::move(f));
  fields.push_back(Joined(r.written));
  fields.push_back(r.outcome);
  return fields;
}
