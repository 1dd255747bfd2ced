// SPDX-License-Identifier: MIT
// Lines to a standard stream on Windows.
//
// A console shows bytes written to it in its output code page, which is the
// OEM code page of the system's language (437, 936, 950, ...) and not UTF-8:
// UTF-8 bytes of a Chinese text would show as garbage. So when the stream is
// a console the text goes to it in UTF-16 through WriteConsoleW, which needs
// no code page at all. Pipes and files keep the UTF-8 bytes, with the C
// runtime's line ends, as before.

#include <windows.h>
#include <io.h>

#include <mutex>
#include <string>

#include "console_out.h"

namespace {

// The console behind stream, or nullptr when stream is a pipe, a file or
// nothing.
HANDLE ConsoleOf(std::FILE* stream) {
  const int descriptor = _fileno(stream);
  if (descriptor < 0) return nullptr;
  auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return nullptr;
  return handle;
}

// The UTF-16 form of the line and its line end. Invalid UTF-8 becomes
// U+FFFD, one per offending sequence, as the system converts it.
std::wstring Wide(std::string_view utf8) {
  std::wstring wide;
  if (!utf8.empty()) {
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    wide.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  }
  wide += L'\n';
  return wide;
}

bool WriteToConsole(HANDLE console, const std::wstring& text) {
  size_t at = 0;
  while (at < text.size()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(text.size() - at);
    if (!WriteConsoleW(console, text.data() + at, chunk, &written, nullptr) || written == 0) return false;
    at += written;
  }
  return true;
}

// One lock for both streams: on a console they share one screen, and a line
// of stderr must not land inside a line of stdout either.
std::mutex& ConsoleLineMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

// Each line is converted first and then written and flushed whole under the
// lock, so that lines from several threads never interleave within a line.
bool WriteStreamLine(std::FILE* stream, std::string_view utf8) {
  if (HANDLE console = ConsoleOf(stream)) {
    const std::wstring wide = Wide(utf8);
    std::lock_guard<std::mutex> guard(ConsoleLineMutex());
    // Whatever the C runtime still holds goes first, to keep the order.
    std::fflush(stream);
    return WriteToConsole(console, wide);
  }
  std::string line(utf8);
  line += '\n';
  std::lock_guard<std::mutex> guard(ConsoleLineMutex());
  const bool written = std::fwrite(line.data(), 1, line.size(), stream) == line.size();
  return std::fflush(stream) == 0 && written;
}
