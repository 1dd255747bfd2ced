// SPDX-License-Identifier: MIT
// Code-page conversion through glibc's iconv. GB2312 is taken in its EUC-CN
// form (the bytes of the Simplified Chinese texts), BIG5 as glibc defines it.
// Every loop below consumes at least one input byte per round or produces
// output from a bounded input, so bad input can never keep it going.

#include "codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

#include "codepage_detail.h"

namespace catalogue {

namespace {

using codepage_detail::AsciiOnly;
using codepage_detail::kDecodeSubstitute;
using codepage_detail::kEncodeSubstitute;
using codepage_detail::SkipLength;
using codepage_detail::Substitute;

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
// passes; everything else becomes the substitute (AsciiOnly).
std::string Convert(std::string_view in, const char* to, const char* from, Substitute substitute) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return AsciiOnly(in, substitute);
  std::string out = ConvertAll(cd, in, substitute);
  iconv_close(cd);
  return out;
}

}  // namespace

std::string EncodeFromUtf8(std::string_view utf8, CodePage codePage) {
  if (codePage == CodePage::Ascii) return AsciiOnly(utf8, kEncodeSubstitute);
  return Convert(utf8, IconvName(codePage), "UTF-8", kEncodeSubstitute);
}

std::string DecodeToUtf8(std::string_view bytes, CodePage codePage) {
  if (codePage == CodePage::Ascii) return AsciiOnly(bytes, kDecodeSubstitute);
  return Convert(bytes, "UTF-8", IconvName(codePage), kDecodeSubstitute);
}

}  // namespace catalogue
