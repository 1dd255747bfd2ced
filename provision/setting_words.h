// SPDX-License-Identifier: MIT
#pragma once
// The words in which a provisioning run takes and gives a module's settings:
// the command line, profiles, CSV records and JSON all use them. Words are
// taken in any case ("TWO", "19200,E,8,1"); nullopt for anything else.

#include <optional>
#include <string>

// The longest number taken: nine digits cannot overflow an int.
inline constexpr size_t kMaxDigits = 9;

std::string LowerCase(std::string text);
// A decimal number from low to high, digits only.
std::optional<int> ParseNumberInRange(const std::string& text, int low, int high);
std::optional<int> ParseLineSettingChoice(const std::string& text);  // text or index 0-11
std::optional<int> ParseModeName(const std::string& text);           // "two" 0, "one" 1
std::optional<int> ParseRs485(const std::string& text);              // "24" 0, "32" 1, "40" 2

// "two", "one"; "24", "32", "40"; "?" for anything else.
std::string ModeName(int modeIndex);
std::string Rs485Name(int rs485Index);
// "two readers", "one reader": the mode in every line printed for people.
std::string ModeWords(int modeIndex);
