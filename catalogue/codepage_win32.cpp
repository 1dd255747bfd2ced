// Code-page conversion through MultiByteToWideChar and WideCharToMultiByte.
//
// Windows has GB2312 and Big5 inside larger code pages: 936 (GBK) and 950
// (Big5 with Microsoft's additions). The catalogue's texts are GB2312 in its
// EUC-CN form and Big5, so only the two-byte codes of those sets are taken,
// in both directions, and the same bytes come out as on the other platforms:
//   GB2312: first byte A1-F7, second byte A1-FE;
//   Big5:   first byte A1-F9, second byte 40-7E or A1-FE.
// A code that the code page maps into the Private Use Area (user-defined
// characters) counts as unassigned. Both sets lie in the Basic Multilingual
// Plane, so one character is always one UTF-16 unit. The text is converted
// one character at a time, so that whatever cannot be converted is replaced
// by exactly one substitute and nothing else is lost.

#include <windows.h>

#include <cstdint>
#include <optional>

#include "codepage.h"
#include "codepage_detail.h"

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

bool IsAssigned(char32_t character) {
  return character != 0xFFFD && !Between(character, kPrivateUseFirst, kPrivateUseLast);
}

// The character of a two-byte code of the set, or nullopt.
std::optional<char32_t> DecodePair(CodePage codePage, const char* pair) {
  const auto first = static_cast<unsigned char>(pair[0]);
  const auto second = static_cast<unsigned char>(pair[1]);
  if (!IsPairOfSet(codePage, first, second)) return std::nullopt;
  wchar_t wide[2] = {};
  if (MultiByteToWideChar(WindowsCodePage(codePage), MB_ERR_INVALID_CHARS, pair, 2, wide, 2) != 1)
    return std::nullopt;
  char32_t character = static_cast<char16_t>(wide[0]);
  if (!IsAssigned(character)) return std::nullopt;
  return character;
}

// The two-byte code of a character in the set, or nullopt.
std::optional<std::string> EncodeCharacter(CodePage codePage, char32_t character) {
  if (character > 0xFFFF || !IsAssigned(character)) return std::nullopt;
  const wchar_t wide = static_cast<wchar_t>(character);
  char bytes[4] = {};
  BOOL usedDefault = FALSE;
  int length = WideCharToMultiByte(WindowsCodePage(codePage), WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, sizeof bytes,
                                   nullptr, &usedDefault);
  if (length != 2 || usedDefault) return std::nullopt;
  if (!IsPairOfSet(codePage, static_cast<unsigned char>(bytes[0]), static_cast<unsigned char>(bytes[1])))
    return std::nullopt;
  return std::string(bytes, 2);
}

// The code point of a well-formed UTF-8 sequence of length bytes.
char32_t CodePoint(std::string_view sequence) {
  static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t value = static_cast<unsigned char>(sequence[0]) & kLeadMask[sequence.size()];
  for (size_t i = 1; i < sequence.size(); ++i) value = (value << 6) | (static_cast<unsigned char>(sequence[i]) & 0x3F);
  return value;
}

void AppendUtf8(std::string& out, char32_t character) {
  if (character < 0x80) {
    out.push_back(static_cast<char>(character));
  } else if (character < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (character >> 6)));
    out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (character >> 12)));
    out.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
  }
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
      AppendUtf8(out, *character);
      at += 2;
    } else {
      out.append(kReplacement);  // one per offending byte
      ++at;
    }
  }
  return out;
}
