// SPDX-License-Identifier: MIT
#pragma once
// The medium below the settings store: a tree of keys holding named DWORD and
// string values, like the registry below HKEY_LOCAL_MACHINE. Platform file:
// settings_medium_posix.cpp (a registry-export text file),
// settings_medium_win32.cpp (the registry itself).
//
// Key paths are given below the root, parts separated by a backslash
// ("Software\TAVIX\Corvel"). Key names and value names compare without regard
// to letter case. No call throws; every failure is reported in the result.
//
// Threads: every call here is safe from several threads at once; an open key
// belongs to the thread that opened it. Each write of a key (WriteValues
// included) is one read-change-write under the medium's lock where it has
// one, so writers in one program exclude each other as writers in two
// programs do. A notice about the medium is told once per run, whichever
// thread meets it first.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace store {

// Symbolic links followed when resolving a path, as the system itself does.
inline constexpr int kMaxLinkHops = 40;

// One value of a write that belongs together with others (WriteValues).
struct SettingsWrite {
  std::string name;
  std::variant<uint32_t, std::string> value;  // a DWORD or a string
};

// An open key. Destroying it closes the key.
class SettingsKey {
 public:
  virtual ~SettingsKey() = default;

  virtual bool HasValue(const std::string& name) = 0;
  // nullopt when the value is missing or is not a DWORD.
  virtual std::optional<uint32_t> ReadDword(const std::string& name) = 0;
  // nullopt when the value is missing or is not a string.
  virtual std::optional<std::string> ReadString(const std::string& name) = 0;
  // Creates or replaces the value; false when the medium refused it.
  virtual bool WriteDword(const std::string& name, uint32_t value) = 0;
  virtual bool WriteString(const std::string& name, const std::string& value) = 0;

  // Writes values that belong together, in the given order. A medium that
  // can (the settings file) writes them in one change, so that no reader and
  // no other writer ever sees some of them without the others, and either
  // all are written or none. This default writes them one after the other
  // and stops at the first refused one.
  virtual bool WriteValues(const std::vector<SettingsWrite>& values);

  // True when the key holds something under this name that the medium cannot
  // read, such as a hand-edited line it does not understand. HasValue is
  // false for such a name. A medium that cannot hold such things (the
  // registry) keeps this default.
  virtual bool HasUnreadableValue(const std::string& name) {
    (void)name;
    return false;
  }
};

// Opens the key at path. With create, a missing key is made (and whatever it
// needs above it). nullptr when the key is missing (without create) or the
// medium cannot be used.
std::unique_ptr<SettingsKey> OpenSettingsKey(const std::string& path, bool create);

// True while the medium exists but cannot be read at all (a settings file
// that is binary, too large, a folder, or refused to this user), so that a
// failed open does not pass for an empty medium. A medium that is either
// readable or absent (the registry) answers false.
bool SettingsMediumUnreadable();

// Where the medium keeps the keys, in words a user can follow.
std::string SettingsMediumLocation();

// The longest a save waits for another program's lock on the medium before
// it gives up (5 s). Tests shorten it; a medium without a lock ignores it.
void SetSettingsLockLimit(std::chrono::milliseconds limit);

}  // namespace store
