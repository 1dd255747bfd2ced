// SPDX-License-Identifier: MIT
#pragma once
// The two-digit numbers the ID and key panels show.

#include <string>

namespace text {

// "%02d": 7 gives "07", 20 gives "20", 123 gives "123".
std::string TwoDigits(int value);

}  // namespace text
