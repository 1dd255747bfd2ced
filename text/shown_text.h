// SPDX-License-Identifier: MIT
#pragma once
// Texts from outside the program (a file, the port table, the serial line, a
// path the system hands back) may hold terminal control sequences. Every one
// of them goes through ShownText before it reaches a terminal, a JSON or CSV
// record, a log or a message, so that nothing raw reaches a terminal.

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// An untrusted text as plain printable ASCII: each byte outside blank to
// tilde (control characters, DEL, C1 bytes, any byte of UTF-8 or of a broken
// sequence) as \xNN in upper-case hex, and a backslash that stands before an
// x doubled, so that "\x1B" is always an escape. Other backslashes stay as
// they are (Windows paths). At most kShownTextLimit bytes are shown; the
// rest is counted ("... (N more bytes)").
constexpr size_t kShownTextLimit = 1024;
std::string ShownText(std::string_view untrusted);

}  // namespace text
