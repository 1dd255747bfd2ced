// SPDX-License-Identifier: MIT
#include "write_ledger.h"

#include <algorithm>
#include <cstdint>

#include "frames.h"
#include "line_settings.h"
#include "setting_words.h"

namespace {
constexpr char kFrameStart = '\t', kReplyStart = '\n', kFrameEnd = '\r';
constexpr size_t kChecksumChars = 2;
constexpr size_t kSerialFieldChars = 8;

// The command text of a whole frame, TAB text checksum CR; empty otherwise.
std::string CommandOf(const std::string& frame) {
  if (frame.size() < 2 + kChecksumChars || frame.front() != kFrameStart || frame.back() != kFrameEnd) return {};
  return frame.substr(1, frame.size() - 2 - kChecksumChars);
}

// A whole reply frame whose checksum (the XOR of the LF and the text) holds.
bool ValidReply(const std::string& bytes) {
  if (bytes.size() < 2 + kChecksumChars || bytes.front() != kReplyStart || bytes.back() != kFrameEnd) return false;
  uint8_t sum = 0;
  for (size_t i = 0; i + kChecksumChars + 1 < bytes.size(); ++i) sum ^= static_cast<uint8_t>(bytes[i]);
  return bytes.substr(bytes.size() - 1 - kChecksumChars, kChecksumChars) == serial::ByteToHex(sum);
}

std::optional<int> HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}
}  // namespace

void WriteLedger::Clear() { exchanges_.clear(); }

void WriteLedger::Take(const serial::TraceRecord& record) {
  if (record.direction == serial::TraceDirection::Sent) {
    if (exchanges_.size() >= kExchangesKept) exchanges_.erase(exchanges_.begin());
    exchanges_.push_back({CommandOf(record.bytes)});
  } else if (record.direction == serial::TraceDirection::Received && !exchanges_.empty()) {
    // Only the first record after a frame can be its reply.
    Exchange& last = exchanges_.back();
    if (!last.judged) last.answered = record.omitted == 0 && ValidReply(record.bytes);
    last.judged = true;
  }
}

std::vector<WrittenValue> WriteLedger::Accepted() const {
  std::vector<WrittenValue> accepted;
  std::string previous;
  for (const Exchange& exchange : exchanges_) {
    if (exchange.answered) {
      for (WrittenValue& value : ValuesWrittenBy(exchange.command, previous)) {
        std::erase_if(accepted, [&](const WrittenValue& v) { return v.key == value.key; });
        accepted.push_back(std::move(value));
      }
    }
    previous = exchange.command;
  }
  return accepted;
}

bool WriteLedger::Answered(const std::string& command) const {
  return std::any_of(exchanges_.begin(), exchanges_.end(),
                     [&](const Exchange& e) { return e.answered && e.command == command; });
}

std::vector<WrittenValue> ValuesWrittenBy(const std::string& command, const std::string& previous) {
  if (command.rfind("H00", 0) != 0 || command.size() < 5) return {};
  char kind = command[3];
  std::string argument = command.substr(4);
  if (kind == 'C' && argument.size() == kSerialFieldChars + 2) {
    bool second = previous == "H00N";
    return {{second ? "id2" : "id1", second ? "ID 2" : "ID 1", argument.substr(kSerialFieldChars)}};
  }
  if (kind == 'L' && argument.size() == 2) return {{"key-count", "key count", argument}};
  if (kind == 'A' && argument.size() == 3) {
    return {{"mode", "mode", ModeName(argument[0] == '0' ? 0 : 1)},
            {"rs485", "RS-485", Rs485Name(argument[2] - '0')}};
  }
  std::optional<int> index = argument.size() == 1 ? HexDigit(argument[0]) : std::nullopt;
  if (kind == 'E' && index && *index < serial::kLineSettingCount)
    return {{"line-setting", "line setting", serial::kLineSettings[*index]}};
  return {};
}

std::string DescribeValues(const std::vector<WrittenValue>& values) {
  std::string text;
  for (const WrittenValue& v : values) {
    std::string value = v.key == "mode" ? ModeWords(ParseModeName(v.value).value_or(-1)) : v.value;
    text += (text.empty() ? "" : ", ") + v.label + " " + value;
  }
  return text.empty() ? "nothing" : text;
}
