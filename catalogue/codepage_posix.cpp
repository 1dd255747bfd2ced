// Code-page conversion through glibc's iconv. GB2312 is taken in its EUC-CN
// form (the bytes of the Simplified Chinese texts), BIG5 as glibc defines it.
// Every loop below consumes at least one input byte per round or produces
// output from a bounded input, so bad input can never keep it going.

#include "codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

namespace {

constexpr char kQuestionMark = '?';
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the well-formed UTF-8 sequence at the start of text, or 0
// when it is not one (overlong forms, surrogates and values past U+10FFFF
// included).
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

// What replaces input that cannot be converted, and how much input it covers.
// Encoding covers a whole character (one '?' per character the code page
// lacks); decoding covers one byte (one U+FFFD per offending byte).
struct Substitute {
  std::string_view text;
  bool wholeCharacter;
};

size_t SkipLength(std::string_view rest, bool wholeCharacter) {
  if (!wholeCharacter) return 1;
  size_t length = Utf8SequenceLength(rest);
  return length == 0 ? 1 : length;
}

// Converts in with cd, putting the substitute in place of whatever iconv
// refuses and carrying on after it.
std::string ConvertAll(iconv_t cd, std::string_view in, Substitute substitute) {
  std::string out;
  out.reserve(in.size() * 2);
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    int error = errno;
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (result != static_cast<size_t>(-1)) continue;
    if (error == E2BIG && outPtr != buffer) continue;
    // EILSEQ, EINVAL (incomplete at the end) or anything unexpected: replace
    // the offending input and go on behind it.
    size_t skip = SkipLength(std::string_view(inPtr, inLeft), substitute.wholeCharacter);
    out.append(substitute.text);
    inPtr += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* outPtr = buffer;
  size_t outLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  out.append(buffer, static_cast<size_t>(outPtr - buffer));
  return out;
}

const char* IconvName(CodePage codePage) { return codePage == CodePage::Gb2312 ? "GB2312" : "BIG5"; }

// Without the converter (a system lacking the gconv modules) only ASCII
// passes; everything else becomes the substitute.
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

std::string Convert(std::string_view in, const char* to, const char* from, Substitute substitute) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return AsciiOnly(in, substitute);
  std::string out = ConvertAll(cd, in, substitute);
  iconv_close(cd);
  return out;
}

constexpr Substitute kEncodeSubstitute{std::string_view(&kQuestionMark, 1), true};
constexpr Substitute kDecodeSubstitute{kReplacement, false};

bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

}  // namespace

std::string EncodeFromUtf8(std::string_view utf8, CodePage codePage) {
  if (codePage == CodePage::Ascii) return AsciiOnly(utf8, kEncodeSubstitute);
  return Convert(utf8, IconvName(codePage), "UTF-8", kEncodeSubstitute);
}

std::string DecodeToUtf8(std::string_view bytes, CodePage codePage) {
  if (codePage == CodePage::Ascii) return AsciiOnly(bytes, kDecodeSubstitute);
  return Convert(bytes, "UTF-8", IconvName(codePage), kDecodeSubstitute);
}

std::string DecodeForDisplay(std::string_view bytes, CodePage codePage) {
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
