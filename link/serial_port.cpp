// SPDX-License-Identifier: MIT
#include "serial_port.h"

#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "deadline.h"
#include "link_state.h"
#include "port_names.h"

namespace serial {

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

bool Refuse(LinkState& link, PortOpenProblem problem, std::string systemText = {}) {
  link.OpenFailures += 1;
  link.LastOpen.problem = problem;
  link.LastOpen.systemText = std::move(systemText);
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
std::optional<std::string> DeviceOf(const LinkState& link, int portNumber) {
  if (portNumber != link.Scope.OnlyPortNumber() || !link.ConnectionDevice) return ResolvePort(portNumber);
  if (link.ConnectionDevice->empty()) return std::nullopt;
  return link.ConnectionDevice;
}

void ApplyLinkSettings(LinkState& link, SerialDevice& device, const std::string& lineSetting) {
  link.SavedTimeouts = device.GetTimeouts();
  device.ApplyTimeouts(link.LinkTimeouts);
  // A setting the parser rejects is not an error: the port keeps its line.
  if (std::optional<LineParameters> line = ParseLineSetting(lineSetting)) device.ApplyLine(*line);
}
}  // namespace

bool OpenPort(LinkState& link, int portNumber, const std::string& lineSetting) {
  link.LastOpen = PortOpenFailure{};
  link.LastOpen.portNumber = portNumber;
  if (link.PortHandle) {
    // Closing it here would pull the port from under the operation that holds it.
    link.LastOpen.devicePath = link.OpenPortPath;
    return Refuse(link, PortOpenProblem::AlreadyOpen);
  }
  if (!PortInReach(link, portNumber)) return Refuse(link, PortOpenProblem::NotThisConnection);
  std::optional<std::string> path = DeviceOf(link, portNumber);
  if (!path) return Refuse(link, PortOpenProblem::NothingBehindPort);
  link.LastOpen.devicePath = *path;
  int holder = 0;
  std::shared_ptr<void> claim = Held().Claim(DeviceIdentity(*path), portNumber, holder);
  if (!claim) return Refuse(link, PortOpenProblem::HeldHere, "as " + PortName(holder));
  DeviceOpenResult opened = OpenSerialDevice(*path);
  if (!opened.device) return Refuse(link, ProblemOf(opened.error), std::move(opened.systemText));

  link.PortHandle = std::move(opened.device);
  link.OpenPortClaim = std::move(claim);
  // A reply late from another device, or sent at another line setting, is
  // not one this port can read as an answer.
  std::string portKey = *path + "\n" + lineSetting;
  if (portKey != link.OpenPortKey) {
    link.FramesSinceQuiet = 0;
    link.RepliesSinceQuiet = 0;
    link.OpenPortKey = std::move(portKey);
  }
  link.OpenPortNumber = portNumber;
  link.OpenPortPath = *path;
  ApplyLinkSettings(link, *link.PortHandle, lineSetting);
  return true;
}

void ClosePort(LinkState& link) {
  if (!link.PortHandle) return;
  link.PortHandle->SetTimeouts(link.SavedTimeouts);
  link.PortHandle.reset();
  link.OpenPortClaim.reset();
  link.OpenPortNumber = 0;
  link.OpenPortPath.clear();
}

bool PortIsOpen(const LinkState& link) { return link.PortHandle != nullptr; }

std::optional<std::string> DeviceBehindPort(const LinkState& link, int portNumber) { return DeviceOf(link, portNumber); }

bool PortInReach(const LinkState& link, int portNumber) { return link.Scope.Allows(portNumber); }

uint64_t PortOpenFailureCount(const LinkState& link) { return link.OpenFailures; }

const PortOpenFailure& LastPortOpenFailure(const LinkState& link) { return link.LastOpen; }

std::string DescribePortOpenFailure(const PortOpenFailure& failure) {
  std::string text = PortName(failure.portNumber);
  if (!failure.devicePath.empty()) text += " (" + failure.devicePath + ")";
  text += std::string(": ") + ProblemText(failure.problem);
  if (!failure.systemText.empty()) text += " (" + failure.systemText + ")";
  return text;
}

void WritePortByte(LinkState& link, uint8_t byte) {
  if (link.PortHandle) link.PortHandle->Write(&byte, 1);
  SleepMs(1);
}

void WritePortBlock(LinkState& link, const uint8_t* bytes, int length) {
  if (link.PortHandle && length > 0) link.PortHandle->Write(bytes, static_cast<size_t>(length));
  SleepMs(3);
}

bool ReadPortByte(LinkState& link, uint8_t& byte) {
  if (!link.PortHandle) {
    // Nothing open: behave like a silent line rather than return at once.
    SleepMs(link.LinkTimeouts.ReadTotalTimeoutConstant);
    return false;
  }
  return link.PortHandle->ReadByte(byte);
}

void DiscardPortInput(LinkState& link) {
  if (link.PortHandle) link.PortHandle->DiscardInput();
}

size_t PortInputWaiting(const LinkState& link) { return link.PortHandle ? link.PortHandle->InputWaiting() : 0; }

std::optional<LineErrorCounts> PortErrorCounts(const LinkState& link) {
  if (!link.PortHandle) return std::nullopt;
  return link.PortHandle->ErrorCounts();
}

}  // namespace serial
