// SPDX-License-Identifier: MIT
#pragma once
// What a survey of a bus found, and what it means.
//
// A survey listens to the line, finds the line setting, polls each reader ID
// and polls again those whose answer was not clean. Per ID it keeps the
// status of every poll; the ID's status is the last poll's, so a reply
// damaged once and clean when asked again ends as ok (the damage still
// counts as noise). What the line showed besides the polls' answers is kept
// as observations. Findings are drawn from both, each with what to check.

#include <cstddef>
#include <string>
#include <vector>

#include "poll_reading.h"

namespace site {

inline constexpr int kFirstReaderId = 1;
inline constexpr int kLastReaderId = 99;
// The IDs every module carries when it leaves the factory.
inline constexpr int kFactoryId1 = 1;
inline constexpr int kFactoryId2 = 5;

struct IdResult {
  int id = 0;                       // 1 to 99
  std::vector<PollStatus> polls;    // every poll's status, first to last
  PollStatus Status() const { return polls.empty() ? PollStatus::Absent : polls.back(); }
};

// What the line showed besides the answers to the polls.
struct LineObservations {
  // The adapter handed back a copy of the frames written.
  bool echo = false;
  // Command frames (TAB .. CR, checksum correct) that this tool did not send.
  size_t foreignFrames = 0;
  // Reply frames that came while this tool had asked nothing.
  size_t unaskedReplies = 0;
  // Bytes that belonged to no frame, heard while the line should be idle.
  size_t strayBytes = 0;
  // Something answered a configuration command (address "00"): the line
  // search's or the presence check's "H00M".
  bool answersAddress00 = false;
  // The line-setting indexes at which anything answered during the search;
  // empty when the setting was given.
  std::vector<int> answeringSettings;
};

enum class FindingKind {
  DuplicateId,     // two modules answer one reader ID
  FactoryIds,      // 01 and 05 on a bus of several modules
  SpeedMismatch,   // modules answer at more than one line speed
  Echo,            // the adapter echoes (handled; a note)
  ForeignMaster,   // another host polls the line
  Noise,           // stray bytes, damaged replies that were clean again
  LateReplies,     // replies after the reply window
  Address00Only,   // a module answers "00" but no reader ID polled
};

struct Finding {
  FindingKind kind;
  std::vector<int> ids;  // the reader IDs it concerns, if any
  std::string what;      // what was seen
  std::string check;     // what to check or do
  // A problem on the bus (an echo is only a note).
  bool Problem() const { return kind != FindingKind::Echo; }
};

// "duplicate-id", "factory-ids", "speed-mismatch", "echo", "foreign-master",
// "noise", "late-replies", "address-00-only".
const char* FindingName(FindingKind kind);

struct SurveyResult {
  int port = 0;
  std::string device;      // as the port table names it (untrusted text)
  int lineIndex = -1;      // the line setting used; -1: none answered
  bool lineGiven = false;
  LineObservations line;
  std::vector<IdResult> ids;  // in the order polled
};

std::vector<Finding> FindingsOf(const SurveyResult& result);

// "01": an ID in two digits.
std::string IdText(int id);

}  // namespace site
