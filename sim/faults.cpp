// SPDX-License-Identifier: MIT
#include "faults.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "sim_frames.h"

namespace sim {

namespace {

struct KindName {
  FaultKind kind;
  const char* name;
};

constexpr KindName kKindNames[] = {
    {FaultKind::NoReply, "noreply"},       {FaultKind::Delay, "delay"},
    {FaultKind::BadChecksum, "badchecksum"}, {FaultKind::LowerCaseChecksum, "lowercase"},
    {FaultKind::WrongLength, "wronglength"}, {FaultKind::StrayByte, "stray"},
    {FaultKind::Trickle, "trickle"},       {FaultKind::Flood, "flood"},
    {FaultKind::EndlessFlood, "endlessflood"}, {FaultKind::HangUp, "hangup"},
    {FaultKind::RawReply, "raw"},          {FaultKind::LateQueue, "late"},
    {FaultKind::FallSilent, "silent"},
};

bool ToInt(std::string_view s, int& out) {
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size();
}

std::vector<std::string_view> SplitColons(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon == std::string_view::npos ? colon : colon - start));
    if (colon == std::string_view::npos) return parts;
    start = colon + 1;
  }
}

bool Matches(const Fault& fault, const std::string& command) {
  if (fault.command.empty()) return true;
  bool isPoll = command.size() == 4 && command[3] == 'F';
  if (fault.command == "F") return isPoll;
  return command.compare(0, 4, fault.command) == 0;
}

void Apply(const Fault& f, ReplyFaults& r) {
  switch (f.kind) {
    case FaultKind::NoReply: r.noReply = true; break;
    case FaultKind::Delay: r.delayMs = std::max(0, f.value); break;
    case FaultKind::BadChecksum: r.badChecksum = true; break;
    case FaultKind::LowerCaseChecksum: r.lowerCase = true; break;
    case FaultKind::WrongLength: r.length = std::clamp(f.value, 2, kMaxWrongLength); break;
    case FaultKind::StrayByte: r.strayByte = true; break;
    case FaultKind::Trickle: r.trickleMs = std::max(0, f.value); break;
    case FaultKind::Flood: r.flood = true; break;
    case FaultKind::EndlessFlood: r.endlessFlood = true; break;
    case FaultKind::HangUp: r.hangUp = true; break;
    case FaultKind::RawReply: r.raw = f.bytes; break;
    case FaultKind::LateQueue: r.queuedLateMs = std::max(0, f.value); break;
    case FaultKind::FallSilent: break;  // counted down by FaultList::Take, never shapes a reply
  }
  std::string name = FaultKindName(f.kind);
  if (f.kind == FaultKind::Delay || f.kind == FaultKind::WrongLength || f.kind == FaultKind::Trickle ||
      f.kind == FaultKind::LateQueue) {
    // Appended piece by piece: GCC 12 at -O3 (the package's Release build)
    // warns falsely (-Wrestrict) about "(" + std::string.
    name += '(';
    name += std::to_string(f.value);
    name += ')';
  }
  r.names.push_back(name);
}

std::string ChecksummedFrame(const std::string& text, bool lowerCase, bool badChecksum,
                             std::vector<std::string>& notes) {
  std::string frame(1, kLf);
  frame += text;
  uint8_t sum = XorOf(0, frame);
  // Flipping the low bit keeps both characters hexadecimal but wrong.
  if (badChecksum) sum ^= 0x01;
  std::string hex = HexByte(sum, lowerCase);
  if (lowerCase && hex == HexByte(sum)) {
    notes.push_back("lower-case checksum: " + hex + " has no letters, the reply goes out unchanged");
  }
  return frame + hex + kCr;
}

// A correct frame of `length` bytes, or the shapes too short for a checksum.
std::string FrameOfLength(const std::string& text, int length, bool lowerCase, bool badChecksum,
                          std::vector<std::string>& notes) {
  if (length < 4) {
    std::string frame(1, kLf);
    if (length == 3) frame += text.empty() ? '0' : text[0];
    return frame + kCr;
  }
  std::string resized = text;
  resized.resize(static_cast<size_t>(length - 4), '0');
  return ChecksummedFrame(resized, lowerCase, badChecksum, notes);
}

std::string FrameBytes(const std::string& text, const ReplyFaults& f, std::vector<std::string>& notes) {
  if (f.raw) return *f.raw;
  if (f.flood) return std::string(kFloodBytes, 'Z');
  if (f.length) return FrameOfLength(text, *f.length, f.lowerCase, f.badChecksum, notes);
  return ChecksummedFrame(text, f.lowerCase, f.badChecksum, notes);
}

}  // namespace

std::string FaultKindName(FaultKind kind) {
  for (const KindName& k : kKindNames) {
    if (k.kind == kind) return k.name;
  }
  return "?";
}

std::optional<Fault> ParseFault(std::string_view text) {
  std::vector<std::string_view> parts = SplitColons(text);
  if (parts.size() > 4) return std::nullopt;
  Fault fault;
  auto known = std::find_if(std::begin(kKindNames), std::end(kKindNames),
                            [&](const KindName& k) { return parts[0] == k.name; });
  if (known == std::end(kKindNames) || known->kind == FaultKind::RawReply) return std::nullopt;
  fault.kind = known->kind;
  if (parts.size() > 1) fault.command = std::string(parts[1]);
  if (parts.size() > 2 && !ToInt(parts[2], fault.count)) return std::nullopt;
  if (parts.size() > 3 && !ToInt(parts[3], fault.value)) return std::nullopt;
  return fault;
}

void FaultList::Add(const Fault& fault) {
  if (fault.kind == FaultKind::FallSilent && fault.count <= 0) {
    silent_ = true;
    return;
  }
  if (fault.count != 0) faults_.push_back(fault);
}

void FaultList::Clear() {
  faults_.clear();
  silent_ = false;
}

ReplyFaults FaultList::Take(const std::string& command) {
  ReplyFaults result;
  std::vector<FaultKind> taken;
  for (Fault& fault : faults_) {
    if (!Matches(fault, command)) continue;
    if (std::find(taken.begin(), taken.end(), fault.kind) != taken.end()) continue;
    taken.push_back(fault.kind);
    if (fault.kind == FaultKind::FallSilent) {
      // Its count is always positive here (Add turns the others into silence).
      if (--fault.count == 0) result.fallsSilent = silent_ = true;
      continue;
    }
    Apply(fault, result);
    if (fault.count > 0) --fault.count;
  }
  faults_.erase(std::remove_if(faults_.begin(), faults_.end(), [](const Fault& f) { return f.count == 0; }),
                faults_.end());
  return result;
}

ReplyPlan PlanReply(const std::string& text, const ReplyFaults& faults) {
  ReplyPlan plan;
  for (const std::string& name : faults.names) plan.notes.push_back("fault: " + name);
  if (faults.noReply) return plan;
  if (faults.endlessFlood) {
    plan.endlessFlood = true;
    return plan;
  }

  std::string bytes = FrameBytes(text, faults, plan.notes);
  if (faults.strayByte) bytes.insert(bytes.begin(), 'X');
  if (faults.hangUp) {
    bytes.resize(bytes.size() / 2);
    plan.hangUpAfter = true;
  }
  const int firstAfter = faults.delayMs + faults.queuedLateMs.value_or(0);
  plan.queued = faults.queuedLateMs.has_value();
  if (faults.trickleMs) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      int after = i == 0 ? firstAfter : *faults.trickleMs;
      plan.writes.push_back({after, std::string(1, bytes[i])});
    }
  } else if (!bytes.empty()) {
    plan.writes.push_back({firstAfter, bytes});
  }
  return plan;
}

Fault MakeFault(FaultKind kind, std::string command, int count, int value) {
  Fault fault;
  fault.kind = kind;
  fault.command = std::move(command);
  fault.count = count;
  fault.value = value;
  return fault;
}

}  // namespace sim
