// SPDX-License-Identifier: MIT
#pragma once
// Whether the window can be seen: a window needs a visible window station,
// the interactive desktop of a logged-on user. A program started as a
// service, or by the task scheduler without a logged-on user, runs in a
// window station that no one can see, and its window would never show.

#include <string>

// True when a window can be shown; otherwise false and `why` says what is
// missing, in one line, without the program's name.
bool DesktopAvailable(std::string& why);
