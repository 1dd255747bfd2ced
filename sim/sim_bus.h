// SPDX-License-Identifier: MIT
#pragma once
// A simulated RS-485 bus: several converter modules on one line, at the far
// end of one pseudo-terminal, with line faults on demand.
//
// The tool opens the slave side (SlavePath(), or a symlink placed with
// LinkAt) as its serial port, as with the single simulated module
// (sim_module.h); the bus works the master side from its own thread, which
// waits in poll() on the master and a wake pipe with a limit and never
// spins.
//
// Modules. Each module is one ModuleLogic (module_logic.h) with its own IDs,
// serial fields, version, key count, mode, RS-485 setting, line setting and
// cards. Module k (0-based) is named "m<k+1>" in the log.
// - A module hears a frame only when it comes at its own line speed: the
//   speed the tool set on the pseudo-terminal, or the foreign master's. The
//   parity cannot be observed (see pseudo_terminal.h): a module at
//   "19200,n,8,1" hears a tool at "19200,e,8,1".
// - Every module that hears a frame carries it out (module_logic.h): each
//   answers the polls of its own reader IDs, and every one answers the
//   configuration commands to address "00", so a "00" command on a bus of
//   two gets two replies. "H00C" sets the ID of the module whose serial
//   field matches; "H00E" changes the line setting of each module that
//   carried it out, once its reply has left the line. A reader ID used by
//   two modules collides: both answer.
// - Modules hear every frame whole: collisions garble only what the tool
//   receives (line_model.h), never what a module takes in.
//
// Timing on the line. The bus keeps a time axis of its own (nanoseconds
// since Start) on which every driver sends its characters back to back at
// its framing (FramingOfLine of its line setting):
// - the tool: each run of bytes read from the master goes on the line when
//   read, or when the tool's previous bytes have left the line, whichever is
//   later; a frame ends when its CR has left the line;
// - a module answers frame end + turnaround + rank x stagger + jitter, where
//   rank counts the modules answering the same frame before it (in bus
//   order; 0 for the first) and stagger is kStaggerPercent of one of its
//   characters, so that two replies to one frame overlap almost wholly, as a
//   second driver starting a little later would; its replies never overlap
//   each other;
// - the foreign master and stray bytes: see LineFaults.
// What the tool receives is ReceiveLine (line_model.h) over everything on
// the line, decoded by a receiver at the tool's speed. The tool's parity
// cannot be observed, so the receiver takes the parity of the earliest run
// still on the line: a driver alone comes through exactly whatever its
// parity (as the single simulated module answers at either), overlapping
// drivers reach the tool garbled, and replies that do not overlap arrive
// one after the other, whole. The tool's own bytes (echo) and stray bytes
// go on the line at the tool's speed with even parity. Each byte
// is written to the master when its stop bit has been sampled on the bus's
// time axis (within about a millisecond: poll()'s resolution), so replies
// take their transmission time as on a real line.
//
// Line faults (LineFaults, for the whole bus, changeable while running):
// - echo: the tool's own bytes go on the line it receives, as a two-wire
//   adapter hands back every frame it sends, before the replies to it;
// - noise: a bit-error rate on the receiver's samples (line_model.h);
// - jitter: a random extra delay per reply, from 0 up to a bound;
// - a module at another line setting: its own ModuleConfig::lineIndex;
// - a foreign master: another host that sends its own polls ("H" + ID + "F")
//   every N ms at its own line setting, which the addressed modules hear and
//   answer; it skips a poll while its previous one is still on the line;
// - stray bytes (missing bias): random bytes at random moments (every
//   strayMs on average) while the line is idle, at the tool's framing. Only
//   the tool receives them.
// Every random choice (jitter, noise, stray bytes and their moments) comes
// from LineFaults::seed, each kind from a stream of its own: with the same
// seed and the same traffic, the same things happen.
//
// Bounds. A driver whose backlog on the line exceeds kMaxDriverBacklogMs
// drops what it would add (a module its reply, the tool its echo), and
// everything else the bus holds is bounded too: transmissions under way,
// bytes waiting for the tool to read them, every log below.
//
// Logs (all thread-safe):
// - Commands(k): the command texts module k took in (heard at its speed,
//   correct checksum), in order; Answers(k): the reply texts it put on the
//   line; each bounded to the last kMaxLoggedCommands.
// - Transmissions(): everything that went on the line, with its driver,
//   times and bytes, bounded to the last kMaxLineRecords.
// - LineChunks(): every read from the tool and every write to it, with its
//   time (as SimModule's), bounded to the last kMaxLineChunks.
// - LogLines(): one line per event, bounded to the last kMaxLogLines:
//     "<ms> <- <bytes>  [<hex>]"       a frame the tool sent
//     "<ms> -> <bytes>  [<hex>]"       bytes written to the tool
//     "<ms> -- <note>"                 anything else, modules named m1.. :
//        "m2 took H00M, answers M01:12345679", "m1 ignored H00M: line speed
//        19200, module at 9600", "line m2 at 12.4..21.6 ms: \nM01:..\r",
//        "received 16 bytes, 3 framing errors", ...
// - The log sink, when set, gets each line on the bus's thread with no lock
//   held (it may call back into the bus); lines logged while no sink was
//   set wait for the next one, as far as the log keeps them.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "module_logic.h"
#include "sim_module.h"

namespace sim {

constexpr int kBusTurnaroundUs = 1000;
constexpr int kStaggerPercent = 30;
constexpr int kMaxJitterMs = 10000;
constexpr int kMaxDriverBacklogMs = 1000;
constexpr size_t kMaxBusModules = 64;
constexpr size_t kMaxLineRecords = 20000;

struct LineFaults {
  bool echo = false;
  double bitErrorRate = 0;  // 0 to 1
  int jitterMs = 0;         // 0 to kMaxJitterMs
  int foreignMasterMs = 0;  // 0: no foreign master; else 10 ms or more
  // The reader IDs it polls in turn; empty: every reader ID the modules
  // answer when the foreign master starts, in bus order.
  std::vector<std::string> foreignIds;
  // Its line setting; -1: the first module's when it starts.
  int foreignLineIndex = -1;
  int strayMs = 0;  // mean gap between stray bytes; 0: none
  uint64_t seed = 1;
};

// True when every value is in range.
bool ValidLineFaults(const LineFaults& faults);

// One run of characters on the line.
struct LineRecord {
  enum class Driver { Tool, Module, ForeignMaster, Stray } driver;
  size_t module = 0;  // Driver::Module: which one
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point end;
  std::string bytes;
  int lineIndex = -1;  // the driver's line setting; -1 for the tool's and stray bytes
  // Driver::Module: from the end of the frame it answers to its start.
  std::chrono::nanoseconds afterFrame{0};
};

// "tool", "m1".., "foreign master", "stray".
std::string DriverName(const LineRecord& record);

class SimBus {
 public:
  using LogSink = std::function<void(const std::string& line)>;

  // Start() fails when there is no module, more than kMaxBusModules, a
  // configuration that is not ValidConfig, or faults that are not
  // ValidLineFaults.
  explicit SimBus(std::vector<ModuleConfig> modules, LineFaults faults = {});
  ~SimBus();  // Stop()
  SimBus(const SimBus&) = delete;
  SimBus& operator=(const SimBus&) = delete;

  // Creates the pseudo-terminal and starts the bus. False when it cannot be
  // created, the settings are invalid, or the bus already runs.
  bool Start();
  // Stops the thread and closes the terminal (the tool's port sees a
  // hang-up), removes the symlink placed by LinkAt if it still points here.
  // Safe to call more than once.
  void Stop();

  std::string SlavePath() const;
  bool LinkAt(const std::string& path);  // as SimModule::LinkAt

  size_t ModuleCount() const;
  // Module k's state; a default configuration for k out of range.
  ModuleConfig State(size_t k) const;
  // False (nothing changed) when k is out of range or the configuration is
  // not ValidConfig.
  bool SetState(size_t k, const ModuleConfig& config);

  LineFaults Faults() const;
  // False (nothing changed) when not ValidLineFaults. The foreign master and
  // the stray bytes start afresh from the moment of the call.
  bool SetFaults(const LineFaults& faults);

  // Queues card data for reader 1 or 2 of module k (ModuleLogic::PresentCard).
  bool PresentCard(size_t k, int reader, const std::string& data);
  // Queues card data at the reader that answers polls of this reader ID:
  // the first such reader in bus order. The module's index, or nullopt
  // when no reader answers the ID or its queue refuses the card.
  std::optional<size_t> PresentCardAt(const std::string& readerId, const std::string& data);
  // The reader IDs the modules answer now, in bus order (ID 1, then ID 2 in
  // two-reader mode), each once.
  std::vector<std::string> AnsweringIds() const;

  std::vector<std::string> Commands(size_t k) const;
  std::vector<std::string> Answers(size_t k) const;
  // Waits until Commands(k) holds at least count entries.
  bool WaitForCommands(size_t k, size_t count, std::chrono::milliseconds timeout) const;

  std::vector<LineRecord> Transmissions() const;
  std::vector<LineChunk> LineChunks() const;
  // How many bytes the bus has written to the tool, and read from it, so far.
  uint64_t BytesToTool() const;
  uint64_t BytesFromTool() const;
  // Waits until BytesFromTool() reaches count.
  bool WaitForBytesFromTool(uint64_t count, std::chrono::milliseconds timeout) const;
  // Waits until nothing is on the line or due on it (every reply written,
  // every line change made); the foreign master and stray bytes may start
  // something new at any moment.
  bool WaitForQuietLine(std::chrono::milliseconds timeout) const;

  std::vector<std::string> LogLines() const;
  bool WaitForLogLine(const std::string& fragment, std::chrono::milliseconds timeout) const;
  void SetLogSink(LogSink sink);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim
