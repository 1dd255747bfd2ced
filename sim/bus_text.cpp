// SPDX-License-Identifier: MIT
#include "bus_text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace sim {

namespace {

template <typename Number>
bool ParseNumber(std::string_view s, Number& out) {
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size();
}

bool ParseRate(std::string_view s, double& out) {
  // from_chars for double is not in every standard library this builds with.
  std::string text(s);
  if (text.empty() || text.find_first_not_of("0123456789.eE-+") != std::string::npos) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

bool SetChar(std::string_view value, std::string_view allowed, char& out) {
  if (value.size() != 1 || allowed.find(value[0]) == std::string_view::npos) return false;
  out = value[0];
  return true;
}

}  // namespace

bool IsModuleSetting(std::string_view key) {
  static constexpr std::string_view kKeys[] = {"id1", "id2", "serial1", "serial2", "firmware",
                                                "key", "mode", "rs485",   "line"};
  return std::find(std::begin(kKeys), std::end(kKeys), key) != std::end(kKeys);
}

bool ApplyModuleSetting(std::string_view key, std::string_view value, ModuleConfig& c) {
  if (key == "id1") c.id1 = value;
  else if (key == "id2") c.id2 = value;
  else if (key == "serial1") c.serial1 = value;
  else if (key == "serial2") c.serial2 = value;
  else if (key == "firmware") c.version = value;
  else if (key == "key") c.keyCount = value;
  else if (key == "mode") return SetChar(value, "01", c.mode);
  else if (key == "rs485") return SetChar(value, "012", c.rs485);
  else if (key == "line") return ParseNumber(value, c.lineIndex) && LineBaud(c.lineIndex) != 0;
  else return false;
  return true;
}

ModuleConfig BusModuleDefaults(size_t k) {
  ModuleConfig c;
  c.serial1 = std::to_string(12345678 + k % 10000000);
  c.serial2 = std::to_string(87654321 - k % 10000000);
  return c;
}

std::optional<ModuleConfig> ParseModuleSettings(std::string_view text, size_t k, std::string& error) {
  ModuleConfig config = BusModuleDefaults(k);
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos ||
        !ApplyModuleSetting(item.substr(0, equals), item.substr(equals + 1), config)) {
      error = "bad module setting \"" + std::string(item) + "\"";
      return std::nullopt;
    }
  }
  if (!ValidConfig(config)) {
    error = "module texts may be at most " + std::to_string(kMaxFieldLength) + " characters";
    return std::nullopt;
  }
  return config;
}

bool IsLineFaultOption(std::string_view name) {
  return name == "--ber" || name == "--jitter" || name == "--foreign-master" || name == "--stray" ||
         name == "--seed";
}

bool ApplyLineFaultOption(std::string_view name, std::string_view value, LineFaults& faults) {
  LineFaults changed = faults;
  bool parsed = false;
  if (name == "--ber") parsed = ParseRate(value, changed.bitErrorRate);
  else if (name == "--jitter") parsed = ParseNumber(value, changed.jitterMs);
  else if (name == "--foreign-master")
    parsed = ParseNumber(value, changed.foreignMasterMs) && changed.foreignMasterMs > 0;
  else if (name == "--stray") parsed = ParseNumber(value, changed.strayMs) && changed.strayMs > 0;
  else if (name == "--seed") parsed = ParseNumber(value, changed.seed);
  if (!parsed || !ValidLineFaults(changed)) return false;
  faults = changed;
  return true;
}

std::optional<CardRequest> ParseCardLine(std::string_view line) {
  const size_t space = line.find(' ');
  if (space == 0 || space == std::string_view::npos || space + 1 >= line.size()) return std::nullopt;
  return CardRequest{std::string(line.substr(0, space)), std::string(line.substr(space + 1))};
}

}  // namespace sim
