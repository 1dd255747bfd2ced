// SPDX-License-Identifier: MIT
// Code-page conversion through MultiByteToWideChar and WideCharToMultiByte.
//
// Windows has GB2312 and Big5 inside larger code pages: 936 (GBK) and 950
// (Big5 with Microsoft's additions). The catalogue's texts are GB2312 in its
// EUC-CN form and Big5, so only the two-byte codes of those sets are taken,
// in both directions, and the same bytes come out as on the other platforms:
//   GB2312: first byte A1-F7, second byte A1-FE;
//   Big5:   first byte A1-F9, second byte 40-7E or A1-FE.
// A code that the code page maps into the Private Use Area (user-defined
// characters) counts as unassigned.
//
// Code page 936 is a superset of GB2312 and differs from the GB2312 tables
// used elsewhere: it maps A1A4 to U+00B7 and A1AA to U+2014 (GB2312: U+30FB
// and U+2015), and it assigns codes inside the EUC-CN range that GB2312
// leaves empty (small Roman numerals, vertical forms, a few Latin letters).
// Those codes are taken as GB2312 has them, so that the same bytes read as
// the same text on every platform. Both sets lie in the Basic Multilingual
// Plane, so one character is always one UTF-16 unit. The text is converted
// one character at a time, so that whatever cannot be converted is replaced
// by exactly one substitute and nothing else is lost.

#include <windows.h>

#include <cstdint>
#include <optional>

#include "codepage.h"
#include "codepage_detail.h"
#include "utf8.h"

namespace catalogue {

namespace {

using codepage_detail::AsciiOnly;
using codepage_detail::kDecodeSubstitute;
using codepage_detail::kEncodeSubstitute;
using codepage_detail::kReplacement;
using codepage_detail::Utf8SequenceLength;

constexpr UINT kGbkCodePage = 936;
constexpr UINT kBig5CodePage = 950;
constexpr char32_t kPrivateUseFirst = 0xE000;
constexpr char32_t kPrivateUseLast = 0xF8FF;

UINT WindowsCodePage(CodePage codePage) { return codePage == CodePage::Gb2312 ? kGbkCodePage : kBig5CodePage; }

bool Between(unsigned value, unsigned low, unsigned high) { return value >= low && value <= high; }

// Whether two bytes are a two-byte code of the set (not yet whether one is
// assigned to it).
bool IsPairOfSet(CodePage codePage, unsigned char first, unsigned char second) {
  if (codePage == CodePage::Gb2312) return Between(first, 0xA1, 0xF7) && Between(second, 0xA1, 0xFE);
  return Between(first, 0xA1, 0xF9) && (Between(second, 0x40, 0x7E) || Between(second, 0xA1, 0xFE));
}

// The two codes whose character differs between GB2312 and code page 936.
struct Gb2312Difference {
  uint16_t code;
  char32_t gb2312;
  char32_t windows;
};
constexpr Gb2312Difference kGb2312Differences[] = {{0xA1A4, 0x30FB, 0x00B7}, {0xA1AA, 0x2015, 0x2014}};

// The runs of second bytes that GB2312 leaves empty in a row (first byte),
// all of which code page 936 either assigns or maps to the Private Use Area.
struct EmptyRun {
  unsigned char row, first, last;
};
constexpr EmptyRun kGb2312EmptyRuns[] = {
    {0xA2, 0xA1, 0xB0}, {0xA2, 0xE3, 0xE4}, {0xA2, 0xEF, 0xF0}, {0xA2, 0xFD, 0xFE}, {0xA4, 0xF4, 0xFE},
    {0xA5, 0xF7, 0xFE}, {0xA6, 0xB9, 0xC0}, {0xA6, 0xD9, 0xFE}, {0xA7, 0xC2, 0xD0}, {0xA7, 0xF2, 0xFE},
    {0xA8, 0xBB, 0xC4}, {0xA8, 0xEA, 0xFE}, {0xA9, 0xA1, 0xA3}, {0xA9, 0xF0, 0xFE}, {0xAA, 0xA1, 0xFE},
    {0xAB, 0xA1, 0xFE}, {0xAC, 0xA1, 0xFE}, {0xAD, 0xA1, 0xFE}, {0xAE, 0xA1, 0xFE}, {0xAF, 0xA1, 0xFE},
    {0xD7, 0xFA, 0xFE}};

bool InGb2312(unsigned char first, unsigned char second) {
  for (const EmptyRun& run : kGb2312EmptyRuns)
    if (run.row == first && Between(second, run.first, run.last)) return false;
  return true;
}

uint16_t CodeOf(unsigned char first, unsigned char second) { return static_cast<uint16_t>(first << 8 | second); }

bool IsAssigned(char32_t character) {
  return character != 0xFFFD && !Between(character, kPrivateUseFirst, kPrivateUseLast);
}

// The character of a two-byte code of the set, or nullopt.
std::optional<char32_t> DecodePair(CodePage codePage, const char* pair) {
  const auto first = static_cast<unsigned char>(pair[0]);
  const auto second = static_cast<unsigned char>(pair[1]);
  if (!IsPairOfSet(codePage, first, second)) return std::nullopt;
  wchar_t wide[2] = {};
  if (codePage == CodePage::Gb2312) {
    if (!InGb2312(first, second)) return std::nullopt;
    for (const Gb2312Difference& difference : kGb2312Differences)
      if (difference.code == CodeOf(first, second)) return difference.gb2312;
  }
  if (MultiByteToWideChar(WindowsCodePage(codePage), MB_ERR_INVALID_CHARS, pair, 2, wide, 2) != 1)
    return std::nullopt;
  char32_t character = static_cast<char16_t>(wide[0]);
  if (!IsAssigned(character)) return std::nullopt;
  return character;
}

// The two-byte code of a character in the set, or nullopt.
std::optional<std::string> EncodeCharacter(CodePage codePage, char32_t character) {
  if (character > 0xFFFF || !IsAssigned(character)) return std::nullopt;
  if (codePage == CodePage::Gb2312) {
    for (const Gb2312Difference& difference : kGb2312Differences) {
      if (difference.gb2312 == character) return std::string{static_cast<char>(difference.code >> 8), static_cast<char>(difference.code & 0xFF)};
      if (difference.windows == character) return std::nullopt;
    }
  }
  const wchar_t wide = static_cast<wchar_t>(character);
  char bytes[4] = {};
  BOOL usedDefault = FALSE;
  int length = WideCharToMultiByte(WindowsCodePage(codePage), WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, sizeof bytes,
                                   nullptr, &usedDefault);
  if (length != 2 || usedDefault) return std::nullopt;
  const auto first = static_cast<unsigned char>(bytes[0]);
  const auto second = static_cast<unsigned char>(bytes[1]);
  if (!IsPairOfSet(codePage, first, second)) return std::nullopt;
  if (codePage == CodePage::Gb2312 && !InGb2312(first, second)) return std::nullopt;
  return std::string(bytes, 2);
}

// The code point of a well-formed UTF-8 sequence of length bytes.
char32_t CodePoint(std::string_view sequence) {
  static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t value = static_cast<unsigned char>(sequence[0]) & kLeadMask[sequence.size()];
  for (size_t i = 1; i < sequence.size(); ++i) value = (value << 6) | (static_cast<unsigned char>(sequence[i]) & 0x3F);
  return value;
}

}  // namespace

std::string EncodeFromUtf8(std::string_view utf8, CodePage codePage) {
  if (codePage == CodePage::Ascii) return AsciiOnly(utf8, kEncodeSubstitute);
  std::string out;
  out.reserve(utf8.size());
  size_t at = 0;
  while (at < utf8.size()) {
    const size_t length = Utf8SequenceLength(utf8.substr(at));
    if (length == 1) {
      out.push_back(utf8[at]);
    } else if (auto code = length == 0 ? std::nullopt : EncodeCharacter(codePage, CodePoint(utf8.substr(at, length)))) {
      out += *code;
    } else {
      out.append(kEncodeSubstitute.text);
    }
    at += length == 0 ? 1 : length;
  }
  return out;
}

std::string DecodeToUtf8(std::string_view bytes, CodePage codePage) {
  if (codePage == CodePage::Ascii) return AsciiOnly(bytes, kDecodeSubstitute);
  std::string out;
  out.reserve(bytes.size() * 2);
  size_t at = 0;
  while (at < bytes.size()) {
    if (static_cast<unsigned char>(bytes[at]) < 0x80) {
      out.push_back(bytes[at]);
      ++at;
    } else if (auto character = at + 1 < bytes.size() ? DecodePair(codePage, bytes.data() + at) : std::nullopt) {
      text::AppendUtf8(out, *character);
      at += 2;
    } else {
      out.append(kReplacement);  // one per offending byte
      ++at;
    }
  }
  return out;
}

}  // namespace catalogue
