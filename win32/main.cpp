// SPDX-License-Identifier: MIT
#include "window_program.h"

int main(int argc, char** argv) { return RunProgram(argc, argv); }
