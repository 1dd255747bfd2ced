#include "profile.h"

#include <fstream>
#include <iterator>

#include "cli_options.h"

namespace {
constexpr size_t kMaxProfileBytes = 64 * 1024;
constexpr size_t kMaxLineBytes = 1024;
constexpr int kMinId = 1, kMaxId = 99, kMaxKeyCount = 20;

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Sets one setting; false with the reason (without the line's place).
bool SetValue(const std::string& key, const std::string& value, Profile& p, std::string& error) {
  std::optional<int>* slot = nullptr;
  std::optional<int> parsed;
  if (key == "id1" || key == "id2") {
    slot = key == "id1" ? &p.id1 : &p.id2;
    parsed = ParseNumberInRange(value, kMinId, kMaxId);
  } else if (key == "line-setting") {
    slot = &p.lineSettingIndex;
    parsed = ParseLineSettingChoice(value);
  } else if (key == "key-count") {
    slot = &p.keyCount;
    parsed = ParseNumberInRange(value, 0, kMaxKeyCount);
  } else if (key == "mode") {
    slot = &p.modeIndex;
    parsed = ParseModeName(value);
  } else if (key == "rs485") {
    slot = &p.rs485Index;
    parsed = ParseRs485(value);
  } else {
    error = "unknown setting '" + key + "'";
    return false;
  }
  if (slot->has_value()) error = key + " given twice";
  else if (!parsed) error = "bad value '" + value + "' for " + key;
  else *slot = parsed;
  return error.empty();
}

bool ParseLine(const std::string& raw, Profile& p, std::string& error) {
  if (raw.size() > kMaxLineBytes) {
    error = "line too long";
    return false;
  }
  std::string line = Trim(raw);
  if (line.empty() || line[0] == '#' || line[0] == ';') return true;
  if (line.front() == '[') {
    if (line == "[module]") return true;
    error = "unknown section " + line + " (only [module])";
    return false;
  }
  size_t equals = line.find('=');
  if (equals == std::string::npos) {
    error = "want setting = value";
    return false;
  }
  return SetValue(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)), p, error);
}

bool NamesASetting(const Profile& p) {
  return p.id1 || p.id2 || p.lineSettingIndex || p.keyCount || p.modeIndex || p.rs485Index;
}
}  // namespace

std::optional<Profile> ParseProfile(const std::string& text, const std::string& where, std::string& error) {
  Profile profile;
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (!ParseLine(text.substr(start, end - start), profile, error)) {
      error = where + " line " + std::to_string(number) + ": " + error;
      return std::nullopt;
    }
    start = end + 1;
  }
  if (!NamesASetting(profile)) {
    error = where + " names no setting (id1, id2, line-setting, key-count, mode, rs485)";
    return std::nullopt;
  }
  return profile;
}

std::optional<Profile> LoadProfile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the profile " + path;
    return std::nullopt;
  }
  std::string text;
  text.resize(kMaxProfileBytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > kMaxProfileBytes) {
    error = "the profile " + path + " is larger than " + std::to_string(kMaxProfileBytes) + " bytes";
    return std::nullopt;
  }
  return ParseProfile(text, path, error);
}
