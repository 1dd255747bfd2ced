// SPDX-License-Identifier: MIT
#include "repeat_run.h"

#include "shown_text.h"

void CountRecord(RepeatTally& tally, const ApplyRecord& record, const std::string& unrecordedName) {
  if (record.code == kExitStopped) tally.stopped += 1;
  else if (record.code != kExitOk) tally.failed += 1;
  else if (record.written.empty()) tally.skipped += 1;
  else tally.provisioned += 1;
  if (!unrecordedName.empty()) tally.unrecorded.push_back(unrecordedName);
}

ExitCode TallyExitCode(const RepeatTally& t) {
  if (t.failed || !t.unrecorded.empty()) return kExitModule;
  return t.stopped ? kExitStopped : kExitOk;
}

namespace {
// What the run has seen on its connection since it began.
struct RepeatWatch {
  std::string lastSerial;  // the module provisioned last
  bool sawNone = true;     // no module answered since then
  std::string unreadable;  // a module that answered and has not been read since
};

enum class Arrival {
  Module,          // a module to provision, in the readout
  Unreadable,      // a new module answered and could not be read
  UnreadableGone,  // the module that could not be read was never read
  Stopped
};

// Scans quietly until something happens on the connection that the run
// must act on (Arrival).
Arrival WaitForNextModule(ProvisionConnection& connection, RepeatWatch& watch, ModuleReadout& module) {
  while (!connection.StopRequested()) {
    ExitCode code = connection.ScanQuietly(module);
    bool answered = code != kExitOk && connection.Ledger().Answered("H00M");
    // The serial number of its answer is shown before the reads fail.
    std::string serial =
        code == kExitOk ? module.serial : answered ? text::ShownText(connection.Panel().Showing().serial) : "";
    if (!watch.unreadable.empty() && serial != watch.unreadable) return Arrival::UnreadableGone;
    bool fresh = watch.sawNone || serial != watch.lastSerial;
    if (code == kExitOk && fresh) {
      watch.unreadable.clear();
      return Arrival::Module;
    }
    if (answered && fresh && watch.unreadable.empty()) {
      watch.unreadable = serial;
      return Arrival::Unreadable;
    }
    if (serial.empty()) watch.sawNone = true;
    connection.WaitForStop(kRepeatPauseMs);
  }
  return Arrival::Stopped;
}

// The record of a module that answered its search but was never read.
ApplyRecord UnreadableRecord(const ProvisionConnection& connection, const std::string& serial) {
  ApplyRecord record;
  record.module.port = connection.State().ScanCommNo;
  record.module.serial = serial;
  record.outcome = "module answered but could not be read";
  record.code = kExitModule;
  return record;
}
}  // namespace

void ProvisionEachModule(ProvisionConnection& connection, const Profile& profile, const RepeatReport& report,
                         RepeatTally& tally) {
  RepeatWatch watch;
  ModuleReadout module;
  auto record = [&](const ApplyRecord& r) {
    bool kept = report.record(r);
    CountRecord(tally, r, kept ? std::string() : report.name(r));
  };
  for (Arrival next; (next = WaitForNextModule(connection, watch, module)) != Arrival::Stopped;) {
    if (next == Arrival::Unreadable) {
      report.unreadable(watch.unreadable);
      continue;
    }
    if (next == Arrival::UnreadableGone) {
      record(UnreadableRecord(connection, watch.unreadable));
      watch.unreadable.clear();
      continue;
    }
    report.found(module);
    record(ProvisionModule(connection, profile, module));
    watch.lastSerial = module.serial;
    watch.sawNone = false;
    report.waiting();
  }
  if (!watch.unreadable.empty()) record(UnreadableRecord(connection, watch.unreadable));
}
