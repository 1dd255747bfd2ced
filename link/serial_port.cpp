// SPDX-License-Identifier: MIT
#include "serial_port.h"

#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "deadline.h"
#include "link_state.h"
#include "port_names.h"

thread_local LinkState Link;

namespace {

PortOpenProblem ProblemOf(DeviceOpenError error) {
  switch (error) {
    case DeviceOpenError::None: return PortOpenProblem::None;
    case DeviceOpenError::Missing: return PortOpenProblem::Missing;
    case DeviceOpenError::PermissionDenied: return PortOpenProblem::PermissionDenied;
    case DeviceOpenError::Busy: return PortOpenProblem::Busy;
    case DeviceOpenError::NotATerminal: return PortOpenProblem::NotATerminal;
    case DeviceOpenError::Other: break;
  }
  return PortOpenProblem::Other;
}

const char* ProblemText(PortOpenProblem problem) {
  switch (problem) {
    case PortOpenProblem::None: return "opened";
    case PortOpenProblem::NothingBehindPort: return "no device behind this port number";
    case PortOpenProblem::AlreadyOpen: return "already open in this program";
    case PortOpenProblem::Missing: return "missing";
    case PortOpenProblem::PermissionDenied: return "permission denied";
    case PortOpenProblem::Busy: return "busy, held by another program";
    case PortOpenProblem::NotATerminal: return "not a terminal";
    case PortOpenProblem::NotThisConnection: return "another connection's port";
    case PortOpenProblem::HeldHere: return "held by this program";
    case PortOpenProblem::Other: break;
  }
  return "cannot be opened";
}

bool Refuse(PortOpenProblem problem, std::string systemText = {}) {
  Link.OpenFailures += 1;
  Link.LastOpen.problem = problem;
  Link.LastOpen.systemText = std::move(systemText);
  return false;
}

// The devices the connections of this program have open, by identity, with
// the port number each was opened as: a device that one connection holds is
// refused to another as held here, never as held by another program.
class HeldDevices {
 public:
  // Holds the device as port until the returned claim goes. When another
  // port holds it already, nothing is claimed (null) and holder names it.
  std::shared_ptr<void> Claim(const std::string& identity, int port, int& holder) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto [it, claimed] = held_.try_emplace(identity, port);
    holder = claimed ? 0 : it->second;
    if (!claimed) return nullptr;
    return std::shared_ptr<void>(static_cast<void*>(this), [this, identity](void*) { Release(identity); });
  }

 private:
  void Release(const std::string& identity) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_.erase(identity);
  }
  std::mutex mutex_;
  std::map<std::string, int> held_;
};

HeldDevices& Held() {
  static HeldDevices held;
  return held;
}

// The device behind a port: the one pinned for the connection's own port,
// else what the port number resolves to now.
std::optional<std::string> DeviceOf(int portNumber) {
  if (portNumber != Link.ConnectionPort || !Link.ConnectionDevice) return ResolvePort(portNumber);
  if (Link.ConnectionDevice->empty()) return std::nullopt;
  return Link.ConnectionDevice;
}

void ApplyLinkSettings(SerialDevice& device, const std::string& lineSetting) {
  Link.SavedTimeouts = device.GetTimeouts();
  device.ApplyTimeouts(Link.LinkTimeouts);
  // A setting the parser rejects is not an error: the port keeps its line.
  if (std::optional<LineParameters> line = ParseLineSetting(lineSetting)) device.ApplyLine(*line);
}
}  // namespace

bool OpenPort(int portNumber, const std::string& lineSetting) {
  Link.LastOpen = PortOpenFailure{};
  Link.LastOpen.portNumber = portNumber;
  if (Link.PortHandle) {
    // Closing it here would pull the port from under the operation that holds it.
    Link.LastOpen.devicePath = Link.OpenPortPath;
    return Refuse(PortOpenProblem::AlreadyOpen);
  }
  if (!PortInReach(portNumber)) return Refuse(PortOpenProblem::NotThisConnection);
  std::optional<std::string> path = DeviceOf(portNumber);
  if (!path) return Refuse(PortOpenProblem::NothingBehindPort);
  Link.LastOpen.devicePath = *path;
  int holder = 0;
  std::shared_ptr<void> claim = Held().Claim(DeviceIdentity(*path), portNumber, holder);
  if (!claim) return Refuse(PortOpenProblem::HeldHere, "as " + PortName(holder));
  DeviceOpenResult opened = OpenSerialDevice(*path);
  if (!opened.device) return Refuse(ProblemOf(opened.error), std::move(opened.systemText));

  Link.PortHandle = std::move(opened.device);
  Link.OpenPortClaim = std::move(claim);
  // A reply late from another device, or sent at another line setting, is
  // not one this port can read as an answer.
  std::string portKey = *path + "\n" + lineSetting;
  if (portKey != Link.OpenPortKey) {
    Link.FramesSinceQuiet = 0;
    Link.RepliesSinceQuiet = 0;
    Link.OpenPortKey = std::move(portKey);
  }
  Link.OpenPortNumber = portNumber;
  Link.OpenPortPath = *path;
  ApplyLinkSettings(*Link.PortHandle, lineSetting);
  return true;
}

void ClosePort() {
  if (!Link.PortHandle) return;
  Link.PortHandle->SetTimeouts(Link.SavedTimeouts);
  Link.PortHandle.reset();
  Link.OpenPortClaim.reset();
  Link.OpenPortNumber = 0;
  Link.OpenPortPath.clear();
}

bool PortIsOpen() { return Link.PortHandle != nullptr; }

std::optional<std::string> DeviceBehindPort(int portNumber) { return DeviceOf(portNumber); }

bool PortInReach(int portNumber) { return Link.ConnectionPort == 0 || portNumber == Link.ConnectionPort; }

uint64_t PortOpenFailureCount() { return Link.OpenFailures; }

const PortOpenFailure& LastPortOpenFailure() { return Link.LastOpen; }

std::string DescribePortOpenFailure(const PortOpenFailure& failure) {
  std::string text = PortName(failure.portNumber);
  if (!failure.devicePath.empty()) text += " (" + failure.devicePath + ")";
  text += std::string(": ") + ProblemText(failure.problem);
  if (!failure.systemText.empty()) text += " (" + failure.systemText + ")";
  return text;
}

void WritePortByte(uint8_t byte) {
  if (Link.PortHandle) Link.PortHandle->Write(&byte, 1);
  SleepMs(1);
}

void WritePortBlock(const uint8_t* bytes, int length) {
  if (Link.PortHandle && length > 0) Link.PortHandle->Write(bytes, static_cast<size_t>(length));
  SleepMs(3);
}

bool ReadPortByte(uint8_t& byte) {
  if (!Link.PortHandle) {
    // Nothing open: behave like a silent line rather than return at once.
    SleepMs(Link.LinkTimeouts.ReadTotalTimeoutConstant);
    return false;
  }
  return Link.PortHandle->ReadByte(byte);
}

void DiscardPortInput() {
  if (Link.PortHandle) Link.PortHandle->DiscardInput();
}
