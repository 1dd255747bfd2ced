// SPDX-License-Identifier: MIT
#pragma once
// How rt420ctl prints. Results go to stdout, as text lines or, with --json,
// as JSON (one object per line); usage errors and the trace go to stderr.
// Each line is flushed at once, so that a pipe sees a card as it is read; a
// line that cannot be written (the reader went away) requests a stop.
//
// Every text handed to JSON must be UTF-8 (catalogue texts are decoded;
// texts from elsewhere go through ShownText and are plain ASCII).
//
// Texts from outside the program (a file, the port table, the serial line, a
// path the system hands back) may hold terminal control sequences. Every one
// of them goes through ShownText before it reaches a terminal, a JSON or CSV
// record or a message, so that nothing raw reaches a terminal.

#include <string>
#include <string_view>
#include <vector>

#include "json.h"
#include "shown_text.h"

// JSON as the program writes it (json.h).
using text::JsonObject;
using text::JsonString;

// One line to stdout, flushed.
void PrintLine(const std::string& line);
// One line to stderr, flushed.
void PrintErrorLine(const std::string& line);

