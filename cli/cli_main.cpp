// SPDX-License-Identifier: MIT
#include "cli_main.h"

#include <exception>
#include <string>
#include <vector>

#include "cli_help.h"
#include "cli_output.h"
#include "cli_session.h"
#include "stop_request.h"
#include "subcommands.h"

namespace {
ExitCode Dispatch(CliSession& session) {
  switch (session.Options().subcommand) {
    case Subcommand::Scan: return RunScanCommand(session.Connection());
    case Subcommand::Watch:
      return session.Options().ids.empty() ? RunWatchCommand(session.Connection())
                                           : RunWalkCommand(session.Connection());
    case Subcommand::Survey: return RunSurveyCommand(session.Connection());
    case Subcommand::Linktest: return RunLinktestCommand(session.Connection());
    case Subcommand::Apply: return RunApplyCommand(session);
    case Subcommand::Discover: return RunDiscoverCommand(session);
    case Subcommand::Ports: return RunPortsCommand(session.Options());
    default: return RunWriteCommand(session.Connection());
  }
}

ExitCode Run(const CliOptions& options) {
  if (options.help) {
    std::string help = SubcommandHelp(options.subcommand);
    help.pop_back();  // PrintLine ends the last line
    PrintLine(help);
    return kExitOk;
  }
  if (options.version) {
    PrintLine(VersionLine());
    return kExitOk;
  }
  InstallStopRequest();
  CliSession session(options);
  return Dispatch(session);
}
}  // namespace

int RunCli(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.error.empty()) {
    // An error within a subcommand points to that subcommand's own help.
    const std::string& name = parsed.options.subcommandName;
    std::string help = name.empty() ? "rt420ctl --help shows the usage" : "rt420ctl " + name + " --help shows its usage";
    PrintErrorLine("rt420ctl: " + parsed.error + " (" + help + ")");
    return kExitUsage;
  }
  try {
    return Run(parsed.options);
  } catch (const std::exception& error) {
    PrintErrorLine(std::string("rt420ctl: ") + error.what());
    return kExitModule;
  }
}
