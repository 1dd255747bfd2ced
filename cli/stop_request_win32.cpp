// SPDX-License-Identifier: MIT
// The stop signals on Windows: a console control handler for Ctrl+C,
// Ctrl+Break and the closing of the console window. The first event sets a
// flag and signals a manual-reset event, so that a wait in
// WaitForSingleObject wakes at once. A second Ctrl+C or Ctrl+Break ends the
// program at once, with the exit code of a program that Ctrl+C ended
// (STATUS_CONTROL_C_EXIT): the same as the second signal on POSIX, whose
// handler was reset. It is ended here rather than by the system's own
// handler, whose exit code differs between Windows and wine; it is
// terminated, as a signal would end it, with no exit handlers run while the
// main thread is still at work. The system closes the port's handle.
//
// The handler runs on a thread of its own that the system starts. For the
// closing of the console the system ends the program as soon as the handler
// returns (and after about five seconds in any case), so the handler holds
// it a little while, long enough for the operation in progress to end its
// step and close the port; the program's normal end ends that wait.
//
// The first Ctrl+C says on stderr that the program stops after this step.
//
// The event is never reset: every thread waiting on it wakes, however many
// there are, and every later wait ends at once. The program's own request
// (WakeStopWaiters) sets it too.
//
// There is no SIGPIPE on Windows: a write to a pipe whose reader went away
// fails, and cli_output.cpp requests a stop.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "cli_output.h"
#include "stop_request.h"

namespace {
// Less than the five seconds the system grants a handler at the closing of
// the console.
constexpr DWORD kCloseGraceMs = 4000;
constexpr char kStoppingLine[] = "rt420ctl: stopping after this step; Ctrl+C again to quit now";

std::atomic<bool> signalled{false};
std::once_flag handlerInstalled;
// Signalled by the first event or request; null when it could not be made (a
// wait is then a plain sleep). Made once, before the handler is installed or
// the first wait; fixed from then on.
HANDLE wakeEvent = nullptr;
std::once_flag wakeEventMade;

void MakeWakeEvent() {
  std::call_once(wakeEventMade, [] { wakeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); });
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  const bool second = signalled.exchange(true);
  SetForwardedStop();
  if (wakeEvent != nullptr) SetEvent(wakeEvent);
  if (event == CTRL_CLOSE_EVENT) {
    Sleep(kCloseGraceMs);
    return TRUE;
  }
  if (second) TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  // The handler's own thread may print: a line is written whole, after any
  // line another thread is writing.
  if (event == CTRL_C_EVENT) PrintErrorLine(kStoppingLine);
  return TRUE;
}
}  // namespace

// Installed once: a handler added twice would see every event twice.
void InstallStopRequest() {
  MakeWakeEvent();
  std::call_once(handlerInstalled, [] { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); });
}

bool StopSignalled() { return signalled; }

bool WaitForStopSignal(int ms) {
  if (signalled) return true;
  MakeWakeEvent();
  const DWORD timeout = ms > 0 ? static_cast<DWORD>(ms) : 0;
  if (wakeEvent != nullptr) {
    WaitForSingleObject(wakeEvent, timeout);
  } else {
    Sleep(timeout);
  }
  return signalled;
}

void WakeStopWaiters() {
  MakeWakeEvent();
  if (wakeEvent != nullptr) SetEvent(wakeEvent);
}
