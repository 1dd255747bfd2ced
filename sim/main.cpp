// SPDX-License-Identifier: MIT
// rt420-sim: a simulated converter module on a pseudo-terminal, for trying
// the tool by hand or from scripts. Prints "pty: /dev/pts/N" as its first
// line, then one line per frame received or written. Card data comes from
// stdin ("1 ABC123", "2 XYZ") or from a timer. Ends on SIGINT or SIGTERM.

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

#include "rt420_version.h"
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
    "                         and reader 2 in turn (reader 1 only in one-reader mode)\n"
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
    "  --quiet                print only the pty line\n"
    "  --help                 this text\n"
    "  --version              the program's version\n"
    "Texts are used as given (other lengths give other reply lengths).\n"
    "stdin: lines \"1 DATA\" or \"2 DATA\" present a card to reader 1 or 2.\n";

struct Options {
  sim::ModuleConfig config;
  std::string link;
  int cardEveryMs = 0;
  std::string cardData = "12345678";
  std::vector<sim::Fault> faults;
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

bool OneOf(std::string_view value, std::string_view allowed, char& out) {
  if (value.size() != 1 || allowed.find(value[0]) == std::string_view::npos) return false;
  out = value[0];
  return true;
}

// Applies one "--name value" option; false with an error text when wrong.
bool ApplyOption(const std::string& name, const std::string& value, Options& o, std::string& error) {
  sim::ModuleConfig& c = o.config;
  bool ok = true;
  if (name == "--link") o.link = value;
  else if (name == "--id1") c.id1 = value;
  else if (name == "--id2") c.id2 = value;
  else if (name == "--serial1") c.serial1 = value;
  else if (name == "--serial2") c.serial2 = value;
  else if (name == "--firmware") c.version = value;
  else if (name == "--key") c.keyCount = value;
  else if (name == "--mode") ok = OneOf(value, "01", c.mode);
  else if (name == "--rs485") ok = OneOf(value, "012", c.rs485);
  else if (name == "--line") ok = ToInt(value, c.lineIndex) && sim::LineBaud(c.lineIndex) != 0;
  else if (name == "--card-every") ok = ToInt(value, o.cardEveryMs) && o.cardEveryMs > 0;
  else if (name == "--card-data") ok = value.size() <= sim::kMaxCardData;
  else if (name == "--fault") {
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

bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      o.help = true;
    } else if (name == "--version") {
      o.version = true;
    } else if (name == "--quiet") {
      o.quiet = true;
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
  return true;
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

// Returns false once stdin has closed.
bool ReadStdin(sim::SimModule& module, LineReader& reader, bool quiet) {
  char buffer[512];
  ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) return false;
  reader.Feed(buffer, static_cast<size_t>(n), [&](const std::string& line) { CardLine(module, line, quiet); });
  return true;
}

// ---------------------------------------------------------------- main loop

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
    if (!Active() || Clock::now() < next_) return;
    if (module.State().mode != '0') reader_ = 1;
    bool queued = module.PresentCard(reader_, data);
    if (!quiet) Print("-- timer card for reader " + std::to_string(reader_) + (queued ? " queued" : " refused"));
    reader_ = reader_ == 1 ? 2 : 1;
    next_ += every_;
    if (next_ < Clock::now()) next_ = Clock::now() + every_;  // fell behind: do not catch up in a burst
  }

 private:
  std::chrono::milliseconds every_;
  Clock::time_point next_;
  int reader_ = 1;
};

void RunUntilSignal(sim::SimModule& module, const Options& o) {
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
  sim::SimModule module(options.config);
  for (const sim::Fault& fault : options.faults) module.AddFault(fault);
  if (!module.Start()) {
    std::fprintf(stderr, "rt420-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
    return 1;
  }
  Print("pty: " + module.SlavePath());
  if (!options.link.empty() && !module.LinkAt(options.link)) {
    std::fprintf(stderr, "rt420-sim: cannot place a link at %s (an existing file that is not a symlink is kept)\n",
                 options.link.c_str());
    module.Stop();
    return 1;
  }
  if (!options.quiet) {
    if (!options.link.empty()) Print("link: " + options.link);
    module.SetLogSink(Print);
  }
  RunUntilSignal(module, options);
  module.Stop();
  if (!options.quiet) Print("-- stopped");
  return 0;
}
