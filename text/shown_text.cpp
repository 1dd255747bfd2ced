// SPDX-License-Identifier: MIT
#include "shown_text.h"

namespace text {

namespace {
constexpr char kUpperHexDigits[] = "0123456789ABCDEF";
}  // namespace

std::string ShownText(std::string_view untrusted) {
  std::string_view kept = untrusted.substr(0, kShownTextLimit);
  std::string shown;
  shown.reserve(kept.size());
  for (size_t i = 0; i < kept.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(kept[i]);
    if (c == '\\' && i + 1 < kept.size() && (kept[i + 1] == 'x' || kept[i + 1] == 'X')) {
      shown += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      shown += "\\x";
      shown += kUpperHexDigits[c >> 4];
      shown += kUpperHexDigits[c & 0x0F];
    }
  }
  if (kept.size() < untrusted.size()) shown += "... (" + std::to_string(untrusted.size() - kept.size()) + " more bytes)";
  return shown;
}

}  // namespace text
