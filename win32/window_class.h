// SPDX-License-Identifier: MIT
#pragma once
// The program's window classes: each registered once, with the arrow
// cursor, on first use.

#include <windows.h>

// Registers the class unless the program has registered it already.
// background: the class brush (nullptr: the window paints it all itself).
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background = nullptr, HICON icon = nullptr);
