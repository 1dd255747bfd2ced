// SPDX-License-Identifier: MIT
#include "trace_log.h"

#include <algorithm>
#include <cstdio>

#include "frame_bytes.h"

namespace serial {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
// Printable ASCII: blank to tilde.
constexpr uint8_t kFirstPrintable = 0x20;
constexpr uint8_t kLastPrintable = 0x7E;
}  // namespace

TraceLog::TraceLog(size_t maxRecords, size_t maxBytes)
    : maxRecords_(maxRecords == 0 ? 1 : maxRecords), maxBytes_(maxBytes) {}

TraceLog::~TraceLog() {
  std::vector<LinkState*> attached;
  {
    std::lock_guard lock(mutex_);
    attached = attached_;
  }
  for (LinkState* link : attached) Detach(*link);
}

void TraceLog::Attach(LinkState& link) {
  link.TraceHook = [this](const TraceEvent& event) { Take(event); };
  std::lock_guard lock(mutex_);
  if (std::find(attached_.begin(), attached_.end(), &link) == attached_.end()) attached_.push_back(&link);
}

void TraceLog::Detach(LinkState& link) {
  {
    std::lock_guard lock(mutex_);
    auto it = std::find(attached_.begin(), attached_.end(), &link);
    if (it == attached_.end()) return;
    attached_.erase(it);
  }
  link.TraceHook = {};
  // The connection's partial record ends here.
  Take(TraceEvent{TraceDirection::Ended, 0, nullptr, 0, link.OpenPortNumber});
}

void TraceLog::SetCallback(RecordCallback callback) {
  std::lock_guard lock(mutex_);
  callback_ = std::move(callback);
}

void TraceLog::Take(const TraceEvent& event) {
  std::vector<TraceRecord> completed;  // allocates only when a record completes
  RecordCallback callback;
  {
    std::lock_guard lock(mutex_);
    Assembly& a = assemblies_[event.port];
    if (event.direction == TraceDirection::Sent || event.direction == TraceDirection::Echo) {
      CloseOpen(a, completed);
      TakeWhole(a, event, completed);
    } else if (event.direction == TraceDirection::Received) {
      TakeReceived(a, event, completed);
    } else if (event.direction == TraceDirection::Discarded) {
      TakeDiscarded(a, event, completed);
    } else {
      CloseOpen(a, completed);
      assemblies_.erase(event.port);
    }
    callback = callback_;
  }
  if (!callback) return;
  for (const TraceRecord& record : completed) callback(record);
}

void TraceLog::TakeWhole(Assembly& a, const TraceEvent& event, std::vector<TraceRecord>& completed) {
  // A frame starts an exchange; its echo is not what the module sent, so
  // what follows it is still the exchange's first reply.
  if (event.direction == TraceDirection::Sent) {
    a.exchangeReceived = false;
    a.exchangeStartedWithLf = false;
  }
  TraceRecord record;
  record.tickMs = event.tickMs;
  record.direction = event.direction;
  record.port = event.port;
  size_t kept = event.length < maxBytes_ ? event.length : maxBytes_;
  record.bytes.assign(reinterpret_cast<const char*>(event.bytes), kept);
  record.omitted = event.length - kept;
  Keep(record);
  completed.push_back(std::move(record));
}

void TraceLog::OpenRecord(Assembly& a, const TraceEvent& event, TraceDirection direction) {
  a.current = TraceRecord{};
  a.current.tickMs = event.tickMs;
  a.current.direction = direction;
  a.current.port = event.port;
  a.open = true;
}

void TraceLog::TakeReceived(Assembly& a, const TraceEvent& event, std::vector<TraceRecord>& completed) {
  for (size_t i = 0; i < event.length; ++i) {
    uint8_t byte = event.bytes[i];
    if (!a.exchangeReceived) a.exchangeStartedWithLf = byte == kFrameLf;
    a.exchangeReceived = true;
    if (!a.open) OpenRecord(a, event, TraceDirection::Received);
    Append(a, byte);
    if (byte == kFrameCr && a.exchangeStartedWithLf) CloseOpen(a, completed);
  }
}

void TraceLog::TakeDiscarded(Assembly& a, const TraceEvent& event, std::vector<TraceRecord>& completed) {
  for (size_t i = 0; i < event.length; ++i) {
    const uint8_t byte = event.bytes[i];
    if (a.open && a.current.direction != TraceDirection::Discarded) CloseOpen(a, completed);
    if (!a.open) OpenRecord(a, event, TraceDirection::Discarded);
    Append(a, byte);
    // One record per reply thrown away, so a backlog reads line by line.
    if (byte == kFrameCr) CloseOpen(a, completed);
  }
}

void TraceLog::Append(Assembly& a, uint8_t byte) {
  if (a.current.bytes.size() < maxBytes_) {
    a.current.bytes.push_back(static_cast<char>(byte));
  } else {
    a.current.omitted += 1;
  }
}

void TraceLog::CloseOpen(Assembly& a, std::vector<TraceRecord>& completed) {
  if (!a.open) return;
  a.open = false;
  Keep(a.current);
  completed.push_back(std::move(a.current));
  a.current = TraceRecord{};
}

void TraceLog::Keep(const TraceRecord& record) {
  records_.push_back(record);
  while (records_.size() > maxRecords_) {
    records_.pop_front();
    dropped_ += 1;
  }
}

std::vector<TraceRecord> TraceLog::Records() const {
  std::lock_guard lock(mutex_);
  return {records_.begin(), records_.end()};
}

uint64_t TraceLog::DroppedRecords() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

void TraceLog::Clear() {
  std::lock_guard lock(mutex_);
  records_.clear();
  dropped_ = 0;
}

std::string TraceHex(std::string_view bytes) {
  std::string hex;
  hex.reserve(bytes.size() * 3);
  for (unsigned char byte : bytes) {
    if (!hex.empty()) hex.push_back(' ');
    hex.push_back(kHexDigits[byte >> 4]);
    hex.push_back(kHexDigits[byte & 0x0F]);
  }
  return hex;
}

std::string TraceText(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (unsigned char byte : bytes) {
    if (byte == '\\') {
      text += "\\\\";
    } else if (byte >= kFirstPrintable && byte <= kLastPrintable) {
      text.push_back(static_cast<char>(byte));
    } else if (byte == '\t') {
      text += "\\t";
    } else if (byte == '\r') {
      text += "\\r";
    } else if (byte == '\n') {
      text += "\\n";
    } else {
      text += "\\x";
      text.push_back(kHexDigits[byte >> 4]);
      text.push_back(kHexDigits[byte & 0x0F]);
    }
  }
  return text;
}

std::string TraceLine(const TraceRecord& record) {
  char time[32];
  std::snprintf(time, sizeof time, "%8u ms ", static_cast<unsigned>(record.tickMs));
  std::string line = time;
  line += record.direction == TraceDirection::Sent ? "> " : "< ";
  line += TraceHex(record.bytes);
  line += "  ";
  line += TraceText(record.bytes);
  if (record.omitted > 0) line += "  (+" + std::to_string(record.omitted) + " bytes not kept)";
  if (record.direction == TraceDirection::Discarded) line += "  (discarded)";
  if (record.direction == TraceDirection::Echo) line += "  (echo)";
  return line;
}

}  // namespace serial
