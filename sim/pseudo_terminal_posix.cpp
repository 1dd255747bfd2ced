// SPDX-License-Identifier: MIT
#include "pseudo_terminal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <climits>

namespace sim {

namespace {

// The pseudo-terminal's own speed before the tool sets one.
constexpr speed_t kPtyCreationSpeed = B19200;

uint32_t BaudOfSpeed(speed_t speed) {
  switch (speed) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
  }
}

bool OpenRaw(PseudoTerminal& pty) {
  pty.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (pty.master < 0) return false;
  fcntl(pty.master, F_SETFD, FD_CLOEXEC);
  char name[PATH_MAX] = {};
  if (grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 || ptsname_r(pty.master, name, sizeof name) != 0) {
    return false;
  }
  pty.slavePath = name;
  pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty.slave < 0) return false;
  termios tio{};
  if (tcgetattr(pty.slave, &tio) != 0) return false;
  cfmakeraw(&tio);
  cfsetispeed(&tio, kPtyCreationSpeed);
  cfsetospeed(&tio, kPtyCreationSpeed);
  if (tcsetattr(pty.slave, TCSANOW, &tio) != 0) return false;
  // Writes never block the simulator's thread: a full line waits for POLLOUT.
  return fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK) == 0;
}

}  // namespace

void CloseDescriptor(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

bool OpenPseudoTerminal(PseudoTerminal& pty) {
  if (OpenRaw(pty)) return true;
  ClosePseudoTerminal(pty);
  return false;
}

void ClosePseudoTerminal(PseudoTerminal& pty) {
  CloseDescriptor(pty.master);
  CloseDescriptor(pty.slave);
}

uint32_t ToolBaud(int master) {
  termios tio{};
  // On the master, tcgetattr reports the slave's settings: what the tool set.
  if (master < 0 || tcgetattr(master, &tio) != 0) return 0;
  return BaudOfSpeed(cfgetospeed(&tio));
}

bool ToolHoldsPort(int slave) {
  int exclusive = 0;
  return slave >= 0 && ioctl(slave, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

bool ClearModeOfClosedTool(int slave) {
  if (!ToolHoldsPort(slave)) return false;
  if (flock(slave, LOCK_EX | LOCK_NB) != 0) return false;  // the tool's side is open
  flock(slave, LOCK_UN);
  ioctl(slave, TIOCNXCL);
  return true;
}

bool PlaceLink(const std::string& target, const std::string& path) {
  if (target.empty() || path.empty()) return false;
  struct stat st{};
  if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) return false;
  std::string temporary = path + ".new" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) return false;
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

void RemoveLink(const std::string& path, const std::string& target) {
  if (path.empty()) return;
  char buffer[PATH_MAX] = {};
  ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
  if (n > 0 && target == std::string(buffer, static_cast<size_t>(n))) unlink(path.c_str());
}

bool WakePipe::Open() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  read_ = fds[0];
  write_ = fds[1];
  return true;
}

void WakePipe::Close() {
  CloseDescriptor(read_);
  CloseDescriptor(write_);
}

void WakePipe::Wake() const {
  if (write_ < 0) return;
  char byte = 1;
  [[maybe_unused]] ssize_t n = write(write_, &byte, 1);
}

void WakePipe::Drain() const {
  char drain[64];
  while (read_ >= 0 && read(read_, drain, sizeof drain) > 0) {}
}

}  // namespace sim
