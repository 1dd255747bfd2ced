// SPDX-License-Identifier: MIT
#pragma once
// The Windows program's start and end: fill the catalogue, create frmModule,
// show it, pump the thread's messages until btnExit closes the window,
// destroy it and release the catalogue.
//
// Returns 0 when the window was closed. Returns 1 after an exception that
// ended the program, its text shown in a message box first, and when no
// desktop can be reached, after one line on stderr. An exception thrown by
// an event handler while the loop runs is shown in a message box and the
// window stays. --help and --version print their text and return 0.

int RunProgram(int argc, char** argv);
