// SPDX-License-Identifier: MIT
#pragma once

namespace tone {
// The platform half of the tone: plays a sine tone on the sound device and
// returns when it has ended. False when no device could be opened, in which
// case nothing was played and the caller keeps the timing itself.

bool PlayTone(unsigned frequencyHz, unsigned durationMs);

}  // namespace tone
