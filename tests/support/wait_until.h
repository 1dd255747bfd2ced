// SPDX-License-Identifier: MIT
#pragma once
// Waiting on a condition in a test, with a limit: the condition is tested
// every 5 ms, so a test waits for what it needs instead of a fixed time.

#include <chrono>
#include <functional>
#include <thread>

// True when the condition came within the limit.
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}
