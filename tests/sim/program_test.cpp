// SPDX-License-Identifier: MIT
// The rt420-sim program: options, card lines on stdin, symlink, clean stop.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "deadline.h"
#include "rt420_version.h"
#include "sim_line.h"

extern char** environ;

namespace {

// The program with pipes on its stdin and stdout; its stderr goes to the
// same pipe as stdout.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    args.insert(args.begin(), RT420_SIM_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }

  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdin_ >= 0) close(stdin_);
    if (stdout_ >= 0) close(stdout_);
  }

  bool Started() const { return pid_ > 0; }

  void Send(const std::string& text) { ASSERT_EQ(write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size())); }

  // The next line of output that contains fragment; nullopt at the deadline
  // or at the end of the output.
  std::optional<std::string> LineWith(const std::string& fragment, std::chrono::milliseconds wait) {
    serial::Deadline deadline(wait);
    while (true) {
      size_t newline;
      while ((newline = buffered_.find('\n')) != std::string::npos) {
        std::string line = buffered_.substr(0, newline);
        buffered_.erase(0, newline + 1);
        if (line.find(fragment) != std::string::npos) return line;
      }
      if (ReadMore(deadline) != Read::Data) return std::nullopt;
    }
  }

  // Signals the program and waits for its output to end; its exit status,
  // or nullopt when it did not end in time.
  std::optional<int> Terminate(std::chrono::milliseconds wait) {
    kill(pid_, SIGTERM);
    serial::Deadline deadline(wait);
    Read result;
    while ((result = ReadMore(deadline)) == Read::Data) {}
    if (result != Read::End) return std::nullopt;
    // The output ends when the program exits, so this wait is short.
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_) return std::nullopt;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  enum class Read { Data, End, Timeout };

  Read ReadMore(const serial::Deadline& deadline) {
    pollfd p{stdout_, POLLIN, 0};
    if (poll(&p, 1, deadline.RemainingMs()) <= 0) return Read::Timeout;
    char chunk[1024];
    ssize_t n = read(stdout_, chunk, sizeof chunk);
    if (n <= 0) return Read::End;
    buffered_.append(chunk, static_cast<size_t>(n));
    return Read::Data;
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string buffered_;
};

constexpr std::chrono::milliseconds kWait{5000};

class ProgramLine : public ::testing::Test {
 protected:
  void TearDown() override {
    if (serial::PortIsOpen(conn)) serial::ClosePort(conn);
    serial::SetPortTable([](const std::string&) { return std::optional<std::string>(std::string()); });
  }

  serial::LinkState conn{serial::PortScope::AnyPort()};
};

TEST_F(ProgramLine, AnswersWithItsOptionsTakesCardsAndStopsCleanly) {
  std::string link = ::testing::TempDir() + "rt420-sim-link-" + std::to_string(getpid());
  Program program({"--link", link, "--id1", "07", "--serial1", "ABCDEFGH", "--firmware", "04.01-07", "--line", "2",
                   "--fault", "noreply:H00V"});
  ASSERT_TRUE(program.Started());
  std::optional<std::string> first = program.LineWith("", kWait);
  ASSERT_TRUE(first);
  ASSERT_EQ(first->rfind("pty: /dev/", 0), 0u) << *first;
  ASSERT_TRUE(program.LineWith("link: " + link, kWait));

  serial::SetPortTable(sim::SimPortTable(link, 3));
  ASSERT_TRUE(serial::OpenPort(conn, 3, "9600,n,8,1"));
  ASSERT_TRUE(serial::SendCommand(conn, "H00M"));
  EXPECT_EQ(serial::ReplyChars(conn, 3, 4), "07");
  EXPECT_EQ(serial::ReplyChars(conn, 6, 13), "ABCDEFGH");
  EXPECT_FALSE(serial::SendCommand(conn, "H00V"));
  ASSERT_TRUE(serial::SendCommand(conn, "H00V"));
  EXPECT_EQ(serial::ReplyChars(conn, 6, 13), "04.01-07");
  EXPECT_TRUE(program.LineWith("<- \\tH00M", kWait)) << "frames are logged";

  program.Send("1 CARD42\n3 nothing\n");
  ASSERT_TRUE(program.LineWith("card for reader 1 queued: CARD42", kWait));
  EXPECT_TRUE(program.LineWith("input ignored", kWait));
  ASSERT_TRUE(serial::SendCommand(conn, "H07F"));
  EXPECT_EQ(serial::ReplyChars(conn, 7, conn.ReplyPos - 3), "CARD42");
  serial::ClosePort(conn);

  EXPECT_EQ(program.Terminate(kWait), 0);
  struct stat st{};
  EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link is removed at the end";
  unlink((link + ".lock").c_str());
}

// The card timer says what it does once; a reader holds one timer card at a
// time, so a module that nobody polls does not pile them up.
TEST_F(ProgramLine, TheCardTimerIsLoggedOnceAndLeavesOneCardPerReader) {
  std::string link = ::testing::TempDir() + "rt420-sim-timer-" + std::to_string(getpid());
  constexpr int kPeriodMs = 200;  // reader 1 every 400 ms
  Program program({"--link", link, "--card-every", std::to_string(kPeriodMs), "--card-data", "TIMED"});
  ASSERT_TRUE(program.Started());
  ASSERT_TRUE(program.LineWith("link: " + link, kWait));
  serial::SetPortTable(sim::SimPortTable(link, 3));
  ASSERT_TRUE(serial::OpenPort(conn, 3, "19200,e,8,1"));
  // Reader 1's turn comes three times unpolled; then polls take its cards
  // until none is left. Only a turn that falls between two of those polls
  // can add one.
  serial::SleepMs(6 * kPeriodMs + kPeriodMs / 2);
  int cards = 0;
  for (int poll = 0; poll < 10; ++poll) {
    ASSERT_TRUE(serial::SendCommand(conn, "H01F"));
    if (serial::ReplyChars(conn, 7, conn.ReplyPos - 3) != "TIMED") break;
    cards += 1;
  }
  serial::ClosePort(conn);
  EXPECT_GE(cards, 1);
  EXPECT_LE(cards, 2);
  std::optional<std::string> line = program.LineWith("timer card", kWait);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->rfind("-- a timer card every 200 ms, to reader 1 and reader 2 in turn", 0), 0u) << *line;
  EXPECT_EQ(program.Terminate(kWait), 0);
  EXPECT_FALSE(program.LineWith("timer card", kWait)) << "said once";
  unlink((link + ".lock").c_str());
}

// A second instance on a link that a running one owns leaves the link (and
// the first instance) alone; a missing folder is named as the cause.
TEST_F(ProgramLine, ASecondInstanceRefusesALinkAnotherOneOwns) {
  std::string link = ::testing::TempDir() + "rt420-sim-shared-" + std::to_string(getpid());
  Program first({"--link", link, "--quiet"});
  std::optional<std::string> pty = first.LineWith("pty: ", kWait);
  ASSERT_TRUE(pty);
  auto target = [&link] {
    char buffer[256] = {};
    ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  };
  // The link is placed after the pty line; wait for it with a limit.
  serial::Deadline placed(kWait);
  while (target() != pty->substr(5) && !placed.Expired()) poll(nullptr, 0, 10);
  ASSERT_EQ(target(), pty->substr(5));

  Program second({"--link", link});
  std::optional<std::string> refusal = second.LineWith("rt420-sim:", kWait);
  ASSERT_TRUE(refusal);
  EXPECT_NE(refusal->find("belongs to another running rt420-sim (PID "), std::string::npos) << *refusal;
  EXPECT_EQ(second.Terminate(kWait), 1);
  EXPECT_EQ(target(), pty->substr(5)) << "the link still leads to the first instance";
  serial::SetPortTable(sim::SimPortTable(link, 3));
  ASSERT_TRUE(serial::OpenPort(conn, 3, "19200,e,8,1"));
  EXPECT_TRUE(serial::SendCommand(conn, "H00M"));
  serial::ClosePort(conn);
  EXPECT_EQ(first.Terminate(kWait), 0);
  unlink((link + ".lock").c_str());

  std::string noFolder = ::testing::TempDir() + "rt420-no-such-folder-" + std::to_string(getpid());
  Program missing({"--link", noFolder + "/ttyRT420"});
  std::optional<std::string> error = missing.LineWith("rt420-sim:", kWait);
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("the folder " + noFolder + " does not exist"), std::string::npos) << *error;
  EXPECT_EQ(missing.Terminate(kWait), 1);
}

// A bus from the options: each module with its own settings, cards by
// reader ID from stdin, every module answering address 00.
TEST_F(ProgramLine, ABusTakesItsModulesAndCardsFromTheOptions) {
  std::string link = ::testing::TempDir() + "rt420-sim-bus-" + std::to_string(getpid());
  Program program({"--link", link, "--module", "id1=03,serial1=AAAAAAAA", "--module", "id1=04,mode=1", "--module",
                   "id1=09,line=2", "--jitter", "5", "--seed", "9"});
  ASSERT_TRUE(program.LineWith("link: " + link, kWait));
  serial::SetPortTable(sim::SimPortTable(link, 3));
  ASSERT_TRUE(serial::OpenPort(conn, 3, "19200,e,8,1"));

  program.Send("04 CARD42\n09 AT9600\n05 ONEREADER\nnodata\n");
  EXPECT_TRUE(program.LineWith("card for reader ID 04 queued at m2: CARD42", kWait));
  EXPECT_TRUE(program.LineWith("card for reader ID 09 queued at m3: AT9600", kWait));
  EXPECT_TRUE(program.LineWith("card for reader ID 05 queued at m1: ONEREADER", kWait)) << "m2 has one reader";
  EXPECT_TRUE(program.LineWith("input ignored", kWait));
  // What the tool makes of the replies is the bus's own test; here the
  // program's log says which module took what and how it answered.
  serial::SendCommand(conn, "H04F");
  EXPECT_TRUE(program.LineWith("m2 took H04F, answers F04:1CARD42", kWait));
  serial::SendCommand(conn, "H00M");
  EXPECT_TRUE(program.LineWith("m1 took H00M, answers M03:AAAAAAAA", kWait));
  EXPECT_TRUE(program.LineWith("m2 took H00M, answers M04:12345679", kWait));
  EXPECT_TRUE(program.LineWith("m3 ignored H00M: line speed 19200, module at 9600", kWait));
  serial::ClosePort(conn);
  EXPECT_EQ(program.Terminate(kWait), 0);
  unlink((link + ".lock").c_str());
}

TEST(ProgramOptions, ABusTimerServesEachAnsweringReaderIdInTurn) {
  Program program({"--module", "id1=03", "--module", "id1=04,mode=1", "--card-every", "20"});
  for (const char* id : {"03", "05", "04", "03"}) {
    EXPECT_TRUE(program.LineWith(std::string("timer card for reader ID ") + id + " queued", kWait)) << id;
  }
  EXPECT_EQ(program.Terminate(kWait), 0);
}

// A file at the lock's place that is not a lock file of the simulator (the
// user's own, a FIFO, a link) is left exactly as it is, and the simulator
// does not start; a lock file left by an ended instance is taken.
TEST(ProgramLink, ALockPathThatIsNotALockFileIsLeftAlone) {
  const std::string link = ::testing::TempDir() + "rt420-sim-lock-" + std::to_string(getpid());
  const std::string lock = link + ".lock";
  struct Case {
    const char* what;
    std::function<void()> make;
    bool starts;
  };
  const std::string notes = "my notes, not a lock\n";
  const Case cases[] = {
      {"a file of the user's", [&] { std::ofstream(lock) << notes; }, false},
      {"a FIFO", [&] { ASSERT_EQ(mkfifo(lock.c_str(), 0600), 0); }, false},
      {"a link", [&] { ASSERT_EQ(symlink("/dev/null", lock.c_str()), 0); }, false},
      {"an ended instance's lock", [&] { std::ofstream(lock) << "4194305\n"; }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    unlink(lock.c_str());
    c.make();
    struct stat before {};
    ASSERT_EQ(lstat(lock.c_str(), &before), 0);
    std::string content = c.starts ? "" : (S_ISREG(before.st_mode) ? notes : "");
    Program program({"--link", link, "--quiet"});
    if (c.starts) {
      EXPECT_TRUE(program.LineWith("pty: ", kWait));
      EXPECT_EQ(program.Terminate(kWait), 0);
      continue;
    }
    std::optional<std::string> refusal = program.LineWith("rt420-sim:", kWait);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(program.Terminate(kWait), 1);
    struct stat after {};
    ASSERT_EQ(lstat(lock.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    if (S_ISREG(after.st_mode)) {
      std::ifstream in(lock);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);
    }
  }
  unlink(lock.c_str());
}

TEST(ProgramOptions, VersionIsPrintedWithoutStartingAModule) {
  Program program({"--version"});
  ASSERT_TRUE(program.Started());
  std::optional<std::string> line = program.LineWith("", kWait);
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, std::string("rt420-sim ") + kVersionText);
  EXPECT_FALSE(program.LineWith("pty:", kWait));
  EXPECT_EQ(program.Terminate(kWait), 0);
}

TEST(ProgramOptions, WrongOptionsAreRefused) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"--line", "12"}, {"--mode", "2"}, {"--fault", "slow"}, {"--bogus"}, {"--id1"}, {"--firmware"},
           {"--module", "id1=03,colour=red"}, {"--module", "line=12"}, {"--module", "id1=03", "--id1", "04"},
           {"--module", "id1=03", "--fault", "noreply"}, {"--ber", "1.5"}, {"--foreign-master", "5"},
           {"--jitter", "-1"}, {"--stray", "x"}}) {
    Program program(args);
    ASSERT_TRUE(program.Started());
    EXPECT_FALSE(program.LineWith("pty:", kWait)) << args[0];
    EXPECT_EQ(program.Terminate(kWait), 2) << args[0];
  }
}

}  // namespace
