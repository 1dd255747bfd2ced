// SPDX-License-Identifier: MIT
#pragma once
// A program run as a child process with its own environment, its stdout and
// stderr collected through pipes. Waiting is poll() with a limit; a child
// that outlives the limit is killed and reported. The child starts with the
// stop signals at their default action, whatever the test runner ignores
// (a runner under nohup ignores hang-ups).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "deadline.h"

extern char** environ;

struct ChildResult {
  int exitCode = -1;  // -1 when it did not exit by itself
  int signal = 0;     // the signal that ended it, if one did
  bool timedOut = false;
  std::string out, err;
};

class ChildProcess {
 public:
  // Starts program with arguments; variables in env replace or add to the
  // test's own environment.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& env) {
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<std::string> vars = Environment(env);
    std::vector<char*> argv = Pointers(args), envp = Pointers(vars);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls between fork and exec.
      for (int stop : {SIGHUP, SIGINT, SIGTERM}) signal(stop, SIG_DFL);
      dup2(out[1], STDOUT_FILENO);
      dup2(err[1], STDERR_FILENO);
      int null = open("/dev/null", O_RDONLY);
      if (null >= 0) dup2(null, STDIN_FILENO);
      execve(program.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
  }

  ~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) close(outFd_);
    if (errFd_ >= 0) close(errFd_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // Whether the child has not ended yet (it is not reaped here).
  bool Running() const {
    siginfo_t info{};
    return pid_ > 0 && !reaped_ && waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
  }
  void Signal(int signal) const { kill(pid_, signal); }

  // Reads output until the child has closed both pipes or the limit passed;
  // true when it has. Output read so far is in Out() and Err().
  bool ReadUntilClosed(std::chrono::milliseconds limit) {
    serial::Deadline deadline(limit);
    while ((outFd_ >= 0 || errFd_ >= 0) && !deadline.Expired()) ReadSome(deadline.RemainingMs());
    return outFd_ < 0 && errFd_ < 0;
  }

  // Reads output until text appears on stdout (or stderr), as often as
  // asked, or the limit passes.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit, size_t times = 1) {
    return WaitFor(result_.out, outFd_, text, limit, times);
  }
  bool WaitForError(const std::string& text, std::chrono::milliseconds limit) {
    return WaitFor(result_.err, errFd_, text, limit, 1);
  }

  // Waits for the end (killing the child after the limit) and returns it.
  ChildResult Finish(std::chrono::milliseconds limit) {
    if (!ReadUntilClosed(limit)) {
      result_.timedOut = true;
      kill(pid_, SIGKILL);
    }
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
      reaped_ = true;
      if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
      if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
    }
    return result_;
  }

  const std::string& Out() const { return result_.out; }
  const std::string& Err() const { return result_.err; }

  // Closes the reading end of the child's stdout, as a reader that goes away.
  void CloseOutput() {
    if (outFd_ >= 0) close(outFd_);
    outFd_ = -1;
  }

 private:
  static std::vector<std::string> Environment(const std::map<std::string, std::string>& env) {
    std::vector<std::string> vars;
    for (char** v = environ; *v; ++v) {
      std::string var = *v;
      if (!env.count(var.substr(0, var.find('=')))) vars.push_back(var);
    }
    for (const auto& [name, value] : env) vars.push_back(name + "=" + value);
    return vars;
  }

  static std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
  }

  static size_t Occurrences(const std::string& stream, const std::string& text) {
    size_t count = 0;
    for (size_t at = stream.find(text); at != std::string::npos; at = stream.find(text, at + text.size())) ++count;
    return count;
  }

  bool WaitFor(const std::string& stream, const int& fd, const std::string& text, std::chrono::milliseconds limit,
               size_t times) {
    serial::Deadline deadline(limit);
    while (Occurrences(stream, text) < times && fd >= 0 && !deadline.Expired()) ReadSome(deadline.RemainingMs());
    return Occurrences(stream, text) >= times;
  }

  void ReadSome(int waitMs) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (poll(fds, 2, waitMs) <= 0) return;
    Drain(fds[0], outFd_, result_.out);
    Drain(fds[1], errFd_, result_.err);
  }

  static void Drain(const pollfd& p, int& fd, std::string& into) {
    if (fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) return;
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<size_t>(n));
      return;
    }
    if (n < 0 && errno == EINTR) return;
    close(fd);
    fd = -1;
  }

  pid_t pid_ = -1;
  bool reaped_ = false;
  int outFd_ = -1, errFd_ = -1;
  ChildResult result_;
};
