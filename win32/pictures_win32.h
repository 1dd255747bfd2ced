// SPDX-License-Identifier: MIT
#pragma once
// The pictures of the Win32 window's buttons that the shared form describes
// (form_table.h), drawn with GDI onto the button face.

#include <windows.h>

#include "form_table.h"

// The picture's bitmap at the screen's scale, or nullptr for a picture the
// window does not draw. The caller owns it.
HBITMAP TextPictureBitmap(const form::TextPicture& picture);
// The text picture of a button's picture, or nullptr.
const form::TextPicture* TextPictureOf(form::Picture picture);
// The picture from the program's resources, at its own size (not the
// system's icon size); nullptr when
// the program carries none for it. Shared: never destroyed.
HICON ResourcePicture(form::Picture picture);
