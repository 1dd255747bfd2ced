// SPDX-License-Identifier: MIT
// Fuzz target for the settings file: arbitrary bytes stand as Corvel.reg,
// the program saves its scan result and its language into it, and loads it
// again. What must hold for every input:
// - a file that can be read keeps, after the saves, every key and value the
//   program does not own with the same data, and every line that is not one
//   of the program's own values, in order;
// - reading and writing back a file without a change gives its bytes back;
// - every file written reads back as text in the file's own encoding, and
//   the values saved are the values loaded;
// - a file that cannot be read is kept aside byte for byte, and the saves go
//   into a fresh file.
// The checks abort with a message, which the fuzzer reports as a finding.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"
#include "settings_store.h"
#include "settings_text.h"

namespace {

namespace fs = std::filesystem;

// Inputs are kept well under the file's size limit, so that the saves never
// make a readable file too large to write.
constexpr size_t kMaxInput = 64 * 1024;
const std::string kStoreKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVIX\\CORVEL";
const std::set<std::string> kOwned = {"SCANCOMMNO", "SCANBAUDRATE", "SCANBAUDRATENO", "LANGUAGEFLAG"};

// A folder of its own for the settings, on a memory file system when there
// is one (a save flushes to disk, which would slow fuzzing to a crawl).
fs::path& ConfigHome() {
  static fs::path home;
  return home;
}

void RemoveConfigHome() {
  std::error_code ignored;
  if (!ConfigHome().empty()) fs::remove_all(ConfigHome(), ignored);
}

// Removes the folder when the program ends; a failed check removes it itself,
// as abort runs no destructors.
struct ConfigHomeRemover {
  ~ConfigHomeRemover() { RemoveConfigHome(); }
};

void Check(bool holds, const char* what, const std::string& detail = {}) {
  if (holds) return;
  std::fprintf(stderr, "settings file check failed: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
  RemoveConfigHome();
  std::abort();
}

const fs::path& SettingsFolder() {
  ConfigHome();  // made first, so that it is destroyed after the remover
  static ConfigHomeRemover remover;
  static const fs::path folder = [] {
    std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
    std::string pattern = base + "/fuzz-store-XXXXXX";
    Check(::mkdtemp(pattern.data()) != nullptr, "a temporary folder can be made");
    ::setenv("XDG_CONFIG_HOME", pattern.c_str(), 1);
    ConfigHome() = pattern;
    return ConfigHome() / "TAVIX";
  }();
  return folder;
}

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t stop = text.find_first_of("\r\n", at);
    if (stop == std::string_view::npos) stop = text.size();
    lines.emplace_back(text.substr(at, stop - at));
    at = stop + ((text.substr(stop, 2) == "\r\n") ? 2 : 1);
  }
  return lines;
}

// A line that may be one of the program's own values (or the hex data
// continuing one), which a save may replace.
bool MayBeOwned(const std::string& line) {
  size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos) return false;
  if (line.find_first_not_of("0123456789abcdefABCDEF, \t\\", start) == std::string::npos) return true;
  std::string upper = line.substr(start);
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  for (const std::string& name : kOwned)
    if (upper.rfind("\"" + name + "\"", 0) == 0) return true;
  return false;
}

// Whether a written line keeps a line of the user's: the same line, or for
// hex bytes with a comment behind (the bytes may be the data of one of the
// program's own values, which a save replaces) the comment with the bytes'
// indentation.
bool Keeps(const std::string& written, const std::string& line) {
  if (written == line) return true;
  size_t comment = line.find(';');
  if (comment == std::string::npos || !MayBeOwned(line.substr(0, comment))) return false;
  size_t indent = line.find_first_not_of(" \t");
  return written == line.substr(0, indent) + line.substr(comment);
}

// Every line that is not possibly the program's own appears in the written
// text, in the same order.
void CheckLinesKept(std::string_view before, std::string_view after) {
  std::vector<std::string> written = Lines(after);
  size_t at = 0;
  for (const std::string& line : Lines(before)) {
    if (MayBeOwned(line)) continue;
    while (at < written.size() && !Keeps(written[at], line)) ++at;
    Check(at < written.size(), "every line of the user's is kept, in order", line);
    ++at;
  }
}

// The values after the saves: the program's own as saved, every other one
// as it was, nothing else.
void CheckValuesKept(const store::RegText::Contents& before, const store::RegText::Contents& after,
                     const store::ScanResult& scan, const std::string& language) {
  for (const auto& [key, values] : before)
    for (const auto& [name, value] : values) {
      if (key == kStoreKey && kOwned.count(name) != 0) continue;
      Check(after.count(key) != 0 && after.at(key).count(name) != 0, "a value the program does not own is kept",
            key + " " + name);
      Check(after.at(key).at(name) == value, "a value the program does not own keeps its data", key + " " + name);
    }
  for (const auto& [key, values] : after)
    for (const auto& [name, value] : values)
      Check((key == kStoreKey && kOwned.count(name) != 0) || (before.count(key) != 0 && before.at(key).count(name) != 0),
            "no value appears that nobody wrote", key + " " + name);
  const auto& owned = after.at(kStoreKey);
  Check(owned.at("SCANCOMMNO") == store::RegValue{store::RegType::Dword, "", static_cast<uint32_t>(scan.ScanCommNo)},
        "ScanCommNo saved");
  Check(owned.at("SCANBAUDRATE") == store::RegValue{store::RegType::String, scan.ScanBaudRate, 0},
        "ScanBaudRate saved");
  Check(owned.at("SCANBAUDRATENO") ==
            store::RegValue{store::RegType::Dword, "", static_cast<uint32_t>(scan.ScanBaudRateNo)},
        "ScanBaudRateNo saved");
  Check(owned.at("LANGUAGEFLAG") == store::RegValue{store::RegType::String, language, 0}, "LanguageFlag saved");
}

void Save(const store::ScanResult& scan, const std::string& language) {
  store::SaveScanResult(scan);
  catalogue::Language.LanguageName = language;
  store::SaveLanguage();
}

void CheckLoaded(const store::ScanResult& scan, const std::string& language) {
  store::ScanResult loaded;
  store::LoadSettings(loaded);
  Check(loaded.ScanCommNo == scan.ScanCommNo && loaded.ScanBaudRate == scan.ScanBaudRate &&
            loaded.ScanBaudRateNo == scan.ScanBaudRateNo && catalogue::Language.LanguageName == language,
        "the values saved are the values loaded");
}

// A file that can be read: saved into, keeping everything else.
void CheckReadable(const std::string& bytes, const store::DecodedText& decoded, const store::ScanResult& scan,
                   const std::string& language) {
  store::TextEncoding encoding = decoded.encoding;
  Check(store::EncodeSettingsText(decoded.text, encoding) == bytes,
        "a file read and written back unchanged keeps its bytes");
  store::RegText before(decoded.text);
  Check(before.Text() == decoded.text, "a file parsed and written back unchanged keeps its text");
  Save(scan, language);

  std::string why;
  std::optional<store::DecodedText> written =
      store::DecodeSettingsText(ReadBytes(SettingsFolder() / "Corvel.reg"), why);
  Check(written.has_value(), "the file written reads back as text");
  Check(written->encoding == decoded.encoding, "the file written keeps its encoding");
  CheckLinesKept(decoded.text, written->text);
  CheckValuesKept(before.AllValues(), store::RegText(written->text).AllValues(), scan, language);
  CheckLoaded(scan, language);
}

// A file that cannot be read: kept aside unchanged, a fresh file started.
void CheckUnreadable(const std::string& bytes, const store::ScanResult& scan, const std::string& language) {
  Save(scan, language);
  std::vector<fs::path> aside;
  for (const auto& entry : fs::directory_iterator(SettingsFolder()))
    if (entry.path().filename().string().rfind("Corvel.reg.unreadable-", 0) == 0) aside.push_back(entry.path());
  Check(aside.size() == 1 && ReadBytes(aside[0]) == bytes, "an unreadable file is kept aside byte for byte");
  CheckLoaded(scan, language);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  const fs::path& folder = SettingsFolder();
  fs::remove_all(folder);
  fs::create_directories(folder);
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(folder / "Corvel.reg", std::ios::binary) << bytes;

  // Values that differ from input to input, so that a value left over from
  // the file is not mistaken for the one saved.
  const store::ScanResult scan{static_cast<int32_t>(size) - 7, "line " + std::to_string(size % 97),
                               static_cast<int32_t>(size % 13)};
  const std::string language = size % 3 == 0 ? "ChineseGB" : "Language \\ \"" + std::to_string(size) + "\"";
  std::string why;
  if (std::optional<store::DecodedText> decoded = store::DecodeSettingsText(bytes, why)) {
    CheckReadable(bytes, *decoded, scan, language);
  } else {
    CheckUnreadable(bytes, scan, language);
  }
  return 0;
}
