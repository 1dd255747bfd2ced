// SPDX-License-Identifier: MIT
#pragma once
// A simulated converter module at the far end of a pseudo-terminal.
//
// The tool opens the pseudo-terminal's slave side (SlavePath(), or a symlink
// placed with LinkAt) as its serial port; the module answers on the master
// side from its own thread, which waits in poll() on the master and a wake
// pipe and never spins. It keeps a slave descriptor of its own open for its
// whole life, so the tool may close and reopen its port between operations
// without the line hanging up. The terminal is raw from creation at 19200
// baud, so nothing is echoed before the tool has opened it.
//
// Line speed: before answering a frame the module reads the speed the tool
// set on the slave side and stays silent (log: "ignored: line speed X,
// module at Y") when it is not the speed of the module's own line setting.
// Parity cannot be observed: the pseudo-terminal driver clears the parity
// and character-size flags of every setting, so "19200,n,8,1" reaches a
// module at "19200,e,8,1".
//
// What the module answers: module_logic.h. Faults on the line: faults.h.
//
// Echo (SetEcho): the line hands the tool back every byte it writes, as a
// two-wire RS-485 adapter does: each run of bytes the module reads goes
// back to the tool at once, after what the module has already due for the
// line and before anything it answers later, whatever the line speed and
// even while the module is silent. Off by default.
//
// A hang-up (FaultKind::HangUp) closes the master side only: the tool's port
// sees the hang-up and the slave path disappears at once, while the module's
// own slave descriptor keeps the terminal's number taken until Stop(), so the
// path cannot come back as another program's terminal in the meantime.
//
// Timing: on a machine with every core busy the pseudo-terminal can hold
// bytes back for longer than the tool's reply window (here about one
// exchange in a thousand). The module then answers late; the tool drops the
// late reply from its input before its next frame. A test that needs an
// exchange to succeed can tell this case from a real failure: SendCommand
// false with ReplyPos 0 while Timing().replies grows (WaitForReplies); it
// sends the command again once the late reply has been written.
//
// Endless flood (FaultKind::EndlessFlood): instead of the reply, 'Z' bytes
// for as long as the line takes them. The module's thread writes while the
// pseudo-terminal has room and otherwise waits in poll(), waking every
// 10 ms at least; it never spins. The flood ends at the next frame that
// comes in, or when the tool closes its port (the exclusive mode in which
// the tool holds an open port ends).
//
// Late queue (FaultKind::LateQueue): a slow module with an input buffer.
// Each command is carried out when its frame comes in, but its reply is due
// N ms after the frame or after the queued reply before it was due,
// whichever is later: a tool that repeats a command faster than that builds
// a backlog that drains one reply every N ms, in the order of the frames.
//
// Falling silent (FaultKind::FallSilent): after its count of replies the
// module is dead to the line: it takes in no command (Commands() does not
// grow), carries out nothing and answers nothing, at any line speed, until
// ClearFaults(). The log says when it fell silent ("fell silent: ...") and
// names each frame it then ignored ("silent: H00M not carried out, ...").
//
// Logs (all thread-safe):
// - Commands(): the command texts of the frames the module took in (a
//   correct checksum, received at the module's line speed), answered or
//   not, in order; bounded to the last kMaxLoggedCommands. The speed is
//   judged when the module reads the frame, so a test that changes the
//   port's speed right after a frame should first wait for the module's
//   verdict in the log.
// - LogLines(): every frame received and written and every decision, one
//   line each, bounded to the last kMaxLogLines:
//     "<ms since start> <- <text>  [<hex>]"   received (time of the read
//                                             that completed the frame)
//     "<ms since start> -> <text>  [<hex>]"   written (time the write began)
//     "<ms since start> -- <note>"            anything else
//   Texts have \t, \r, \n and other non-printables escaped (\xNN).
// - LineChunks(): every read from and write to the line (flood bytes
//   excepted) with its bytes and its time, bounded to the last
//   kMaxLineChunks. A read's time is taken after it returned, so never
//   before the bytes arrived; a write's time just before it began, so never
//   after the bytes could be read. Lower bounds on the tool's pauses can be
//   taken from them.
// - The log sink, when set, gets each line as it is logged, on the module's
//   thread, with no lock held (it may call back into the module); lines
//   logged while no sink was set wait for the next one, as far as the log
//   keeps them.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "faults.h"
#include "module_logic.h"

namespace sim {

constexpr size_t kMaxLoggedCommands = 65536;
constexpr size_t kMaxLogLines = 20000;
constexpr size_t kMaxLineChunks = 20000;

// One read from the line (bytes from the tool) or one write to it.
struct LineChunk {
  enum class Direction { FromTool, ToTool } direction;
  std::chrono::steady_clock::time_point at;
  std::string bytes;
};

// Time the module took to answer: from the frame's CR arriving to the last
// byte of the reply written, over the replies written so far.
struct ReplyTiming {
  uint64_t replies = 0;
  std::chrono::nanoseconds total{0};
};

class SimModule {
 public:
  using LogSink = std::function<void(const std::string& line)>;

  // A configuration that is not ValidConfig makes Start() fail.
  explicit SimModule(ModuleConfig config = {});
  ~SimModule();  // Stop()
  SimModule(const SimModule&) = delete;
  SimModule& operator=(const SimModule&) = delete;

  // Creates the pseudo-terminal and starts answering. False when it cannot
  // be created, the configuration is invalid, or the module already runs.
  bool Start();
  // Stops the thread, closes the terminal (the tool's port then sees a
  // hang-up) and removes the symlink placed by LinkAt if it still points
  // here. Safe to call more than once. The terminal's number is free again
  // afterwards, and the kernel hands the lowest free number to the next new
  // terminal of any program: a test that opens a stopped module's port must
  // reach it through its link, never through the old slave path.
  void Stop();

  // The slave device path ("/dev/pts/N"); empty before Start.
  std::string SlavePath() const;
  // Places a symlink at path pointing to the slave. An existing symlink
  // there is replaced; any other file is left alone and false returned.
  bool LinkAt(const std::string& path);

  ModuleConfig State() const;
  // False (nothing changed) when the configuration is not ValidConfig.
  bool SetState(const ModuleConfig& config);

  void AddFault(const Fault& fault);
  void ClearFaults();

  void SetEcho(bool on);

  // Queues card data for reader 1 or 2 (see ModuleLogic::PresentCard).
  bool PresentCard(int reader, const std::string& data);
  // The cards of reader 1 or 2 that no poll has taken yet.
  size_t CardsWaiting(int reader) const;

  // Writes bytes to the line as they are, at once (after any reply still
  // being written), whatever the tool sends. Ignored while the line is
  // closed (before Start, after a hang-up).
  void WriteRaw(const std::string& bytes);

  std::vector<std::string> Commands() const;
  void ClearCommands();
  // Waits until Commands() holds at least count entries.
  bool WaitForCommands(size_t count, std::chrono::milliseconds timeout) const;

  std::vector<std::string> LogLines() const;
  // Waits until a log line containing fragment has been logged (lines
  // already logged count).
  bool WaitForLogLine(const std::string& fragment, std::chrono::milliseconds timeout) const;
  void SetLogSink(LogSink sink);

  std::vector<LineChunk> LineChunks() const;

  ReplyTiming Timing() const;
  // Waits until Timing().replies reaches count: the module has written that
  // many replies (whether or not the tool was still listening).
  bool WaitForReplies(uint64_t count, std::chrono::milliseconds timeout) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim
