// SPDX-License-Identifier: MIT
#include "settings_store.h"

#include <cstdint>

#include "catalogue.h"
#include "port_names.h"
#include "settings_medium.h"

namespace {

constexpr const char* kStoreKey = "Software\\TAVIX\\Corvel";
constexpr const char* kPortTableKey = "Software\\TAVIX\\Corvel\\Ports";

constexpr const char* kScanCommNo = "ScanCommNo";
constexpr const char* kScanBaudRate = "ScanBaudRate";
constexpr const char* kScanBaudRateNo = "ScanBaudRateNo";
constexpr const char* kLanguageFlag = "LanguageFlag";

void SetDefaults(ScanResult& scan) {
  scan = ScanResult{};
  Language.LanguageName = LanguageNameOf(0);
  Language.LanguageIndex = 0;
}

// A stored value of the expected type, or its default when the value is
// missing. nullopt (the value exists with another type) ends the reading.
std::optional<int32_t> ReadInteger(SettingsKey& key, const char* name, int32_t fallback) {
  if (!key.HasValue(name)) return fallback;
  auto value = key.ReadDword(name);
  if (!value) return std::nullopt;
  return static_cast<int32_t>(*value);
}

std::optional<std::string> ReadText(SettingsKey& key, const char* name, const std::string& fallback) {
  if (!key.HasValue(name)) return fallback;
  return key.ReadString(name);
}

// The language index for a stored name: exact, case-sensitive comparison;
// any other text selects English but stays as the name.
int LanguageIndexOf(const std::string& name) {
  int index = 0;
  if (name == LanguageNameOf(1)) index = 1;
  if (name == LanguageNameOf(2)) index = 2;
  return index;
}

// Reads the four values in their fixed order, each into memory as soon as it
// is read, and stops at the first one of the wrong type.
void ReadStoredValues(SettingsKey& key, ScanResult& scan) {
  auto commNo = ReadInteger(key, kScanCommNo, 0);
  if (!commNo) return;
  scan.ScanCommNo = *commNo;

  auto baudRate = ReadText(key, kScanBaudRate, kDefaultLineSetting);
  if (!baudRate) return;
  scan.ScanBaudRate = *baudRate;

  auto baudRateNo = ReadInteger(key, kScanBaudRateNo, kDefaultLineSettingNo);
  if (!baudRateNo) return;
  scan.ScanBaudRateNo = *baudRateNo;

  auto languageName = ReadText(key, kLanguageFlag, LanguageNameOf(0));
  if (!languageName) return;
  Language.LanguageName = *languageName;
  Language.LanguageIndex = LanguageIndexOf(*languageName);
}

// Writes the scan result in its fixed order as one write: a port from one
// scan with the line setting of another would make the next quick try miss.
void WriteScanResult(SettingsKey& key, const ScanResult& scan) {
  key.WriteValues({{kScanCommNo, static_cast<uint32_t>(scan.ScanCommNo)},
                   {kScanBaudRateNo, static_cast<uint32_t>(scan.ScanBaudRateNo)},
                   {kScanBaudRate, scan.ScanBaudRate}});
}

}  // namespace

// Every failure of the store, an exhausted allocation included, is swallowed:
// the program goes on with the defaults or with what it holds in memory.
void LoadSettings(ScanResult& scan) {
  SetDefaults(scan);
  try {
    auto key = OpenSettingsKey(kStoreKey, false);
    if (key) ReadStoredValues(*key, scan);
  } catch (...) {
  }
}

void SaveScanResult(const ScanResult& scan) {
  try {
    auto key = OpenSettingsKey(kStoreKey, true);
    if (key) WriteScanResult(*key, scan);
  } catch (...) {
  }
}

void SaveLanguage() {
  try {
    auto key = OpenSettingsKey(kStoreKey, true);
    if (key) key->WriteString(kLanguageFlag, Language.LanguageName);
  } catch (...) {
  }
}

std::string SettingsLocation() { return SettingsMediumLocation(); }

PortTableAnswer ReadPortTable(const std::string& name) {
  try {
    auto key = OpenSettingsKey(kPortTableKey, false);
    if (!key) return SettingsMediumUnreadable() ? PortTableAnswer::Unreadable() : PortTableAnswer{};
    if (key->HasValue(name)) {
      std::optional<std::string> path = key->ReadString(name);
      return path ? PortTableAnswer(std::move(path)) : PortTableAnswer::Unreadable();
    }
    return key->HasUnreadableValue(name) ? PortTableAnswer::Unreadable() : PortTableAnswer{};
  } catch (...) {
    // Not knowing the table is no reason to guess a device.
    return PortTableAnswer::Unreadable();
  }
}

std::optional<std::string> PortTableEntry(const std::string& name) {
  PortTableAnswer answer = ReadPortTable(name);
  if (answer.kind != PortTableAnswer::Kind::Entry) return std::nullopt;
  return answer.path;
}

void InstallPortTable() { SetPortTable(ReadPortTable); }
