// SPDX-License-Identifier: MIT
#pragma once
// rt420ctl: the module operations from the command line. RunCli parses the
// arguments (argv[0] is the program), runs the subcommand and returns the
// exit code (exit_codes.h).

int RunCli(int argc, char** argv);
