// SPDX-License-Identifier: MIT
#include "survey.h"

#include "bus_poll.h"
#include "line_settings.h"

namespace site {

namespace {

void Poll(serial::LinkState& link, int id, SurveyResult& result, IdResult& r) {
  PollResult poll = PollOnce(link, PollText(id), PollReplyText(id));
  TakeUnasked(poll.beforeFrame, result.line);
  result.line.echo = result.line.echo || poll.reading.echo;
  r.polls.push_back(poll.reading.status);
}

bool Unclean(PollStatus s) { return s != PollStatus::Ok && s != PollStatus::Absent; }

}  // namespace

SurveyOutcome RunSurvey(serial::LinkState& link, const SurveyOptions& options, SurveyResult& result,
                        const SurveyProgress& progress) {
  result = SurveyResult{};
  result.port = options.port;
  result.lineGiven = options.lineIndex >= 0;
  result.device = serial::DeviceBehindPort(link, options.port).value_or("");
  BusPort line(link);
  if (!line.Open(options.port, result.lineGiven ? options.lineIndex : serial::kDefaultLineSettingNo))
    return SurveyOutcome::PortNotOpened;
  if (progress) progress("listening");
  serial::Heard idle;
  const serial::LineClock::time_point start = serial::LineClock::now();
  serial::ListenUntil(link, start, start + kIdleListen, idle);
  TakeUnasked(idle, result.line);

  switch (OpenAtLineSetting(link, line, options.port, options.lineIndex, result.line, result.lineIndex, progress)) {
    case LineFound::Open: break;
    case LineFound::PortNotOpened: return SurveyOutcome::PortNotOpened;
    case LineFound::NoAnswer: return SurveyOutcome::Done;
    case LineFound::Stopped: return SurveyOutcome::Stopped;
  }

  std::vector<int> ids = options.ids;
  if (ids.empty())
    for (int id = kFirstReaderId; id <= kLastReaderId; ++id) ids.push_back(id);
  for (int id : ids) {
    if (link.Stop.Requested()) return SurveyOutcome::Stopped;
    if (progress) progress("poll " + IdText(id));
    result.ids.push_back(IdResult{id, {}});
    Poll(link, id, result, result.ids.back());
  }
  for (IdResult& r : result.ids) {
    if (!Unclean(r.Status())) continue;
    if (link.Stop.Requested()) return SurveyOutcome::Stopped;
    if (progress) progress("again " + IdText(r.id));
    Poll(link, r.id, result, r);
  }
  return SurveyOutcome::Done;
}

}  // namespace site
