// SPDX-License-Identifier: MIT
#pragma once
// Conversion between UTF-8 and the 8-bit code pages of the catalogue's
// languages. Platform file: codepage_posix.cpp (iconv), codepage_win32.cpp
// (MultiByteToWideChar and WideCharToMultiByte with code pages 936 and 950).
// Both give the same bytes: GB2312 in its EUC-CN form and Big5.

#include <string>
#include <string_view>

namespace catalogue {

enum class CodePage { Ascii, Gb2312, Big5 };

// Encodes UTF-8 text into the code page. Characters the code page lacks
// become '?'.
std::string EncodeFromUtf8(std::string_view utf8, CodePage codePage);

// Decodes code-page bytes into UTF-8. Invalid or incomplete sequences become
// U+FFFD, one per offending byte; nothing is dropped silently.
std::string DecodeToUtf8(std::string_view bytes, CodePage codePage);

// As DecodeToUtf8, and control characters (0x00-0x1F, 0x7F) become U+FFFD as
// well, so that untrusted bytes cannot disturb a single-line display.
std::string DecodeForDisplay(std::string_view bytes, CodePage codePage);

}  // namespace catalogue
