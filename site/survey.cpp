// SPDX-License-Identifier: MIT
#include "survey.h"

#include "bus_poll.h"
#include "frame_bytes.h"
#include "frames.h"
#include "line_settings.h"
#include "serial_port.h"

namespace site {

namespace {

// Closes the survey's port on every path.
class OpenLine {
 public:
  explicit OpenLine(LinkState& link) : link_(link) {}
  OpenLine(const OpenLine&) = delete;
  OpenLine& operator=(const OpenLine&) = delete;
  ~OpenLine() { Close(); }
  bool Open(int port, int index) {
    Close();
    return OpenPort(link_, port, kLineSettings[index]);
  }
  void Close() {
    if (PortIsOpen(link_)) ClosePort(link_);
  }

 private:
  LinkState& link_;
};

// Whether bytes [from, end] form a frame with a correct checksum: TAB-led
// with a command checksum, or LF-led with a reply checksum.
bool WholeFrame(std::span<const TimedByte> bytes, size_t from, size_t cr) {
  std::string text;
  for (size_t i = from; i <= cr; ++i) text.push_back(static_cast<char>(bytes[i].value));
  if (text[0] == static_cast<char>(kFrameLf)) return IsValidReplyFrame(text);
  if (text.size() < 4) return false;
  const std::string body = text.substr(1, text.size() - 4);
  const uint8_t sum = FrameChecksum(reinterpret_cast<const uint8_t*>(body.data()), static_cast<int>(body.size()));
  return text.substr(text.size() - 3, 2) == ByteToHex(sum);
}

void TakeUnasked(const Heard& heard, LineObservations& line) {
  ObserveIdleLine(heard.bytes, line);
  line.strayBytes += heard.dropped;
}

bool LineSearch(LinkState& link, OpenLine& line, int port, SurveyResult& result, const SurveyProgress& progress) {
  for (int index = 0; index < kLineSettingCount; ++index) {
    if (link.Stop.Requested()) return false;
    if (progress) progress("line " + std::to_string(index));
    if (!line.Open(port, index)) return false;
    for (int attempt = 0; attempt < kSearchAttemptsPerSetting; ++attempt) {
      PollResult poll = PollOnce(link, "H00M", "");
      TakeUnasked(poll.beforeFrame, result.line);
      result.line.echo = result.line.echo || poll.reading.echo;
      if (!poll.answerHeard) continue;
      result.line.answersAddress00 = true;
      result.line.answeringSettings.push_back(index);
      break;
    }
  }
  return true;
}

void Poll(LinkState& link, int id, SurveyResult& result, IdResult& r) {
  PollResult poll = PollOnce(link, PollText(id), PollReplyText(id));
  TakeUnasked(poll.beforeFrame, result.line);
  result.line.echo = result.line.echo || poll.reading.echo;
  r.polls.push_back(poll.reading.status);
}

bool Unclean(PollStatus s) { return s != PollStatus::Ok && s != PollStatus::Absent; }

}  // namespace

void ObserveIdleLine(std::span<const TimedByte> bytes, LineObservations& line) {
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t first = bytes[i].value;
    if (first == kFrameTab || first == kFrameLf) {
      size_t cr = i + 1;
      while (cr < bytes.size() && bytes[cr].value != kFrameCr && bytes[cr].value != kFrameTab &&
             bytes[cr].value != kFrameLf)
        ++cr;
      if (cr < bytes.size() && bytes[cr].value == kFrameCr && WholeFrame(bytes, i, cr)) {
        (first == kFrameTab ? line.foreignFrames : line.unaskedReplies) += 1;
        i = cr + 1;
        continue;
      }
    }
    line.strayBytes += 1;
    ++i;
  }
}

SurveyOutcome RunSurvey(LinkState& link, const SurveyOptions& options, SurveyResult& result,
                        const SurveyProgress& progress) {
  result = SurveyResult{};
  result.port = options.port;
  result.lineGiven = options.lineIndex >= 0;
  result.device = DeviceBehindPort(link, options.port).value_or("");
  OpenLine line(link);
  if (!line.Open(options.port, result.lineGiven ? options.lineIndex : kDefaultLineSettingNo))
    return SurveyOutcome::PortNotOpened;
  if (progress) progress("listening");
  Heard idle;
  const LineClock::time_point start = LineClock::now();
  ListenUntil(link, start, start + kIdleListen, idle);
  TakeUnasked(idle, result.line);

  result.lineIndex = options.lineIndex;
  if (!result.lineGiven) {
    if (!LineSearch(link, line, options.port, result, progress))
      return link.Stop.Requested() ? SurveyOutcome::Stopped : SurveyOutcome::PortNotOpened;
    if (result.line.answeringSettings.empty()) return SurveyOutcome::Done;
    result.lineIndex = result.line.answeringSettings.front();
    if (!line.Open(options.port, result.lineIndex)) return SurveyOutcome::PortNotOpened;
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
