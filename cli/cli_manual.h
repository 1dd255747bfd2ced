// SPDX-License-Identifier: MIT
#pragma once
// The manual page of rt420ctl, made at build time from the table that
// prints --help (cli_help.h). The page's hand-written parts come from a
// template; each line ".\" rt420ctl-manual: NAME" in it is replaced by the
// generated section NAME: DESCRIPTION, SUBCOMMANDS, OPTIONS or EXIT STATUS.

#include <string>

// One generated section, from its ".SH" line on; empty for an unknown name.
std::string ManualSection(const std::string& name);

// The template with every marker replaced; false with the reason when a
// marker names no section or a section's marker is missing.
bool FillManual(const std::string& manualTemplate, std::string& page, std::string& error);
