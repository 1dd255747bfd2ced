// SPDX-License-Identifier: MIT
// rt420ctl scan: the scan as the window runs it, then what it read; with
// --save-profile FILE also that as a profile for apply.
#include <optional>
#include <utility>
#include <vector>

#include "line_settings.h"
#include "module_steps.h"
#include "profile.h"
#include "subcommands.h"

namespace {
// What the scan read as a profile's text. Each value is kept only when the
// profile reader takes it, so that apply reads back exactly these values; a
// value it refuses (an ID 00, say) is left out, with a comment, and apply
// then leaves that setting as it finds it.
std::string ProfileTextOf(const ModuleReadout& r) {
  const ModuleSettings& s = r.settings;
  bool lineSettingKnown = s.lineSettingIndex >= 0 && s.lineSettingIndex < serial::kLineSettingCount;
  const std::pair<const char*, std::string> values[] = {
      {"id1", s.id1},
      {"id2", s.id2},
      {"line-setting", lineSettingKnown ? serial::kLineSettings[s.lineSettingIndex] : "?"},
      {"key-count", s.keyCount},
      {"mode", ModeName(s.modeIndex)},
      {"rs485", Rs485Name(s.rs485Index)}};
  std::string comments = "# read by rt420ctl scan from module " + r.serial + " (version " + r.version + ")\n";
  std::string settings = "[module]\n";
  for (const auto& [name, value] : values) {
    std::string line = std::string(name) + " = " + value;
    std::string refused;
    if (ParseProfile(line, name, refused)) settings += line + "\n";
    else comments += "# " + std::string(name) + " left out: the module holds " + value + "\n";
  }
  return comments + settings;
}

// Writes the profile of what the scan read; false with the reason.
bool SaveProfile(ProfileFile& file, const ModuleReadout& readout, std::string& error) {
  std::string text = ProfileTextOf(readout);
  // A module whose every value was left out gives a profile apply refuses.
  if (!ParseProfile(text, file.Path(), error)) return false;
  return file.Commit(text, error);
}
}  // namespace

ExitCode RunScanCommand(CliConnection& connection) {
  const std::string& savePath = connection.Options().saveProfilePath;
  // Made before the scan: a file that cannot be written is known before
  // anything is sent, and nothing is left behind when the scan misses.
  std::optional<ProfileFile> profileFile;
  if (!savePath.empty()) {
    profileFile.emplace(savePath);
    if (!profileFile->OpenError().empty()) {
      PrintErrorLine("rt420ctl: " + profileFile->OpenError());
      return kExitUsage;
    }
  }
  ModuleReadout readout;
  ExitCode code = ScanModule(connection, readout);
  std::string saveError;
  bool saved = code == kExitOk && profileFile && SaveProfile(*profileFile, readout, saveError);
  if (!saveError.empty()) code = kExitUsage;
  if (connection.Json()) {
    JsonObject result = OutcomeJson(connection, code);
    if (readout.read) result.Add("module", ReadoutJson(readout));
    if (saved) result.Add("profile", savePath);
    PrintLine(result.Text());
  } else if (readout.read) {
    PrintReadout(readout);
    if (saved) PrintLine("profile saved to " + savePath);
  }
  if (!saveError.empty()) PrintErrorLine("rt420ctl: " + saveError);
  return code;
}
