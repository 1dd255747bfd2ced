// SPDX-License-Identifier: MIT
// The stop signals on POSIX: SIGINT and SIGTERM set a flag and write a byte
// into a pipe, so that a wait in poll() wakes at once. The second signal ends
// the program at once by its default action, after the open port has given
// up its exclusive mode (which would otherwise outlive the program). SIGPIPE
// is ignored: a write to a closed pipe fails instead (see cli_output.cpp).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "serial_device.h"
#include "stop_request.h"

namespace {
// The first SIGINT says on stderr what it does, with write(), which a
// handler may call: a Ctrl+C that seems ignored for seconds is pressed again.
constexpr char kStoppingLine[] = "rt420ctl: stopping after this step; Ctrl+C again to quit now\n";

volatile sig_atomic_t signalled = 0;
int wakePipe[2] = {-1, -1};

void OnStopSignal(int number) {
  int saved = errno;
  if (signalled) {
    ReleaseSerialDeviceForExit();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(number, &fallback, nullptr);
    raise(number);  // delivered with its default action once this handler returns
    errno = saved;
    return;
  }
  signalled = 1;
  char byte = 1;
  [[maybe_unused]] ssize_t n = write(wakePipe[1], &byte, 1);
  if (number == SIGINT) n = write(STDERR_FILENO, kStoppingLine, sizeof kStoppingLine - 1);
  errno = saved;
}
}  // namespace

void InstallStopRequest() {
  if (wakePipe[0] < 0 && pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool StopSignalled() { return signalled != 0; }

bool WaitForStopSignal(int ms) {
  if (signalled) return true;
  pollfd p{wakePipe[0], POLLIN, 0};
  // Without the pipe, poll() on no descriptor is a plain sleep.
  int count = wakePipe[0] >= 0 ? 1 : 0;
  if (poll(&p, static_cast<nfds_t>(count), ms) < 0 && errno != EINTR) return signalled != 0;
  return signalled != 0;
}
