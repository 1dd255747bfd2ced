// SPDX-License-Identifier: MIT
#include "cli_session.h"

#include "catalogue.h"
#include "deadline.h"
#include "cli_output.h"
#include "module_state.h"
#include "port_names.h"
#include "serial_port.h"
#include "stop_request.h"
#include "tone.h"

namespace {
// The messages a run keeps for its JSON result: a full search shows one per
// port and line setting, the last ones tell what happened.
constexpr size_t kShownMessagesKept = 256;
}  // namespace

CliSession::CliSession(const CliOptions& options) : options_(options) {
  FillCatalogue();
  LoadSettings(Module);
  stored_ = Module;
  if (options_.language) SelectLanguage(*options_.language);
  Module.ModuleFound = false;
  Module.Processing = false;
  // Once a stop signal came, only the port last used stays behind its
  // number: a search over the ports ends at the next port instead of trying
  // all 16, while the module at hand (its writes, its read-back) is finished.
  // Each connection's thread remembers its own last port.
  SetPortTable([](const std::string& name) {
    static thread_local std::string lastPort;
    if (StopSignalled() && name != lastPort) return PortTableAnswer(std::optional<std::string>(std::string()));
    lastPort = name;
    return ReadPortTable(name);
  });
  if (!options_.beep) SetToneRecorder([](unsigned, unsigned) {});

  panel_ = std::make_unique<ConsolePanel>();
  panel_->ChooseLock(options_.lock);
  panel_->SetMessageHandler([this](const std::string& utf8) { PrintMessage(utf8); });
  trace_.SetCallback([this](const TraceRecord& record) {
    if (record.direction == TraceDirection::Sent) framesSent_ += 1;
    ledger_.Take(record);
    if (!options_.trace) return;
    // Times count from the program's start, not from the system's.
    TraceRecord shown = record;
    shown.tickMs = record.tickMs - startTick_;
    PrintErrorLine(TraceLine(shown));
  });
  trace_.Attach();
}

CliSession::~CliSession() {
  trace_.Detach();
  if (!options_.beep) SetToneRecorder({});
  ReleaseCatalogue();
}

LinkActivity CliSession::Activity() const { return {PortOpenFailureCount(), framesSent_}; }

void CliSession::StoreScanResult() {
  bool same = Module.ScanCommNo == stored_.ScanCommNo && Module.ScanBaudRate == stored_.ScanBaudRate &&
              Module.ScanBaudRateNo == stored_.ScanBaudRateNo;
  if (same) return;
  SaveScanResult(Module);
  stored_ = Module;
}

void CliSession::PrintMessage(const std::string& utf8) {
  if (muted_) return;
  if (shown_.size() >= kShownMessagesKept) shown_.erase(shown_.begin());
  shown_.push_back(utf8);
  if (options_.json || utf8 == lastPrinted_) return;
  lastPrinted_ = utf8;
  PrintLine(utf8);
}
