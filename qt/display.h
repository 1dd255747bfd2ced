// SPDX-License-Identifier: MIT
#pragma once
// Whether the window system can be reached before the application object is
// made: without a display Qt would abort with a long diagnostic, so the
// program says in one line what is missing instead. The Qt window is the
// Linux window (display_posix.cpp); on Windows the Win32 window checks its
// desktop itself.

#include <string>

// True when a window can be shown; otherwise false and `why` says what is
// missing, in one line, without the program's name.
bool DisplayAvailable(std::string& why);
