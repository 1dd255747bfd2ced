// SPDX-License-Identifier: MIT
// The tone on ALSA: a sine wave, 16-bit mono at 44100 Hz, through the
// "default" device, written in small blocks so that memory stays bounded
// whatever the duration.

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <numbers>
#include <vector>

#include "tone_platform.h"

namespace tone {

namespace {
constexpr unsigned kSampleRate = 44100;
constexpr unsigned kBlockFrames = 1024;
constexpr unsigned kLatencyUs = 100000;
constexpr double kAmplitude = 0.3 * 32767;
// Ramps at both ends keep the tone from clicking.
constexpr unsigned kRampFrames = kSampleRate / 200;

// ALSA reports its failures on stderr by default; a missing sound device is
// normal here and must not litter the operator's terminal.
void QuietErrorHandler(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(QuietErrorHandler); });
}

snd_pcm_t* OpenDevice() {
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return nullptr;
  if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kSampleRate, 1,
                         kLatencyUs) < 0) {
    snd_pcm_close(pcm);
    return nullptr;
  }
  return pcm;
}

double Envelope(unsigned long frame, unsigned long total) {
  const unsigned long ramp = std::min<unsigned long>(kRampFrames, total / 2);
  if (ramp == 0) return 1.0;
  if (frame < ramp) return double(frame) / ramp;
  if (total - frame <= ramp) return double(total - frame) / ramp;
  return 1.0;
}

void FillBlock(std::vector<int16_t>& block, unsigned long first, unsigned long total, unsigned frequencyHz) {
  const double step = 2 * std::numbers::pi * frequencyHz / kSampleRate;
  for (size_t i = 0; i < block.size(); ++i) {
    const unsigned long frame = first + i;
    block[i] = int16_t(std::lround(kAmplitude * Envelope(frame, total) * std::sin(step * double(frame))));
  }
}

// Writes one block, recovering from an underrun a few times at most; false
// when the device keeps failing.
bool WriteBlock(snd_pcm_t* pcm, const std::vector<int16_t>& block) {
  constexpr int kMaxRecoveries = 4;
  int recoveries = 0;
  size_t done = 0;
  while (done < block.size()) {
    const snd_pcm_sframes_t written = snd_pcm_writei(pcm, block.data() + done, block.size() - done);
    if (written > 0) {
      done += size_t(written);
    } else if (++recoveries > kMaxRecoveries || snd_pcm_recover(pcm, int(written), 1) < 0) {
      return false;
    }
  }
  return true;
}
}  // namespace

bool PlayTone(unsigned frequencyHz, unsigned durationMs) {
  SilenceAlsa();
  snd_pcm_t* pcm = OpenDevice();
  if (!pcm) return false;
  const unsigned long total = (unsigned long)durationMs * kSampleRate / 1000;
  std::vector<int16_t> block;
  bool ok = true;
  for (unsigned long first = 0; first < total && ok; first += kBlockFrames) {
    block.resize(std::min<unsigned long>(kBlockFrames, total - first));
    FillBlock(block, first, total, frequencyHz);
    ok = WriteBlock(pcm, block);
  }
  if (ok) snd_pcm_drain(pcm);
  snd_pcm_close(pcm);
  return true;
}

}  // namespace tone
