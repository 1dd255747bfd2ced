// SPDX-License-Identifier: MIT
#pragma once
// The colours a window draws its texts in, from the control table and the
// platform's colour scheme, so that every text stays readable on every
// scheme. No toolkit here: a window reads its platform's scheme into a
// ColourScheme and asks for each control's pair.
//
// A text needs a contrast ratio of at least 4.5:1 to its background, a bold
// one 3:1. The table's colours are kept where they reach it. Where a pair
// falls short, the darker of the two colours is replaced by the lightest
// shade of its own hue, darker still, that reaches 4.5:1 (white on a pale
// title-bar blue gets a deeper blue; red on a light face a deeper red):
// bold text of the window's sizes reads well only there. Where even black
// would not do, the scheme's own text colour for that background is
// taken. With a high-contrast scheme on, every text and
// background is one of the scheme's own pairs: the highlight text on the
// highlight, the caption text on the active caption, the button text on the
// button face.

#include "form_table.h"

namespace form {

// The platform's colours that the table's roles stand for, with each one's
// text colour, and whether a high-contrast scheme is on.
struct ColourScheme {
  Rgb buttonFace, buttonText;
  Rgb highlight, highlightText;
  Rgb activeCaption, captionText;
  Rgb grayText;
  bool highContrast = false;
};

struct TextColours {
  Rgb text, background;
  constexpr bool operator==(const TextColours&) const = default;
};

// The contrast ratio of two colours, from 1 (the same) to 21 (black and
// white), by their relative luminance in sRGB.
double ContrastRatio(Rgb a, Rgb b);
// What a text in that font needs: 3 bold, 4.5 regular.
double RequiredContrast(const FontSpec& font);

// The text and background of a control under the scheme (see above).
TextColours ControlColours(FormControl control, const ColourScheme& scheme);
// The colour of a text picture's characters on the button face.
Rgb PictureColour(const TextPicture& picture, const ColourScheme& scheme);
// A coloured text on a disabled control: halfway to its background, so it
// reads as dimmed; the scheme's grey text in high contrast.
Rgb DimmedColour(Rgb text, Rgb background, const ColourScheme& scheme);

}  // namespace form
