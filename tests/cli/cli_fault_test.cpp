// SPDX-License-Identifier: MIT
// rt420ctl under faults, as an operator meets them on a bench: a stop
// (Ctrl+C, a termination request, a hang-up) writes nothing more and the run
// ends with its records; a full disk leaves whole records and fails the run;
// two port numbers of one device are one module; a port keeps its device
// for the whole run; nothing raw from a file, the port table or the line
// reaches the terminal; and what is refused before anything is sent.
//
// Whatever the machine's load: the stop tests judge the order of the lines
// on stderr (--trace prints each frame before its reply is awaited, and the
// stop line is written when the signal is taken), never the time.
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <set>

#include "bench_modules.h"
#include "cli_fixture.h"
#include "wait_until.h"

namespace {
// Only a limit for what must come; nothing waits this long otherwise.
constexpr std::chrono::seconds kWait{60};
// Every first stop signal says this on stderr, each in its own words.
constexpr char kStopLine[] = "stopping after this step";
constexpr size_t kWrittenField = 16, kOutcomeField = 17, kFieldCount = 18;
// Runs of a stop case whose scan may fail on a loaded machine before the
// point of the stop.
constexpr int kStopAttempts = 5;
}  // namespace

class CliFaultTest : public CliTest {
 protected:
  // The command text of a --trace line of a frame sent; empty otherwise.
  static std::string SentCommand(const std::string& line) {
    if (!Contains(line, " ms > ")) return {};
    size_t start = line.find("\\t"), end = line.rfind("\\r");
    if (start == std::string::npos || end == std::string::npos || end < start + 4) return {};
    return line.substr(start + 2, end - start - 4);
  }

  // No write began after the program took the stop. After the stop line,
  // each port's frames hold the writes of one operation at most (the one in
  // flight, whose stop check may have come just before), and no write after
  // a read of a search (the search was still running then, so the first
  // write had not begun). A port is its trace lines' "COMn", or "" for the
  // program's own connection.
  static testing::AssertionResult NoWriteBeganAfterTheStop(const std::string& err) {
    std::map<std::string, std::vector<std::string>> after;
    bool stopped = false;
    for (const std::string& line : Lines(err)) {
      std::string command = SentCommand(line);
      if (stopped && !command.empty()) after[line.rfind("COM", 0) == 0 ? line.substr(0, line.find(' ')) : ""].push_back(command);
      stopped = stopped || Contains(line, kStopLine);
    }
    if (!stopped) return testing::AssertionFailure() << "no stop line on stderr";
    for (const auto& [port, commands] : after) {
      std::set<std::string> writes;
      bool searchRead = false;
      for (const std::string& command : commands) {
        searchRead = searchRead || command == "H00V" || command == "H00L" || command == "H00A";
        if (WriteOf(command).empty()) continue;
        if (searchRead) return testing::AssertionFailure() << port << " wrote after its search: " << Joined(commands);
        writes.insert(WriteOf(command));
      }
      if (writes.size() > 1) return testing::AssertionFailure() << port << " began a write: " << Joined(commands);
    }
    return testing::AssertionSuccess();
  }

  static std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::stringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
  }
};

// ---------------------------------------------------------------------------
// A stop writes nothing more, and every way of stopping ends with the records
// written and the exit code saying so.

namespace {
enum class StopRun { Bench, Apply, SetId };

struct StopCase {
  const char* id;
  std::vector<int> signals;  // each after the program took the one before
  StopRun run;
};

const StopCase kStopCases[] = {
    {"CtrlCOnABenchBeforeAnyModuleIsFound", {SIGINT}, StopRun::Bench},
    {"TerminationRequestOnABench", {SIGTERM}, StopRun::Bench},
    {"TwoHangUpsOnABench", {SIGHUP, SIGHUP}, StopRun::Bench},
    {"CtrlCBetweenTheWritesOfOneModule", {SIGINT}, StopRun::Apply},
    {"HangUpDuringTheScanBeforeSetId", {SIGHUP}, StopRun::SetId},
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.id; }

class CliStopTest : public CliFaultTest, public testing::WithParamInterface<StopCase> {};
}  // namespace

TEST_P(CliStopTest, NoWriteBeginsAfterAStopAndTheRunEndsWithItsRecords) {
  const StopCase& c = GetParam();
  std::map<int, sim::SimModule*> modules;
  std::string csv = (Dir() / "bench.csv").string();
  std::vector<std::string> args = {"--trace"};
  if (c.run == StopRun::Bench) {
    // At 115200 baud, the search's 11th line setting: found seconds after
    // it began, so the stop comes first.
    for (int port : {3, 4, 5}) modules[port] = &AddModule(port, ModuleOnPort(port, 10));
    WriteSettings();
    std::string profile = WriteFile("bench.ini", "id1 = 31\nkey-count = 6\n");
    args.insert(args.end(), {"apply", profile, "--ports", "3-5", "--repeat", "--csv", csv});
  } else {
    modules[3] = &StoredModule(ModuleOnPort(3, 5));
    std::string profile = WriteFile("p.ini", "id1 = 31\nid2 = 32\nkey-count = 6\nrs485 = 40\nline-setting = 6\n");
    if (c.run == StopRun::Apply) args.insert(args.end(), {"apply", profile, "--csv", csv});
    else args.insert(args.end(), {"set-id", "12", "7"});
  }
  sim::SimModule& first = *modules.begin()->second;
  const sim::ModuleConfig firstState = first.State();
  std::map<int, size_t> heardBefore;  // each module's frames before this run
  auto heard = [&heardBefore](int port, const sim::SimModule& module) {
    std::vector<std::string> all = module.Commands();
    return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(heardBefore[port]), all.end());
  };
  auto took = [&](const std::string& start) {
    for (const std::string& command : heard(modules.begin()->first, first))
      if (command.rfind(start, 0) == 0) return true;
    return false;
  };
  // Bench: as soon as the search has begun; apply: at its first write;
  // set-id: during the scan's reads. A loaded machine can make the scan
  // fail before that point (replies held back past their window), or hold
  // the test back until the program has ended by itself: the stop is then
  // not what ended it, and the case is run again from the start.
  const char* point = c.run == StopRun::Apply ? "H00C" : "H00V";
  ChildResult r;
  for (int attempt = 0; attempt < kStopAttempts; ++attempt) {
    std::filesystem::remove(csv);
    ASSERT_TRUE(first.SetState(firstState));
    if (c.run != StopRun::Bench) WriteSettings(kStoredCom3);
    for (const auto& [port, module] : modules) heardBefore[port] = module->Commands().size();
    std::unique_ptr<ChildProcess> child = Start(args);
    if (c.run == StopRun::Bench) ASSERT_TRUE(child->WaitForError(" ms > ", kWait)) << child->Err();
    else ASSERT_TRUE(WaitUntil([&] { return took(point) || !child->Running(); }, kWait));
    for (size_t i = 0; i < c.signals.size() && child->Running(); ++i) {
      if (i > 0) {
        ASSERT_TRUE(child->WaitForError(kStopLine, kWait)) << child->Err();
      }
      child->Signal(c.signals[i]);
    }
    r = child->Finish(kLimit);
    if (Contains(r.err, kStopLine)) break;
  }
  ASSERT_TRUE(Contains(r.err, kStopLine)) << "no run was stopped: " << r.out << r.err;
  ASSERT_EQ(r.signal, 0) << r.out << r.err;
  EXPECT_TRUE(NoWriteBeganAfterTheStop(r.err)) << r.err;
  if (c.run == StopRun::SetId) {
    // Stopped before its write, set-id wrote nothing and says so (after a
    // scan that read the module); a write that had begun was finished (or
    // failed, when a loaded machine held its replies back).
    bool wrote = !WritesTaken(heard(modules.begin()->first, first)).empty();
    EXPECT_EQ(r.exitCode == 4, !wrote) << r.out << r.err;
    if (!wrote && Contains(r.out, "ID 1:")) {
      EXPECT_TRUE(Contains(r.out, "stopped before the write: nothing written")) << r.out;
    }
    return;
  }
  // The records of each port say together what its module took (a bench
  // port whose search had not begun has none, and took nothing). A failed
  // write may have reached the module unacknowledged (a loaded machine can
  // hold a reply back past its window): the records then claim no more than
  // it took. The exit code follows the outcomes: 1 for a failed module, else
  // 4 for a stopped one, else 0.
  struct PortRecords {
    std::vector<std::string> written;
    bool failed = false;
  };
  std::map<int, PortRecords> ports;
  int records = 0;
  bool anyFailed = false, anyStopped = false;
  for (const std::vector<std::string>& record : ReadCsv(ReadFile(csv))) {
    ASSERT_EQ(record.size(), kFieldCount) << Joined(record);
    if (record[1] == "port") continue;
    records += 1;
    PortRecords& port = ports[std::stoi(record[1].substr(3))];
    for (const std::string& write : Words(record[kWrittenField])) port.written.push_back(write);
    const std::string& outcome = record[kOutcomeField];
    bool stopped = outcome.rfind("stopped (", 0) == 0;
    port.failed = port.failed || !(stopped || outcome == "ok");
    anyStopped = anyStopped || stopped;
    anyFailed = anyFailed || port.failed;
  }
  if (c.run == StopRun::Apply) {
    EXPECT_EQ(records, 1) << ReadFile(csv);
  }
  for (const auto& [port, module] : modules) {
    const PortRecords& said = ports[port];
    std::vector<std::string> taken = WritesTaken(heard(port, *module));
    if (said.failed) {
      for (const std::string& write : said.written) EXPECT_NE(std::find(taken.begin(), taken.end(), write), taken.end());
    } else {
      EXPECT_EQ(said.written, taken) << "COM" << port << ": " << Joined(heard(port, *module));
    }
  }
  EXPECT_EQ(r.exitCode, anyFailed ? 1 : anyStopped ? 4 : 0) << r.out << r.err;
}

INSTANTIATE_TEST_SUITE_P(Stops, CliStopTest, testing::ValuesIn(kStopCases),
                         [](const testing::TestParamInfo<StopCase>& info) { return std::string(info.param.id); });

// ---------------------------------------------------------------------------
// A full disk: a record the file does not take is cut off again, named in
// the summary, and fails the run; later records that fit are written whole.

namespace {
struct DiskCase {
  const char* id;
  std::vector<std::string> extra;  // beside apply PROFILE --repeat --csv FILE
};

const DiskCase kDiskCases[] = {{"OnePort", {}}, {"Bench", {"--ports", "3"}}};

void PrintTo(const DiskCase& c, std::ostream* out) { *out << c.id; }

class CliFullDiskTest : public CliFaultTest, public testing::WithParamInterface<DiskCase> {
 protected:
  // Sets the child's file-size limit (its soft one; the hard one stays).
  static bool LimitFileSize(pid_t pid, rlim_t bytes) {
    rlimit limit{};
    if (prlimit(pid, RLIMIT_FSIZE, nullptr, &limit) != 0) return false;
    limit.rlim_cur = std::min(bytes, limit.rlim_max);
    return prlimit(pid, RLIMIT_FSIZE, &limit, nullptr) == 0;
  }
};
}  // namespace

TEST_P(CliFullDiskTest, ARecordTheFileDoesNotTakeIsCutOffNamedAndFailsTheRun) {
  sim::SimModule& module = StoredModule(ModuleOnPort(3, 5));
  std::string profile = WriteFile("p.ini", "id1 = 41\n");
  std::string csv = (Dir() / "records.csv").string();
  std::vector<std::string> args = {"apply", profile, "--repeat", "--csv", csv};
  args.insert(args.end(), GetParam().extra.begin(), GetParam().extra.end());
  std::unique_ptr<ChildProcess> child = Start(args);
  // Each module's record line, whatever its outcome (a loaded machine may
  // fail a module; its record is written all the same).
  ASSERT_TRUE(child->WaitForOutput("COM3 10000003-4: ", kWait)) << child->Out() << child->Err();

  // Room for a part of the next record only; then room again.
  ASSERT_TRUE(LimitFileSize(child->Pid(), std::filesystem::file_size(csv) + 20));
  ASSERT_TRUE(PutNextModule(module, "30000003"));
  ASSERT_TRUE(child->WaitForError("cannot write the record of COM3 30000003-4 to " + csv, kWait)) << child->Err();
  ASSERT_TRUE(LimitFileSize(child->Pid(), RLIM_INFINITY));
  ASSERT_TRUE(PutNextModule(module, "50000005"));
  ASSERT_TRUE(child->WaitForOutput("COM3 50000005-6: ", kWait)) << child->Out() << child->Err();
  child->Signal(SIGINT);
  ChildResult r = child->Finish(kLimit);

  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  std::string missing;
  for (const std::string& line : Lines(r.out))
    if (line.rfind("records missing from " + csv + ": ", 0) == 0) missing = line;
  EXPECT_TRUE(Contains(missing, "COM3 30000003-4")) << r.out;
  std::string text = ReadFile(csv);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::multiset<std::string> serials;
  for (const std::vector<std::string>& record : ReadCsv(text)) {
    EXPECT_EQ(record.size(), kFieldCount) << Joined(record);
    if (record.size() > 2) serials.insert(record[2]);
  }
  EXPECT_EQ(serials.count("10000003-4"), 1u) << text;
  EXPECT_EQ(serials.count("30000003-4"), 0u) << text;
  EXPECT_EQ(serials.count("50000005-6"), 1u) << text;
}

INSTANTIATE_TEST_SUITE_P(FullDisk, CliFullDiskTest, testing::ValuesIn(kDiskCases),
                         [](const testing::TestParamInfo<DiskCase>& info) { return std::string(info.param.id); });

// ---------------------------------------------------------------------------
// One device behind several port numbers is one module.

TEST_F(CliFaultTest, PortNumbersOfOneDeviceAreOneModule) {
  sim::SimModule& module = AddModule(3, ModuleOnPort(3, 0));
  // COM4 through a link to the device, COM5 through a link to that link.
  std::string com4 = (Dir() / "com4").string(), com5 = (Dir() / "com5").string();
  std::filesystem::create_symlink(module.SlavePath(), com4);
  std::filesystem::create_symlink(com4, com5);
  MapPort(4, com4);
  MapPort(5, com5);
  WriteSettings();
  const std::string same4 = "COM4 (" + com4 + "): same device as COM3", same5 = "COM5 (" + com5 + "): same device as COM3";

  ChildResult found = Run({"discover", "--ports", "3-5"});
  EXPECT_EQ(found.exitCode, 0) << found.out << found.err;
  std::vector<std::string> lines = Lines(found.out);
  ASSERT_EQ(lines.size(), 4u) << found.out;
  EXPECT_EQ(lines[0].rfind("COM3 (" + module.SlavePath() + "): 4800,n,8,1 serial 10000003-4", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], same4);
  EXPECT_EQ(lines[2], same5);
  EXPECT_EQ(ReadRunsAsOne(module.Commands()), kScanFrames);

  std::string profile = WriteFile("p.ini", "id1 = 41\n");
  std::string csv = (Dir() / "p.csv").string();
  ChildResult applied = Run({"apply", profile, "--ports", "3-5", "--csv", csv});
  EXPECT_EQ(applied.exitCode, 0) << applied.out << applied.err;
  for (const std::string& line : {std::string("COM3 10000003-4: ok (wrote ids)"), same4, same5, std::string("provisioned 1, failed 0")})
    EXPECT_TRUE(Contains(applied.out, line)) << line << "\n" << applied.out;
  EXPECT_FALSE(Contains(applied.out + applied.err, "held by another program")) << applied.out << applied.err;
  EXPECT_EQ(ReadCsv(ReadFile(csv)).size(), 2u) << ReadFile(csv);
  EXPECT_EQ(WritesTaken(module.Commands()), std::vector<std::string>{"ids"});
}

// ---------------------------------------------------------------------------
// A port keeps the device it had when the run began: a renumbering (here
// the port table rewritten, as when an adapter is unplugged and the numbers
// after it move) reaches no running connection, and a device that goes is
// said so.

TEST_F(CliFaultTest, APortKeepsItsDeviceForTheWholeRun) {
  std::string linkA = (Dir() / "adapterA").string(), linkB = (Dir() / "adapterB").string();
  sim::SimModule& a = AddModule(3, ModuleOnPort(3, 0));
  sim::SimModule& b = AddModule(4, ModuleOnPort(4, 2));
  ASSERT_TRUE(a.LinkAt(linkA));
  ASSERT_TRUE(b.LinkAt(linkB));
  MapPort(3, linkA);
  MapPort(4, linkB);
  WriteSettings();
  std::string profile = WriteFile("p.ini", "id1 = 41\n");
  std::string csv = (Dir() / "p.csv").string();
  std::unique_ptr<ChildProcess> child = Start({"apply", profile, "--ports", "3,4", "--repeat", "--csv", csv});
  // Each module's record line, whatever its outcome.
  for (const char* line : {"COM3 10000003-4: ", "COM4 10000004-5: "})
    ASSERT_TRUE(child->WaitForOutput(line, kWait)) << child->Out() << child->Err();

  MapPort(3, linkB);
  MapPort(4, linkA);
  WriteSettings();
  const std::pair<sim::SimModule*, std::string> next[] = {{&a, "30000003"}, {&b, "40000004"}};
  for (const auto& [module, serial] : next) {
    ASSERT_TRUE(PutNextModule(*module, serial));
    ASSERT_TRUE(child->WaitForOutput(SerialShown(serial) + ": ", kWait)) << child->Out() << child->Err();
  }
  a.Stop();
  ASSERT_TRUE(child->WaitForError("COM3 (" + linkA + "): the device has gone", kWait)) << child->Err();
  child->Signal(SIGINT);
  ChildResult r = child->Finish(kLimit);
  EXPECT_EQ(r.signal, 0);
  // Every module's record is its own port's: the serial numbers of COM3's
  // device end in 3, COM4's in 4 (besides, a loaded machine may keep a
  // module from being read, and its record then says so).
  std::multiset<std::string> recorded;
  for (const std::vector<std::string>& record : ReadCsv(ReadFile(csv))) {
    ASSERT_EQ(record.size(), kFieldCount) << Joined(record);
    if (record[1] == "port" || record[2].empty() || record[kOutcomeField] == "module answered but could not be read")
      continue;
    recorded.insert(record[2]);
    EXPECT_EQ(record[2].substr(7, 1), record[1].substr(3)) << Joined(record);
  }
  // (A module that failed may be provisioned again after a scan that heard
  // nothing, so a serial number may stand twice.)
  for (const char* serial : {"10000003-4", "30000003-4", "10000004-5", "40000004-5"})
    EXPECT_GE(recorded.count(serial), 1u) << serial << "\n" << ReadFile(csv);
}

// ---------------------------------------------------------------------------
// Nothing raw reaches the terminal: control characters in a port-table path,
// in a profile, in a profile's name and in an argument come out escaped on
// every output, and in the record file.

TEST_F(CliFaultTest, NothingRawFromAFileThePortTableOrTheLineReachesTheTerminal) {
  // An OSC title sequence ended by BEL, a C1 CSI alone and in UTF-8, and a
  // byte that is no UTF-8 at all.
  const std::string raw = "\x1b]0;owned\x07\x9b\xc2\x9b\xff";
  const std::string escaped = "\\x1B]0;owned\\x07\\x9B\\xC2\\x9B\\xFF";
  // The same in a JSON string, each backslash escaped once more.
  const std::string inJson = "\\\\x1B]0;owned\\\\x07\\\\x9B\\\\xC2\\\\x9B\\\\xFF";
  sim::SimModule& module = AddModule(3, ModuleOnPort(3, 0));
  std::string device = (Dir() / ("tty" + raw)).string();
  std::filesystem::create_symlink(module.SlavePath(), device);
  MapPort(3, device);
  MapPort(4, (Dir() / ("gone" + raw)).string());
  WriteSettings();
  std::string good = WriteFile("good.ini", "id1 = 41\n");
  // A section name of the same (";" would start a comment).
  std::string bad = WriteFile("bad.ini", "[m\x1b[31m\x07\x9b\xc2\x9b\xff]\n");
  std::string csv = (Dir() / "records.csv").string();
  // Each case with the escaped form its output must show; a scan shows the
  // device only when it read the module (a loaded machine may keep it from
  // that), so its marker is asked only then.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"discover", "--ports", "3,4"}, escaped},
      {{"--json", "discover", "--ports", "3,4"}, inJson},
      {{"apply", good, "--ports", "3,4", "--csv", csv}, escaped},
      {{"--json", "apply", good, "--ports", "3,4", "--csv", csv}, inJson},
      {{"scan", "--port", "3"}, escaped},
      {{"apply", bad}, "[m\\x1B[31m\\x07\\x9B\\xC2\\x9B\\xFF]"},
      {{"apply", (Dir() / ("p" + raw + ".ini")).string()}, escaped},
      {{"set-id", raw}, escaped},
      {{"ports"}, "?]0;owned?"},
  };
  for (const auto& [args, shown] : cases) {
    ChildResult r = Run(args);
    std::string output = r.out + r.err;
    SCOPED_TRACE(Joined(args) + "\n" + output);
    for (unsigned char c : output) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << "byte " << int(c);
    if (args[0] != "scan" || r.exitCode == 0) {
      EXPECT_TRUE(Contains(output, shown));
    }
  }
  for (unsigned char c : ReadFile(csv)) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << "byte " << int(c);
}

// ---------------------------------------------------------------------------
// In --repeat, a module that answers but cannot be read is said so at once.
// Read on a later scan, it is provisioned as any other (no failed record for
// a scan a glitch spoilt); never read, it is one failed module with one
// record, when it goes or, as here, when the run ends.

TEST_F(CliFaultTest, AModuleThatIsNeverReadIsOneFailedModule) {
  sim::SimModule& module = StoredModule(ModuleOnPort(3, 5));
  // The first scan's two reads of the version go unanswered, the next scan
  // reads the module.
  module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00V", 2));
  std::string profile = WriteFile("p.ini", "id1 = 41\n");
  std::string csv = (Dir() / "p.csv").string();
  std::unique_ptr<ChildProcess> child = Start({"apply", profile, "--repeat", "--csv", csv});
  const std::string notice = ": answers but cannot be read; trying again";
  ASSERT_TRUE(child->WaitForOutput("COM3 10000003-4" + notice, kWait)) << child->Out();
  ASSERT_TRUE(child->WaitForOutput("COM3 10000003-4: ", kWait, 2)) << child->Out();

  // The next module is never read: said once, however many scans.
  module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00V", -1));
  ASSERT_TRUE(PutNextModule(module, "30000003"));
  ASSERT_TRUE(child->WaitForOutput("COM3 30000003-4" + notice, kWait)) << child->Out();
  size_t heard = module.Commands().size();
  ASSERT_TRUE(module.WaitForCommands(heard + 6, kWait));
  child->Signal(SIGINT);
  ChildResult r = child->Finish(kLimit);
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  size_t notices = 0;
  for (const std::string& line : Lines(r.out)) notices += Contains(line, notice) ? 1 : 0;
  EXPECT_EQ(notices, 2u) << r.out;
  std::map<std::string, std::vector<std::string>> outcomes;
  for (const std::vector<std::string>& record : ReadCsv(ReadFile(csv)))
    if (record.size() == kFieldCount && record[1] == "COM3") outcomes[record[2]].push_back(record[kOutcomeField]);
  ASSERT_EQ(outcomes["30000003-4"].size(), 1u) << ReadFile(csv);
  EXPECT_EQ(outcomes["30000003-4"][0], "module answered but could not be read");
  ASSERT_EQ(outcomes["10000003-4"].size(), 1u) << ReadFile(csv);
  EXPECT_NE(outcomes["10000003-4"][0], "module answered but could not be read");
}

// ---------------------------------------------------------------------------
// Refused before anything is sent: a record file that is the profile itself
// however it is spelt, and a profile that is not a regular file (a FIFO
// would hold the open for ever).

TEST_F(CliFaultTest, ARecordFileThatIsTheProfileAndAProfileThatIsNoFileAreRefused) {
  sim::SimModule& module = StoredModule();
  std::string profile = WriteFile("p.ini", "id1 = 41\n");
  std::filesystem::create_directory(Dir() / "sub");
  std::filesystem::create_symlink(profile, Dir() / "link.ini");
  std::filesystem::create_hard_link(profile, Dir() / "hard.ini");
  std::string fifo = (Dir() / "fifo.ini").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string asCsv = "give the record file with --csv FILE", notAFile = "it is not a regular file";
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {profile, (Dir() / "." / "p.ini").string(), asCsv},
      {profile, (Dir() / "sub" / ".." / "p.ini").string(), asCsv},
      {profile, (Dir() / "link.ini").string(), asCsv},
      {profile, (Dir() / "hard.ini").string(), asCsv},
      {(Dir() / "link.ini").string(), profile, asCsv},
      {fifo, (Dir() / "f.csv").string(), notAFile},
  };
  for (const auto& [used, csv, why] : cases) {
    ChildResult r = Run({"apply", used, "--csv", csv});
    EXPECT_EQ(r.exitCode, 2) << used << " " << csv << "\n" << r.out << r.err;
    EXPECT_TRUE(Contains(r.err, why)) << r.err;
  }
  EXPECT_EQ(ReadFile(profile), "id1 = 41\n");
  EXPECT_TRUE(module.Commands().empty()) << Joined(module.Commands());
}
