// SPDX-License-Identifier: MIT
#pragma once
// Simulated modules for the bench tests: each with serial numbers, IDs and a
// key count that name its port, and what the tool shows of them.

#include <string>
#include <vector>

#include "sim_module.h"

// A module of its own: serial numbers and IDs that name its port, at a line
// setting whose parity the pseudo-terminal cannot tell apart (the even
// indexes: the scan finds each at its very own setting).
inline sim::ModuleConfig ModuleOnPort(int port, int lineIndex) {
  sim::ModuleConfig config;
  config.serial1 = "1000000" + std::to_string(port);
  config.serial2 = "2000000" + std::to_string(port);
  config.id1 = "1" + std::to_string(port);
  config.id2 = "2" + std::to_string(port);
  config.keyCount = "0" + std::to_string(port);
  config.rs485 = port % 2 ? '0' : '2';
  config.lineIndex = lineIndex;
  return config;
}

// The serial number as the scan shows it: the last digit plus one follows.
inline std::string SerialShown(const std::string& serial1) {
  return serial1 + "-" + std::to_string(serial1.back() - '0' + 1);
}
inline std::string SerialShown(const sim::ModuleConfig& c) { return SerialShown(c.serial1); }

inline const char* const kLineSettingTexts[] = {"4800,n,8,1",  "4800,e,8,1",  "9600,n,8,1",   "9600,e,8,1",
                                                "19200,n,8,1", "19200,e,8,1", "38400,n,8,1",  "38400,e,8,1",
                                                "57600,n,8,1", "57600,e,8,1", "115200,n,8,1", "115200,e,8,1"};

// The next module on the bench in the place of the last one: another serial
// number, and ID 1 at 01, so that a profile's ID 1 must be written.
inline bool PutNextModule(sim::SimModule& module, const std::string& serial1) {
  sim::ModuleConfig next = module.State();
  next.serial1 = serial1;
  next.id1 = "01";
  return module.SetState(next);
}

// The operation a write frame belongs to ("ids", "key-count", "mode",
// "line-setting"), as apply names its writes; empty for a frame that writes
// nothing.
inline std::string WriteOf(const std::string& command) {
  if (command.rfind("H00C", 0) == 0) return "ids";
  if (command.rfind("H00L", 0) == 0 && command.size() == 6) return "key-count";
  if (command.rfind("H00A", 0) == 0 && command.size() == 7) return "mode";
  if (command.rfind("H00E", 0) == 0 && command.size() == 5) return "line-setting";
  return {};
}

// A module's frame log with each run of one read frame taken as one. A
// loaded machine can make a connection send a read again (an identity frame
// of the scan, the key count's presence check, a value read, when a reply
// is held back past its window), or hold a frame of the search's previous
// line setting until the port was reopened at the module's own, so that the
// module takes it too; neither changes what the connection asked. Write
// frames are kept, each one.
inline std::vector<std::string> ReadRunsAsOne(const std::vector<std::string>& commands) {
  std::vector<std::string> kept;
  for (const std::string& command : commands) {
    if (!WriteOf(command).empty() || kept.empty() || kept.back() != command) kept.push_back(command);
  }
  return kept;
}

// The writes a module took, one name per operation in the order made.
inline std::vector<std::string> WritesTaken(const std::vector<std::string>& commands) {
  std::vector<std::string> writes;
  for (const std::string& command : commands) {
    std::string write = WriteOf(command);
    if (!write.empty() && (writes.empty() || writes.back() != write)) writes.push_back(write);
  }
  return writes;
}
