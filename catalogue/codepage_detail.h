// SPDX-License-Identifier: MIT
#pragma once
// What the platform files of the code pages (codepage_*.cpp) share: UTF-8
// sequences, the substitutes for what cannot be converted, and the plain
// ASCII conversion. Not part of the catalogue's interface.

#include <cstddef>
#include <string>
#include <string_view>

namespace catalogue {

namespace codepage_detail {

inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the well-formed UTF-8 sequence at the start of text, or 0
// when it is not one (overlong forms, surrogates and values past U+10FFFF
// included).
size_t Utf8SequenceLength(std::string_view text);

// What replaces input that cannot be converted, and how much input it covers.
// Encoding covers a whole character (one '?' per character the code page
// lacks); decoding covers one byte (one U+FFFD per offending byte).
struct Substitute {
  std::string_view text;
  bool wholeCharacter;
};
inline constexpr Substitute kEncodeSubstitute{"?", true};
inline constexpr Substitute kDecodeSubstitute{kReplacement, false};

// How much input one substitute covers at the start of rest (at least 1).
size_t SkipLength(std::string_view rest, bool wholeCharacter);

// ASCII passes; everything else becomes the substitute.
std::string AsciiOnly(std::string_view in, Substitute substitute);

}  // namespace codepage_detail

}  // namespace catalogue
