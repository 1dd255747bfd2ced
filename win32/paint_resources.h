// SPDX-License-Identifier: MIT
#pragma once
// What the Win32 window draws with: wide texts from code-page bytes, colours
// of the shared table on this machine's colour scheme, and the fonts and
// brushes, made once and kept until the program ends.

#include <windows.h>

#include <string>

#include "form_colours.h"
#include "form_table.h"

// UTF-8 to UTF-16 for the wide API.
std::wstring Wide(const std::string& utf8);
// Code-page bytes of the current language as a one-line plain text: invalid
// bytes and control characters become U+FFFD.
std::wstring DisplayText(const std::string& bytes);
// A window's text as it shows it.
std::wstring WindowText(HWND window);
// Bytes of the system's ANSI code page (an exception's text).
std::wstring WideFromAnsi(const std::string& bytes);

// The platform's colour scheme (the system colours and whether high
// contrast is on), read on first use and again by ReadColourScheme, which
// the window calls when the system's colours or theme change.
const form::ColourScheme& ColourSchemeNow();
void ReadColourScheme();
// A control's text and background colours under that scheme, readable on
// every scheme (form_colours.h).
form::TextColours ColoursOf(form::FormControl control);
COLORREF Ref(form::Rgb colour);
form::Rgb RgbOf(COLORREF colour);
// A solid brush of the colour, made on first use.
HBRUSH BrushOf(COLORREF colour);

// The installed family that covers Latin, Simplified and Traditional
// Chinese, chosen once: the first of a fixed list that the system has.
const std::wstring& UiFontFamily();
// That family at the pixel size (at 96 DPI, scaled to the screen's) and
// weight, made on first use.
HFONT FontOf(const form::FontSpec& font);

// Pixels at 96 DPI to pixels on this screen.
int Scaled(int pixels);
