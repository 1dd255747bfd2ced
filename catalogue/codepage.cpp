// SPDX-License-Identifier: MIT
// The platform-independent half of the code pages: UTF-8 sequences, plain
// ASCII and the display filter. The conversions of GB2312 and Big5 are in the
// platform files.

#include "codepage.h"

#include "codepage_detail.h"

namespace catalogue {

namespace codepage_detail {

size_t Utf8SequenceLength(std::string_view text) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  auto continuation = [&](size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
    return i < text.size() && byte(i) >= low && byte(i) <= high;
  };
  if (text.empty()) return 0;
  unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
    unsigned high = lead == 0xED ? 0x9F : 0xBF;
    return continuation(1, low, high) && continuation(2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    unsigned low = lead == 0xF0 ? 0x90 : 0x80;
    unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
    return continuation(1, low, high) && continuation(2) && continuation(3) ? 4 : 0;
  }
  return 0;
}

size_t SkipLength(std::string_view rest, bool wholeCharacter) {
  if (!wholeCharacter) return 1;
  size_t length = Utf8SequenceLength(rest);
  return length == 0 ? 1 : length;
}

std::string AsciiOnly(std::string_view in, Substitute substitute) {
  std::string out;
  out.reserve(in.size());
  size_t at = 0;
  while (at < in.size()) {
    auto byte = static_cast<unsigned char>(in[at]);
    if (byte < 0x80) {
      out.push_back(in[at]);
      ++at;
    } else {
      out.append(substitute.text);
      at += SkipLength(in.substr(at), substitute.wholeCharacter);
    }
  }
  return out;
}

}  // namespace codepage_detail

namespace {
bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }
}  // namespace

std::string DecodeForDisplay(std::string_view bytes, CodePage codePage) {
  using codepage_detail::kReplacement;
  std::string decoded = DecodeToUtf8(bytes, codePage);
  std::string shown;
  shown.reserve(decoded.size());
  for (size_t at = 0; at < decoded.size(); ++at) {
    auto byte = static_cast<unsigned char>(decoded[at]);
    // In UTF-8 a byte below 0x80 is always a character of its own.
    if (IsControl(byte)) {
      shown.append(kReplacement);
    } else if (byte == 0xC2 && at + 1 < decoded.size() &&
               static_cast<unsigned char>(decoded[at + 1]) <= 0x9F) {
      // U+0080 to U+009F, the C1 controls: glibc's BIG5 passes a lone 0x80
      // through as U+0080, which must not reach the display either.
      shown.append(kReplacement);
      ++at;
    } else {
      shown.push_back(decoded[at]);
    }
  }
  return shown;
}

}  // namespace catalogue
