// SPDX-License-Identifier: MIT
#pragma once
// A module as a scan read it, and what provisioning makes of it: the settings
// a profile asks for, the values a write put in, the settings that differ
// after a read-back, and the settings as the fields of a record.

#include <string>
#include <vector>

#include "profile.h"
#include "write_ledger.h"

// The settings a scan reads, as texts of the module's replies (escaped with
// ShownText, so plain ASCII) and list indexes.
struct ModuleSettings {
  std::string id1, id2;  // "__" when not read
  int lineSettingIndex = -1;
  std::string keyCount;
  int modeIndex = -1;   // 0 two readers, 1 one reader
  int rs485Index = -1;  // 0 "RS485 24", 1 "RS485 32", 2 "RS485 40"
  bool operator==(const ModuleSettings&) const = default;
};

struct ModuleReadout {
  bool read = false;  // a scan read the module completely
  int port = 0;
  std::string device;  // the device behind the port now, if any
  std::string lineSetting;
  std::string serial, version;
  ModuleSettings settings;
};

// The settings the profile asks for: before, with each setting the profile
// names put in.
ModuleSettings TargetSettings(const ModuleSettings& before, const Profile& profile);

// The names of what a read-back found otherwise than wanted ("serial number"
// when another module answered; "id1", "id2", "line-setting", "key-count",
// "mode", "rs485"), blank apart; empty when everything is as wanted.
std::string SettingsThatDiffer(const ModuleSettings& want, const ModuleReadout& before, const ModuleReadout& after);

// ID 1, ID 2, line setting, key count, mode, RS-485 as the words of a record;
// six empty fields when the settings are not known.
std::vector<std::string> SettingsFields(const ModuleSettings& settings, bool known);

// The readout with the written values put in: the module's state after a
// write, as far as the module acknowledged it.
ModuleReadout WithWritten(const ModuleReadout& before, const std::vector<WrittenValue>& written);

// The values in wanted that are not in accepted with the same value.
std::vector<WrittenValue> NotWritten(const std::vector<WrittenValue>& wanted,
                                     const std::vector<WrittenValue>& accepted);
