// SPDX-License-Identifier: MIT
// A window on Windows needs a visible window station: the interactive
// desktop of a logged-on user. A program started as a service, or by the
// task scheduler without a logged-on user, runs in a window station that no
// one can see, and its window would never show. Qt platforms other than the
// native one (offscreen, minimal, vnc) bring their own output.

#include <windows.h>

#include <cstdlib>
#include <string_view>

#include "display.h"

namespace {

// The platform names before any ":option" and ";fallback".
bool NeedsDesktop(std::string_view platforms) {
  if (platforms.empty()) return true;  // Qt's default here is "windows"
  while (!platforms.empty()) {
    const size_t end = platforms.find(';');
    std::string_view entry = platforms.substr(0, end);
    entry = entry.substr(0, entry.find(':'));
    if (entry != "windows" && entry != "direct2d") return false;
    if (end == std::string_view::npos) break;
    platforms.remove_prefix(end + 1);
  }
  return true;
}

bool StationVisible() {
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr) return false;
  if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) return false;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

bool DisplayAvailable(std::string& why) {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (!NeedsDesktop(platform ? platform : "")) return true;
  if (StationVisible()) return true;
  why = "no desktop to show the window on (started as a service or without a logged-on user)";
  return false;
}
