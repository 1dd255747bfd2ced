// SPDX-License-Identifier: MIT
#include "settings_store.h"

#include <cstdint>
#include <mutex>

#include "catalogue.h"
#include "port_names.h"
#include "settings_medium.h"

namespace store {

namespace {

constexpr const char* kStoreKey = "Software\\TAVIX\\Corvel";
constexpr const char* kPortTableKey = "Software\\TAVIX\\Corvel\\Ports";

constexpr const char* kScanCommNo = "ScanCommNo";
constexpr const char* kScanBaudRate = "ScanBaudRate";
constexpr const char* kScanBaudRateNo = "ScanBaudRateNo";
constexpr const char* kLanguageFlag = "LanguageFlag";

// Within the program, uses of the store take turns: a reader never meets a
// scan result of which only some values are written, on a medium without a
// lock of its own (the registry) as well. Programs exclude each other by the
// medium's own lock. A plain mutex rather than a readers' lock: the port
// opens of many connections must never keep a save waiting, and each use
// takes a millisecond or so.
std::mutex& StoreMutex() {
  static std::mutex mutex;
  return mutex;
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

// Reads the four values in their fixed order, each as soon as it is read,
// and stops at the first one of the wrong type. The language name is handed
// back rather than applied, so that it changes once per load.
void ReadStoredValues(SettingsKey& key, ScanResult& scan, std::string& languageName) {
  auto commNo = ReadInteger(key, kScanCommNo, 0);
  if (!commNo) return;
  scan.ScanCommNo = *commNo;

  auto baudRate = ReadText(key, kScanBaudRate, serial::kDefaultLineSetting);
  if (!baudRate) return;
  scan.ScanBaudRate = *baudRate;

  auto baudRateNo = ReadInteger(key, kScanBaudRateNo, serial::kDefaultLineSettingNo);
  if (!baudRateNo) return;
  scan.ScanBaudRateNo = *baudRateNo;

  auto stored = ReadText(key, kLanguageFlag, catalogue::LanguageNameOf(0));
  if (!stored) return;
  languageName = *stored;
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
// The language is set once, from the defaults or from what was read, so that
// another thread's text never meets a passing default.
void LoadSettings(ScanResult& scan) {
  ScanResult loaded;
  std::string languageName = catalogue::LanguageNameOf(0);
  try {
    std::lock_guard<std::mutex> turn(StoreMutex());
    auto key = OpenSettingsKey(kStoreKey, false);
    if (key) ReadStoredValues(*key, loaded, languageName);
  } catch (...) {
  }
  scan = std::move(loaded);
  catalogue::SetLanguageByName(languageName);
}

void SaveScanResult(const ScanResult& scan) {
  try {
    std::lock_guard<std::mutex> turn(StoreMutex());
    auto key = OpenSettingsKey(kStoreKey, true);
    if (key) WriteScanResult(*key, scan);
  } catch (...) {
  }
}

void SaveLanguage() {
  try {
    const std::string name = catalogue::CurrentLanguage().LanguageName;
    std::lock_guard<std::mutex> turn(StoreMutex());
    auto key = OpenSettingsKey(kStoreKey, true);
    if (key) key->WriteString(kLanguageFlag, name);
  } catch (...) {
  }
}

std::string SettingsLocation() { return SettingsMediumLocation(); }

serial::PortTableAnswer ReadPortTable(const std::string& name) {
  try {
    std::lock_guard<std::mutex> turn(StoreMutex());
    auto key = OpenSettingsKey(kPortTableKey, false);
    if (!key) return SettingsMediumUnreadable() ? serial::PortTableAnswer::Unreadable() : serial::PortTableAnswer{};
    if (key->HasValue(name)) {
      std::optional<std::string> path = key->ReadString(name);
      return path ? serial::PortTableAnswer(std::move(path)) : serial::PortTableAnswer::Unreadable();
    }
    return key->HasUnreadableValue(name) ? serial::PortTableAnswer::Unreadable() : serial::PortTableAnswer{};
  } catch (...) {
    // Not knowing the table is no reason to guess a device.
    return serial::PortTableAnswer::Unreadable();
  }
}

std::optional<std::string> PortTableEntry(const std::string& name) {
  serial::PortTableAnswer answer = ReadPortTable(name);
  if (answer.kind != serial::PortTableAnswer::Kind::Entry) return std::nullopt;
  return answer.path;
}

void InstallPortTable() { serial::SetPortTable(ReadPortTable); }

}  // namespace store
