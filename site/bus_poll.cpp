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
bool AnswerComplete(const serial::Heard& heard) {
  auto lf = std::find_if(heard.bytes.begin(), heard.bytes.end(), [](const serial::HeardByte& b) { return b.value == serial::kFrameLf; });
  return std::find_if(lf, heard.bytes.end(), [](const serial::HeardByte& b) { return b.value == serial::kFrameCr; }) !=
         heard.bytes.end();
}

// Whether bytes [from, end] form a frame with a correct checksum: TAB-led
// with a command checksum, or LF-led with a reply checksum.
bool WholeFrame(std::span<const TimedByte> bytes, size_t from, size_t cr) {
  std::string text;
  for (size_t i = from; i <= cr; ++i) text.push_back(static_cast<char>(bytes[i].value));
  if (text[0] == static_cast<char>(serial::kFrameLf)) return IsValidReplyFrame(text);
  if (text.size() < 4) return false;
  const std::string body = text.substr(1, text.size() - 4);
  const uint8_t sum = serial::FrameChecksum(reinterpret_cast<const uint8_t*>(body.data()), static_cast<int>(body.size()));
  return text.substr(text.size() - 3, 2) == serial::ByteToHex(sum);
}

}  // namespace

bool BusPort::Open(int port, int index) {
  Close();
  return serial::OpenPort(link_, port, serial::kLineSettings[index]);
}

void BusPort::Close() {
  if (serial::PortIsOpen(link_)) serial::ClosePort(link_);
}

bool SearchLineSetting(serial::LinkState& link, BusPort& port, int portNumber, LineObservations& line,
                       const std::function<void(int index)>& progress) {
  for (int index = 0; index < serial::kLineSettingCount; ++index) {
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

LineFound OpenAtLineSetting(serial::LinkState& link, BusPort& port, int portNumber, int given, LineObservations& line,
                            int& index, const std::function<void(const std::string& step)>& progress) {
  index = given;
  if (index < 0) {
    const auto searchProgress = [&](int tried) {
      if (progress) progress("line " + std::to_string(tried));
    };
    if (!SearchLineSetting(link, port, portNumber, line, searchProgress))
      return link.Stop.Requested() ? LineFound::Stopped : LineFound::PortNotOpened;
    if (line.answeringSettings.empty()) return LineFound::NoAnswer;
    index = line.answeringSettings.front();
  }
  return port.Open(portNumber, index) ? LineFound::Open : LineFound::PortNotOpened;
}

void TakeUnasked(const serial::Heard& heard, LineObservations& line) {
  ObserveIdleLine(heard.bytes, line);
  line.strayBytes += heard.dropped;
}

void ObserveIdleLine(std::span<const TimedByte> bytes, LineObservations& line) {
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t first = bytes[i].value;
    if (first == serial::kFrameTab || first == serial::kFrameLf) {
      size_t cr = i + 1;
      while (cr < bytes.size() && bytes[cr].value != serial::kFrameCr && bytes[cr].value != serial::kFrameTab &&
             bytes[cr].value != serial::kFrameLf)
        ++cr;
      if (cr < bytes.size() && bytes[cr].value == serial::kFrameCr && WholeFrame(bytes, i, cr)) {
        (first == serial::kFrameTab ? line.foreignFrames : line.unaskedReplies) += 1;
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

PollResult PollOnce(serial::LinkState& link, const std::string& frameText, std::string_view replyText) {
  PollResult result;
  serial::DrainInput(link, serial::LineClock::now(), result.beforeFrame);
  const serial::WrittenFrame frame = serial::WriteCommandFrame(link, frameText);
  const serial::LineClock::time_point frameEnd = frame.end;
  const serial::LineClock::time_point windowEnd = frameEnd + std::chrono::milliseconds(serial::kReplyWindowMs);
  serial::ListenUntil(link, frameEnd, windowEnd, result.heard, AnswerComplete);
  serial::ListenUntil(link, frameEnd, std::min(serial::LineClock::now(), windowEnd) + kPollPause, result.heard);
  result.reading = ReadPoll(frame.bytes, result.heard.bytes, replyText);
  const size_t skip = result.reading.echo ? frame.bytes.size() : 0;
  const std::span<const serial::HeardByte> after = std::span<const serial::HeardByte>(result.heard.bytes).subspan(
      std::min(skip, result.heard.bytes.size()));
  const auto inWindow = std::count_if(after.begin(), after.end(), [](const serial::HeardByte& b) {
    return b.at < std::chrono::milliseconds(serial::kReplyWindowMs);
  });
  result.answerHeard = (!after.empty() && after[0].value == serial::kFrameLf) || inWindow >= kShortestReplyBytes;
  if (result.reading.echo) link.EchoHeard = true;
  return result;
}

}  // namespace site
