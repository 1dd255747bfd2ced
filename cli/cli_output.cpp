// SPDX-License-Identifier: MIT
#include "cli_output.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "console_out.h"
#include "stop_request.h"

namespace {
// A stream that no longer takes output (its reader went away) asks the
// program to stop, so that it ends the way a Ctrl+C would end it.
void WriteLine(std::FILE* stream, const std::string& line) {
  if (!WriteStreamLine(stream, line)) RequestStop();
}
}  // namespace

void PrintLine(const std::string& line) { WriteLine(stdout, line); }
void PrintErrorLine(const std::string& line) { WriteLine(stderr, line); }

std::string TimestampNow() {
  using namespace std::chrono;
  system_clock::time_point now = system_clock::now();
  std::time_t seconds = system_clock::to_time_t(now);
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc = *std::gmtime(&seconds);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%s.%03dZ", text, static_cast<int>(ms));
  return stamp;
}
