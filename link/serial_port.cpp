#include "serial_port.h"

#include "deadline.h"
#include "link_state.h"
#include "port_names.h"

LinkState Link;

namespace {
uint64_t openFailures = 0;

bool OpenFailed() {
  openFailures += 1;
  return false;
}
}  // namespace

bool OpenPort(int portNumber, const std::string& lineSetting) {
  // A port still open is closed properly first: dropping it would lose its
  // saved timeouts, and the next open would save the link's own instead.
  ClosePort();
  std::optional<std::string> path = ResolvePort(portNumber);
  if (!path) return OpenFailed();
  Link.PortHandle = OpenSerialDevice(*path);
  if (!Link.PortHandle) return OpenFailed();

  SerialDevice& device = *Link.PortHandle;
  Link.SavedTimeouts = device.GetTimeouts();
  device.ApplyTimeouts(Link.LinkTimeouts);
  // A setting the parser rejects is not an error: the port keeps its line.
  if (std::optional<LineParameters> line = ParseLineSetting(lineSetting)) device.ApplyLine(*line);
  return true;
}

void ClosePort() {
  if (!Link.PortHandle) return;
  Link.PortHandle->SetTimeouts(Link.SavedTimeouts);
  Link.PortHandle.reset();
}

bool PortIsOpen() { return Link.PortHandle != nullptr; }

uint64_t PortOpenFailureCount() { return openFailures; }

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
