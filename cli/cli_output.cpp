// SPDX-License-Identifier: MIT
#include "cli_output.h"

#include <cstdio>

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
