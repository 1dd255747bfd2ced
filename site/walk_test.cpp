// SPDX-License-Identifier: MIT
#include "walk_test.h"

#include "bus_poll.h"

namespace site {

namespace {
// LF, "F", two ID digits, ":", the card flag; then the data, then the
// checksum's two characters and CR.
constexpr size_t kCardFlagAt = 5;
constexpr size_t kCardDataAt = 6;
constexpr size_t kTrailer = 3;
}  // namespace

std::optional<std::string> CardOfAnswer(const std::string& reply, int id) {
  const std::string head = "\n" + PollReplyText(id) + ":";
  if (reply.size() < kCardDataAt + kTrailer || reply.compare(0, head.size(), head) != 0) return std::nullopt;
  if (reply[kCardFlagAt] != '1') return std::nullopt;
  return reply.substr(kCardDataAt, reply.size() - kCardDataAt - kTrailer);
}

WalkOutcome RunWalkTest(serial::LinkState& link, const WalkOptions& options, WalkResult& result, const CardRead& onCard) {
  result = WalkResult{};
  result.port = options.port;
  for (int id : options.ids) result.ids.push_back(WalkIdCount{id});
  BusPort port(link);
  switch (OpenAtLineSetting(link, port, options.port, options.lineIndex, result.line, result.lineIndex, {})) {
    case LineFound::Open: break;
    case LineFound::PortNotOpened: return WalkOutcome::PortNotOpened;
    case LineFound::NoAnswer: return WalkOutcome::NoAnswer;
    case LineFound::Stopped: return WalkOutcome::Ended;
  }
  while (!result.ids.empty()) {
    for (WalkIdCount& count : result.ids) {
      if (link.Stop.Requested() || serial::LineClock::now() >= options.until) return WalkOutcome::Ended;
      PollResult poll = PollOnce(link, PollText(count.id), PollReplyText(count.id));
      TakeUnasked(poll.beforeFrame, result.line);
      result.line.echo = result.line.echo || poll.reading.echo;
      count.polls += 1;
      if (poll.reading.status != PollStatus::Ok) continue;
      count.answered += 1;
      if (std::optional<std::string> card = CardOfAnswer(poll.reading.reply, count.id)) {
        count.cards += 1;
        if (onCard) onCard(count.id, *card);
      }
    }
  }
  return WalkOutcome::Ended;
}

}  // namespace site
