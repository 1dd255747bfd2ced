// SPDX-License-Identifier: MIT
#pragma once
// The program's start and end: fill the catalogue, make the application,
// create and show frmModule, run the message loop until btnExit closes the
// window, destroy it and release the catalogue.
//
// Returns 0 when the window was closed. Returns 1 after an exception that
// ended the program: its text is shown to the operator first, in a message
// box, or on stderr when the application itself could not be made. Returns 1
// when no display can be reached, after one line on stderr saying so.
//
// An exception thrown by an event handler while the message loop runs does
// not end the program: its text is shown in a message box and the window
// stays.
//
// --help and --version print their text on stdout and return 0 without
// looking for a display or opening a window; other arguments go to Qt.

int RunProgram(int argc, char** argv);
