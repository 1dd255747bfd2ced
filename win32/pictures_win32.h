// SPDX-License-Identifier: MIT
#pragma once
// The pictures of the Win32 window's buttons that the shared form describes
// (form_table.h), at the screen's scale: the window's pictures grow with it.

#include <windows.h>

#include "form_table.h"

// The text picture of a button's picture (the language buttons draw its
// characters themselves), or nullptr.
const form::TextPicture* TextPictureOf(form::Picture picture);
// The picture from the program's resources at the screen's scale: the
// image of the resource's icon made for that size where it has one, else
// the nearest, scaled. nullptr when the program carries none for it. The
// caller owns it (DestroyIcon).
HICON LoadPicture(form::Picture picture);
// The picture's size at 96 DPI; zero for a picture without one.
SIZE DesignSize(form::Picture picture);
// The close picture: a cross as on a title bar's close box, in the colour,
// side pixels square. The caller owns it (DestroyIcon).
HICON MakeClosePicture(int side, COLORREF colour);
