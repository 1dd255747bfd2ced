// SPDX-License-Identifier: MIT
// What every settings medium shares.

#include "settings_medium.h"

namespace store {

bool SettingsKey::WriteValues(const std::vector<SettingsWrite>& values) {
  for (const SettingsWrite& write : values) {
    const uint32_t* dword = std::get_if<uint32_t>(&write.value);
    bool written = dword != nullptr ? WriteDword(write.name, *dword)
                                    : WriteString(write.name, std::get<std::string>(write.value));
    if (!written) return false;
  }
  return true;
}

}  // namespace store
