// SPDX-License-Identifier: MIT
// Lines to a standard stream on POSIX: terminals, pipes and files all take
// UTF-8 bytes.

#include "console_out.h"

bool WriteStreamLine(std::FILE* stream, std::string_view utf8) {
  bool written = std::fwrite(utf8.data(), 1, utf8.size(), stream) == utf8.size();
  written = std::fputc('\n', stream) != EOF && written;
  return std::fflush(stream) == 0 && written;
}
