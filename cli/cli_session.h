// SPDX-License-Identifier: MIT
#pragma once
// One run of rt420ctl: the program-wide state set up as the window sets it up
// when it is created, and put away again at the end.
//
// At start: the catalogue is filled; the scan result and the language are
// loaded from the settings store (LoadSettings), so a scan result that the
// window stored serves here and the reverse; --lang chooses the language for
// this run only (the stored one is kept); the module-found flag is clear, so
// every operation but the scan refuses until a scan in this run has read the
// module; the port table of the store is installed. The trace log is always
// attached: it counts the frames sent (for the exit code) and, with --trace,
// prints every record to stderr, timed from the start of the run. --no-beep silences the tone.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli_options.h"
#include "console_panel.h"
#include "deadline.h"
#include "exit_codes.h"
#include "settings_store.h"
#include "trace_log.h"
#include "write_ledger.h"

class CliSession {
 public:
  static constexpr size_t kRecordsKept = 16;

  explicit CliSession(const CliOptions& options);
  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  const CliOptions& Options() const { return options_; }
  bool Json() const { return options_.json; }
  ConsolePanel& Panel() { return *panel_; }

  // Failed port opens and frames sent so far in this run.
  LinkActivity Activity() const;

  // In text mode each message an operation shows is printed as it comes
  // (a message repeated at once is printed once). Muted, nothing is printed.
  void MuteMessages(bool muted) { muted_ = muted; }
  bool Muted() const { return muted_; }

  // Every message shown in this run, as UTF-8 (the last few hundred).
  const std::vector<std::string>& MessagesShown() const { return shown_; }

  // What the module took in since the last ClearLedger (each operation
  // clears it when it starts).
  const WriteLedger& Ledger() const { return ledger_; }
  void ClearLedger() { ledger_.Clear(); }

  // Writes the scan result in memory to the store, unless the store already
  // holds it from this run's start or an earlier write here.
  void StoreScanResult();

 private:
  void PrintMessage(const std::string& utf8);

  const CliOptions options_;
  std::unique_ptr<ConsolePanel> panel_;
  // The tool prints each record as it completes and keeps only a few.
  TraceLog trace_{kRecordsKept};
  // The link's millisecond counter when the run began: --trace times count
  // from here (unsigned arithmetic keeps a wrap of the counter harmless).
  const uint32_t startTick_ = TickCount();
  uint64_t framesSent_ = 0;
  WriteLedger ledger_;
  ScanResult stored_;
  bool muted_ = false;
  std::string lastPrinted_;
  std::vector<std::string> shown_;
};
