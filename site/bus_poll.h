// SPDX-License-Identifier: MIT
#pragma once
// One poll on a shared line, at the production cadence: the frame, then the
// line heard through the reply window and on through the pause that comes
// before the next frame, so that a second module answering the same
// address, or a reply after the window, is heard and judged with it.
//
// A poll costs what a poll of Wiegand processing costs: the frame (about
// 7 ms), the reply or the 120 ms window, and the 40 ms pause (spent
// listening rather than sleeping). Whatever the port holds when the frame
// is due (bytes that came after the last listen) is read first and
// returned apart: nobody asked for it.

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "line_capture.h"
#include "link_state.h"
#include "poll_reading.h"
#include "survey_result.h"

namespace site {

inline constexpr std::chrono::milliseconds kPollPause{40};

struct PollResult {
  PollReading reading;
  serial::Heard heard;        // the bytes after the frame, as judged
  serial::Heard beforeFrame;  // what the port held when the frame was due
  // Something tried to answer: the first byte after the echo was an LF, or
  // at least a shortest reply's worth of bytes came in the window (modules
  // answering at once garble even each other's LF).
  bool answerHeard = false;
};

// The port of a bus tool, open at one line setting at a time and closed on
// every path.
class BusPort {
 public:
  explicit BusPort(serial::LinkState& link) : link_(link) {}
  BusPort(const BusPort&) = delete;
  BusPort& operator=(const BusPort&) = delete;
  ~BusPort() { Close(); }
  // Closes the port if open and opens it at the line setting of the index.
  bool Open(int port, int index);
  void Close();

 private:
  serial::LinkState& link_;
};

inline constexpr int kSearchAttemptsPerSetting = 2;

// Finds the line setting: every setting in the search's order, "H00M" twice
// at each; any answer counts, garbled or not (PollResult::answerHeard).
// Every setting is tried, so modules at two speeds are seen. Notes the
// answering settings, the echo, an answer to address 00 and what nobody
// asked for in `line`. False when the port did not open or a stop was
// requested; the port is left open at the last setting tried.
bool SearchLineSetting(serial::LinkState& link, BusPort& port, int portNumber, LineObservations& line,
                       const std::function<void(int index)>& progress);

enum class LineFound { Open, PortNotOpened, NoAnswer, Stopped };

// Opens the port at the bus's line setting: `given` when it names one (0 or
// more), else the first setting that answered a search (SearchLineSetting,
// each setting told to `progress` as "line N"). `index` gets the setting.
LineFound OpenAtLineSetting(serial::LinkState& link, BusPort& port, int portNumber, int given, LineObservations& line,
                            int& index, const std::function<void(const std::string& step)>& progress);

// Adds what nobody asked for to the observations (see ObserveIdleLine).
void TakeUnasked(const serial::Heard& heard, LineObservations& line);

// Sorts what the idle line carried into the observations: whole command
// frames with a correct checksum (another host's), whole reply frames, and
// bytes that belong to neither.
void ObserveIdleLine(std::span<const TimedByte> bytes, LineObservations& line);

// frameText: the command text ("H01F", "H00M"); replyText: what the answer
// must begin with ("F01"), or empty for any reply.
PollResult PollOnce(serial::LinkState& link, const std::string& frameText, std::string_view replyText);

// The poll frame text of a reader ID ("H07F") and the start of its answer
// ("F07").
std::string PollText(int id);
std::string PollReplyText(int id);

}  // namespace site
