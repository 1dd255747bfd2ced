// SPDX-License-Identifier: MIT
#pragma once
// Text lines to a standard stream, as the platform's console wants them.
// One implementation per platform (console_out_posix.cpp, ...), chosen by
// the build.
//
// Contract: WriteStreamLine writes one line of UTF-8 text and the line end
// to stream (stdout or stderr) and flushes it. A console that takes text in
// another form gets the same characters in that form; a pipe or a file gets
// the UTF-8 bytes unchanged. Returns false when the stream no longer takes
// output (its reader went away).
//
// Threads: safe from several threads at once. Each line is written whole and
// flushed before another thread's line begins, on stdout and stderr alike, so
// lines from several connections never interleave within a line.

#include <cstdio>
#include <string_view>

bool WriteStreamLine(std::FILE* stream, std::string_view utf8);
