// SPDX-License-Identifier: MIT
#pragma once
// Module k of a test bus: the given reader IDs, serial fields of its own
// (12345678 + k and 87654321 - k), its mode and its line setting.

#include <string>

#include "module_logic.h"

inline sim::ModuleConfig BusModule(const std::string& id1, const std::string& id2, int k, char mode = '0',
                                   int lineIndex = 5) {
  sim::ModuleConfig c;
  c.id1 = id1;
  c.id2 = id2;
  c.serial1 = std::to_string(12345678 + k);
  c.serial2 = std::to_string(87654321 - k);
  c.mode = mode;
  c.lineIndex = lineIndex;
  return c;
}
