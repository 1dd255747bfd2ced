// SPDX-License-Identifier: MIT
// The simulated module on a POSIX pseudo-terminal.
//
// One thread owns the line: it waits in poll() on the master side and on a
// wake pipe, with the time to the next scheduled write as the timeout, reads
// frames, answers them and writes scheduled replies. All module state lives
// behind one mutex; the log sink is called with the mutex released.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "pseudo_terminal.h"
#include "sim_frames.h"
#include "sim_log.h"
#include "sim_module.h"

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// Scheduled writes waiting for a line that is full or for their time. A tool
// that sends and never reads must not make the module grow without bound.
constexpr size_t kMaxPendingOutputs = 4096;

// An endless flood writes whenever the line takes bytes, in writes of this
// size, and wakes at least this often to see whether the tool still holds
// its port.
constexpr size_t kFloodWriteBytes = 512;
constexpr int kFloodCheckMs = 10;

// While the tool's exclusive mode is on, the module looks this often whether
// the tool's side is still open; with nothing else to do, this often whether
// the mode has come on (a tool may set it and die before it sends a byte).
constexpr int kToolCloseCheckMs = 50;
constexpr int kIdleCheckMs = 200;

// The log line of a module that falls silent (FaultKind::FallSilent).
constexpr const char* kFellSilentNote =
    "fell silent: from now on no command is carried out or answered, until the faults are cleared";

// One scheduled action on the line.
struct Output {
  enum class Kind { Bytes, SetLine, HangUp, Flood } kind;
  Clock::time_point due;
  std::string bytes;          // Bytes: what is still to be written
  int lineIndex = 0;          // SetLine
  std::optional<Clock::time_point> frameEnd;  // last write of a reply: when its frame ended
};

}  // namespace

struct SimModule::Impl {
  explicit Impl(ModuleConfig config) : logic(config), configValid(ValidConfig(config)) {}

  // --- state, all behind mutex ---
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  ModuleLogic logic;
  bool configValid;
  FaultList faults;
  std::deque<std::string> commands;
  SimLog log{kMaxLogLines};
  std::deque<Output> outputs;
  // When the last queued reply (FaultKind::LateQueue) is due to go out.
  Clock::time_point queueFreeAt{};
  bool writeBlocked = false;  // the master would not take more bytes
  bool echo = false;          // the line hands the tool's bytes back
  bool flooding = false;      // an endless flood is on
  uint64_t floodBytes = 0;    // written by the flood that is on
  std::deque<LineChunk> chunks;
  ReplyTiming timing;
  std::string slavePath;
  std::string linkPath;
  bool stopping = false;

  // --- descriptors: created by Start, closed by the thread (hang-up) or Stop ---
  int master = -1;
  int slave = -1;
  int wakeRead = -1;
  int wakeWrite = -1;
  std::thread thread;
  FrameParser parser;  // the thread's alone

  bool OpenTerminal();
  void Wake();
  void Run();
  int NextWaitMs() const;
  void ReadLine();
  void HandleFrame(const FrameParser::Event& event, Clock::time_point now);
  void Echo(const std::string& bytes, Clock::time_point now);
  void Respond(const std::string& command, Clock::time_point frameEnd);
  void Schedule(const ReplyPlan& plan, std::optional<int> newLineIndex, Clock::time_point frameEnd);
  void RunDueOutputs();
  bool WriteOutput(Output& output);
  void Flood();
  void EndFlood(const std::string& why);
  bool ToolHoldsPort() const;
  void ClearModeOfClosedTool();
  void RecordChunk(LineChunk::Direction direction, Clock::time_point at, std::string_view bytes);
  void HangUp(const std::string& why);
  uint32_t ToolSpeed() const;
  void Log(const std::string& direction, const std::string& text);
  void LogLocked(const std::string& direction, const std::string& text, Clock::time_point at = Clock::now());
  void LogBytesLocked(const std::string& direction, std::string_view bytes, Clock::time_point at = Clock::now());
  void FlushSink();
};

// ---------------------------------------------------------------- creation

bool SimModule::Impl::OpenTerminal() {
  PseudoTerminal pty;
  if (!OpenPseudoTerminal(pty)) return false;
  master = pty.master;
  slave = pty.slave;
  slavePath = pty.slavePath;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  wakeRead = pipeFds[0];
  wakeWrite = pipeFds[1];
  return true;
}

void SimModule::Impl::Wake() {
  if (wakeWrite < 0) return;
  char byte = 1;
  // A full pipe already holds a wake-up, so a failed write loses nothing.
  [[maybe_unused]] ssize_t n = write(wakeWrite, &byte, 1);
}

// ---------------------------------------------------------------- the thread

void SimModule::Impl::Run() {
  while (true) {
    int waitMs;
    bool wantWrite;
    {
      std::lock_guard lock(mutex);
      if (stopping) break;
      waitMs = NextWaitMs();
      wantWrite = writeBlocked || flooding;
    }
    pollfd fds[2] = {{wakeRead, POLLIN, 0}, {master, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
    int count = master >= 0 ? 2 : 1;
    if (poll(fds, static_cast<nfds_t>(count), waitMs) < 0 && errno != EINTR) {
      Log("--", std::string("poll failed: ") + std::strerror(errno));
      FlushSink();
      break;
    }
    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (read(wakeRead, drain, sizeof drain) > 0) {}
    }
    if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) ReadLine();
    if (count == 2 && (fds[1].revents & POLLOUT)) {
      std::lock_guard lock(mutex);
      writeBlocked = false;
    }
    {
      std::lock_guard lock(mutex);
      ClearModeOfClosedTool();
    }
    RunDueOutputs();
    Flood();
    FlushSink();
  }
}

// Milliseconds to wait in poll(): until the next output is due, or until the
// next look at the tool's exclusive mode when nothing is scheduled or the
// line is full (POLLOUT wakes us then).
int SimModule::Impl::NextWaitMs() const {
  if (flooding) return kFloodCheckMs;
  const int check = ToolHoldsPort() ? kToolCloseCheckMs : kIdleCheckMs;
  if (outputs.empty() || writeBlocked || master < 0) return check;
  auto left = outputs.front().due - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<int64_t>(ms, check));
}

void SimModule::Impl::ReadLine() {
  char buffer[512];
  ssize_t n = read(master, buffer, sizeof buffer);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) {
    // Only possible once no slave descriptor is left; ours is, so this is a
    // broken terminal. Stop listening rather than poll a dead descriptor.
    std::lock_guard lock(mutex);
    HangUp(n == 0 ? "line closed" : std::string("read failed: ") + std::strerror(errno));
    return;
  }
  Clock::time_point now = Clock::now();
  {
    std::lock_guard lock(mutex);
    RecordChunk(LineChunk::Direction::FromTool, now, std::string_view(buffer, static_cast<size_t>(n)));
    if (echo) Echo(std::string(buffer, static_cast<size_t>(n)), now);
  }
  std::vector<FrameParser::Event> events;
  parser.Feed(buffer, static_cast<size_t>(n), events);
  for (const FrameParser::Event& event : events) HandleFrame(event, now);
}

void SimModule::Impl::HandleFrame(const FrameParser::Event& event, Clock::time_point now) {
  using Kind = FrameParser::Event::Kind;
  std::lock_guard lock(mutex);
  if (event.kind == Kind::Dropped) {
    LogLocked("--", "dropped: " + event.reason + ": " + Printable(event.raw, 40));
    return;
  }
  LogBytesLocked("<-", event.raw);
  if (flooding) EndFlood("a frame came in");
  if (event.kind == Kind::BadChecksum) {
    LogLocked("--", "ignored: " + event.reason);
    return;
  }
  Respond(event.text, now);
}

// Queues the tool's bytes back to it behind whatever is already due, so
// they precede every reply to come. Called with mutex held.
void SimModule::Impl::Echo(const std::string& bytes, Clock::time_point now) {
  if (outputs.size() >= kMaxPendingOutputs) return;
  auto firstLater = std::find_if(outputs.begin(), outputs.end(), [now](const Output& o) { return o.due > now; });
  outputs.insert(firstLater, {Output::Kind::Bytes, now, bytes, 0, std::nullopt});
  LogLocked("--", "echo of " + std::to_string(bytes.size()) + " bytes");
}

// Answers one frame at the module's line speed. Called with mutex held.
void SimModule::Impl::Respond(const std::string& command, Clock::time_point frameEnd) {
  // A dead module hears nothing, whatever the line speed.
  if (faults.Silent()) {
    LogLocked("--", "silent: " + Printable(command) + " not carried out, not answered");
    return;
  }
  uint32_t toolSpeed = ToolSpeed();
  uint32_t moduleSpeed = LineBaud(logic.Config().lineIndex);
  if (toolSpeed != moduleSpeed) {
    LogLocked("--", "ignored: line speed " + std::to_string(toolSpeed) + ", module at " + std::to_string(moduleSpeed));
    return;
  }
  commands.push_back(command);
  if (commands.size() > kMaxLoggedCommands) commands.pop_front();
  changed.notify_all();
  sim::Answer answer = logic.Handle(command);
  if (!answer.reply) {
    LogLocked("--", "no reply to " + Printable(command));
    return;
  }
  ReplyFaults replyFaults = faults.Take(command);
  ReplyPlan plan = PlanReply(*answer.reply, replyFaults);
  for (const std::string& note : plan.notes) LogLocked("--", note);
  Schedule(plan, answer.newLineIndex, frameEnd);
  if (replyFaults.fallsSilent) LogLocked("--", kFellSilentNote);
}

// Queues the plan's writes (each relative to the one before), then the
// hang-up or line change that follows the reply. Called with mutex held.
void SimModule::Impl::Schedule(const ReplyPlan& plan, std::optional<int> newLineIndex, Clock::time_point frameEnd) {
  Clock::time_point due = Clock::now();
  // A queued reply waits for the reply before it as well as for its time.
  if (plan.queued) due = std::max(due, queueFreeAt);
  if (outputs.size() + plan.writes.size() > kMaxPendingOutputs) {
    LogLocked("--", "reply dropped: " + std::to_string(outputs.size()) + " writes still wait for the line");
  } else {
    for (const ReplyPlan::Write& write : plan.writes) {
      due += std::chrono::milliseconds(write.afterMs);
      outputs.push_back({Output::Kind::Bytes, due, write.bytes, 0, std::nullopt});
    }
    if (!plan.writes.empty() && !plan.hangUpAfter) outputs.back().frameEnd = frameEnd;
    if (plan.queued && !plan.writes.empty()) queueFreeAt = outputs.back().due;
    if (plan.hangUpAfter) outputs.push_back({Output::Kind::HangUp, due, "", 0, std::nullopt});
    if (plan.endlessFlood) outputs.push_back({Output::Kind::Flood, due, "", 0, std::nullopt});
  }
  if (newLineIndex) outputs.push_back({Output::Kind::SetLine, due, "", *newLineIndex, std::nullopt});
}

// Carries out every output that is due, in order, under one hold of the
// mutex: a line change that follows a reply is in place before anyone can
// look at the state after seeing the reply.
void SimModule::Impl::RunDueOutputs() {
  std::lock_guard lock(mutex);
  while (!outputs.empty() && master >= 0 && !writeBlocked) {
    Output& front = outputs.front();
    if (front.due > Clock::now()) break;
    if (front.kind == Output::Kind::Bytes) {
      if (!WriteOutput(front)) break;
    } else if (front.kind == Output::Kind::Flood) {
      flooding = true;
      floodBytes = 0;
      LogLocked("--", "endless flood: until the next frame or until the port is closed");
    } else if (front.kind == Output::Kind::SetLine) {
      logic.SetLineIndex(front.lineIndex);
      LogLocked("--", "line setting now " + std::to_string(front.lineIndex) + " (" +
                          serial::kLineSettings[front.lineIndex] + ")");
    } else {
      HangUp("hang-up");
      return;
    }
    outputs.pop_front();
  }
}

// Writes what the line takes of one output; true when all of it went out.
bool SimModule::Impl::WriteOutput(Output& output) {
  Clock::time_point began = Clock::now();
  ssize_t n = write(master, output.bytes.data(), output.bytes.size());
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
    writeBlocked = errno == EAGAIN;
    return false;
  }
  if (n < 0) {
    LogLocked("--", std::string("write failed: ") + std::strerror(errno));
    return true;  // drop it
  }
  std::string_view written = std::string_view(output.bytes).substr(0, static_cast<size_t>(n));
  LogBytesLocked("->", written, began);
  RecordChunk(LineChunk::Direction::ToTool, began, written);
  output.bytes.erase(0, static_cast<size_t>(n));
  if (!output.bytes.empty()) {
    writeBlocked = true;
    return false;
  }
  if (output.frameEnd) {
    timing.replies += 1;
    timing.total += Clock::now() - *output.frameEnd;
    changed.notify_all();
  }
  return true;
}

// Writes flood bytes for as long as the line takes them, once every reply
// queued before has gone out. Waiting for room happens in poll() (POLLOUT),
// never here.
void SimModule::Impl::Flood() {
  std::lock_guard lock(mutex);
  if (!flooding || master < 0 || !outputs.empty()) return;
  if (!ToolHoldsPort()) {
    EndFlood("the port was closed");
    return;
  }
  static const std::string kFloodChunk(kFloodWriteBytes, 'Z');
  while (true) {
    ssize_t n = write(master, kFloodChunk.data(), kFloodChunk.size());
    if (n <= 0) return;  // full (EAGAIN) or interrupted: poll() says when to go on
    floodBytes += static_cast<uint64_t>(n);
  }
}

// Called with mutex held.
void SimModule::Impl::EndFlood(const std::string& why) {
  flooding = false;
  LogLocked("--", "flood ended after " + std::to_string(floodBytes) + " bytes: " + why);
}

bool SimModule::Impl::ToolHoldsPort() const { return sim::ToolHoldsPort(slave); }

// Called with mutex held.
void SimModule::Impl::ClearModeOfClosedTool() {
  if (!sim::ClearModeOfClosedTool(slave)) return;
  LogLocked("--", "the tool's side closed without ending its exclusive mode: mode cleared");
}

// Called with mutex held.
void SimModule::Impl::RecordChunk(LineChunk::Direction direction, Clock::time_point at, std::string_view bytes) {
  chunks.push_back({direction, at, std::string(bytes)});
  if (chunks.size() > kMaxLineChunks) chunks.pop_front();
}

// Closes the master side: every descriptor open on the slave sees a
// hang-up, the device path disappears, and the module goes silent for good.
// Its own slave descriptor stays open until Stop(): while one is open the
// kernel keeps the terminal's number, so the old path cannot name another
// program's new terminal while the tool may still try to open it. Called
// with mutex held.
void SimModule::Impl::HangUp(const std::string& why) {
  CloseDescriptor(master);
  outputs.clear();
  writeBlocked = false;
  flooding = false;
  LogLocked("--", why + ": the line is closed");
}

uint32_t SimModule::Impl::ToolSpeed() const { return ToolBaud(master); }

// ---------------------------------------------------------------- logging

void SimModule::Impl::Log(const std::string& direction, const std::string& text) {
  std::lock_guard lock(mutex);
  LogLocked(direction, text);
}

// Called with mutex held.
void SimModule::Impl::LogLocked(const std::string& direction, const std::string& text, Clock::time_point at) {
  log.Add(direction, text, at);
  changed.notify_all();
}

void SimModule::Impl::LogBytesLocked(const std::string& direction, std::string_view bytes, Clock::time_point at) {
  log.AddBytes(direction, bytes, at);
  changed.notify_all();
}

void SimModule::Impl::FlushSink() {
  std::vector<std::string> lines;
  LogSink copy;
  {
    std::lock_guard lock(mutex);
    copy = log.TakeUnsent(lines);
  }
  for (const std::string& line : lines) copy(line);
}

// ---------------------------------------------------------------- the API

SimModule::SimModule(ModuleConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}

SimModule::~SimModule() { Stop(); }

bool SimModule::Start() {
  Impl& m = *impl_;
  if (m.thread.joinable() || !m.configValid) return false;
  if (!m.OpenTerminal()) {
    CloseDescriptor(m.master);
    CloseDescriptor(m.slave);
    CloseDescriptor(m.wakeRead);
    CloseDescriptor(m.wakeWrite);
    return false;
  }
  m.stopping = false;
  m.parser = FrameParser{};
  m.Log("--", "module at " + m.slavePath + ", line setting " + std::to_string(m.logic.Config().lineIndex) + " (" +
                  serial::kLineSettings[m.logic.Config().lineIndex] + ")");
  m.thread = std::thread([&m] { m.Run(); });
  std::lock_guard lock(m.mutex);
  m.Wake();  // so that the line above reaches the sink
  return true;
}

void SimModule::Stop() {
  Impl& m = *impl_;
  if (!m.thread.joinable()) return;
  {
    std::lock_guard lock(m.mutex);
    m.stopping = true;
    m.Wake();
  }
  m.thread.join();
  std::lock_guard lock(m.mutex);
  m.flooding = false;
  CloseDescriptor(m.master);
  CloseDescriptor(m.slave);
  CloseDescriptor(m.wakeRead);
  CloseDescriptor(m.wakeWrite);
  m.outputs.clear();
  RemoveLink(m.linkPath, m.slavePath);
  m.linkPath.clear();
}

std::string SimModule::SlavePath() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->slavePath;
}

bool SimModule::LinkAt(const std::string& path) {
  Impl& m = *impl_;
  std::lock_guard lock(m.mutex);
  if (!PlaceLink(m.slavePath, path)) return false;
  m.linkPath = path;
  return true;
}

ModuleConfig SimModule::State() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->logic.Config();
}

bool SimModule::SetState(const ModuleConfig& config) {
  std::lock_guard lock(impl_->mutex);
  return impl_->logic.SetConfig(config);
}

void SimModule::AddFault(const Fault& fault) {
  Impl& m = *impl_;
  std::lock_guard lock(m.mutex);
  bool wasSilent = m.faults.Silent();
  m.faults.Add(fault);
  if (!wasSilent && m.faults.Silent()) {
    m.LogLocked("--", kFellSilentNote);
    m.Wake();  // so that the line reaches the sink
  }
}

void SimModule::ClearFaults() {
  Impl& m = *impl_;
  std::lock_guard lock(m.mutex);
  bool wasSilent = m.faults.Silent();
  m.faults.Clear();
  if (wasSilent) {
    m.LogLocked("--", "faults cleared: answering again");
    m.Wake();
  }
}

void SimModule::SetEcho(bool on) {
  std::lock_guard lock(impl_->mutex);
  impl_->echo = on;
}

bool SimModule::PresentCard(int reader, const std::string& data) {
  std::lock_guard lock(impl_->mutex);
  return impl_->logic.PresentCard(reader, data);
}

size_t SimModule::CardsWaiting(int reader) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->logic.CardsWaiting(reader);
}

void SimModule::WriteRaw(const std::string& bytes) {
  Impl& m = *impl_;
  std::lock_guard lock(m.mutex);
  if (bytes.empty() || m.master < 0 || m.outputs.size() >= kMaxPendingOutputs) return;
  m.outputs.push_back({Output::Kind::Bytes, Clock::now(), bytes, 0, std::nullopt});
  m.Wake();
}

std::vector<std::string> SimModule::Commands() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->commands.begin(), impl_->commands.end()};
}

void SimModule::ClearCommands() {
  std::lock_guard lock(impl_->mutex);
  impl_->commands.clear();
}

bool SimModule::WaitForCommands(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->commands.size() >= count; });
}

std::vector<std::string> SimModule::LogLines() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->log.Lines();
}

bool SimModule::WaitForLogLine(const std::string& fragment, std::chrono::milliseconds timeout) const {
  Impl& m = *impl_;
  std::unique_lock lock(m.mutex);
  uint64_t from = 0;  // lines already logged count
  return m.changed.wait_for(lock, timeout, [&] { return m.log.Find(fragment, from); });
}

void SimModule::SetLogSink(LogSink sink) {
  std::lock_guard lock(impl_->mutex);
  impl_->log.SetSink(std::move(sink));
  impl_->Wake();  // hands it what is waiting
}

std::vector<LineChunk> SimModule::LineChunks() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->chunks.begin(), impl_->chunks.end()};
}

ReplyTiming SimModule::Timing() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->timing;
}

bool SimModule::WaitForReplies(uint64_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->timing.replies >= count; });
}

}  // namespace sim
