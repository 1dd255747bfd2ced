// SPDX-License-Identifier: MIT
#include "real_input.h"

#include "deadline.h"

namespace window_test {

namespace {
constexpr DWORD kLookIntervalMs = 2;
// SendInput's absolute coordinates: 0 to 65535 across the primary screen.
constexpr int kAbsoluteRange = 65535;

LONG Absolute(int pixel, int screenPixels) {
  return static_cast<LONG>((static_cast<long long>(pixel) * kAbsoluteRange) / (screenPixels > 1 ? screenPixels - 1 : 1));
}

void Send(INPUT input) { SendInput(1, &input, sizeof input); }
}  // namespace

InputThread::InputThread(Script script)
    : thread_([this, script = std::move(script)] {
        script(*this);
        finished_ = true;
      }) {}

InputThread::~InputThread() {
  if (thread_.joinable()) thread_.join();
}

void InputThread::MoveTo(HWND control) {
  RECT place{};
  GetWindowRect(control, &place);
  INPUT move{};
  move.type = INPUT_MOUSE;
  move.mi.dx = Absolute((place.left + place.right) / 2, GetSystemMetrics(SM_CXSCREEN));
  move.mi.dy = Absolute((place.top + place.bottom) / 2, GetSystemMetrics(SM_CYSCREEN));
  move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  Send(move);
}

void InputThread::Button(DWORD flags) {
  INPUT button{};
  button.type = INPUT_MOUSE;
  button.mi.dwFlags = flags;
  Send(button);
}

void InputThread::KeyEvent(WORD key, DWORD flags) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = flags;
  Send(input);
}

void InputThread::Click(HWND control) {
  MoveTo(control);
  Button(MOUSEEVENTF_LEFTDOWN);
  serial::SleepMs(static_cast<unsigned>(kPress.count()));
  Button(MOUSEEVENTF_LEFTUP);
}

void InputThread::DoubleClick(HWND control) {
  Click(control);
  serial::SleepMs(static_cast<unsigned>(kPress.count()));
  Button(MOUSEEVENTF_LEFTDOWN);
  serial::SleepMs(static_cast<unsigned>(kPress.count()));
  Button(MOUSEEVENTF_LEFTUP);
}

void InputThread::Key(WORD key) {
  KeyEvent(key, 0);
  serial::SleepMs(static_cast<unsigned>(kPress.count()));
  KeyEvent(key, KEYEVENTF_KEYUP);
}

bool InputThread::WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  serial::Deadline deadline(limit);
  while (!condition()) {
    if (deadline.Expired()) return false;
    Sleep(kLookIntervalMs);
  }
  return true;
}

void PressKey(WORD key) {
  INPUT input[2] = {};
  for (INPUT& event : input) {
    event.type = INPUT_KEYBOARD;
    event.ki.wVk = key;
  }
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, input, sizeof(INPUT));
}

}  // namespace window_test
