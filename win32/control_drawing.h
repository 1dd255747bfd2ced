// SPDX-License-Identifier: MIT
#pragma once
// The controls the Win32 window draws itself, in the colours of
// paint_resources.h:
// - the panels: raised as the value panels stand out, the status panel
//   lowered, each text centred whole (the status text beside the lamp, in a
//   smaller size of its font where it would not fit otherwise);
// - the language buttons: the system's button face (themed where a theme
//   is on, hot under the pointer) with "English" or the picture's
//   characters in their colour, dimmed while the button is disabled;
// - the status lamp: a circle on the status panel's colour.

#include <windows.h>

#include <string>

#include "form_table.h"

// Where a panel's text goes and in which font.
struct PanelText {
  RECT area;
  HFONT font;
};
PanelText PanelTextLayout(HWND panel, form::FormControl control, const std::wstring& text);
void DrawPanel(const DRAWITEMSTRUCT& item, form::FormControl control);

// A language button; hot while the pointer is over it (FollowHover).
void DrawLanguageButton(const DRAWITEMSTRUCT& item, form::FormControl control);
// Keeps track of the pointer over an owner-drawn button, so that it is drawn
// hot as a themed button is.
void FollowHover(HWND button);

// The window class of the lamp, registered once; its fill colour is the
// window's long user data (a COLORREF).
extern const wchar_t kLampClass[];
void RegisterLampClass();
