// SPDX-License-Identifier: MIT
#pragma once
// The module link's part of a connection: the open port and its record,
// the last reply, what is known of replies still on their way, and what the
// connection's owner hands the link (the ports it may open, the trace hook,
// the stop request, the window's pending events). Only serial_port.cpp and
// frames.cpp change the line's fields; the module operations read LastReply
// and ReplyPos after SendCommand.
//
// A connection is a value, passed explicitly to every call of the link: the
// window owns one, each connection of the command-line tool owns one, each
// connection of a bench of ports owns one. Nothing of one connection's line
// (its port, its bytes, its late-reply counts) is reachable from another. A
// connection may be handed from one thread to another, but is used by one
// thread at a time; only its stop request may be set from anywhere.
//
// Safe defaults: a connection opens only the ports its owner names when it
// makes it (PortScope), and has no trace hook and no pending-events call.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "frame_trace.h"
#include "serial_device.h"

namespace serial {

constexpr int kReplyBufferSize = 1024;
// The default of LinkState::FloodLimitMs.
constexpr uint32_t kFloodLimitMs = 2000;

// Why the last OpenPort returned false.
enum class PortOpenProblem {
  None,               // the last OpenPort opened the port
  NothingBehindPort,  // the port number resolved to no device
  AlreadyOpen,        // a port was already open on this connection
  Missing,            // the device path does not exist, or no device answers it
  PermissionDenied,   // this user may not open the device
  Busy,               // another program (or another open in this one) holds it
  NotATerminal,       // the path is not a serial device
  NotThisConnection,  // the port belongs to no connection but its own
  HeldHere,           // another connection of this program has the device open
  Other,              // anything else; systemText says what
};

// The record of the last OpenPort, filled by every call. After an OpenPort
// that returned false it explains the failure, for a message to the operator
// or a test's report:
// - portNumber: the number OpenPort was given.
// - devicePath: what the port number resolved to; empty when nothing is
//   behind it. For AlreadyOpen (nothing is looked up then), the device of the
//   port that is open.
// - problem: the kind of failure; systemText: the system's own text for it
//   (strerror), empty when the system was not asked.
struct PortOpenFailure {
  int portNumber = 0;
  std::string devicePath;
  PortOpenProblem problem = PortOpenProblem::None;
  std::string systemText;
};

// Which ports a connection may open: every port (the window's connection
// searches them all) or one alone (a connection of a bench of ports).
class PortScope {
 public:
  static PortScope AnyPort() { return PortScope(0); }
  static PortScope OnlyPort(int portNumber) { return PortScope(portNumber); }
  bool Allows(int portNumber) const { return only_ == 0 || portNumber == only_; }
  // The one port, or 0 when any will do.
  int OnlyPortNumber() const { return only_; }

 private:
  explicit PortScope(int only) : only_(only) {}
  int only_;
};

// A request to stop that an operation looks at between its steps: between
// ports of a search, before every cycle of Wiegand processing, between the
// writes of a provisioning run. It may be set from any thread (a signal
// watcher, the console's handler, a window's click). A connection may
// follow another request as well (its program's): it is then stopped when
// either is set.
class StopRequest {
 public:
  void Request() { requested_.store(true); }
  void Clear() { requested_.store(false); }
  bool Requested() const {
    return requested_.load() || (parent_ != nullptr && parent_->Requested());
  }
  // Also stopped whenever parent is; parent must outlive this request.
  void Follow(const StopRequest* parent) { parent_ = parent; }

 private:
  std::atomic<bool> requested_{false};
  const StopRequest* parent_ = nullptr;
};

struct LinkState {
  explicit LinkState(PortScope scope) : Scope(scope) {}
  LinkState(const LinkState&) = delete;
  LinkState& operator=(const LinkState&) = delete;

  // The ports this connection may open.
  PortScope Scope;
  // The device behind the scope's one port, as resolved when the
  // connection's run began ("" for nothing behind it), so that the port
  // keeps its device for the whole run whatever is plugged or unplugged
  // meanwhile; nullopt when the port is resolved afresh at every open.
  std::optional<std::string> ConnectionDevice;

  // The open device; empty while the port is closed or after an open that
  // failed (the invalid handle).
  std::unique_ptr<SerialDevice> PortHandle;
  // The port's own timeouts as read at open, written back at close.
  NativeTimeouts SavedTimeouts;
  // Applied at open: a read waits at most 1 ms, writes have no limit.
  CommTimeouts LinkTimeouts{0, 0, 1, 0, 0};

  // Bytes received since the last frame was written, in order.
  uint8_t ReplyBuffer[kReplyBufferSize] = {};
  // Where the next received byte goes; after an accepted reply, its length.
  int32_t ReplyPos = 0;
  // The last complete reply as received, LF first and CR last.
  std::string LastReply;

  // Attribution of replies: a reply is the answer to the frame just written
  // only when no earlier frame can still be answered. FramesSinceQuiet counts
  // the frames written since the line was last known quiet, RepliesSinceQuiet
  // the complete replies received since (at most one per frame); while the
  // first is larger, an earlier frame may still be answered. The line is
  // quiet once kLateReplyGuardMs have passed with no frame written and no
  // byte received: LastLineActivityAt is the tick of the later of the two.
  // LastCommand and LastFrameAt are the text and the tick of the last frame
  // written. The counts hold for the device and line setting named by
  // OpenPortKey (the port open now, or the last one opened); a port opened
  // on another device or line setting starts them afresh.
  uint32_t FramesSinceQuiet = 0;
  uint32_t RepliesSinceQuiet = 0;
  std::string LastCommand;
  uint32_t LastFrameAt = 0;
  // Whether the adapter has handed back an exact copy of a frame this
  // connection wrote (a two-wire adapter hears its own driver).
  bool EchoHeard = false;
  // Exchanges that received bytes but no valid reply (a checksum that
  // failed, a first byte that was no LF, a reply cut off): what two modules
  // answering one frame at once make of each other's replies; and the line
  // setting of the last of them.
  uint64_t GarbledExchanges = 0;
  std::string LastGarbledSetting;
  uint32_t LastLineActivityAt = 0;
  std::string OpenPortKey;

  // How long a line that keeps sending may hold one exchange: the reading of
  // a reply, or the wait for a quiet line before a frame. Tests may shorten it.
  uint32_t FloodLimitMs = kFloodLimitMs;

  // The port open now (0 while closed), and the device behind it; the
  // device's place among the devices this program holds, given up with the
  // device (serial_port.cpp).
  int OpenPortNumber = 0;
  std::string OpenPortPath;
  std::shared_ptr<void> OpenPortClaim;
  // The record of the last OpenPort, and how many OpenPort calls on this
  // connection have returned false.
  PortOpenFailure LastOpen;
  uint64_t OpenFailures = 0;

  // Called while SendCommand waits for a reply and no byte is waiting, so
  // the window can repaint and handle its pending events. No-op by default.
  // Set by the connection's owner, which outlives it.
  std::function<void()> ProcessPendingEvents;

  // Sees every frame written and every byte received on this connection
  // (frame_trace.h); none by default. Runs on the connection's thread.
  FrameTraceHook TraceHook;

  // The connection's stop request.
  StopRequest Stop;
};

}  // namespace serial
