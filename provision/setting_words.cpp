// SPDX-License-Identifier: MIT
#include "setting_words.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "line_settings.h"

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::optional<int> ParseNumberInRange(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > kMaxDigits) return std::nullopt;
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text[0] == '-' || text[0] == '+') return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<int> ParseLineSettingChoice(const std::string& text) {
  if (std::optional<int> index = ParseNumberInRange(text, 0, serial::kLineSettingCount - 1)) return index;
  std::string lower = LowerCase(text);
  for (int i = 0; i < serial::kLineSettingCount; ++i)
    if (lower == serial::kLineSettings[i]) return i;
  return std::nullopt;
}

std::optional<int> ParseModeName(const std::string& text) {
  std::string lower = LowerCase(text);
  if (lower == "two") return 0;
  if (lower == "one") return 1;
  return std::nullopt;
}

std::optional<int> ParseRs485(const std::string& text) {
  if (text == "24") return 0;
  if (text == "32") return 1;
  if (text == "40") return 2;
  return std::nullopt;
}

std::string ModeName(int modeIndex) { return modeIndex == 0 ? "two" : modeIndex == 1 ? "one" : "?"; }

std::string ModeWords(int modeIndex) { return modeIndex == 0 ? "two readers" : modeIndex == 1 ? "one reader" : "?"; }

std::string Rs485Name(int rs485Index) {
  static const char* const kNames[] = {"24", "32", "40"};
  return rs485Index >= 0 && rs485Index <= 2 ? kNames[rs485Index] : "?";
}
