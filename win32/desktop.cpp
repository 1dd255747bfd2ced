// SPDX-License-Identifier: MIT
#include "desktop.h"

#include <windows.h>

bool DesktopAvailable(std::string& why) {
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();
  if (station != nullptr && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      (flags.dwFlags & WSF_VISIBLE) != 0) {
    return true;
  }
  why = "no desktop to show the window on (started as a service or without a logged-on user)";
  return false;
}
