// SPDX-License-Identifier: MIT
// The stop signals on POSIX: SIGINT, SIGTERM and SIGHUP (the terminal closed,
// an SSH session dropped) set a flag and write a byte into a pipe, so that a
// wait in poll() wakes at once. A second SIGINT or SIGTERM ends the program
// at once by its default action, after the open ports have given up their
// exclusive mode (which would otherwise outlive the program). A hang-up never
// does: one closed terminal may send it twice (the kernel and the shell), and
// the run it stops must still write its records. A hang-up that was ignored
// when the program started (nohup) stays ignored.
//
// SIGPIPE is ignored: a write to a closed pipe fails instead (see
// cli_output.cpp). SIGXFSZ is ignored: a write past the file-size limit
// fails and is reported (see csv_file.h) rather than ending the program.
//
// The byte in the pipe is never read: the pipe stays readable, so that every
// thread in poll() wakes, however many there are, and every later wait ends
// at once. The program's own request (WakeStopWaiters) writes a byte too.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "serial_device.h"
#include "stop_request.h"

namespace {
// The first SIGINT says on stderr what it does, with write(), which a
// handler may call: a Ctrl+C that seems ignored for seconds is pressed again.
constexpr char kStoppingLine[] = "rt420ctl: stopping after this step; Ctrl+C again to quit now\n";
constexpr char kHangUpLine[] = "rt420ctl: hang-up: stopping after this step\n";
constexpr char kTerminateLine[] = "rt420ctl: termination request: stopping after this step\n";

// Set in the handler and read by every thread: a lock-free atomic, which a
// handler may write.
std::atomic<bool> signalled{false};
static_assert(std::atomic<bool>::is_always_lock_free);
// Made once, before the handlers are installed or the first wait; fixed
// from then on.
int wakePipe[2] = {-1, -1};
std::once_flag wakePipeMade;

void MakeWakePipe() {
  std::call_once(wakePipeMade, [] {
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
  });
}

// A full pipe refuses the byte without blocking; it is readable anyway.
void WriteWakeByte() {
  if (wakePipe[1] < 0) return;
  char byte = 1;
  [[maybe_unused]] ssize_t n = write(wakePipe[1], &byte, 1);
}

void OnStopSignal(int number) {
  int saved = errno;
  const bool again = signalled.exchange(true);
  if (again && number == SIGHUP) {
    errno = saved;  // a hang-up stops the run once and quits nothing
    return;
  }
  if (again) {
    serial::ReleaseSerialDeviceForExit();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(number, &fallback, nullptr);
    raise(number);  // delivered with its default action once this handler returns
    errno = saved;
    return;
  }
  SetForwardedStop();
  WriteWakeByte();
  if (number == SIGINT) {
    [[maybe_unused]] ssize_t n = write(STDERR_FILENO, kStoppingLine, sizeof kStoppingLine - 1);
  } else if (number == SIGHUP) {
    // Likely to reach nothing but a log that stderr was sent to.
    [[maybe_unused]] ssize_t n = write(STDERR_FILENO, kHangUpLine, sizeof kHangUpLine - 1);
  } else {
    [[maybe_unused]] ssize_t n = write(STDERR_FILENO, kTerminateLine, sizeof kTerminateLine - 1);
  }
  errno = saved;
}

// Installs the handler for a signal, unless the signal was ignored when the
// program started and keepIgnored says to leave it so.
void Catch(int number, const struct sigaction& action, bool keepIgnored) {
  struct sigaction before {};
  if (keepIgnored && sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) return;
  sigaction(number, &action, nullptr);
}
}  // namespace

void InstallStopRequest() {
  MakeWakePipe();
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  Catch(SIGINT, action, false);
  Catch(SIGTERM, action, false);
  Catch(SIGHUP, action, true);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

bool StopSignalled() { return signalled; }

bool WaitForStopSignal(int ms) {
  if (signalled) return true;
  MakeWakePipe();
  pollfd p{wakePipe[0], POLLIN, 0};
  // Without the pipe, poll() on no descriptor is a plain sleep.
  int count = wakePipe[0] >= 0 ? 1 : 0;
  poll(&p, static_cast<nfds_t>(count), ms);
  return signalled;
}

void WakeStopWaiters() {
  MakeWakePipe();
  WriteWakeByte();
}
