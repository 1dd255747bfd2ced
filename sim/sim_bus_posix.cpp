// SPDX-License-Identifier: MIT
// The simulated bus on a POSIX pseudo-terminal.
//
// One thread owns the line: it waits in poll() on the master side and on a
// wake pipe, with the time to the next thing due on the bus's time axis as
// the timeout, reads the tool's bytes, lets the modules hear its frames,
// runs the foreign master and the stray bytes, and writes to the tool what
// the line model says it receives. All state lives behind one mutex; the
// log sink is called with the mutex released.

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "line_model.h"
#include "pseudo_terminal.h"
#include "sim_bus.h"
#include "sim_frames.h"
#include "sim_log.h"

namespace sim {

namespace {

using BusClock = std::chrono::steady_clock;

constexpr LineTime kNsPerMs = 1'000'000;
// The longest the thread sleeps with nothing due: it looks this often
// whether a tool has ended without clearing its exclusive mode.
constexpr int kBusCheckMs = 100;
// Runs of characters on the line at once, and bytes written to the tool
// and not yet taken by the line: a tool that writes and never reads must
// not make the bus grow without bound.
constexpr size_t kMaxLineTransmissions = 512;
constexpr size_t kMaxToolBacklogBytes = 65536;
constexpr int kMinForeignMasterMs = 10;
constexpr int kMaxTimerMs = 3'600'000;
constexpr size_t kMaxForeignIds = 200;
// A speed the bus does not know: the tool's receiver and echo run at this
// one (and no module hears the tool).
constexpr uint32_t kFallbackBaud = 19200;

// A seeded stream of random numbers (splitmix64): the same on every
// platform and library, so a seed means the same run everywhere.
class RandomStream {
 public:
  RandomStream(uint64_t seed = 1, uint64_t stream = 0) : state_(seed * 0x9E3779B97F4A7C15ull + stream) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in 0 .. n-1 (n > 0); the bias of the modulo is far below what
  // any use here could show.
  uint64_t Below(uint64_t n) { return Next() % n; }

 private:
  uint64_t state_;
};

enum RandomStreamId : uint64_t { kJitterStream = 1, kStrayStream = 2, kNoiseStream = 3 };

std::string CommandFrame(const std::string& text) {
  std::string frame(1, kTab);
  frame += text;
  frame += HexByte(XorOf(static_cast<uint8_t>(kTab), text));
  frame += kCr;
  return frame;
}

std::string ModuleName(size_t k) { return "m" + std::to_string(k + 1); }

std::string Milliseconds(LineTime ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(ns) / kNsPerMs);
  return text;
}

template <typename T>
void PushBounded(std::deque<T>& queue, T value, size_t limit) {
  queue.push_back(std::move(value));
  if (queue.size() > limit) queue.pop_front();
}

struct BusModule {
  explicit BusModule(const ModuleConfig& config) : logic(config) {}
  ModuleLogic logic;
  std::deque<std::string> commands;
  std::deque<std::string> answers;
  LineTime freeAt = 0;  // when its last reply leaves the line
};

struct LineChange {
  LineTime at;
  size_t module;
  int lineIndex;
};

// The reader IDs the modules answer, in bus order, each once.
std::vector<std::string> AnsweringIdsOf(const std::vector<BusModule>& modules) {
  std::vector<std::string> ids;
  for (const BusModule& m : modules) {
    for (const std::string& id : {m.logic.Config().id1, m.logic.Config().id2}) {
      if (m.logic.ReaderAt(id) != 0 && std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
  }
  return ids;
}

}  // namespace

bool ValidLineFaults(const LineFaults& f) {
  auto timer = [](int ms, int least) { return ms == 0 || (ms >= least && ms <= kMaxTimerMs); };
  if (!(f.bitErrorRate >= 0 && f.bitErrorRate <= 1)) return false;  // NaN fails too
  if (f.jitterMs < 0 || f.jitterMs > kMaxJitterMs) return false;
  if (!timer(f.foreignMasterMs, kMinForeignMasterMs) || !timer(f.strayMs, 1)) return false;
  if (f.foreignLineIndex != -1 && LineBaud(f.foreignLineIndex) == 0) return false;
  if (f.foreignIds.size() > kMaxForeignIds) return false;
  return std::all_of(f.foreignIds.begin(), f.foreignIds.end(),
                     [](const std::string& id) { return !id.empty() && id.size() <= kMaxFieldLength; });
}

std::string DriverName(const LineRecord& record) {
  switch (record.driver) {
    case LineRecord::Driver::Tool: return "tool";
    case LineRecord::Driver::Module: return ModuleName(record.module);
    case LineRecord::Driver::ForeignMaster: return "foreign master";
    case LineRecord::Driver::Stray: return "stray";
  }
  return "?";
}

struct SimBus::Impl {
  Impl(std::vector<ModuleConfig> configs, LineFaults lineFaults) : faults(std::move(lineFaults)) {
    valid = !configs.empty() && configs.size() <= kMaxBusModules && ValidLineFaults(faults);
    for (const ModuleConfig& c : configs) {
      valid = valid && ValidConfig(c);
      modules.emplace_back(c);
    }
  }

  // --- state, all behind mutex ---
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<BusModule> modules;
  bool valid = false;
  LineFaults faults;
  RandomStream jitterRandom;
  RandomStream strayRandom;
  uint64_t noiseSeed = 0;

  BusClock::time_point origin = BusClock::now();
  std::vector<Transmission> onLine;  // what the receiver may still hear
  ReceiverState receiver;
  std::optional<LineTime> nextReceiveAt;
  std::vector<LineChange> lineChanges;
  LineTime toolFreeAt = 0;
  LineTime foreignFreeAt = 0;
  std::optional<LineTime> nextForeignAt;
  std::optional<LineTime> nextStrayAt;
  std::vector<std::string> foreignIds;
  int foreignLine = serial::kDefaultLineSettingNo;
  size_t foreignTurn = 0;

  std::string toTool;  // decoded, not yet written to the master
  bool writeBlocked = false;
  uint64_t bytesToTool = 0;
  uint64_t bytesFromTool = 0;

  std::deque<LineRecord> records;
  std::deque<LineChunk> chunks;
  SimLog log{kMaxLogLines};

  PseudoTerminal pty;
  std::string linkPath;
  bool stopping = false;

  // Opened by Start and closed by Stop while the thread does not run.
  WakePipe wake;
  std::thread thread;
  FrameParser parser;  // the thread's alone

  void Run();
  void ReadTool();
  void Advance();
  int NextWaitMs(LineTime now) const;

  // Called with mutex held from here on.
  LineTime Now() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(BusClock::now() - origin).count();
  }
  BusClock::time_point ClockAt(LineTime t) const { return origin + std::chrono::nanoseconds(t); }
  uint32_t ToolSpeed() const { return ToolBaud(pty.master); }
  Framing ToolFraming() const;
  Framing ReceiverFraming() const;
  void StartTimers(LineTime now);
  void HearFrame(const std::string& text, LineTime frameEnd, uint32_t baud);
  bool AddToLine(const Transmission& t, LineRecord record);
  void RunForeignMaster(LineTime now);
  void RunStray(LineTime now);
  void ApplyLineChanges(LineTime now);
  void Receive(LineTime now);
  void WriteToTool();
  void CloseLine(const std::string& why);
  void LogLocked(const std::string& direction, const std::string& text, BusClock::time_point at = BusClock::now());
  void LogBytesLocked(const std::string& direction, std::string_view bytes, BusClock::time_point at = BusClock::now());
  void FlushSink();
};

// ---------------------------------------------------------------- the line

Framing SimBus::Impl::ToolFraming() const {
  const uint32_t baud = ToolSpeed();
  return {baud == 0 ? kFallbackBaud : baud, FramingOfLine(serial::kDefaultLineSettingNo).evenParity};
}

// The tool's parity cannot be observed: its receiver takes the parity of
// the earliest run still on the line, so that a driver alone always comes
// through, whatever its parity.
Framing SimBus::Impl::ReceiverFraming() const {
  Framing framing = ToolFraming();
  auto earliest = std::min_element(onLine.begin(), onLine.end(),
                                   [](const Transmission& a, const Transmission& b) { return a.start < b.start; });
  if (earliest != onLine.end()) framing.evenParity = earliest->framing.evenParity;
  return framing;
}

void SimBus::Impl::StartTimers(LineTime now) {
  jitterRandom = RandomStream(faults.seed, kJitterStream);
  strayRandom = RandomStream(faults.seed, kStrayStream);
  noiseSeed = RandomStream(faults.seed, kNoiseStream).Next();
  foreignIds = faults.foreignIds.empty() ? AnsweringIdsOf(modules) : faults.foreignIds;
  foreignLine = faults.foreignLineIndex >= 0 ? faults.foreignLineIndex : modules.front().logic.Config().lineIndex;
  foreignTurn = 0;
  nextForeignAt.reset();
  nextStrayAt.reset();
  if (faults.foreignMasterMs > 0) nextForeignAt = now + faults.foreignMasterMs * kNsPerMs;
  if (faults.strayMs > 0) nextStrayAt = now + kNsPerMs;
}

// Every module at the frame's speed takes it in and carries it out; those
// that answer go on the line one after the other, a stagger apart.
void SimBus::Impl::HearFrame(const std::string& text, LineTime frameEnd, uint32_t baud) {
  int rank = 0;
  for (size_t k = 0; k < modules.size(); ++k) {
    BusModule& m = modules[k];
    const int lineIndex = m.logic.Config().lineIndex;
    const std::string name = ModuleName(k);
    if (LineBaud(lineIndex) != baud) {
      LogLocked("--", name + " ignored " + Printable(text) + ": line speed " + std::to_string(baud) + ", module at " +
                          std::to_string(LineBaud(lineIndex)));
      continue;
    }
    PushBounded(m.commands, text, kMaxLoggedCommands);
    changed.notify_all();
    Answer answer = m.logic.Handle(text);
    if (!answer.reply) {
      LogLocked("--", name + " took " + Printable(text) + ", no reply");
      continue;
    }
    const Framing framing = FramingOfLine(lineIndex);
    LineTime after = kBusTurnaroundUs * 1000LL + rank * CharTime(framing) * kStaggerPercent / 100;
    if (faults.jitterMs > 0) after += static_cast<LineTime>(jitterRandom.Below(faults.jitterMs * 1000ULL + 1)) * 1000;
    ++rank;
    const Transmission reply{std::max(frameEnd + after, m.freeAt), framing, ReplyFrame(*answer.reply)};
    LineTime changeAt = EndOf(reply);
    if (reply.start - Now() > kMaxDriverBacklogMs * kNsPerMs) {
      LogLocked("--", name + " took " + Printable(text) + ", reply dropped: its replies are " +
                          Milliseconds(reply.start - Now()) + " ms behind");
      changeAt = Now();
    } else {
      LogLocked("--", name + " took " + Printable(text) + ", answers " + Printable(*answer.reply));
      PushBounded(m.answers, *answer.reply, kMaxLoggedCommands);
      const std::chrono::nanoseconds afterFrame(reply.start - frameEnd);
      if (AddToLine(reply, {LineRecord::Driver::Module, k, {}, {}, {}, lineIndex, afterFrame})) m.freeAt = EndOf(reply);
    }
    if (answer.newLineIndex) lineChanges.push_back({changeAt, k, *answer.newLineIndex});
  }
}

// Puts one run of characters on the line; false when the line holds too
// many already.
bool SimBus::Impl::AddToLine(const Transmission& t, LineRecord record) {
  record.start = ClockAt(t.start);
  record.end = ClockAt(EndOf(t));
  record.bytes = t.bytes;
  if (onLine.size() >= kMaxLineTransmissions) {
    LogLocked("--", "line full: " + DriverName(record) + " dropped " + Printable(t.bytes, 40));
    return false;
  }
  onLine.push_back(t);
  LogLocked("--", "line " + DriverName(record) + " at " + Milliseconds(t.start) + ".." + Milliseconds(EndOf(t)) +
                      " ms: " + Printable(t.bytes));
  PushBounded(records, std::move(record), kMaxLineRecords);
  return true;
}

void SimBus::Impl::RunForeignMaster(LineTime now) {
  if (!nextForeignAt || now < *nextForeignAt) return;
  const LineTime period = faults.foreignMasterMs * kNsPerMs;
  *nextForeignAt += period;
  if (*nextForeignAt <= now) *nextForeignAt = now + period;  // fell behind: no burst
  if (foreignIds.empty()) return;
  if (foreignFreeAt > now) {
    LogLocked("--", "foreign master skips a poll: its last one is still on the line");
    return;
  }
  const std::string text = "H" + foreignIds[foreignTurn++ % foreignIds.size()] + "F";
  const Transmission frame{now, FramingOfLine(foreignLine), CommandFrame(text)};
  if (!AddToLine(frame, {LineRecord::Driver::ForeignMaster, 0, {}, {}, {}, foreignLine, {}})) return;
  foreignFreeAt = EndOf(frame);
  HearFrame(text, foreignFreeAt, frame.framing.baud);
}

void SimBus::Impl::RunStray(LineTime now) {
  if (!nextStrayAt || now < *nextStrayAt) return;
  nextStrayAt = now + static_cast<LineTime>(1 + strayRandom.Below(2ULL * faults.strayMs)) * kNsPerMs;
  const auto byte = static_cast<char>(strayRandom.Below(256));
  const Transmission stray{now, ToolFraming(), std::string(1, byte)};
  const LineTime end = EndOf(stray);
  // Missing bias shows only while nobody drives the line.
  bool idle = std::none_of(onLine.begin(), onLine.end(),
                           [&](const Transmission& t) { return t.start < end && EndOf(t) > now; });
  if (idle) AddToLine(stray, {LineRecord::Driver::Stray, 0, {}, {}, {}, -1, {}});
}

void SimBus::Impl::ApplyLineChanges(LineTime now) {
  for (auto it = lineChanges.begin(); it != lineChanges.end();) {
    if (it->at > now) {
      ++it;
      continue;
    }
    modules[it->module].logic.SetLineIndex(it->lineIndex);
    LogLocked("--", ModuleName(it->module) + " line setting now " + std::to_string(it->lineIndex) + " (" +
                        serial::kLineSettings[it->lineIndex] + ")");
    it = lineChanges.erase(it);
    changed.notify_all();
  }
}

// Hands the tool every character whose stop bit has been sampled by now,
// and forgets what can no longer reach it.
void SimBus::Impl::Receive(LineTime now) {
  nextReceiveAt.reset();
  if (onLine.empty()) return;
  const std::vector<ReceivedChar> chars =
      ReceiveLine(onLine, ReceiverFraming(), {faults.bitErrorRate, noiseSeed}, receiver, now);
  std::string bytes;
  int framingErrors = 0;
  int parityErrors = 0;
  for (const ReceivedChar& c : chars) {
    if (c.at > now) {
      nextReceiveAt = c.at;
      break;
    }
    bytes += static_cast<char>(c.byte);
    framingErrors += c.framingError;
    parityErrors += c.parityError;
    receiver = StateAfter(c);
  }
  if (framingErrors + parityErrors > 0) {
    LogLocked("--", "received " + std::to_string(bytes.size()) + " bytes, " + std::to_string(framingErrors) +
                        " framing errors, " + std::to_string(parityErrors) + " parity errors");
  }
  if (toTool.size() + bytes.size() > kMaxToolBacklogBytes) {
    LogLocked("--", "dropped " + std::to_string(bytes.size()) + " bytes: the tool does not read");
  } else {
    toTool += bytes;
  }
  // Without a character still to come, nothing that has ended matters any
  // more; otherwise only what ended before the receiver's place.
  const LineTime forgetBefore = nextReceiveAt ? receiver.from : now;
  std::erase_if(onLine, [&](const Transmission& t) { return EndOf(t) <= forgetBefore; });
  if (onLine.empty()) receiver = {now, false, receiver.received};
  for (const Transmission& t : onLine) {
    const LineTime end = EndOf(t);
    if (end > now) nextReceiveAt = std::min(nextReceiveAt.value_or(end), end);  // wake to forget it
  }
}

void SimBus::Impl::WriteToTool() {
  if (toTool.empty() || writeBlocked || pty.master < 0) return;
  const BusClock::time_point began = BusClock::now();
  ssize_t n = write(pty.master, toTool.data(), toTool.size());
  if (n < 0) {
    if (errno == EAGAIN) writeBlocked = true;
    if (errno != EAGAIN && errno != EINTR) {
      LogLocked("--", std::string("write failed: ") + std::strerror(errno));
      toTool.clear();
    }
    return;
  }
  const std::string_view written(toTool.data(), static_cast<size_t>(n));
  LogBytesLocked("->", written, began);
  PushBounded(chunks, LineChunk{LineChunk::Direction::ToTool, began, std::string(written)}, kMaxLineChunks);
  bytesToTool += static_cast<uint64_t>(n);
  toTool.erase(0, static_cast<size_t>(n));
  writeBlocked = !toTool.empty();
  changed.notify_all();
}

// Only possible once no slave descriptor is left (ours is) or the terminal
// broke: stop listening rather than poll a dead descriptor.
void SimBus::Impl::CloseLine(const std::string& why) {
  CloseDescriptor(pty.master);
  toTool.clear();
  writeBlocked = false;
  LogLocked("--", why + ": the line is closed");
}

// ---------------------------------------------------------------- the thread

void SimBus::Impl::Run() {
  while (true) {
    int waitMs;
    bool wantWrite;
    int master;
    {
      std::lock_guard lock(mutex);
      if (stopping) break;
      waitMs = NextWaitMs(Now());
      wantWrite = writeBlocked;
      master = pty.master;
    }
    pollfd fds[2] = {{wake.ReadEnd(), POLLIN, 0}, {master, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
    const nfds_t count = master >= 0 ? 2 : 1;
    if (poll(fds, count, waitMs) < 0 && errno != EINTR) {
      std::lock_guard lock(mutex);
      LogLocked("--", std::string("poll failed: ") + std::strerror(errno));
      break;
    }
    if (fds[0].revents & POLLIN) wake.Drain();
    if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) ReadTool();
    if (count == 2 && (fds[1].revents & POLLOUT)) {
      std::lock_guard lock(mutex);
      writeBlocked = false;
    }
    Advance();
    FlushSink();
  }
  FlushSink();
}

int SimBus::Impl::NextWaitMs(LineTime now) const {
  if (!toTool.empty() && !writeBlocked && pty.master >= 0) return 0;
  std::optional<LineTime> due = nextReceiveAt;
  auto consider = [&due](std::optional<LineTime> t) {
    if (t) due = due ? std::min(*due, *t) : *t;
  };
  consider(nextForeignAt);
  consider(nextStrayAt);
  for (const LineChange& change : lineChanges) consider(change.at);
  if (!due) return kBusCheckMs;
  if (*due <= now) return 0;
  return static_cast<int>(std::min<LineTime>((*due - now + kNsPerMs - 1) / kNsPerMs, kBusCheckMs));
}

void SimBus::Impl::ReadTool() {
  char buffer[512];
  const ssize_t n = read(pty.master, buffer, sizeof buffer);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  std::lock_guard lock(mutex);
  if (n <= 0) {
    CloseLine(n == 0 ? "line closed" : std::string("read failed: ") + std::strerror(errno));
    return;
  }
  const std::string_view bytes(buffer, static_cast<size_t>(n));
  const LineTime now = Now();
  PushBounded(chunks, LineChunk{LineChunk::Direction::FromTool, ClockAt(now), std::string(bytes)}, kMaxLineChunks);
  bytesFromTool += bytes.size();
  changed.notify_all();
  // The tool's UART sends at its own pace: what it wrote goes on the line
  // after what it wrote before.
  const Transmission sent{std::max(now, toolFreeAt), ToolFraming(), std::string(bytes)};
  if (sent.start - now > kMaxDriverBacklogMs * kNsPerMs) {
    LogLocked("--", "the tool writes faster than its line: " + std::to_string(n) + " bytes not echoed");
  } else {
    toolFreeAt = EndOf(sent);
    if (faults.echo) AddToLine(sent, {LineRecord::Driver::Tool, 0, {}, {}, {}, -1, {}});
  }
  std::vector<FrameParser::Event> events;
  parser.Feed(buffer, static_cast<size_t>(n), events);
  for (const FrameParser::Event& event : events) {
    if (event.kind == FrameParser::Event::Kind::Dropped) {
      LogLocked("--", "dropped: " + event.reason + ": " + Printable(event.raw, 40));
      continue;
    }
    LogBytesLocked("<-", event.raw);
    if (event.kind == FrameParser::Event::Kind::BadChecksum) {
      LogLocked("--", "ignored: " + event.reason);
      continue;
    }
    HearFrame(event.text, toolFreeAt, ToolSpeed());
  }
}

void SimBus::Impl::Advance() {
  std::lock_guard lock(mutex);
  if (ClearModeOfClosedTool(pty.slave)) {
    LogLocked("--", "the tool's side closed without ending its exclusive mode: mode cleared");
  }
  const LineTime now = Now();
  RunForeignMaster(now);
  RunStray(now);
  ApplyLineChanges(now);
  Receive(now);
  WriteToTool();
  changed.notify_all();
}

// ---------------------------------------------------------------- logging

void SimBus::Impl::LogLocked(const std::string& direction, const std::string& text, BusClock::time_point at) {
  log.Add(direction, text, at);
  changed.notify_all();
}

void SimBus::Impl::LogBytesLocked(const std::string& direction, std::string_view bytes, BusClock::time_point at) {
  log.AddBytes(direction, bytes, at);
  changed.notify_all();
}

void SimBus::Impl::FlushSink() {
  std::vector<std::string> lines;
  LogSink copy;
  {
    std::lock_guard lock(mutex);
    copy = log.TakeUnsent(lines);
  }
  for (const std::string& line : lines) copy(line);
}

// ---------------------------------------------------------------- the API

SimBus::SimBus(std::vector<ModuleConfig> modules, LineFaults faults)
    : impl_(std::make_unique<Impl>(std::move(modules), std::move(faults))) {}

SimBus::~SimBus() { Stop(); }

bool SimBus::Start() {
  Impl& b = *impl_;
  std::unique_lock lock(b.mutex);
  if (b.thread.joinable() || !b.valid) return false;
  if (!OpenPseudoTerminal(b.pty)) return false;
  if (!b.wake.Open()) {
    ClosePseudoTerminal(b.pty);
    return false;
  }
  b.stopping = false;
  b.parser = FrameParser{};
  // A new time axis: nothing of an earlier run is on the line.
  b.origin = BusClock::now();
  b.log.SetOrigin(b.origin);
  b.receiver = {};  // and the noise starts from its first character again
  b.toolFreeAt = b.foreignFreeAt = 0;
  for (BusModule& m : b.modules) m.freeAt = 0;
  b.StartTimers(0);
  std::string modules;
  for (size_t k = 0; k < b.modules.size(); ++k) {
    const ModuleConfig& c = b.modules[k].logic.Config();
    modules += " " + ModuleName(k) + "(" + c.id1 + "," + c.id2 + " at " + serial::kLineSettings[c.lineIndex] + ")";
  }
  b.LogLocked("--", "bus at " + b.pty.slavePath + ":" + modules);
  b.thread = std::thread([&b] { b.Run(); });
  return true;
}

void SimBus::Stop() {
  Impl& b = *impl_;
  if (!b.thread.joinable()) return;
  {
    std::lock_guard lock(b.mutex);
    b.stopping = true;
    b.wake.Wake();
  }
  b.thread.join();
  std::lock_guard lock(b.mutex);
  ClosePseudoTerminal(b.pty);
  b.wake.Close();
  b.onLine.clear();
  b.lineChanges.clear();
  b.toTool.clear();
  b.writeBlocked = false;
  RemoveLink(b.linkPath, b.pty.slavePath);
  b.linkPath.clear();
  b.changed.notify_all();
}

std::string SimBus::SlavePath() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->pty.slavePath;
}

bool SimBus::LinkAt(const std::string& path) {
  std::lock_guard lock(impl_->mutex);
  if (!PlaceLink(impl_->pty.slavePath, path)) return false;
  impl_->linkPath = path;
  return true;
}

size_t SimBus::ModuleCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->modules.size();
}

ModuleConfig SimBus::State(size_t k) const {
  std::lock_guard lock(impl_->mutex);
  return k < impl_->modules.size() ? impl_->modules[k].logic.Config() : ModuleConfig{};
}

bool SimBus::SetState(size_t k, const ModuleConfig& config) {
  std::lock_guard lock(impl_->mutex);
  return k < impl_->modules.size() && impl_->modules[k].logic.SetConfig(config);
}

LineFaults SimBus::Faults() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->faults;
}

bool SimBus::SetFaults(const LineFaults& faults) {
  Impl& b = *impl_;
  if (!ValidLineFaults(faults)) return false;
  std::lock_guard lock(b.mutex);
  b.faults = faults;
  b.StartTimers(b.Now());
  b.wake.Wake();
  return true;
}

bool SimBus::PresentCard(size_t k, int reader, const std::string& data) {
  std::lock_guard lock(impl_->mutex);
  return k < impl_->modules.size() && impl_->modules[k].logic.PresentCard(reader, data);
}

std::optional<size_t> SimBus::PresentCardAt(const std::string& readerId, const std::string& data) {
  std::lock_guard lock(impl_->mutex);
  for (size_t k = 0; k < impl_->modules.size(); ++k) {
    ModuleLogic& logic = impl_->modules[k].logic;
    const int reader = logic.ReaderAt(readerId);
    if (reader != 0) return logic.PresentCard(reader, data) ? std::optional<size_t>(k) : std::nullopt;
  }
  return std::nullopt;
}

std::vector<std::string> SimBus::AnsweringIds() const {
  std::lock_guard lock(impl_->mutex);
  return AnsweringIdsOf(impl_->modules);
}

std::vector<std::string> SimBus::Commands(size_t k) const {
  std::lock_guard lock(impl_->mutex);
  if (k >= impl_->modules.size()) return {};
  return {impl_->modules[k].commands.begin(), impl_->modules[k].commands.end()};
}

std::vector<std::string> SimBus::Answers(size_t k) const {
  std::lock_guard lock(impl_->mutex);
  if (k >= impl_->modules.size()) return {};
  return {impl_->modules[k].answers.begin(), impl_->modules[k].answers.end()};
}

bool SimBus::WaitForCommands(size_t k, size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  if (k >= impl_->modules.size()) return false;
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->modules[k].commands.size() >= count; });
}

std::vector<LineRecord> SimBus::Transmissions() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->records.begin(), impl_->records.end()};
}

std::vector<LineChunk> SimBus::LineChunks() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->chunks.begin(), impl_->chunks.end()};
}

uint64_t SimBus::BytesToTool() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->bytesToTool;
}

uint64_t SimBus::BytesFromTool() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->bytesFromTool;
}

bool SimBus::WaitForBytesFromTool(uint64_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->bytesFromTool >= count; });
}

bool SimBus::WaitForQuietLine(std::chrono::milliseconds timeout) const {
  Impl& b = *impl_;
  std::unique_lock lock(b.mutex);
  return b.changed.wait_for(lock, timeout, [&] {
    return b.onLine.empty() && b.lineChanges.empty() && (b.toTool.empty() || b.pty.master < 0);
  });
}

std::vector<std::string> SimBus::LogLines() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->log.Lines();
}

bool SimBus::WaitForLogLine(const std::string& fragment, std::chrono::milliseconds timeout) const {
  Impl& b = *impl_;
  std::unique_lock lock(b.mutex);
  uint64_t from = 0;  // lines already logged count
  return b.changed.wait_for(lock, timeout, [&] { return b.log.Find(fragment, from); });
}

void SimBus::SetLogSink(LogSink sink) {
  std::lock_guard lock(impl_->mutex);
  impl_->log.SetSink(std::move(sink));
  impl_->wake.Wake();  // hands it what is waiting
}

}  // namespace sim
