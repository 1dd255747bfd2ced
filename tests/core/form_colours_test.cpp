// SPDX-License-Identifier: MIT
// The window's text colours computed from a colour scheme: every text of
// the control table readable on the default Windows 10/11 colours and on a
// high-contrast scheme, with the system's colours kept where they are
// readable. The same sources run natively and under wine.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "form_colours.h"

namespace {
using namespace form;

constexpr ColourScheme kWindowsDefault{{240, 240, 240}, {0, 0, 0},       {0, 120, 215}, {255, 255, 255},
                                       {153, 180, 209}, {0, 0, 0},       {109, 109, 109}, false};
constexpr ColourScheme kHighContrastBlack{{0, 0, 0}, {255, 255, 255}, {26, 235, 255}, {0, 0, 0},
                                          {0, 0, 0}, {255, 255, 255}, {63, 242, 63},  true};

bool HasText(const ControlRow& row) {
  switch (row.kind) {
    case ControlKind::Panel:
    case ControlKind::Label:
    case ControlKind::Button:
    case ControlKind::List:
    case ControlKind::CheckBox:
    case ControlKind::GroupBox:
    case ControlKind::Page: return true;
    default: return false;
  }
}

// The hue in degrees, for colours that have one.
double Hue(Rgb c) {
  const double r = c.r, g = c.g, b = c.b;
  const double high = std::max({r, g, b}), low = std::min({r, g, b});
  const double span = high - low;
  double hue = high == r ? std::fmod((g - b) / span, 6.0) : high == g ? (b - r) / span + 2 : (r - g) / span + 4;
  return std::fmod(hue * 60 + 360, 360);
}

TEST(FormColours, ContrastRatioOfKnownPairs) {
  struct Case {
    Rgb a, b;
    double low, high;
  };
  const Case cases[] = {
      {{0, 0, 0}, {255, 255, 255}, 21.0, 21.0},
      {{90, 90, 90}, {90, 90, 90}, 1.0, 1.0},
      {{255, 255, 255}, {153, 180, 209}, 2.0, 2.2},  // white on the default title bar
      {{255, 255, 0}, {0, 120, 215}, 4.1, 4.3},      // yellow on the default highlight
  };
  for (const Case& c : cases) {
    EXPECT_GE(ContrastRatio(c.a, c.b), c.low - 1e-9);
    EXPECT_LE(ContrastRatio(c.a, c.b), c.high + 1e-9);
    EXPECT_DOUBLE_EQ(ContrastRatio(c.a, c.b), ContrastRatio(c.b, c.a));
  }
}

TEST(FormColours, EveryTextIsReadableOnTheDefaultAndAHighContrastScheme) {
  for (const ColourScheme& scheme : {kWindowsDefault, kHighContrastBlack}) {
    SCOPED_TRACE(scheme.highContrast ? "high contrast" : "default");
    for (const ControlRow& row : FormControls()) {
      if (!HasText(row)) continue;
      const TextColours pair = ControlColours(row.control, scheme);
      EXPECT_GE(ContrastRatio(pair.text, pair.background), RequiredContrast(row.font)) << row.name;
    }
    for (const TextPicture& picture : {kGbPicture, kBig5Picture})
      EXPECT_GE(ContrastRatio(PictureColour(picture, scheme), scheme.buttonFace), RequiredContrast(picture.font));
  }
}

TEST(FormColours, ReadableSystemColoursAreKeptAndOthersDarkenedInTheirHue) {
  const ColourScheme& s = kWindowsDefault;
  // Readable as they are: the value panels' yellow on the highlight (4.2:1,
  // bold), the labels and buttons on the face.
  EXPECT_EQ(ControlColours(FormControl::pnSerial, s), (TextColours{kYellow, s.highlight}));
  EXPECT_EQ(ControlColours(FormControl::lblID, s), (TextColours{s.buttonText, s.buttonFace}));
  EXPECT_EQ(ControlColours(FormControl::pnTAVIX, s), (TextColours{kWhite, kPurple}));
  // White on the pale title-bar blue is 2:1: a deeper blue of the same hue.
  const TextColours status = ControlColours(FormControl::pnMsg, s);
  EXPECT_EQ(status.text, kWhite);
  EXPECT_NEAR(Hue(status.background), Hue(s.activeCaption), 2.0);
  EXPECT_LT(ContrastRatio(status.background, Rgb{}), ContrastRatio(s.activeCaption, Rgb{}));
  // Changed, it reads as regular text would, and is the lightest such shade.
  EXPECT_GE(ContrastRatio(status.text, status.background), 4.5);
  EXPECT_LT(ContrastRatio(status.text, status.background), 4.7);
  // The regular red of "English" on the face is 3.5:1: a deeper red.
  const TextColours english = ControlColours(FormControl::btnEng, s);
  EXPECT_EQ(english.background, s.buttonFace);
  EXPECT_EQ(english.text.g, 0);
  EXPECT_GT(english.text.r, 100);
  EXPECT_LT(english.text.r, kRed.r);
}

TEST(FormColours, HighContrastTakesTheSchemesOwnPairs) {
  const ColourScheme& s = kHighContrastBlack;
  EXPECT_EQ(ControlColours(FormControl::pnSerial, s), (TextColours{s.highlightText, s.highlight}));
  EXPECT_EQ(ControlColours(FormControl::pnMsg, s), (TextColours{s.captionText, s.activeCaption}));
  EXPECT_EQ(ControlColours(FormControl::btnEng, s), (TextColours{s.buttonText, s.buttonFace}));
  EXPECT_EQ(ControlColours(FormControl::pnTAVIX, s), (TextColours{s.buttonText, s.buttonFace}));
  EXPECT_EQ(PictureColour(kGbPicture, s), s.buttonText);
  EXPECT_EQ(DimmedColour(kRed, s.buttonFace, s), s.grayText);
  // Dimmed, elsewhere: halfway to the face, neither blank nor black.
  EXPECT_EQ(DimmedColour(Rgb{200, 0, 0}, kWindowsDefault.buttonFace, kWindowsDefault), (Rgb{220, 120, 120}));
}

}  // namespace
