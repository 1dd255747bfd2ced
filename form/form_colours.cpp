// SPDX-License-Identifier: MIT
#include "form_colours.h"

#include <cmath>

namespace form {

namespace {
constexpr double kRegularContrast = 4.5;
constexpr double kBoldContrast = 3.0;
// The steps of the search for the shade: the factor on the channels is
// found to within 2^-16, far below one step of a channel.
constexpr int kShadeSearchSteps = 16;

double Linear(uint8_t channel) {
  const double c = channel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(Rgb colour) {
  return 0.2126 * Linear(colour.r) + 0.7152 * Linear(colour.g) + 0.0722 * Linear(colour.b);
}

// The colour with every channel scaled by factor (0 to 1): the same hue,
// darker. Channels are rounded down, so the shade is never lighter.
Rgb Shade(Rgb colour, double factor) {
  auto scale = [factor](uint8_t c) { return static_cast<uint8_t>(std::floor(c * factor)); };
  return {scale(colour.r), scale(colour.g), scale(colour.b)};
}

Rgb Resolve(const Colour& colour, const ColourScheme& scheme) {
  switch (colour.role) {
    case ColourRole::ButtonFace: return scheme.buttonFace;
    case ColourRole::Highlight: return scheme.highlight;
    case ColourRole::ActiveCaption: return scheme.activeCaption;
    case ColourRole::ButtonText: return scheme.buttonText;
    case ColourRole::Fixed: break;
  }
  return colour.rgb;
}

// The scheme's own pair for a background of that role.
TextColours SchemePair(ColourRole background, const ColourScheme& scheme) {
  switch (background) {
    case ColourRole::Highlight: return {scheme.highlightText, scheme.highlight};
    case ColourRole::ActiveCaption: return {scheme.captionText, scheme.activeCaption};
    default: return {scheme.buttonText, scheme.buttonFace};
  }
}

// The pair as it is when it reaches what its text needs; else with its
// darker colour replaced by the lightest darker shade that reaches 4.5:1;
// else the scheme's pair for the background's role.
TextColours Readable(TextColours pair, double needed, ColourRole backgroundRole, const ColourScheme& scheme) {
  if (ContrastRatio(pair.text, pair.background) >= needed) return pair;
  // A pair that must change anyway is made readable as regular text.
  const double required = std::fmax(needed, kRegularContrast);
  const bool textDarker = Luminance(pair.text) <= Luminance(pair.background);
  Rgb& darker = textDarker ? pair.text : pair.background;
  const Rgb lighter = textDarker ? pair.background : pair.text;
  if (ContrastRatio(Rgb{}, lighter) < required) return SchemePair(backgroundRole, scheme);
  const Rgb original = darker;
  double reaches = 0.0, fails = 1.0;  // factors known to reach it, and not to
  for (int i = 0; i < kShadeSearchSteps; ++i) {
    const double middle = (reaches + fails) / 2;
    (ContrastRatio(Shade(original, middle), lighter) >= required ? reaches : fails) = middle;
  }
  darker = Shade(original, reaches);
  return pair;
}
}  // namespace

double ContrastRatio(Rgb a, Rgb b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::fmax(la, lb) + 0.05) / (std::fmin(la, lb) + 0.05);
}

double RequiredContrast(const FontSpec& font) { return font.bold ? kBoldContrast : kRegularContrast; }

TextColours ControlColours(FormControl control, const ColourScheme& scheme) {
  const ControlRow& row = RowOf(control);
  if (scheme.highContrast) return SchemePair(row.background.role, scheme);
  return Readable({Resolve(row.text, scheme), Resolve(row.background, scheme)}, RequiredContrast(row.font),
                  row.background.role, scheme);
}

Rgb PictureColour(const TextPicture& picture, const ColourScheme& scheme) {
  if (scheme.highContrast) return scheme.buttonText;
  return Readable({picture.colour, scheme.buttonFace}, RequiredContrast(picture.font), ColourRole::ButtonFace, scheme)
      .text;
}

Rgb DimmedColour(Rgb text, Rgb background, const ColourScheme& scheme) {
  if (scheme.highContrast) return scheme.grayText;
  auto half = [](uint8_t a, uint8_t b) { return static_cast<uint8_t>((a + b) / 2); };
  return {half(text.r, background.r), half(text.g, background.g), half(text.b, background.b)};
}

}  // namespace form
