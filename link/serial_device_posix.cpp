// SPDX-License-Identifier: MIT
// The serial device on POSIX termios.
//
// Exclusive open: TIOCEXCL keeps other non-root programs out, and an advisory
// flock() (which serial programs honour, and which root does not bypass)
// keeps out the rest. Reads wait in poll(); the descriptor's own VMIN/VTIME
// are set to 0 so that read() never blocks after poll() said "readable".
// "Readable but zero bytes", a hang-up or an error means the device is gone:
// from then on every read waits its timeout and reports no byte.

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "deadline.h"
#include "serial_device.h"

namespace serial {

namespace {

// The descriptors of the devices open now (one per connection), each stored
// plus one so that a free slot is the zero every slot starts with, for the exit paths that run no destructor. TIOCEXCL is a mark on the
// terminal, not on the descriptor: it stays after the process ends while
// another descriptor on the terminal (a simulated module's own end, say) is
// open. Lock-free, so that a signal handler may read them. A device opened
// while every slot is taken is still opened; only its release at such an
// exit is not promised (there are 16 port numbers).
constexpr size_t kExitSlots = 32;
std::atomic<int> openDescriptors[kExitSlots];
static_assert(std::atomic<int>::is_always_lock_free);

// The exit path and an open on another thread must not cross: a device put
// in exclusive mode just after the exit path released the ones it knew
// would keep the mode after the end. So the exit path first says it runs
// (exiting), after which no open sets the mode, and then waits for the opens
// that are between remembering their device and setting its mode
// (settingMode). Both are sequentially consistent atomics: either an open
// sees exiting and leaves the mode alone, or the exit path sees the open and
// waits for it. The wait is bounded: an open takes microseconds there.
std::atomic<bool> exiting{false};
std::atomic<int> settingMode{0};
constexpr int kModeWaitSteps = 100;
constexpr long kModeWaitStepNs = 1000000;  // 1 ms

void RememberForExit(int fd) {
  for (std::atomic<int>& slot : openDescriptors) {
    int expected = 0;
    if (slot.compare_exchange_strong(expected, fd + 1)) return;
  }
}

void ForgetForExit(int fd) {
  for (std::atomic<int>& slot : openDescriptors) {
    int expected = fd + 1;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

speed_t SpeedFor(uint32_t baud) {
  switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B0;
  }
}

class PosixSerialDevice final : public SerialDevice {
 public:
  explicit PosixSerialDevice(int fd) : fd_(fd) {}
  ~PosixSerialDevice() override {
    ForgetForExit(fd_);
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    close(fd_);
  }

  NativeTimeouts GetTimeouts() override {
    NativeTimeouts saved;
    termios tio{};
    if (tcgetattr(fd_, &tio) == 0) {
      saved.words[0] = 1;  // valid
      saved.words[1] = tio.c_cc[VMIN];
      saved.words[2] = tio.c_cc[VTIME];
    }
    return saved;
  }

  void SetTimeouts(const NativeTimeouts& saved) override {
    if (saved.words[0] != 1) return;
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return;
    tio.c_cc[VMIN] = static_cast<cc_t>(saved.words[1]);
    tio.c_cc[VTIME] = static_cast<cc_t>(saved.words[2]);
    tcsetattr(fd_, TCSANOW, &tio);
  }

  void ApplyTimeouts(const CommTimeouts& timeouts) override {
    readWaitMs_ = static_cast<int>(timeouts.ReadTotalTimeoutConstant);
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd_, TCSANOW, &tio);
  }

  void ApplyLine(const LineParameters& line) override {
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return;
    speed_t speed = SpeedFor(line.baud);
    if (speed != B0) {
      cfsetispeed(&tio, speed);
      cfsetospeed(&tio, speed);
    }
    // Raw bytes both ways, no flow control, receiver on, modem lines ignored.
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CREAD | CLOCAL;
    switch (line.dataBits) {
      case 5: tio.c_cflag |= CS5; break;
      case 6: tio.c_cflag |= CS6; break;
      case 7: tio.c_cflag |= CS7; break;
      default: tio.c_cflag |= CS8; break;
    }
    if (line.parity == 'e') tio.c_cflag |= PARENB;
    if (line.parity == 'o') tio.c_cflag |= PARENB | PARODD;
    if (line.parity == 'm') tio.c_cflag |= PARENB | PARODD | CMSPAR;  // stick parity 1
    if (line.parity == 's') tio.c_cflag |= PARENB | CMSPAR;           // stick parity 0
    if (line.stopBits == 2) tio.c_cflag |= CSTOPB;
    tcsetattr(fd_, TCSANOW, &tio);
  }

  void Write(const uint8_t* bytes, size_t length) override {
    // Writes have no time limit: the descriptor is blocking for writes.
    while (length > 0 && !gone_) {
      ssize_t n = write(fd_, bytes, length);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      bytes += n;
      length -= static_cast<size_t>(n);
    }
  }

  bool ReadByte(uint8_t& byte) override {
    if (gone_) {
      SleepMs(static_cast<unsigned>(readWaitMs_));
      return false;
    }
    pollfd p{fd_, POLLIN, 0};
    int ready = poll(&p, 1, readWaitMs_);
    if (ready <= 0) return false;
    if (p.revents & POLLIN) {
      ssize_t n = read(fd_, &byte, 1);
      if (n == 1) return true;
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) return false;
    }
    // Readable but nothing to read, hang-up or error: the device is gone.
    // Wait out the read time here so that callers polling in a loop do not spin.
    gone_ = true;
    SleepMs(static_cast<unsigned>(readWaitMs_));
    return false;
  }

  void DiscardInput() override { tcflush(fd_, TCIFLUSH); }

  size_t InputWaiting() override {
    int waiting = 0;
    return ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0 ? static_cast<size_t>(waiting) : 0;
  }

  std::optional<LineErrorCounts> ErrorCounts() override {
    serial_icounter_struct counts{};
    if (ioctl(fd_, TIOCGICOUNT, &counts) != 0) return std::nullopt;
    return LineErrorCounts{static_cast<uint64_t>(counts.frame), static_cast<uint64_t>(counts.parity),
                           static_cast<uint64_t>(counts.overrun) + static_cast<uint64_t>(counts.buf_overrun),
                           static_cast<uint64_t>(counts.brk)};
  }

 private:
  int fd_;
  int readWaitMs_ = 1;
  bool gone_ = false;
};

// Remembers fd for the exit path and puts it in exclusive mode, unless the
// exit path runs already. No signal handler runs on this thread meanwhile:
// the exit path runs in one, and would wait for this very thread.
void SetExclusiveMode(int fd) {
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  settingMode.fetch_add(1);
  if (!exiting.load()) {
    RememberForExit(fd);
    ioctl(fd, TIOCEXCL);
  }
  settingMode.fetch_sub(1);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

DeviceOpenError ErrorKind(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO: return DeviceOpenError::Missing;
    case EACCES:
    case EPERM: return DeviceOpenError::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK: return DeviceOpenError::Busy;  // TIOCEXCL, flock()
    case ENOTTY: return DeviceOpenError::NotATerminal;
    default: return DeviceOpenError::Other;
  }
}

// Closes fd (when open) and tells why the device did not open.
DeviceOpenResult Refused(int fd, int error) {
  if (fd >= 0) close(fd);
  DeviceOpenResult result;
  result.error = ErrorKind(error);
  result.systemText = std::strerror(error);
  return result;
}

}  // namespace

DeviceOpenResult OpenSerialDevice(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Refused(-1, errno);
  if (!isatty(fd)) return Refused(fd, ENOTTY);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return Refused(fd, errno);
  static const bool releaseAtExit = std::atexit(ReleaseSerialDeviceForExit) == 0;
  (void)releaseAtExit;
  SetExclusiveMode(fd);
  // Blocking from here on: reads wait in poll(), writes may take their time.
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  DeviceOpenResult result;
  result.device = std::make_unique<PosixSerialDevice>(fd);
  return result;
}

void ReleaseSerialDeviceForExit() {
  exiting.store(true);
  const timespec step{0, kModeWaitStepNs};
  for (int i = 0; i < kModeWaitSteps && settingMode.load() > 0; ++i) nanosleep(&step, nullptr);
  for (const std::atomic<int>& slot : openDescriptors) {
    int stored = slot.load();
    if (stored > 0) ioctl(stored - 1, TIOCNXCL);
  }
}

}  // namespace serial
