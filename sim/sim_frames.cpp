// SPDX-License-Identifier: MIT
#include "sim_frames.h"

namespace sim {

namespace {
constexpr size_t kGarbageSample = 32;

std::string OverlongReason() { return "frame longer than " + std::to_string(kMaxCommandFrame) + " bytes"; }

std::string MoreNote(size_t total, size_t limit) {
  if (total <= limit) return {};
  return " ... (+" + std::to_string(total - limit) + " bytes)";
}
}  // namespace

uint8_t XorOf(uint8_t seed, std::string_view bytes) {
  for (char c : bytes) seed ^= static_cast<uint8_t>(c);
  return seed;
}

std::string HexByte(uint8_t value, bool lowerCase) {
  const char* digits = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
  return {digits[value >> 4], digits[value & 0x0F]};
}

std::string ReplyFrame(std::string_view text) {
  std::string frame(1, kLf);
  frame.append(text);
  frame += HexByte(XorOf(0, frame));
  frame += kCr;
  return frame;
}

void FrameParser::Feed(const char* bytes, size_t length, std::vector<Event>& events) {
  for (size_t i = 0; i < length; ++i) {
    char c = bytes[i];
    if (c == kTab) {
      if (inFrame_) events.push_back({Event::Kind::Dropped, "", frame_, overlong_ ? OverlongReason() : "frame cut short by a new frame"});
      DropGarbage(events);
      inFrame_ = true;
      overlong_ = false;
      frame_.assign(1, c);
    } else if (!inFrame_) {
      if (garbage_.size() < kGarbageSample) garbage_ += c;
      ++garbageCount_;
    } else if (overlong_) {
      if (c == kCr) EndFrame(events);
    } else {
      frame_ += c;
      if (c == kCr) {
        EndFrame(events);
      } else if (frame_.size() >= kMaxCommandFrame) {
        overlong_ = true;  // keep the first bytes only, for the log
      }
    }
  }
  DropGarbage(events);
}

void FrameParser::EndFrame(std::vector<Event>& events) {
  inFrame_ = false;
  if (overlong_) {
    events.push_back({Event::Kind::Dropped, "", frame_, OverlongReason()});
    frame_.clear();
    return;
  }
  // TAB, at least one text byte, two checksum characters, CR.
  if (frame_.size() < 5) {
    events.push_back({Event::Kind::Dropped, "", frame_, "frame too short"});
    frame_.clear();
    return;
  }
  std::string text = frame_.substr(1, frame_.size() - 4);
  std::string expected = HexByte(XorOf(static_cast<uint8_t>(kTab), text));
  if (frame_.compare(frame_.size() - 3, 2, expected) != 0) {
    events.push_back({Event::Kind::BadChecksum, text, frame_, "bad checksum, expected " + expected});
  } else {
    events.push_back({Event::Kind::Command, text, frame_, ""});
  }
  frame_.clear();
}

void FrameParser::DropGarbage(std::vector<Event>& events) {
  if (garbageCount_ == 0) return;
  events.push_back({Event::Kind::Dropped, "", garbage_,
                    std::to_string(garbageCount_) + " bytes outside a frame"});
  garbage_.clear();
  garbageCount_ = 0;
}

std::string Printable(std::string_view bytes, size_t limit) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
    else out += "\\x" + HexByte(c);
  }
  return out + MoreNote(bytes.size(), limit);
}

std::string HexBytes(std::string_view bytes, size_t limit) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
    if (i > 0) out += ' ';
    out += HexByte(static_cast<uint8_t>(bytes[i]));
  }
  return out + MoreNote(bytes.size(), limit);
}

}  // namespace sim
