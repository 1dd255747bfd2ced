// SPDX-License-Identifier: MIT
#include "cli_manual.h"

#include <algorithm>
#include <vector>

#include "cli_help.h"

namespace {
const char kMarker[] = ".\\\" rt420ctl-manual: ";
const char* const kSections[] = {"DESCRIPTION", "SUBCOMMANDS", "OPTIONS", "EXIT STATUS"};

// Text as roff takes it: backslashes and hyphens escaped, and a line that
// would start with a control character kept as text.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

std::string Bold(const std::string& text) { return "\\fB" + Escaped(text) + "\\fR"; }
std::string Italic(const std::string& text) { return "\\fI" + Escaped(text) + "\\fR"; }

std::string OptionHeading(const HelpOption& option) {
  return Bold(option.name) + (*option.value ? " " + Italic(option.value) : "");
}

// The paragraphs of a table text; `between` starts each one after the first
// (".PP" at the page's margin, ".IP" inside a tagged paragraph).
std::string Body(const std::string& text, const std::string& between) {
  std::string out;
  bool first = true;
  for (const std::vector<std::string>& paragraph : Paragraphs(text)) {
    if (!first) out += between + "\n";
    first = false;
    bool verbatim = IsVerbatim(paragraph);
    if (verbatim) out += ".nf\n";
    for (const std::string& line : paragraph) out += Escaped(verbatim ? line.substr(2) : line) + "\n";
    if (verbatim) out += ".fi\n";
  }
  return out;
}

std::string OptionList(const std::vector<HelpOption>& options) {
  std::string out;
  for (const HelpOption& option : options) out += ".TP\n" + OptionHeading(option) + "\n" + Body(option.text, ".IP");
  return out;
}

std::string Description() {
  const HelpTable& help = Help();
  return ".SH DESCRIPTION\n" + Body(help.description, ".PP") + ".PP\n" + Body(help.scanFirst, ".PP") +
         ".PP\nWhat the module's settings are:\n.PP\n.RS 4\n" + Body(help.settings, ".PP") + ".RE\n.PP\n" +
         Body(help.notes, ".PP");
}

std::string Subcommands() {
  const HelpTable& help = Help();
  std::string out = ".SH SUBCOMMANDS\n";
  for (const HelpSubcommand& entry : help.subcommands) {
    std::string heading = Bold(SubcommandName(entry.subcommand));
    if (*entry.arguments) heading += " " + Italic(entry.arguments);
    std::vector<HelpOption> options = ListedOptions(entry);
    for (const HelpOption& option : options) heading += " [" + OptionHeading(option) + "]";
    out += ".TP\n" + heading + "\n" + Body(entry.text, ".IP");
    if (!options.empty()) out += ".RS\n" + OptionList(options) + ".RE\n";
  }
  return out;
}

std::string Options() {
  const HelpTable& help = Help();
  return ".SH OPTIONS\nThese options apply to every subcommand.\n" + OptionList(help.commonOptions) +
         ".SS The scan's options\nThese options apply to the scan that every subcommand but " + Bold("ports") +
         " and " + Bold("discover") + " runs first.\n" + OptionList(help.scanOptions);
}

std::string ExitStatus() {
  std::string out = ".SH EXIT STATUS\n";
  for (const HelpExitCode& exit : Help().exitCodes)
    out += ".TP\n.B " + std::to_string(static_cast<int>(exit.code)) + "\n" + Body(exit.text, ".IP");
  return out;
}
}  // namespace

std::string ManualSection(const std::string& name) {
  if (name == "DESCRIPTION") return Description();
  if (name == "SUBCOMMANDS") return Subcommands();
  if (name == "OPTIONS") return Options();
  if (name == "EXIT STATUS") return ExitStatus();
  return "";
}

bool FillManual(const std::string& manualTemplate, std::string& page, std::string& error) {
  page.clear();
  std::vector<std::string> filled;
  for (const std::string& line : Lines(manualTemplate)) {
    if (line.rfind(kMarker, 0) != 0) {
      page += line + "\n";
      continue;
    }
    std::string name = line.substr(sizeof kMarker - 1);
    std::string section = ManualSection(name);
    if (section.empty()) {
      error = "the template names an unknown section '" + name + "'";
      return false;
    }
    page += section;
    filled.push_back(name);
  }
  for (const char* name : kSections) {
    if (std::find(filled.begin(), filled.end(), name) == filled.end()) {
      error = std::string("the template has no place for the section ") + name + " (a line '" + kMarker + name + "')";
      return false;
    }
  }
  return true;
}
