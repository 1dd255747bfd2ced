// SPDX-License-Identifier: MIT
#pragma once
// UTF-8 encoding of one code point.

#include <string>

namespace text {

// Appends the code point's UTF-8 bytes (one to four). The caller passes a
// code point of Unicode (up to U+10FFFF, no surrogate).
void AppendUtf8(std::string& out, char32_t code);

}  // namespace text
