#pragma once
// The settings store: the scan result and the language, kept between runs in
// the key "Software\TAVIX\Corvel" (below HKEY_LOCAL_MACHINE on the original
// platform). Every failure of the store is swallowed: the program then runs on
// the defaults or on what it has in memory.
//
// - LoadSettings sets the defaults (port 0, "19200,e,8,1", index 5,
//   "English"/0), opens the key without creating it and reads ScanCommNo,
//   ScanBaudRate, ScanBaudRateNo and LanguageFlag in that order. A missing
//   value takes its default; a value of the wrong type ends the reading there.
// - SaveScanResult writes ScanCommNo, ScanBaudRateNo, ScanBaudRate in that
//   order, creating the key if needed.
// - SaveLanguage writes LanguageFlag.
// The values in memory live in Module (module_state.h) and Language
// (catalogue.h).
//
// The key's "Ports" sub-key is the port table: "COM3"="/dev/ttyUSB0". It is
// read afresh on every port open.

#include <optional>
#include <string>

void LoadSettings();
void SaveScanResult();
void SaveLanguage();

// Where the medium keeps the store, for messages and documentation.
std::string SettingsLocation();

// The port table's entry for a port name ("COM3"), read now; nullopt when
// there is none or the store cannot be read.
std::optional<std::string> PortTableEntry(const std::string& name);

// Points the link's port names at PortTableEntry.
void InstallPortTable();
