// SPDX-License-Identifier: MIT
// rt420ctl watch: Wiegand processing as the window runs it, one line per
// card read. A stop request (Ctrl+C, SIGTERM, or the end of --seconds) ends
// it after the current cycle, the way a second click on the window's process
// button does; the port is closed and the exit code is 0. A poll without a
// valid reply ends it with exit code 1.

#include <memory>

#include "csv_file.h"
#include "module_steps.h"
#include "provision_run.h"
#include "operations.h"
#include "port_names.h"
#include "stop_request.h"
#include "subcommands.h"

namespace {
const std::vector<std::string> kWatchCsvHeader = {"time", "reader", "data"};

class CardLog {
 public:
  CardLog(bool json, CsvFile* csv) : json_(json), csv_(csv) {}

  void Card(int reader, const std::string& bytes) {
    cards_ += 1;
    std::string time = TimestampNow();
    std::string data = text::ShownText(bytes);
    if (json_) {
      PrintLine(JsonObject().Add("time", time).Add("reader", reader).Add("data", data).Text());
    } else {
      PrintLine(time + " reader " + std::to_string(reader) + " " + data);
    }
    if (csv_ && !csv_->Append({time, std::to_string(reader), data}) && !failed_) {
      failed_ = true;
      PrintErrorLine("rt420ctl: cannot write to " + text::ShownText(csv_->Path()));
    }
  }
  long long Cards() const { return cards_; }

 private:
  bool json_;
  CsvFile* csv_;
  long long cards_ = 0;
  bool failed_ = false;
};

void PrintEnd(CliConnection& connection, ExitCode code, const CardLog& log) {
  if (connection.Json()) {
    PrintLine(OutcomeJson(connection, code).Add("cards", log.Cards()).Text());
  } else if (code == kExitOk) {
    PrintLine("stopped: " + std::to_string(log.Cards()) + " cards read");
  } else {
    // The only other end of polling is a poll without a valid reply.
    PrintLine("polling ended: no reply from the module at " + serial::PortName(connection.State().ScanCommNo) + " after " +
              std::to_string(log.Cards()) + " cards");
  }
}
}  // namespace

ExitCode RunWatchCommand(CliConnection& connection) {
  const CliOptions& options = connection.Options();
  std::unique_ptr<CsvFile> csv;
  if (!options.csvPath.empty()) {
    std::string error;
    csv = CsvFile::Open(options.csvPath, kWatchCsvHeader, error);
    if (!csv) {
      PrintErrorLine("rt420ctl: " + error);
      return kExitUsage;
    }
  }
  ModuleReadout readout;
  ExitCode code = ScanModule(connection, readout);
  if (code != kExitOk) {
    if (connection.Json()) PrintLine(OutcomeJson(connection, code).Text());
    return code;
  }
  CardLog log(connection.Json(), csv.get());
  connection.Panel().SetCardHandler([&log](int reader, const std::string& bytes) { log.Card(reader, bytes); });
  if (options.seconds) SetStopDeadline(*options.seconds);
  code = RunOperation(connection, commands::RunWiegandProcessing);
  connection.Panel().SetCardHandler({});
  PrintEnd(connection, code, log);
  return code;
}
