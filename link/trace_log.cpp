// SPDX-License-Identifier: MIT
#include "trace_log.h"

#include <cstdio>

#include "frame_bytes.h"

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
// Printable ASCII: blank to tilde.
constexpr uint8_t kFirstPrintable = 0x20;
constexpr uint8_t kLastPrintable = 0x7E;
}  // namespace

TraceLog::TraceLog(size_t maxRecords, size_t maxBytes)
    : maxRecords_(maxRecords == 0 ? 1 : maxRecords), maxBytes_(maxBytes) {}

TraceLog::~TraceLog() { Detach(); }

void TraceLog::Attach() {
  SetFrameTrace([this](const TraceEvent& event) { Take(event); });
  attached_ = true;
}

void TraceLog::Detach() {
  if (!attached_) return;
  SetFrameTrace({});
  attached_ = false;
  TraceEvent end{TraceDirection::Ended, 0, nullptr, 0};
  Take(end);
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
    if (event.direction == TraceDirection::Sent) {
      CloseOpen(completed);
      TakeSent(event, completed);
    } else if (event.direction == TraceDirection::Received) {
      TakeReceived(event, completed);
    } else if (event.direction == TraceDirection::Discarded) {
      TakeDiscarded(event, completed);
    } else {
      CloseOpen(completed);
      exchangeReceived_ = false;
      exchangeStartedWithLf_ = false;
    }
    callback = callback_;
  }
  if (!callback) return;
  for (const TraceRecord& record : completed) callback(record);
}

void TraceLog::TakeSent(const TraceEvent& event, std::vector<TraceRecord>& completed) {
  exchangeReceived_ = false;
  exchangeStartedWithLf_ = false;
  TraceRecord record;
  record.tickMs = event.tickMs;
  record.direction = TraceDirection::Sent;
  size_t kept = event.length < maxBytes_ ? event.length : maxBytes_;
  record.bytes.assign(reinterpret_cast<const char*>(event.bytes), kept);
  record.omitted = event.length - kept;
  Keep(record);
  completed.push_back(std::move(record));
}

void TraceLog::TakeReceived(const TraceEvent& event, std::vector<TraceRecord>& completed) {
  for (size_t i = 0; i < event.length; ++i) {
    uint8_t byte = event.bytes[i];
    if (!exchangeReceived_) exchangeStartedWithLf_ = byte == kFrameLf;
    exchangeReceived_ = true;
    if (!open_) {
      current_ = TraceRecord{};
      current_.tickMs = event.tickMs;
      current_.direction = TraceDirection::Received;
      open_ = true;
    }
    Append(byte);
    if (byte == kFrameCr && exchangeStartedWithLf_) CloseOpen(completed);
  }
}

void TraceLog::TakeDiscarded(const TraceEvent& event, std::vector<TraceRecord>& completed) {
  for (size_t i = 0; i < event.length; ++i) {
    const uint8_t byte = event.bytes[i];
    if (open_ && current_.direction != TraceDirection::Discarded) CloseOpen(completed);
    if (!open_) {
      current_ = TraceRecord{};
      current_.tickMs = event.tickMs;
      current_.direction = TraceDirection::Discarded;
      open_ = true;
    }
    Append(byte);
    // One record per reply thrown away, so a backlog reads line by line.
    if (byte == kFrameCr) CloseOpen(completed);
  }
}

void TraceLog::Append(uint8_t byte) {
  if (current_.bytes.size() < maxBytes_) {
    current_.bytes.push_back(static_cast<char>(byte));
  } else {
    current_.omitted += 1;
  }
}

void TraceLog::CloseOpen(std::vector<TraceRecord>& completed) {
  if (!open_) return;
  open_ = false;
  Keep(current_);
  completed.push_back(std::move(current_));
  current_ = TraceRecord{};
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
  return line;
}
