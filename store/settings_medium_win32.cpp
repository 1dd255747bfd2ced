// SPDX-License-Identifier: MIT
// The settings medium on the Windows registry: keys below
// HKEY_LOCAL_MACHINE, opened with full access, holding REG_DWORD and REG_SZ
// values.
//
// Two choices for current Windows:
//
// - The registry's 32-bit view (KEY_WOW64_32KEY) is used by every build. On
//   64-bit Windows a 32-bit program's HKEY_LOCAL_MACHINE\Software is
//   Software\WOW6432Node; with the same view a 64-bit build reads and writes
//   the very key that 32-bit builds and earlier installations use. (On
//   32-bit Windows the flag changes nothing.)
//
// - Only administrators may write below HKEY_LOCAL_MACHINE\Software. For a
//   standard user the machine key does not open with full access, and the
//   scan result and the language would never be stored, without a word. The
//   machine key is then opened for reading only, and the same key below
//   HKEY_CURRENT_USER takes the writes (it is created when a write needs
//   it). Each value is read from the user's key when that key holds it, else
//   from the machine key: what a standard user stored is there at the next
//   start, and what was stored for the machine still serves wherever the
//   user has stored nothing. A write that does reach the machine key removes
//   the same value from the user's key, so the newest write is always the
//   one read.
//
// Failures are reported in the results (the store swallows them); nothing
// throws. Strings are bounded on reading.

#include <windows.h>

#include <utility>

#include "settings_medium.h"

namespace store {

namespace {

constexpr REGSAM kView = KEY_WOW64_32KEY;
// Longer strings are not read (the store's texts are a few bytes).
constexpr DWORD kMaxStringBytes = 4096;

// An open registry key, closed when the object goes.
class KeyHandle {
 public:
  KeyHandle() = default;
  explicit KeyHandle(HKEY key) : key_(key) {}
  ~KeyHandle() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  KeyHandle(KeyHandle&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  KeyHandle& operator=(KeyHandle&& other) noexcept {
    std::swap(key_, other.key_);
    return *this;
  }
  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

KeyHandle OpenKey(HKEY root, const std::string& path, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, access | kView, &key) != ERROR_SUCCESS) return {};
  return KeyHandle(key);
}

// Opens the key, making it and whatever it needs above it when missing.
KeyHandle CreateKey(HKEY root, const std::string& path, REGSAM access) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access | kView, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return {};
  return KeyHandle(key);
}

bool HoldsValue(const KeyHandle& key, const std::string& name) {
  return key && RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

class RegistryKey final : public SettingsKey {
 public:
  // machine: the machine's key (null when missing), writable when it opened
  // with full access; user: the user's key with full access (null when
  // missing).
  RegistryKey(KeyHandle machine, bool machineWritable, KeyHandle user)
      : machine_(std::move(machine)), machineWritable_(machineWritable), user_(std::move(user)) {}

  bool HasValue(const std::string& name) override { return HoldsValue(user_, name) || HoldsValue(machine_, name); }

  std::optional<uint32_t> ReadDword(const std::string& name) override {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(ReadFrom(name), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
      return std::nullopt;
    if (type != REG_DWORD || size != sizeof value) return std::nullopt;
    return value;
  }

  // REG_EXPAND_SZ is a string too (as regedit may write it); it is taken as
  // it stands. The text ends at its first NUL.
  std::optional<std::string> ReadString(const std::string& name) override {
    std::string buffer(kMaxStringBytes, '\0');
    DWORD type = 0;
    DWORD size = kMaxStringBytes;
    if (RegQueryValueExA(ReadFrom(name), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
      return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    buffer.resize(std::min<size_t>(size, buffer.size()));
    return buffer.substr(0, buffer.find('\0'));
  }

  bool WriteDword(const std::string& name, uint32_t value) override {
    DWORD data = value;
    return Write(name, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
  }

  // A NUL inside the text could not be read back: refused.
  bool WriteString(const std::string& name, const std::string& value) override {
    if (value.find('\0') != std::string::npos || value.size() >= kMaxStringBytes) return false;
    return Write(name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
  }

 private:
  // The key a value is read from; a null key makes the query fail.
  HKEY ReadFrom(const std::string& name) const {
    if (HoldsValue(user_, name) || !machine_) return user_.get();
    return machine_.get();
  }

  bool Write(const std::string& name, DWORD type, const BYTE* data, DWORD size) {
    if (machineWritable_) {
      if (RegSetValueExA(machine_.get(), name.c_str(), 0, type, data, size) != ERROR_SUCCESS) return false;
      if (user_) RegDeleteValueA(user_.get(), name.c_str());
      return true;
    }
    return user_ && RegSetValueExA(user_.get(), name.c_str(), 0, type, data, size) == ERROR_SUCCESS;
  }

  KeyHandle machine_;
  bool machineWritable_;
  KeyHandle user_;
};

}  // namespace

std::unique_ptr<SettingsKey> OpenSettingsKey(const std::string& path, bool create) {
  KeyHandle machine = create ? CreateKey(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS)
                             : OpenKey(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS);
  const bool machineWritable = static_cast<bool>(machine);
  // Refused full access: what the machine's key holds stays readable.
  if (!machine) machine = OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ);
  KeyHandle user = create && !machineWritable ? CreateKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS)
                                              : OpenKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS);
  if (!machine && !user) return nullptr;
  return std::make_unique<RegistryKey>(std::move(machine), machineWritable, std::move(user));
}

std::string SettingsMediumLocation() {
  return "the registry's 32-bit view below HKEY_LOCAL_MACHINE\\Software, and below HKEY_CURRENT_USER\\Software "
         "where the machine's key cannot be written";
}

// The registry is there or the key is absent; it is never half readable.
bool SettingsMediumUnreadable() { return false; }

// The registry has no lock of its own to wait for.
void SetSettingsLockLimit(std::chrono::milliseconds) {}

}  // namespace store
