// SPDX-License-Identifier: MIT
#pragma once
// The Win32 window under wine, in one process: the window is created as the
// program creates it, against the simulated module behind COM3, on wine's
// null display driver (set in the test prefix), which stands in for a
// screen. Buttons are pressed with BM_CLICK or with real input, texts read
// back with GetWindowTextW.

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "catalogue.h"
#include "codepage.h"
#include "connection.h"
#include "form_table.h"
#include "module_window.h"
#include "sim_log.h"

namespace window_test {

using form::FormControl;
using C = FormControl;
inline constexpr const wchar_t* kStoreKey = L"Software\\TAVIX\\Corvel";
// Only a bound for waits on conditions; nothing waits this long unless
// something is broken.
inline constexpr std::chrono::milliseconds kWait{20000};

// A catalogue text as the window shows it.
std::wstring Expected(const std::string& bytes, int languageIndex);
void ForgetStoredValues();

// Serves the thread's messages as the program's loop does until done()
// holds or limit has passed; false when it did not hold. done() is asked
// after every message the loop takes, when no handler runs. Sleeps while
// no message comes.
bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kWait);
// Serves them for at least that long.
void ServeFor(std::chrono::milliseconds span);

// Calls check on every tick of a thread timer while the window's own loops
// run (an operation's pump, a message box), until it returns true.
class TickWatcher {
 public:
  explicit TickWatcher(std::function<bool()> check);
  ~TickWatcher();
  TickWatcher(const TickWatcher&) = delete;
  TickWatcher& operator=(const TickWatcher&) = delete;

 private:
  static constexpr UINT kTickMs = 50;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  static inline std::function<bool()> active_;
  UINT_PTR id_;
};

class Win32Window : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { catalogue::FillCatalogue(); }
  static void TearDownTestSuite() { catalogue::ReleaseCatalogue(); }

  void SetUp() override;
  void TearDown() override;
  // Closes the window and opens a new one, as at the program's start.
  void Reopen();

  void Click(C button) { SendMessageW(window->Control(button), BM_CLICK, 0, 0); }
  std::wstring Text(C control) { return window->ShownText(control); }
  std::wstring Message(int number) {
    return Expected(catalogue::CatalogueText(number, catalogue::Language.LanguageIndex), catalogue::Language.LanguageIndex);
  }
  HWND Control(C control) { return window->Control(control); }

  // A scan that finds the module (at most kScanAttempts scans).
  void ScanStoredPort();
  // Presses a button until its operation succeeds (the lamp yellow), at
  // most kScanAttempts times; true when it did.
  bool ClickUntilYellow(C button);
  // How often an operation is tried that a loaded machine can fail by
  // holding a reply back past its window (the operation then fails as it
  // should).
  static constexpr int kScanAttempts = 3;

  // The window's connection: its scan result, its flags, its stop request.
  commands::Connection& Conn() { return window->WindowConnection(); }

  SimLog log{SimLog::PathFromEnvironment()};
  std::unique_ptr<TfrmModule> window;
};

}  // namespace window_test
