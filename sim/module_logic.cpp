// SPDX-License-Identifier: MIT
#include "module_logic.h"

#include <algorithm>

namespace sim {

uint32_t LineBaud(int lineIndex) {
  static const uint32_t kBauds[] = {4800, 9600, 19200, 38400, 57600, 115200};
  if (lineIndex < 0 || lineIndex >= serial::kLineSettingCount) return 0;
  return kBauds[lineIndex / 2];
}

bool ValidConfig(const ModuleConfig& c) {
  if (LineBaud(c.lineIndex) == 0) return false;
  for (const std::string* text : {&c.id1, &c.id2, &c.serial1, &c.serial2, &c.version, &c.keyCount}) {
    if (text->size() > kMaxFieldLength) return false;
  }
  return true;
}

namespace {
Answer Reply(std::string text) { return {std::move(text), std::nullopt}; }

bool AllDigits(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "0".."9" and "A", "B" (upper case, as the tool sends them); -1 otherwise.
int LineDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c == 'A' || c == 'B') return 10 + (c - 'A');
  return -1;
}
}  // namespace

ModuleLogic::ModuleLogic(ModuleConfig config) {
  if (ValidConfig(config)) config_ = std::move(config);
}

Answer ModuleLogic::Handle(const std::string& command) {
  if (command.size() < 4 || command[0] != 'H') return {};
  // A poll carries a reader's address; config commands carry "00".
  if (command.size() == 4 && command[3] == 'F') return Poll(command.substr(1, 2));
  if (command.compare(1, 2, "00") != 0) return {};
  return Configure(command[3], command.substr(4));
}

Answer ModuleLogic::Configure(char letter, const std::string& argument) {
  ModuleConfig& c = config_;
  switch (letter) {
    case 'M':
      if (argument.empty()) return Reply("M" + c.id1 + ":" + c.serial1);
      break;
    case 'N':
      if (argument.empty()) return Reply("N" + c.id2 + ":" + c.serial2);
      break;
    case 'V':
      if (argument.empty()) return Reply("V00:" + c.version);
      break;
    case 'B':
      if (argument.empty()) return Reply("B00:" + c.serial1);
      break;
    case 'L':
      if (argument.size() == 2) c.keyCount = argument;
      if (argument.empty() || argument.size() == 2) return Reply("L00:" + c.keyCount);
      break;
    case 'A':
      if (argument.size() == 3 && AllDigits(argument)) {
        c.mode = argument[0];
        c.rs485 = argument[2];
      }
      if (argument.empty() || (argument.size() == 3 && AllDigits(argument))) {
        return Reply(std::string("A00:") + c.mode + "0" + c.rs485);
      }
      break;
    case 'C':
      return SetId(argument);
    case 'E':
      return SetLine(argument);
    default:
      break;
  }
  return {};
}

Answer ModuleLogic::SetId(const std::string& argument) {
  if (argument.size() != 10) return {};
  std::string field = argument.substr(0, 8);
  std::string id = argument.substr(8);
  // Both channels may carry the same serial field; the first channel wins.
  if (field == config_.serial1) {
    config_.id1 = id;
  } else if (field == config_.serial2) {
    config_.id2 = id;
  } else {
    return {};
  }
  return Reply("C00:" + id);
}

Answer ModuleLogic::SetLine(const std::string& argument) {
  if (argument.size() != 1) return {};
  int index = LineDigit(argument[0]);
  if (index < 0) return {};
  return {"E00:" + argument, index};
}

int ModuleLogic::ReaderAt(const std::string& address) const {
  if (address == config_.id1) return 1;
  if (address == config_.id2 && config_.mode == '0') return 2;
  return 0;
}

Answer ModuleLogic::Poll(const std::string& address) {
  const int reader = ReaderAt(address);
  if (reader == 0) return {};
  std::deque<std::string>& queue = cards_[reader - 1];
  std::string text = "F" + address + ":";
  if (queue.empty()) return Reply(text + "0");
  text += "1" + queue.front();
  queue.pop_front();
  return Reply(text);
}

bool ModuleLogic::SetConfig(const ModuleConfig& config) {
  if (!ValidConfig(config)) return false;
  config_ = config;
  return true;
}

void ModuleLogic::SetLineIndex(int lineIndex) {
  if (LineBaud(lineIndex) != 0) config_.lineIndex = lineIndex;
}

bool ModuleLogic::PresentCard(int reader, const std::string& data) {
  if (reader != 1 && reader != 2) return false;
  if (data.size() > kMaxCardData) return false;
  std::deque<std::string>& queue = cards_[reader - 1];
  if (queue.size() >= kMaxCardsWaiting) return false;
  queue.push_back(data);
  return true;
}

size_t ModuleLogic::CardsWaiting(int reader) const {
  if (reader != 1 && reader != 2) return 0;
  return cards_[reader - 1].size();
}

}  // namespace sim
