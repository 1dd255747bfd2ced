// SPDX-License-Identifier: MIT
#pragma once
// The texts of --help and --version.

#include <string>

#include "cli_options.h"

std::string ProgramHelp();
// The help of one subcommand; the program's help for Subcommand::None.
std::string SubcommandHelp(Subcommand subcommand);
std::string VersionLine();
