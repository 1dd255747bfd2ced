// SPDX-License-Identifier: MIT
#include "bus_poll.h"

#include <algorithm>
#include <span>

#include "frame_bytes.h"
#include "frames.h"
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

}  // namespace

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
