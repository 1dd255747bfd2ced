// SPDX-License-Identifier: MIT
#pragma once
// How many frames reached a simulated module, by its log: every frame it
// read, also one it ignored because the line was at another speed when it
// read it (a machine under load can hold a frame back until the tool has
// reopened the port at the next line setting). text: only frames whose text
// starts so.

#include <algorithm>
#include <string>
#include <vector>

#include "sim_module.h"

inline size_t FramesReceived(const sim::SimModule& module, const std::string& text = "") {
  const std::string mark = " <- \\t" + text;
  const std::vector<std::string> log = module.LogLines();
  return static_cast<size_t>(
      std::count_if(log.begin(), log.end(), [&](const std::string& line) { return line.find(mark) != std::string::npos; }));
}
