// SPDX-License-Identifier: MIT
#pragma once
// One run of rt420ctl, in two parts: the program's (CliSession) and a
// connection's (CliConnection).
//
// The program's part is set up as the window sets itself up when it is
// created, and put away again at the end: the catalogue is filled; the scan
// result and the language are loaded from the settings store (LoadSettings),
// so a scan result that the window stored serves here and the reverse; --lang
// chooses the language for this run only (the stored one is kept); the port
// table of the store is installed; --no-beep silences the tone. One trace log
// serves the whole run, as the trace hook of every connection: it hands each
// record to the connection of its port (counting the frames it sent, for the
// exit code, and what the module took, for the write ledger) and, with
// --trace, prints every record to stderr, timed from the start of the run.
//
// A CliConnection is a ModuleConnection (module_connection.h: one Connection,
// the link and module state of one port, and one scripted panel), used on
// one thread. The one-port
// subcommands run the program's own connection on the main thread: it may
// use any port, starts from the stored scan result and stores what a scan
// finds, its module-found flag starts clear (so every operation but the scan
// refuses until a scan in this run has read the module), and it prints each
// message an operation shows. A bench (discover, apply --ports) runs one
// connection per port, each on a thread of its own and confined to its port,
// with fresh module state that stores nothing: its messages are kept but
// not printed (several would interleave), and --trace lines carry its COM
// number.
//
// The session owns the program's stop request, which the stop signals set;
// every connection's own stop request follows it. The session's trace log is
// each connection's trace hook while the connection lives.
//
// A bench's ports are resolved once, when its run begins (bench_ports.h).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_ports.h"
#include "cli_options.h"
#include "connection_traces.h"
#include "deadline.h"
#include "exit_codes.h"
#include "module_connection.h"
#include "provision_run.h"

class CliSession;

// The command line's connection: a ModuleConnection that prints what its
// operations show, and runs within its session.
class CliConnection final : public ModuleConnection {
 public:
  // port 0: the program's own connection, which may use any port; else
  // one of a bench's connections, confined to that port.
  CliConnection(CliSession& session, int port);
  // A bench's connection on the port as resolved when the run began.
  CliConnection(CliSession& session, const BenchPort& bench);
  ~CliConnection() override;

  const CliOptions& Options() const;
  bool Json() const;
  // The COM number of a bench's connection; 0 for the program's own.
  int Port() const { return port_; }
  bool OneOfSeveral() const { return port_ != 0; }

  // In text mode each message an operation shows is printed as it comes
  // (a message repeated at once is printed once), on the program's own
  // connection only. Muted, nothing is printed or kept.
  void MuteMessages(bool muted) { muted_ = muted; }
  bool Muted() const { return muted_; }

  // Every message shown on this connection, as UTF-8 (the last few hundred).
  const std::vector<std::string>& MessagesShown() const { return shown_; }

  // For provisioning: RunOperation, ScanModule (module_steps.h; quietly:
  // with messages muted), and the program's stop request (stop_request.h).
  ExitCode Run(Operation operation) override;
  ExitCode Scan(ModuleReadout& readout) override;
  ExitCode ScanQuietly(ModuleReadout& readout) override;
  bool StopRequested() const override;
  bool WaitForStop(int ms) override;

  // On a bench: after each attempt to open its port, says on stderr when the
  // device it was resolved to at the start has gone (and when it is back),
  // once each time.
  void NoteDevicePresence();

 private:
  void PrintMessage(const std::string& utf8);

  CliSession& session_;
  const int port_;
  BenchPort bench_;
  bool deviceGone_ = false;
  bool muted_ = false;
  std::string lastPrinted_;
  std::vector<std::string> shown_;
};

class CliSession {
 public:
  static constexpr size_t kRecordsKept = 16;

  explicit CliSession(const CliOptions& options);
  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  const CliOptions& Options() const { return options_; }
  bool Json() const { return options_.json; }

  // The program's own connection, for the one-port subcommands (main
  // thread only).
  CliConnection& Connection() { return *own_; }

  // Runs work once for each port of the bench that is not the same device
  // as a lower one, all at the same time: each on a thread of its own, with
  // a connection confined to that port and its device (index: the port's
  // place in bench). Returns when every thread has ended; a work that throws
  // ends its own connection only, with the reason on stderr.
  using PortWork = std::function<void(CliConnection& connection, size_t index)>;
  void RunOnPorts(const std::vector<BenchPort>& bench, const PortWork& work);

  // The program's stop request: set by the stop signals, followed by every
  // connection's own.
  const serial::StopRequest& Stop() const { return stop_; }

 private:
  friend class CliConnection;
  void PrintTrace(const serial::TraceRecord& record, bool bench) const;

  const CliOptions options_;
  // The link's millisecond counter when the run began: --trace times count
  // from here (unsigned arithmetic keeps a wrap of the counter harmless).
  const uint32_t startTick_ = serial::TickCount();
  // The tool prints each record as it completes and keeps only a few.
  ConnectionTraces traces_{kRecordsKept, [this](const serial::TraceRecord& record, bool bench) { PrintTrace(record, bench); }};
  // Outlives every connection that follows it.
  serial::StopRequest stop_;
  std::unique_ptr<CliConnection> own_;
};
