// Built instead of ports_command.cpp while the port report (port_report.h,
// port_report_posix.cpp) is not in the source tree: the subcommand is known
// and says plainly that this build lacks it.

#include "cli_output.h"
#include "subcommands.h"

ExitCode RunPortsCommand(const CliOptions&) {
  PrintErrorLine("rt420ctl: ports is not part of this build (the port report is missing)");
  return kExitModule;
}
