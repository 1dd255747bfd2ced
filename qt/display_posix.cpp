// SPDX-License-Identifier: MIT
// A display on X11 or Wayland needs DISPLAY or WAYLAND_DISPLAY; other Qt
// platforms (offscreen, vnc, eglfs, linuxfb) bring their own.

#include <cstdlib>
#include <string_view>

#include "display.h"

namespace {
bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// The platform names before any ":option" and ";fallback".
bool NeedsWindowSystem(std::string_view platforms) {
  if (platforms.empty()) return true;  // Qt's default here is xcb or wayland
  while (!platforms.empty()) {
    const size_t end = platforms.find(';');
    std::string_view entry = platforms.substr(0, end);
    entry = entry.substr(0, entry.find(':'));
    if (entry != "xcb" && !entry.starts_with("wayland")) return false;
    if (end == std::string_view::npos) break;
    platforms.remove_prefix(end + 1);
  }
  return true;
}
}  // namespace

bool DisplayAvailable(std::string& why) {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (!NeedsWindowSystem(platform ? platform : "")) return true;
  if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) return true;
  why = "no display available (DISPLAY is not set); start it from a desktop session or under Xvfb";
  return false;
}
