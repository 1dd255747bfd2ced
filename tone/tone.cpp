// SPDX-License-Identifier: MIT
// The portable half of the tone: the test recorder, and the silent wait that
// keeps a beep's timing where no sound device is available.

#include "tone.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "tone_platform.h"

namespace tone {

namespace {
std::mutex recorderMutex;
ToneRecorder recorder;

ToneRecorder CurrentRecorder() {
  std::lock_guard<std::mutex> lock(recorderMutex);
  return recorder;
}
}  // namespace

void SetToneRecorder(ToneRecorder newRecorder) {
  std::lock_guard<std::mutex> lock(recorderMutex);
  recorder = std::move(newRecorder);
}

void Beep(unsigned frequencyHz, unsigned durationMs) {
  // Called outside the lock, so a recorder may itself set a new recorder.
  if (ToneRecorder record = CurrentRecorder()) {
    record(frequencyHz, durationMs);
    return;
  }
  if (!PlayTone(frequencyHz, durationMs)) std::this_thread::sleep_for(std::chrono::milliseconds(durationMs));
}

}  // namespace tone
