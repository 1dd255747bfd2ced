// SPDX-License-Identifier: MIT
#pragma once
// The settings store: the scan result and the language, kept between runs in
// the key "Software\TAVIX\Corvel" of the settings medium (settings_medium.h:
// below HKEY_LOCAL_MACHINE in the Windows registry, in a registry-export
// file on Linux). Every failure of the store is swallowed: the program then
// runs on the defaults or on what it has in memory.
//
// - LoadSettings sets the defaults (port 0, "19200,e,8,1", index 5,
//   "English"/0), opens the key without creating it and reads ScanCommNo,
//   ScanBaudRate, ScanBaudRateNo and LanguageFlag in that order. A missing
//   value takes its default; a value of the wrong type ends the reading there.
// - SaveScanResult writes ScanCommNo, ScanBaudRateNo, ScanBaudRate in that
//   order as one write (never some without the others where the medium can
//   tell), creating the key if needed.
// - SaveLanguage writes LanguageFlag.
// The scan result in memory is the caller's (the module operations keep it in
// their module-wide state); the language lives in Language (catalogue.h).
//
// Threads: every call here is safe from several threads at once. A save is
// one locked read-change-write of the medium: a reader in this program or
// another sees the values of one whole save, never some values of one save
// and some of another. LoadSettings sets the language once per call (through
// SetLanguageByName), never to a passing default.
//
// The key's "Ports" sub-key is the port table: "COM3"="/dev/ttyUSB0". It is
// read afresh on every port open; while it cannot be read, no port is
// numbered by enumeration.

#include <cstdint>
#include <optional>
#include <string>

#include "line_settings.h"
#include "port_names.h"

namespace store {

// Where the module was last found: port number (0 = none known), line
// setting and its index in the line-setting list.
struct ScanResult {
  int32_t ScanCommNo = 0;
  std::string ScanBaudRate = serial::kDefaultLineSetting;
  int32_t ScanBaudRateNo = serial::kDefaultLineSettingNo;
};

void LoadSettings(ScanResult& scan);
void SaveScanResult(const ScanResult& scan);
void SaveLanguage();

// Where the medium keeps the store, for messages and documentation.
std::string SettingsLocation();

// The port table's entry for a port name ("COM3"), read now; nullopt when
// there is none or the store cannot be read.
std::optional<std::string> PortTableEntry(const std::string& name);

// The port table's answer for a port name, read now: an entry (a string
// value), no entry, or Unreadable when the store exists but cannot be read
// or the entry is there but cannot be read (not a string, or a line that is
// not understood), so that the port is not guessed by enumeration.
serial::PortTableAnswer ReadPortTable(const std::string& name);

// Points the link's port names at ReadPortTable.
void InstallPortTable();

}  // namespace store
