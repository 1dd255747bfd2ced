// SPDX-License-Identifier: MIT
#pragma once
// Provisioning module after module on one connection until a stop request
// (apply --repeat). The next module is one with another serial number, or
// any module after a scan that found none (the same module unplugged and
// plugged in again). A module that answers but cannot be read is a failed
// module only if it is never read: its record waits until it is read (then
// it is provisioned as any other), goes, gives way to another module, or the
// run ends; so a scan that a glitch kept from reading a module makes no
// failed record. Between two scans the run waits kRepeatPauseMs or until a
// stop. What happens goes to the front end's report; nothing here prints.

#include <functional>
#include <string>
#include <vector>

#include "provision_run.h"

// How long the run waits between two scans for the next module.
inline constexpr int kRepeatPauseMs = 1000;

// How the modules of one --repeat run, or of one port of a bench, went.
struct RepeatTally {
  int provisioned = 0;  // written and read back as the profile says
  int failed = 0;
  int skipped = 0;  // already as the profile says: nothing written
  int stopped = 0;  // a stop came before every write was made
  std::vector<std::string> unrecorded;  // whose records the file did not take
};

// Counts one record; unrecordedName is the record's name when the front end
// could not keep the record, else empty.
void CountRecord(RepeatTally& tally, const ApplyRecord& record, const std::string& unrecordedName);

// A record that is missing from the file fails the run as a failed module
// does; a stop that left writes unmade is an outcome of its own.
ExitCode TallyExitCode(const RepeatTally& tally);

// What the run tells its front end, each on the connection's thread.
struct RepeatReport {
  // A new module answered and could not be read; the run tries again.
  std::function<void(const std::string& serial)> unreadable;
  // A module to provision was read, before anything is written.
  std::function<void(const ModuleReadout& module)> found;
  // A module's record; false when the front end could not keep it.
  std::function<bool(const ApplyRecord& record)> record;
  // The name a record that was not kept is counted under.
  std::function<std::string(const ApplyRecord& record)> name;
  // A module was provisioned; the run waits for the next one.
  std::function<void()> waiting;
};

// Provisions each next module on the connection until a stop request.
void ProvisionEachModule(ProvisionConnection& connection, const Profile& profile, const RepeatReport& report,
                         RepeatTally& tally);
