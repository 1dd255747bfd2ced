// SPDX-License-Identifier: MIT
// Lines to a standard stream on POSIX: terminals, pipes and files all take
// UTF-8 bytes.

#include <mutex>
#include <string>

#include "console_out.h"

namespace {
// One lock for both streams: on a terminal they share one screen, and a line
// of stderr must not land inside a line of stdout either.
std::mutex& ConsoleLineMutex() {
  static std::mutex mutex;
  return mutex;
}
}  // namespace

bool WriteStreamLine(std::FILE* stream, std::string_view utf8) {
  // The line and its end in one piece, written and flushed under the lock,
  // so that lines from several threads never interleave within a line.
  std::string line;
  line.reserve(utf8.size() + 1);
  line.append(utf8);
  line += '\n';
  std::lock_guard<std::mutex> guard(ConsoleLineMutex());
  const bool written = std::fwrite(line.data(), 1, line.size(), stream) == line.size();
  return std::fflush(stream) == 0 && written;
}
