// SPDX-License-Identifier: MIT
#pragma once
// An unprivileged user for tests of what such a user meets (files it may
// not write, a port another program holds). Run as an ordinary user, that
// is the test's own user. Run as root (as in CI), it is the system account
// "rt420test", made once with useradd and kept (parallel test programs
// share it; making it again only says it exists). Code runs as the user in
// a forked child; the child's end is awaited with a limit.

#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

struct TestUser {
  bool available = false;
  uid_t uid = 0;
  gid_t gid = 0;
  std::string why;  // when not available: why, for the skip message
};

inline TestUser FindTestUser() {
  TestUser user;
  if (::geteuid() != 0) {
    user = {true, ::getuid(), ::getgid(), {}};
    return user;
  }
  constexpr const char* kName = "rt420test";
  constexpr int kTries = 50;  // another test program may hold the passwd lock
  for (int attempt = 0; attempt < kTries; ++attempt) {
    if (const struct passwd* entry = ::getpwnam(kName)) return {true, entry->pw_uid, entry->pw_gid, {}};
    int status = std::system("useradd --system --no-create-home --shell /usr/sbin/nologin rt420test >/dev/null 2>&1");
    if (status == -1 || (WIFEXITED(status) && WEXITSTATUS(status) == 127)) break;  // no useradd here
    if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0))
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  user.why = "running as root, and the unprivileged user rt420test cannot be made (useradd)";
  return user;
}

inline const TestUser& UnprivilegedUser() {
  static const TestUser user = FindTestUser();
  return user;
}

// How a child ended.
struct ChildEnd {
  bool ended = false;  // false: still running at the limit, and killed
  int exitCode = -1;
  int signal = 0;
};

// Exit code of a child that could not become the user.
constexpr int kCannotBecomeUser = 125;

// Forks; the child becomes the user and exits with body's result.
inline pid_t StartAsUser(const TestUser& user, const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0))
    ::_exit(kCannotBecomeUser);
  ::_exit(body());
}

// Waits for the child's end up to the limit (poll on a pidfd); a child still
// running then is killed.
inline ChildEnd WaitForChild(pid_t pid, std::chrono::milliseconds limit) {
  ChildEnd end;
  int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd p{pidfd, POLLIN, 0};
    auto deadline = std::chrono::steady_clock::now() + limit;
    int ready = 0;
    while (ready == 0 && std::chrono::steady_clock::now() < deadline) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      ready = ::poll(&p, 1, static_cast<int>(left.count()) + 1);
      if (ready < 0 && errno == EINTR) ready = 0;
    }
    ::close(pidfd);
    end.ended = ready > 0;
  }
  if (!end.ended) ::kill(pid, SIGKILL);
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return end;
  if (WIFEXITED(status)) end.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  return end;
}

// Forks; the child runs body as the test's own user and exits with its result.
inline ChildEnd RunInChild(const std::function<int()>& body, std::chrono::milliseconds limit) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  return WaitForChild(pid, limit);
}

inline ChildEnd RunAsUser(const TestUser& user, const std::function<int()>& body, std::chrono::milliseconds limit) {
  return WaitForChild(StartAsUser(user, body), limit);
}
