// SPDX-License-Identifier: MIT
#include "bus_poll.h"

#include <algorithm>
#include <span>

#include "frame_bytes.h"
#include "frames.h"
#include "line_settings.h"
#include "serial_port.h"
#include "survey_result.h"

namespace site {

namespace {

constexpr std::ptrdiff_t kShortestReplyBytes = 4;  // LF, two checksum characters, CR

// A complete answer has come: an LF, later a CR (after any echo, whose CR
// comes before any LF).
bool AnswerComplete(const Heard& heard) {
  auto lf = std::find_if(heard.bytes.begin(), heard.bytes.end(), [](const HeardByte& b) { return b.value == kFrameLf; });
  return std::find_if(lf, heard.bytes.end(), [](const HeardByte& b) { return b.value == kFrameCr; }) !=
         heard.bytes.end();
}

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

}  // namespace

bool BusPort::Open(int port, int index) {
  Close();
  return OpenPort(link_, port, kLineSettings[index]);
}

void BusPort::Close() {
  if (PortIsOpen(link_)) ClosePort(link_);
}

bool SearchLineSetting(LinkState& link, BusPort& port, int portNumber, LineObservations& line,
                       const std::function<void(int index)>& progress) {
  for (int index = 0; index < kLineSettingCount; ++index) {
    if (link.Stop.Requested()) return false;
    if (progress) progress(index);
    if (!port.Open(portNumber, index)) return false;
    for (int attempt = 0; attempt < kSearchAttemptsPerSetting; ++attempt) {
      PollResult poll = PollOnce(link, "H00M", "");
      TakeUnasked(poll.beforeFrame, line);
      line.echo = line.echo || poll.reading.echo;
      if (!poll.answerHeard) continue;
      line.answersAddress00 = true;
      line.answeringSettings.push_back(index);
      break;
    }
  }
  return true;
}

void TakeUnasked(const Heard& heard, LineObservations& line) {
  ObserveIdleLine(heard.bytes, line);
  line.strayBytes += heard.dropped;
}

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

std::string PollText(int id) { return "H" + IdText(id) + "F"; }
std::string PollReplyText(int id) { return "F" + IdText(id); }

PollResult PollOnce(LinkState& link, const std::string& frameText, std::string_view replyText) {
  PollResult result;
  DrainInput(link, LineClock::now(), result.beforeFrame);
  const WrittenFrame frame = WriteCommandFrame(link, frameText);
  const LineClock::time_point frameEnd = frame.end;
  const LineClock::time_point windowEnd = frameEnd + std::chrono::milliseconds(kReplyWindowMs);
  ListenUntil(link, frameEnd, windowEnd, result.heard, AnswerComplete);
  ListenUntil(link, frameEnd, std::min(LineClock::now(), windowEnd) + kPollPause, result.heard);
  result.reading = ReadPoll(frame.bytes, result.heard.bytes, replyText);
  const size_t skip = result.reading.echo ? frame.bytes.size() : 0;
  const std::span<const HeardByte> after = std::span<const HeardByte>(result.heard.bytes).subspan(
      std::min(skip, result.heard.bytes.size()));
  const auto inWindow = std::count_if(after.begin(), after.end(), [](const HeardByte& b) {
    return b.at < std::chrono::milliseconds(kReplyWindowMs);
  });
  result.answerHeard = (!after.empty() && after[0].value == kFrameLf) || inWindow >= kShortestReplyBytes;
  if (result.reading.echo) link.EchoHeard = true;
  return result;
}

}  // namespace site
