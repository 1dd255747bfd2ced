// SPDX-License-Identifier: MIT
#include "port_names.h"

#include <memory>
#include <mutex>
#include <utility>

namespace serial {

namespace {
// The installed hooks. Each is held by a shared pointer and swapped whole
// under the mutex; a caller copies the pointer and calls the hook outside
// the lock, so that a slow lookup never holds up another port's open and a
// hook replaced meanwhile stays alive until its last call returns.
struct PortHooks {
  std::mutex mutex;
  std::shared_ptr<const PortTableLookup> table;
  std::shared_ptr<const DeviceLister> lister;
};

PortHooks& Hooks() {
  static PortHooks hooks;
  return hooks;
}

template <typename Hook>
std::shared_ptr<const Hook> HookHeld(const std::shared_ptr<const Hook>& held) {
  std::lock_guard<std::mutex> guard(Hooks().mutex);
  return held;
}

template <typename Hook>
void InstallHook(std::shared_ptr<const Hook>& held, Hook hook) {
  auto installed = hook ? std::make_shared<const Hook>(std::move(hook)) : nullptr;
  std::lock_guard<std::mutex> guard(Hooks().mutex);
  held.swap(installed);
  // The old hook goes when installed leaves scope, outside the lock.
}
}  // namespace

PortTableAnswer::PortTableAnswer(std::optional<std::string> entry) {
  if (!entry) return;
  kind = Kind::Entry;
  path = std::move(*entry);
}

PortTableAnswer PortTableAnswer::Unreadable() {
  PortTableAnswer answer;
  answer.kind = Kind::Unreadable;
  return answer;
}

void SetPortTable(PortTableLookup lookup) { InstallHook(Hooks().table, std::move(lookup)); }

void SetDeviceLister(DeviceLister lister) { InstallHook(Hooks().lister, std::move(lister)); }

std::string PortName(int portNumber) { return "COM" + std::to_string(portNumber); }

PortTableAnswer LookUpPortTable(int portNumber) {
  auto table = HookHeld(Hooks().table);
  if (!table) return {};
  return (*table)(PortName(portNumber));
}

std::optional<std::string> ResolvePort(int portNumber) {
  if (portNumber < 1) return std::nullopt;
  if (auto systemPath = SystemPortPath(portNumber)) return systemPath;
  PortTableAnswer answer = LookUpPortTable(portNumber);
  if (answer.kind == PortTableAnswer::Kind::Unreadable) return std::nullopt;
  if (answer.kind == PortTableAnswer::Kind::Entry) {
    if (answer.path.empty()) return std::nullopt;
    return answer.path;
  }
  auto lister = HookHeld(Hooks().lister);
  std::vector<std::string> devices = lister ? (*lister)() : ListSerialDevices();
  if (static_cast<size_t>(portNumber) > devices.size()) return std::nullopt;
  return devices[portNumber - 1];
}

}  // namespace serial
