// SPDX-License-Identifier: MIT
// rt420-sim: a simulated converter module on a pseudo-terminal, for trying
// the tool by hand or from scripts. Prints "pty: /dev/pts/N" as its first
// line, then one line per frame received or written. Card data comes from
// stdin ("1 ABC123", "2 XYZ") or from a timer. Ends on SIGINT or SIGTERM.
// With --module (or a line fault of the bus) it is a bus of modules on one
// line instead (sim_bus.h), whose cards stdin gives by reader ID ("03 ABC").

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "bus_text.h"
#include "rt420_version.h"
#include "sim_bus.h"
#include "sim_module.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kUsage[] =
    "usage: rt420-sim [options]\n"
    "  --link PATH            place a symlink to the pseudo-terminal at PATH; the\n"
    "                         lock on PATH.lock keeps a second instance off it\n"
    "  --id1 TEXT --id2 TEXT  the two reader IDs (01, 05)\n"
    "  --serial1 TEXT --serial2 TEXT   serial fields (12345678, 87654321)\n"
    "  --firmware TEXT        firmware version (03.20-01)\n"
    "  --key TEXT             reader key count (04)\n"
    "  --mode 0|1             0 two readers, 1 one reader (0)\n"
    "  --rs485 0|1|2          RS-485 setting (1)\n"
    "  --line 0..11           line setting index (5 = 19200,e,8,1)\n"
    "  --card-every MS        present a card every MS milliseconds, to reader 1\n"
    "                         and reader 2 in turn (reader 1 only in one-reader mode),\n"
    "                         to a reader that holds no card yet\n"
    "  --card-data TEXT       the data of those cards (12345678)\n"
    "  --fault KIND[:COMMAND[:COUNT[:VALUE]]]   repeatable; KIND is noreply,\n"
    "                         delay, badchecksum, lowercase, wronglength, stray,\n"
    "                         trickle, flood, endlessflood, hangup, late or\n"
    "                         silent; COMMAND the first four characters of a\n"
    "                         command (H00M), F for any poll, empty for any;\n"
    "                         COUNT replies (-1 for all, default 1); VALUE ms\n"
    "                         for delay, trickle and late, total length for\n"
    "                         wronglength. silent::N: N more replies, then the\n"
    "                         module carries out and answers nothing at all\n"
    "  --echo                 the line hands back every byte the tool writes, as\n"
    "                         a two-wire RS-485 adapter does\n"
    "A bus: several modules on one line (any of these options makes one; without\n"
    "--module it has one module, set by the options above):\n"
    "  --module SETTINGS      a module on the bus, repeatable, in bus order;\n"
    "                         SETTINGS is key=value,... with the keys id1, id2,\n"
    "                         serial1, serial2, firmware, key, mode, rs485, line\n"
    "                         (as the options above; module k's serial fields\n"
    "                         default to 12345678+k-1 and 87654321-k+1)\n"
    "  --ber RATE             bit-error rate on what the tool receives (0 to 1)\n"
    "  --jitter MS            each reply up to MS ms later, at random\n"
    "  --foreign-master MS    another host polls the modules' reader IDs every\n"
    "                         MS ms (10 or more); the modules answer it\n"
    "  --stray MS             random bytes while the line is idle, every MS ms\n"
    "                         on average (missing bias)\n"
    "  --seed N               the seed of every random choice (1)\n"
    "  On a bus --card-every presents cards to each answering reader ID in turn,\n"
    "  and --fault is not taken.\n"
    "  --quiet                print only the pty line\n"
    "  --help                 this text\n"
    "  --version              the program's version\n"
    "Texts are used as given (other lengths give other reply lengths).\n"
    "stdin: lines \"1 DATA\" or \"2 DATA\" present a card to reader 1 or 2;\n"
    "on a bus, \"ID DATA\" at the reader that answers that reader ID.\n";

struct Options {
  sim::ModuleConfig config;
  std::string link;
  int cardEveryMs = 0;
  std::string cardData = "12345678";
  std::vector<sim::Fault> faults;
  bool echo = false;
  std::vector<sim::ModuleConfig> busModules;  // --module, in bus order
  sim::LineFaults busFaults;
  bool bus = false;  // --module or a line fault of the bus was given
  bool moduleOptions = false;  // one of --id1 .. --line was given
  bool quiet = false;
  bool help = false;
  bool version = false;
};

std::mutex outputMutex;

void Print(const std::string& line) {
  std::lock_guard lock(outputMutex);
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool ToInt(std::string_view s, int& out) {
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size();
}

// Applies one "--name value" option; false with an error text when wrong.
bool ApplyOption(const std::string& name, const std::string& value, Options& o, std::string& error) {
  bool ok = true;
  // --id1 .. --line are the module's settings by their own names.
  const std::string setting = name.rfind("--", 0) == 0 ? name.substr(2) : std::string();
  if (sim::IsModuleSetting(setting)) {
    o.moduleOptions = true;
    ok = sim::ApplyModuleSetting(setting, value, o.config);
  } else if (name == "--link") o.link = value;
  else if (name == "--card-every") ok = ToInt(value, o.cardEveryMs) && o.cardEveryMs > 0;
  else if (name == "--card-data") ok = value.size() <= sim::kMaxCardData;
  else if (name == "--module") {
    std::optional<sim::ModuleConfig> module = sim::ParseModuleSettings(value, o.busModules.size(), error);
    if (!module) {
      error = "--module " + value + ": " + error;
      return false;
    }
    o.busModules.push_back(*module);
    o.bus = true;
  } else if (sim::IsLineFaultOption(name)) {
    ok = sim::ApplyLineFaultOption(name, value, o.busFaults);
    o.bus = true;
  } else if (name == "--fault") {
    std::optional<sim::Fault> fault = sim::ParseFault(value);
    ok = fault.has_value();
    if (ok) o.faults.push_back(*fault);
  } else {
    error = "unknown option " + name;
    return false;
  }
  if (name == "--card-data" && ok) o.cardData = value;
  if (!ok) error = "bad value for " + name + ": " + value;
  return ok;
}

// A bus takes its modules from --module (or the single module's options)
// and has no per-reply faults.
bool CheckBusOptions(Options& o, std::string& error) {
  if (!o.bus) return true;
  if (!o.faults.empty()) {
    error = "--fault is for one module; a bus takes --ber, --jitter, --foreign-master, --stray";
    return false;
  }
  if (!o.busModules.empty() && o.moduleOptions) {
    error = "with --module, give each module's settings inside it (id1=..,line=..)";
    return false;
  }
  if (o.busModules.size() > sim::kMaxBusModules) {
    error = "at most " + std::to_string(sim::kMaxBusModules) + " modules on a bus";
    return false;
  }
  if (o.busModules.empty()) o.busModules.push_back(o.config);
  return true;
}

bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      o.help = true;
    } else if (name == "--version") {
      o.version = true;
    } else if (name == "--quiet") {
      o.quiet = true;
    } else if (name == "--echo") {
      o.echo = o.busFaults.echo = true;
    } else if (i + 1 >= argc) {
      error = "missing value for " + name;
      return false;
    } else if (!ApplyOption(name, argv[++i], o, error)) {
      return false;
    }
  }
  if (!sim::ValidConfig(o.config)) {
    error = "texts may be at most " + std::to_string(sim::kMaxFieldLength) + " characters";
    return false;
  }
  return CheckBusOptions(o, error);
}

int PrintUsage() {
  std::fputs(kUsage, stdout);
  return 0;
}

// ---------------------------------------------------------------- signals

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  int saved = errno;
  char byte = 1;
  [[maybe_unused]] ssize_t n = write(signalPipe[1], &byte, 1);
  errno = saved;
}

bool InstallSignals() {
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a closed stdout must not end the module
  return true;
}

// ---------------------------------------------------------------- link

// The link belongs to the instance that holds an exclusive lock on the file
// beside it (PATH.lock, which also holds that instance's PID). The kernel
// drops the lock when the holder ends in any way, so a lock file left behind
// by a killed instance never blocks the next one. A second instance on the
// same link refuses to start instead of taking the link over and deleting
// it when it ends. A file at PATH.lock that is not such a lock file (not a
// regular file, or holding anything but a PID) is someone else's: it is
// left as it is and the instance does not start.
class LinkClaim {
 public:
  LinkClaim() = default;
  ~LinkClaim() {
    if (fd_ >= 0) close(fd_);
  }
  LinkClaim(const LinkClaim&) = delete;
  LinkClaim& operator=(const LinkClaim&) = delete;

  // False with a one-line reason when the link cannot be ours.
  bool Claim(const std::string& link, std::string& error) {
    std::filesystem::path folder = std::filesystem::path(link).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
      error = "cannot place a link at " + link + ": the folder " + folder.string() +
              (std::filesystem::exists(folder, ec) ? " is not a folder" : " does not exist");
      return false;
    }
    std::string lockPath = link + ".lock";
    // Not truncated on open: whatever is there is looked at first.
    fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd_ < 0) {
      error = "cannot create " + lockPath + ": " + std::strerror(errno);
      return false;
    }
    if (!IsLockFile()) {
      error = lockPath + " is there and is not a lock file of rt420-sim; it is left as it is (give another --link)";
      return false;
    }
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      error = "the link " + link + " belongs to another running rt420-sim" + Holder() +
              "; it is left as it is (use that one, or give another --link)";
      return false;
    }
    std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(fd_, 0) != 0 || pwrite(fd_, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
      error = "cannot write " + lockPath + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }

 private:
  // The longest lock file: a PID and its line end.
  static constexpr size_t kMaxLockBytes = 16;

  // A regular file that is empty (just made) or holds one PID line.
  bool IsLockFile() const {
    struct stat status {};
    if (fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    if (status.st_size == 0) return true;
    if (static_cast<size_t>(status.st_size) > kMaxLockBytes) return false;
    char text[kMaxLockBytes] = {};
    ssize_t n = pread(fd_, text, sizeof text, 0);
    int pid = 0;
    std::string_view line(text, n > 0 ? static_cast<size_t>(n) : 0);
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    return ToInt(line, pid) && pid > 0;
  }

  // " (PID n)" as the lock file names the holder; empty if it does not.
  std::string Holder() const {
    char text[16] = {};
    ssize_t n = pread(fd_, text, sizeof text - 1, 0);
    int pid = 0;
    if (n <= 0 || !ToInt(std::string_view(text, static_cast<size_t>(n)).substr(0, std::strcspn(text, "\n")), pid))
      return {};
    return " (PID " + std::to_string(pid) + ")";
  }

  int fd_ = -1;
};

// ---------------------------------------------------------------- cards

// Collects stdin into lines; a line longer than the buffer is dropped whole.
class LineReader {
 public:
  template <typename OnLine>
  void Feed(const char* bytes, size_t length, OnLine onLine) {
    for (size_t i = 0; i < length; ++i) {
      char c = bytes[i];
      if (c == '\n') {
        if (!overlong_) onLine(line_);
        line_.clear();
        overlong_ = false;
      } else if (line_.size() >= kMaxLine) {
        overlong_ = true;
      } else if (c != '\r') {
        line_ += c;
      }
    }
  }

 private:
  static constexpr size_t kMaxLine = 1024;
  std::string line_;
  bool overlong_ = false;
};

void CardLine(sim::SimModule& module, const std::string& line, bool quiet) {
  if (line.empty()) return;
  size_t space = line.find(' ');
  bool wellFormed = (line[0] == '1' || line[0] == '2') && space == 1 && line.size() > 2;
  if (!wellFormed) {
    if (!quiet) Print("-- input ignored (want \"1 DATA\" or \"2 DATA\"): " + line);
    return;
  }
  int reader = line[0] - '0';
  std::string data = line.substr(2);
  bool queued = module.PresentCard(reader, data);
  if (!quiet) Print("-- card for reader " + std::to_string(reader) + (queued ? " queued: " : " refused: ") + data);
}

void CardLine(sim::SimBus& bus, const std::string& line, bool quiet) {
  if (line.empty()) return;
  std::optional<sim::CardRequest> card = sim::ParseCardLine(line);
  if (!card) {
    if (!quiet) Print("-- input ignored (want \"ID DATA\"): " + line);
    return;
  }
  std::optional<size_t> module = bus.PresentCardAt(card->readerId, card->data);
  if (quiet) return;
  Print("-- card for reader ID " + card->readerId +
        (module ? " queued at m" + std::to_string(*module + 1) + ": " : " refused: ") + card->data);
}

// Returns false once stdin has closed.
template <typename Simulator>
bool ReadStdin(Simulator& module, LineReader& reader, bool quiet) {
  char buffer[512];
  ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) return false;
  reader.Feed(buffer, static_cast<size_t>(n), [&](const std::string& line) { CardLine(module, line, quiet); });
  return true;
}

// ---------------------------------------------------------------- main loop

// Presents a card every period, to reader 1 and reader 2 in turn (reader 1
// alone in one-reader mode). As on a real reader, a card waits until it is
// polled, and a reader that still holds one gets no other: a module left
// running without polling does not pile up cards to spill out at the next
// poll. A card polled shows in the frame log, so the timer says what it
// does once rather than a line every period.
class CardTimer {
 public:
  explicit CardTimer(int everyMs) : every_(everyMs), next_(Clock::now() + every_) {}
  bool Active() const { return every_.count() > 0; }
  int WaitMs() const {
    if (!Active()) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(next_ - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
  }
  void Fire(sim::SimModule& module, const std::string& data, bool quiet) {
    if (!Due()) return;
    Report(quiet,
           "to reader 1 and reader 2 in turn (reader 1 alone in one-reader mode), to a reader that holds none; each "
           "shows in the frame log when it is polled");
    if (module.State().mode != '0') reader_ = 1;
    if (module.CardsWaiting(reader_) == 0) module.PresentCard(reader_, data);
    reader_ = reader_ == 1 ? 2 : 1;
  }
  // On a bus: to each reader ID that answers, in turn.
  void Fire(sim::SimBus& bus, const std::string& data, bool quiet) {
    if (!Due()) return;
    std::vector<std::string> ids = bus.AnsweringIds();
    if (ids.empty()) return;
    // A bus names each card's reader ID: which one is due next is not
    // plain from the frame log alone.
    const std::string& id = ids[turn_++ % ids.size()];
    bool queued = bus.PresentCardAt(id, data).has_value();
    if (!quiet) Print("-- timer card for reader ID " + id + (queued ? " queued" : " refused"));
  }

 private:
  // The timer says once what it does, so the frame log stays readable.
  void Report(bool quiet, const std::string& how) {
    if (!quiet && !reported_) Print("-- a timer card every " + std::to_string(every_.count()) + " ms, " + how);
    reported_ = true;
  }
  // True once the time has come, and then the next time is set.
  bool Due() {
    if (!Active() || Clock::now() < next_) return false;
    next_ += every_;
    if (next_ < Clock::now()) next_ = Clock::now() + every_;  // fell behind: do not catch up in a burst
    return true;
  }

  std::chrono::milliseconds every_;
  Clock::time_point next_;
  int reader_ = 1;
  size_t turn_ = 0;
  bool reported_ = false;
};

template <typename Simulator>
void RunUntilSignal(Simulator& module, const Options& o) {
  bool stdinOpen = true;
  LineReader lines;
  CardTimer timer(o.cardEveryMs);
  while (true) {
    pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    if (poll(fds, 2, timer.WaitMs()) < 0 && errno != EINTR) return;
    if (fds[0].revents & POLLIN) return;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) stdinOpen = ReadStdin(module, lines, o.quiet);
    timer.Fire(module, o.cardData, o.quiet);
  }
}

// Starts the module or the bus, prints its terminal, places the link and
// runs until a signal.
template <typename Simulator>
int Serve(Simulator& simulator, const Options& options) {
  if (!simulator.Start()) {
    std::fprintf(stderr, "rt420-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
    return 1;
  }
  Print("pty: " + simulator.SlavePath());
  if (!options.link.empty() && !simulator.LinkAt(options.link)) {
    std::fprintf(stderr, "rt420-sim: cannot place a link at %s (an existing file that is not a symlink is kept)\n",
                 options.link.c_str());
    simulator.Stop();
    return 1;
  }
  if (!options.quiet) {
    if (!options.link.empty()) Print("link: " + options.link);
    simulator.SetLogSink(Print);
  }
  RunUntilSignal(simulator, options);
  simulator.Stop();
  if (!options.quiet) Print("-- stopped");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "rt420-sim: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (options.help) return PrintUsage();
  if (options.version) return PrintVersion("rt420-sim");
  if (!InstallSignals()) {
    std::perror("rt420-sim: pipe");
    return 1;
  }
  LinkClaim claim;
  if (!options.link.empty() && !claim.Claim(options.link, error)) {
    std::fprintf(stderr, "rt420-sim: %s\n", error.c_str());
    return 1;
  }
  if (options.bus) {
    sim::SimBus bus(options.busModules, options.busFaults);
    return Serve(bus, options);
  }
  sim::SimModule module(options.config);
  for (const sim::Fault& fault : options.faults) module.AddFault(fault);
  module.SetEcho(options.echo);
  return Serve(module, options);
}
