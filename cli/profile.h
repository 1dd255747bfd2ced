// SPDX-License-Identifier: MIT
#pragma once
// A provisioning profile for rt420ctl apply: a small INI file naming the
// settings a module should have. Every setting is optional, but a profile
// names at least one.
//
//   # comment (also ';', also at the end of a line)
//   [module]                     optional; no other section
//   id1 = 12                     1 to 99
//   id2 = 7                      1 to 99
//   line-setting = 38400,e,8,1   one of the twelve, or its index 0 to 11
//   key-count = 6                0 to 20
//   mode = two                   two or one
//   rs485 = 32                   24, 32 or 40
//
// Section names, keys and words are taken in any case. The file may be UTF-8
// with or without a byte-order mark, or UTF-16LE with one, as editors save it.
// The file is untrusted: it is read up to a fixed size, and an unknown or
// repeated setting, a bad value or an overlong line is an error naming the
// line and what is allowed there.

#include <optional>
#include <string>

struct Profile {
  std::optional<int> id1, id2;
  std::optional<int> lineSettingIndex;
  std::optional<int> keyCount;
  std::optional<int> modeIndex;
  std::optional<int> rs485Index;
};

// The profile in path, or nullopt with a one-line reason.
std::optional<Profile> LoadProfile(const std::string& path, std::string& error);

// The same from the file's text; where names the file in errors.
std::optional<Profile> ParseProfile(const std::string& text, const std::string& where, std::string& error);
