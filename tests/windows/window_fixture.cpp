// SPDX-License-Identifier: MIT
#include "window_fixture.h"

#include <algorithm>

#include "deadline.h"
#include "settings_store.h"

namespace window_test {

namespace {
// The longest sleep between two looks at a condition while no message comes.
constexpr DWORD kServeSliceMs = 10;

// Serves the messages that come within waitMs, as the program's loop does;
// true as soon as done() holds after one of them.
bool ServeWaiting(DWORD waitMs, const std::function<bool()>& done) {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_ALLINPUT);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    DispatchThreadMessage(message);
    if (done()) return true;
  }
  return false;
}
}  // namespace

std::wstring Expected(const std::string& bytes, int languageIndex) {
  const std::string utf8 = catalogue::DecodeToUtf8(bytes, catalogue::LanguageCodePage(languageIndex));
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                      wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

void ForgetStoredValues() {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) RegDeleteKeyExW(root, kStoreKey, KEY_WOW64_32KEY, 0);
}

bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  serial::Deadline deadline(limit);
  while (!done()) {
    if (deadline.Expired()) return false;
    if (ServeWaiting(kServeSliceMs, done)) return true;
  }
  return true;
}

void ServeFor(std::chrono::milliseconds span) {
  serial::Deadline deadline(span);
  while (!deadline.Expired())
    ServeWaiting(static_cast<DWORD>(std::min<int>(deadline.RemainingMs(), kServeSliceMs)), [] { return false; });
}

TickWatcher::TickWatcher(std::function<bool()> check) : id_(SetTimer(nullptr, 0, kTickMs, &TickWatcher::Tick)) {
  active_ = std::move(check);
}

TickWatcher::~TickWatcher() {
  KillTimer(nullptr, id_);
  active_ = nullptr;
}

void CALLBACK TickWatcher::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (active_ && active_()) active_ = nullptr;
}

void Win32Window::SetUp() {
  ASSERT_FALSE(SimLog::PathFromEnvironment().empty()) << "run through run-with-sim.sh with RT420_SIM set";
  catalogue::SelectLanguage(0);
  window = std::make_unique<TfrmModule>();
  frmModule = window.get();
  window->Show();
  SetForegroundWindow(window->Handle());
}

void Win32Window::TearDown() {
  frmModule = nullptr;
  window.reset();
  // A quit request left by btnExit is this window's alone.
  MSG quit;
  while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

void Win32Window::ScanStoredPort() {
  // On a loaded machine a reply can come after its window: the scan then
  // fails as it should, and is made again.
  for (int attempt = 0; attempt < kScanAttempts; ++attempt) {
    Click(C::btnScan);
    if (Conn().ModuleFound) break;
  }
  ASSERT_TRUE(Conn().ModuleFound) << "pnMsg: " << window->Caption(C::pnMsg);
}

bool Win32Window::ClickUntilYellow(C button) {
  for (int attempt = 0; attempt < kScanAttempts; ++attempt) {
    Click(button);
    if (window->LampColor() == form::kYellow) return true;
  }
  return false;
}

void Win32Window::Reopen() {
  frmModule = nullptr;
  window.reset();
  window = std::make_unique<TfrmModule>();
  frmModule = window.get();
  window->Show();
  SetForegroundWindow(window->Handle());
}

}  // namespace window_test
