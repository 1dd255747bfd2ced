// SPDX-License-Identifier: MIT
#pragma once
// The platform's tone: a beep of a frequency and a duration, synchronous
// (returns when the tone has ended). Where no sound device exists it waits
// the same duration silently. Platform file: tone_alsa.cpp,
// tone_win32.cpp.
//
// Threads: Beep and SetToneRecorder are safe from several threads at once.
// Beeps from several threads are played (or waited) side by side, each for
// its own duration. Each Beep calls the recorder that was set when it began,
// possibly while other threads call it too, so a recorder must itself be
// safe from several threads; a recorder replaced meanwhile stays alive until
// those calls return.

#include <functional>

namespace tone {

void Beep(unsigned frequencyHz, unsigned durationMs);

// Tests record the beeps instead of playing them: while a recorder is set,
// Beep calls it and returns at once. An empty function restores the tone.
using ToneRecorder = std::function<void(unsigned frequencyHz, unsigned durationMs)>;
void SetToneRecorder(ToneRecorder recorder);

}  // namespace tone
