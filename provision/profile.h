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

#include <fstream>
#include <optional>
#include <string>
#include <vector>

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

// A profile file made atomically: the constructor creates a temporary file
// beside path, so that a folder that cannot take the file is known before
// anything else is done; Commit writes the text there and renames it over
// path. Whatever is at path stays untouched until the rename, and without a
// successful Commit the temporary file is removed again.
class ProfileFile {
 public:
  explicit ProfileFile(std::string path);
  ~ProfileFile();
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  // Empty when the temporary file was made; else why not, in one line.
  const std::string& OpenError() const { return error_; }
  // False with the reason in error.
  bool Commit(const std::string& text, std::string& error);
  const std::string& Path() const { return path_; }

 private:
  std::string path_, temporary_;
  std::ofstream out_;
  std::string error_;
  bool committed_ = false;
};
