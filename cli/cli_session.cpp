// SPDX-License-Identifier: MIT
#include "cli_session.h"

#include <functional>

#include "catalogue.h"
#include "cli_output.h"
#include "deadline.h"
#include "module_steps.h"
#include "port_names.h"
#include "serial_port.h"
#include "stop_request.h"
#include "tone.h"

namespace {
// The messages a connection keeps for its JSON result: a full search shows
// one per port and line setting, the last ones tell what happened.
constexpr size_t kShownMessagesKept = 256;
}  // namespace

CliConnection::CliConnection(CliSession& session, const BenchPort& bench) : CliConnection(session, bench.port) {
  bench_ = bench;
  // The port keeps to the device it had when the run began.
  State().ConnectionDevice = bench.device.value_or("");
}

CliConnection::CliConnection(CliSession& session, int port)
    : ModuleConnection(port == 0 ? serial::PortScope::AnyPort() : serial::PortScope::OnlyPort(port), port == 0),
      session_(session),
      port_(port) {
  State().Stop.Follow(&session.Stop());
  Panel().ChooseLock(session.Options().lock);
  // A bench's connection tells why its port did not open in its result.
  if (!OneOfSeveral())
    Panel().SetPortProblemHandler([](const std::string& line) { PrintErrorLine("rt420ctl: " + line); });
  // The watch deadline, or stdout gone, stops Wiegand processing.
  Panel().SetStopCheck([] { return ::StopRequested(); });
  Panel().SetMessageHandler([this](const std::string& utf8) { PrintMessage(utf8); });
  session_.traces_.Add(*this, port_);
}

CliConnection::~CliConnection() { session_.traces_.Remove(*this, port_); }

const CliOptions& CliConnection::Options() const { return session_.Options(); }
bool CliConnection::Json() const { return session_.Json(); }

ExitCode CliConnection::Run(Operation operation) { return RunOperation(*this, operation); }
ExitCode CliConnection::Scan(ModuleReadout& readout) { return ScanModule(*this, readout); }
bool CliConnection::StopRequested() const { return ::StopRequested(); }
bool CliConnection::WaitForStop(int ms) { return ::WaitForStop(ms); }

ExitCode CliConnection::ScanQuietly(ModuleReadout& readout) {
  MuteMessages(true);
  ExitCode code = ScanModule(*this, readout);
  MuteMessages(false);
  return code;
}

void CliConnection::NoteDevicePresence() {
  if (!OneOfSeveral() || !bench_.device || !bench_.present) return;
  const serial::PortOpenFailure& open = serial::LastPortOpenFailure(State());
  bool gone = open.problem == serial::PortOpenProblem::Missing;
  if (gone == deviceGone_ || (!gone && open.problem != serial::PortOpenProblem::None)) return;
  deviceGone_ = gone;
  std::string device = serial::PortName(port_) + " (" + text::ShownText(*bench_.device) + ")";
  PrintErrorLine("rt420ctl: " + device + (gone ? ": the device has gone; the port keeps to it for this run"
                                                : ": the device is back"));
}

void CliConnection::PrintMessage(const std::string& utf8) {
  if (muted_) return;
  if (shown_.size() >= kShownMessagesKept) shown_.erase(shown_.begin());
  shown_.push_back(utf8);
  if (Json() || OneOfSeveral() || utf8 == lastPrinted_) return;
  lastPrinted_ = utf8;
  PrintLine(utf8);
}

CliSession::CliSession(const CliOptions& options) : options_(options) {
  catalogue::FillCatalogue();
  ForwardStopSignals(&stop_);
  // Loads the stored scan result and language; --lang then overrides the
  // language for this run.
  own_ = std::make_unique<CliConnection>(*this, 0);
  if (options_.language) catalogue::SelectLanguage(*options_.language);
  serial::SetPortTable([](const std::string& name) { return store::ReadPortTable(name); });
  if (!options_.beep) tone::SetToneRecorder([](unsigned, unsigned) {});
}

CliSession::~CliSession() {
  own_.reset();
  ForwardStopSignals(nullptr);
  if (!options_.beep) tone::SetToneRecorder({});
  catalogue::ReleaseCatalogue();
}

void CliSession::PrintTrace(const serial::TraceRecord& record, bool bench) const {
  if (!options_.trace) return;
  // Times count from the program's start, not from the system's.
  serial::TraceRecord shown = record;
  shown.tickMs = record.tickMs - startTick_;
  PrintErrorLine((bench ? serial::PortName(record.port) + " " : std::string()) + serial::TraceLine(shown));
}

void CliSession::RunOnPorts(const std::vector<BenchPort>& bench, const PortWork& work) {
  traces_.Spread();
  RunOnEachDevice(
      bench,
      [this, &work](const BenchPort& port, size_t index) {
        // A connection of its own, confined to the port and the device
        // resolved at the start: no quick try, and nothing stored.
        CliConnection connection(*this, port);
        work(connection, index);
      },
      [](const BenchPort& port, const std::string& why) {
        PrintErrorLine("rt420ctl: " + serial::PortName(port.port) + ": " + why);
      });
}
