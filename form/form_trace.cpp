// SPDX-License-Identifier: MIT
#include "form_trace.h"

#include <cstddef>
#include <utility>

#include "deadline.h"

namespace form {

namespace {
// The program's start on the link's millisecond counter: taken when the
// program's static data is set up, before main.
const uint32_t kProgramStartTick = serial::TickCount();
}  // namespace

TraceModel::TraceModel(serial::LinkState& link) : link_(link) { log_.Attach(link_); }

TraceModel::~TraceModel() { log_.Detach(link_); }

std::vector<serial::TraceRecord> TraceModel::TakeFresh() {
  std::vector<serial::TraceRecord> records = log_.Records();
  const uint64_t total = log_.DroppedRecords() + records.size();
  if (total <= shown_) return {};
  uint64_t fresh = total - shown_;
  if (fresh > records.size()) fresh = records.size();
  shown_ = total;
  records.erase(records.begin(), records.end() - static_cast<std::ptrdiff_t>(fresh));
  for (serial::TraceRecord& record : records) record = SinceProgramStart(std::move(record));
  return records;
}

bool TraceModel::WriteLines(std::FILE* file) const {
  for (const serial::TraceRecord& record : log_.Records()) {
    const std::string line = serial::TraceLine(SinceProgramStart(record)) + "\n";
    if (std::fputs(line.c_str(), file) < 0) return false;
  }
  return std::fflush(file) == 0;
}

void TraceModel::Clear() {
  log_.Clear();
  shown_ = log_.DroppedRecords();
}

serial::TraceRecord TraceModel::SinceProgramStart(serial::TraceRecord record) {
  record.tickMs -= kProgramStartTick;  // modulo 2^32, like the counter
  return record;
}

}  // namespace form
