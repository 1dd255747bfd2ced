// SPDX-License-Identifier: MIT
#pragma once
// The outcome of a module operation or of a module's provisioning, as a
// code; rt420ctl exits with it.
//
// 0  success;
// 1  the module failed or was not found: it did not answer, answered wrongly,
//    refused a setting, or a read-back did not show what was written;
// 2  a usage error: nothing was sent to the module;
// 3  the port could not be opened: the operation failed, at least one port
//    open failed during it, and not one frame was sent in it (so no port it
//    tried could be opened). A scan that opened one port and heard nothing
//    there is 1, even when every other port failed to open.
// 4  stopped: a stop (Ctrl+C, SIGTERM, a hang-up) came before every write
//    the run meant to make was made. Nothing is written after a stop to a
//    module whose writes had not begun; a module whose writes had begun
//    finishes the write in flight and is recorded as stopped, with what was
//    and was not written.

#include <cstdint>

enum ExitCode : int { kExitOk = 0, kExitModule = 1, kExitUsage = 2, kExitPort = 3, kExitStopped = 4 };

// What the link did during one operation: failed opens and frames sent.
struct LinkActivity {
  uint64_t openFailures = 0;
  uint64_t framesSent = 0;
};

// The exit code of an operation from its outcome and the link's activity
// before and after it.
inline ExitCode ExitCodeFor(bool success, const LinkActivity& before, const LinkActivity& after) {
  if (success) return kExitOk;
  bool openFailed = after.openFailures > before.openFailures;
  bool nothingSent = after.framesSent == before.framesSent;
  return openFailed && nothingSent ? kExitPort : kExitModule;
}
