// SPDX-License-Identifier: MIT
#include "two_digits.h"

#include <cstdio>

namespace text {

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

}  // namespace text
