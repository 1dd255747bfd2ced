// SPDX-License-Identifier: MIT
#include "cli_session.h"

#include <exception>
#include <filesystem>
#include <functional>
#include <thread>

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

std::vector<BenchPort> ResolveBench(const std::vector<int>& ports) {
  std::vector<BenchPort> bench;
  std::map<std::string, int> firstWithIdentity;
  for (int port : ports) {
    BenchPort p;
    p.port = port;
    p.device = serial::ResolvePort(port);
    if (p.device) {
      std::error_code ec;
      p.present = std::filesystem::exists(*p.device, ec);
      auto [first, isFirst] = firstWithIdentity.try_emplace(serial::DeviceIdentity(*p.device), port);
      if (!isFirst) p.sameDeviceAs = first->second;
    }
    bench.push_back(std::move(p));
  }
  return bench;
}

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
  session_.Register(*this);
  session_.trace_.Attach(State());
}

CliConnection::~CliConnection() {
  session_.trace_.Detach(State());
  session_.Unregister(*this);
}

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
  trace_.SetCallback([this](const serial::TraceRecord& record) { RouteRecord(record); });
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

void CliSession::Register(CliConnection& connection) {
  std::lock_guard<std::mutex> lock(connectionsMutex_);
  connections_[connection.Port()] = &connection;
}

void CliSession::Unregister(const CliConnection& connection) {
  std::lock_guard<std::mutex> lock(connectionsMutex_);
  auto it = connections_.find(connection.Port());
  if (it != connections_.end() && it->second == &connection) connections_.erase(it);
}

void CliSession::RouteRecord(const serial::TraceRecord& record) {
  bool bench = bench_.load();
  {
    // The program's own connection takes every record; on a bench each
    // record goes to the connection of its port alone.
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    auto it = connections_.find(bench ? record.port : 0);
    if (it != connections_.end()) it->second->TakeRecord(record);
  }
  if (!options_.trace) return;
  // Times count from the program's start, not from the system's.
  serial::TraceRecord shown = record;
  shown.tickMs = record.tickMs - startTick_;
  PrintErrorLine((bench ? serial::PortName(record.port) + " " : std::string()) + serial::TraceLine(shown));
}

void CliSession::RunOnPorts(const std::vector<BenchPort>& bench, const PortWork& work) {
  bench_ = true;
  auto connect = [this, &work](const BenchPort& port, size_t index) {
    // A connection of its own, confined to the port and the device resolved
    // at the start: no quick try, and nothing stored.
    try {
      CliConnection connection(*this, port);
      work(connection, index);
    } catch (const std::exception& error) {
      PrintErrorLine("rt420ctl: " + serial::PortName(port.port) + ": " + error.what());
    }
  };
  // Each jthread joins when the vector goes, on every path.
  std::vector<std::jthread> threads;
  threads.reserve(bench.size());
  for (size_t i = 0; i < bench.size(); ++i)
    if (!bench[i].sameDeviceAs) threads.emplace_back(connect, std::cref(bench[i]), i);
}
