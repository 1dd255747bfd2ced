// SPDX-License-Identifier: MIT
#pragma once
// Real input as an operator makes it: SendInput from a thread of its own,
// with real pauses, while the window's thread runs its own loops (an
// operation's waits, its beeps, the program's loop). The system queues the
// input as it queues a user's and routes it by the pointer's place and the
// keyboard focus; under wine's null display driver it does the same.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace window_test {

class InputThread {
 public:
  // From pressing a button or key to releasing it; two presses of a double
  // click are 2 x kPress apart.
  static constexpr std::chrono::milliseconds kPress{30};

  using Script = std::function<void(InputThread& input)>;
  // Runs script on a thread of its own at once.
  explicit InputThread(Script script);
  // Waits for the script to end.
  ~InputThread();
  InputThread(const InputThread&) = delete;
  InputThread& operator=(const InputThread&) = delete;

  bool Finished() const { return finished_; }

  // For the script. Click: the pointer to the middle of the control, the
  // left button pressed and released kPress later. DoubleClick: two such
  // clicks, the presses 2 x kPress apart. Key: pressed and released kPress
  // later.
  void Click(HWND control);
  void DoubleClick(HWND control);
  void Key(WORD key);
  // Waits until condition holds (looking every few milliseconds); false
  // when it did not within limit.
  static bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

 private:
  void MoveTo(HWND control);
  static void Button(DWORD flags);
  static void KeyEvent(WORD key, DWORD flags);

  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// Presses and releases a key from the calling thread (for the window's own
// thread: the key is queued and reaches the window when it serves its
// messages).
void PressKey(WORD key);

}  // namespace window_test
