// SPDX-License-Identifier: MIT
#include "link_test.h"

#include "adapter_info.h"
#include "bus_poll.h"
#include "line_settings.h"
#include "serial_port.h"

namespace site {

namespace {

serial::LineErrorCounts Difference(const serial::LineErrorCounts& after, const serial::LineErrorCounts& before) {
  const auto less = [](uint64_t a, uint64_t b) { return a >= b ? a - b : 0; };
  return {less(after.framing, before.framing), less(after.parity, before.parity),
          less(after.overrun, before.overrun), less(after.breaks, before.breaks)};
}

void Exchange(serial::LinkState& link, IdLinkFigures& target, LineObservations& line) {
  const bool presence = target.id == kPresenceCheckId;
  PollResult poll = presence ? PollOnce(link, "H00M", "") : PollOnce(link, PollText(target.id), PollReplyText(target.id));
  TakeUnasked(poll.beforeFrame, line);
  line.echo = line.echo || poll.reading.echo;
  target.figures.Take(poll.reading);
}

}  // namespace

LinkTestOutcome RunLinkTest(serial::LinkState& link, const LinkTestOptions& options, LinkTestResult& result,
                            const LinkTestProgress& progress) {
  result = LinkTestResult{};
  result.port = options.port;
  const std::optional<std::string> device = serial::DeviceBehindPort(link, options.port);
  result.device = device.value_or("");
  if (device) result.latencyTimerMs = serial::UsbLatencyTimerMs(*device);
  BusPort port(link);
  switch (OpenAtLineSetting(link, port, options.port, options.lineIndex, result.line, result.lineIndex, progress)) {
    case LineFound::Open: break;
    case LineFound::PortNotOpened: return LinkTestOutcome::PortNotOpened;
    case LineFound::NoAnswer: return LinkTestOutcome::NoAnswer;
    case LineFound::Stopped: return LinkTestOutcome::Stopped;
  }

  if (options.ids.empty()) {
    result.ids.push_back(IdLinkFigures{kPresenceCheckId, {}});
  } else {
    for (int id : options.ids) result.ids.push_back(IdLinkFigures{id, {}});
  }
  const std::optional<serial::LineErrorCounts> before = serial::PortErrorCounts(link);
  for (int round = 0; round < options.count; ++round) {
    if (progress) progress("round " + std::to_string(round));
    for (IdLinkFigures& target : result.ids) {
      if (link.Stop.Requested()) return LinkTestOutcome::Stopped;
      Exchange(link, target, result.line);
    }
  }
  const std::optional<serial::LineErrorCounts> after = serial::PortErrorCounts(link);
  if (before && after) result.lineErrors = Difference(*after, *before);
  return LinkTestOutcome::Done;
}

}  // namespace site
