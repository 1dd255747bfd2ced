// SPDX-License-Identifier: MIT
#pragma once
// The tone as an operator hears it, for tests of what happens meanwhile:
// every beep is recorded and lasts its whole duration on the thread that
// asked for it (that thread handles no events during it, as with the real
// tone). A test may hold a beep past its end until its input has gone into
// the queue, so that input lands inside the beep however slow the machine.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "tone.h"

class LastingTone {
 public:
  using Beeps = std::vector<std::pair<unsigned, unsigned>>;
  static constexpr std::chrono::seconds kHoldLimit{10};

  LastingTone() {
    tone::SetToneRecorder([this](unsigned hz, unsigned ms) { Play(hz, ms); });
  }
  ~LastingTone() { tone::SetToneRecorder({}); }
  LastingTone(const LastingTone&) = delete;
  LastingTone& operator=(const LastingTone&) = delete;

  Beeps Heard() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return beeps_;
  }
  size_t Begun() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return beeps_.size();
  }
  size_t Ended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    beeps_.clear();
    ended_ = 0;
    heldFrom_ = 0;
  }
  // Beeps from the nth on (counting from 1, since the last Clear) last until
  // Release(), besides their duration (kHoldLimit at most).
  void HoldFrom(size_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    heldFrom_ = n;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      heldFrom_ = 0;
    }
    released_.notify_all();
  }

 private:
  void Play(unsigned hz, unsigned ms) {
    size_t number = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      beeps_.emplace_back(hz, ms);
      number = beeps_.size();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait_for(lock, kHoldLimit, [&] { return heldFrom_ == 0 || number < heldFrom_; });
    ++ended_;
  }

  mutable std::mutex mutex_;
  std::condition_variable released_;
  Beeps beeps_;
  size_t ended_ = 0;
  size_t heldFrom_ = 0;
};
