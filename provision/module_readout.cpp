// SPDX-License-Identifier: MIT
#include "module_readout.h"

#include <algorithm>

#include "line_settings.h"
#include "setting_words.h"
#include "two_digits.h"

ModuleSettings TargetSettings(const ModuleSettings& before, const Profile& p) {
  ModuleSettings t = before;
  if (p.id1) t.id1 = text::TwoDigits(*p.id1);
  if (p.id2) t.id2 = text::TwoDigits(*p.id2);
  if (p.lineSettingIndex) t.lineSettingIndex = *p.lineSettingIndex;
  if (p.keyCount) t.keyCount = text::TwoDigits(*p.keyCount);
  if (p.modeIndex) t.modeIndex = *p.modeIndex;
  if (p.rs485Index) t.rs485Index = *p.rs485Index;
  return t;
}

std::string SettingsThatDiffer(const ModuleSettings& want, const ModuleReadout& before, const ModuleReadout& after) {
  const ModuleSettings& got = after.settings;
  std::vector<std::pair<const char*, bool>> checks = {
      {"serial number", after.serial != before.serial}, {"id1", want.id1 != got.id1},
      {"id2", want.id2 != got.id2},                     {"line-setting", want.lineSettingIndex != got.lineSettingIndex},
      {"key-count", want.keyCount != got.keyCount},     {"mode", want.modeIndex != got.modeIndex},
      {"rs485", want.rs485Index != got.rs485Index}};
  std::string names;
  for (const auto& [name, differs] : checks)
    if (differs) names += (names.empty() ? "" : " ") + std::string(name);
  return names;
}

std::vector<std::string> SettingsFields(const ModuleSettings& s, bool known) {
  if (!known) return std::vector<std::string>(6);
  bool inList = s.lineSettingIndex >= 0 && s.lineSettingIndex < serial::kLineSettingCount;
  return {s.id1, s.id2, inList ? serial::kLineSettings[s.lineSettingIndex] : "?", s.keyCount, ModeName(s.modeIndex),
          Rs485Name(s.rs485Index)};
}

ModuleReadout WithWritten(const ModuleReadout& before, const std::vector<WrittenValue>& written) {
  ModuleReadout after = before;
  ModuleSettings& s = after.settings;
  for (const WrittenValue& v : written) {
    if (v.key == "id1") s.id1 = v.value;
    else if (v.key == "id2") s.id2 = v.value;
    else if (v.key == "key-count") s.keyCount = v.value;
    else if (v.key == "mode") s.modeIndex = ParseModeName(v.value).value_or(-1);
    else if (v.key == "rs485") s.rs485Index = ParseRs485(v.value).value_or(-1);
    else if (v.key == "line-setting") {
      s.lineSettingIndex = ParseLineSettingChoice(v.value).value_or(-1);
      after.lineSetting = v.value;
    }
  }
  return after;
}

std::vector<WrittenValue> NotWritten(const std::vector<WrittenValue>& wanted,
                                     const std::vector<WrittenValue>& accepted) {
  std::vector<WrittenValue> missing;
  for (const WrittenValue& v : wanted)
    if (std::find(accepted.begin(), accepted.end(), v) == accepted.end()) missing.push_back(v);
  return missing;
}
