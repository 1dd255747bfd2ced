// SPDX-License-Identifier: MIT
#include "survey_result.h"

#include <algorithm>
#include <set>

#include "line_settings.h"
#include "two_digits.h"

namespace site {

namespace {
bool Answered(const IdResult& r) { return r.Status() != PollStatus::Absent; }

bool Unclean(PollStatus s) { return s != PollStatus::Ok && s != PollStatus::Absent; }

// Every poll garbled or doubled: two drivers on every answer.
bool Collides(const IdResult& r) {
  return !r.polls.empty() && std::all_of(r.polls.begin(), r.polls.end(), [](PollStatus s) {
    return s == PollStatus::Garbled || s == PollStatus::Double;
  });
}

// Damaged once, clean when asked again; or cut off.
bool Noisy(const IdResult& r) {
  if (r.Status() == PollStatus::Partial) return true;
  return r.Status() == PollStatus::Ok && std::any_of(r.polls.begin(), r.polls.end(), Unclean);
}

std::string IdList(const std::vector<int>& ids) {
  std::string text;
  for (size_t i = 0; i < ids.size(); ++i) text += (i ? ", " : "") + IdText(ids[i]);
  return text;
}

template <class Test>
std::vector<int> IdsWhere(const SurveyResult& result, Test test) {
  std::vector<int> ids;
  for (const IdResult& r : result.ids)
    if (test(r)) ids.push_back(r.id);
  return ids;
}

// The baud rate of a line setting: its text up to the first comma.
std::string BaudOf(int index) {
  if (index < 0 || index >= serial::kLineSettingCount) return "?";
  std::string text = serial::kLineSettings[index];
  return text.substr(0, text.find(','));
}

void AddDuplicates(const SurveyResult& result, std::vector<Finding>& out) {
  std::vector<int> ids = IdsWhere(result, Collides);
  if (ids.empty()) return;
  out.push_back({FindingKind::DuplicateId, ids,
                 "Reader ID " + IdList(ids) + (ids.size() > 1 ? " were" : " was") +
                     " garbled or answered twice on every poll: two modules probably share " +
                     (ids.size() > 1 ? "each of them." : "it."),
                 "Give each module reader IDs of its own: connect one module at a time and set its IDs "
                 "(rt420ctl set-id)."});
}

void AddFactoryIds(const SurveyResult& result, std::vector<Finding>& out) {
  const auto isFactory = [](int id) { return id == kFactoryId1 || id == kFactoryId2; };
  std::vector<int> factory = IdsWhere(result, [&](const IdResult& r) { return isFactory(r.id) && Answered(r); });
  if (factory.empty()) return;
  const bool others = !IdsWhere(result, [&](const IdResult& r) { return !isFactory(r.id) && Answered(r); }).empty();
  const bool collide = !IdsWhere(result, [&](const IdResult& r) { return isFactory(r.id) && Collides(r); }).empty();
  if (!others && !collide) return;  // one module alone may keep its factory IDs
  out.push_back({FindingKind::FactoryIds, factory,
                 "Reader ID " + IdList(factory) + " answer" + (factory.size() > 1 ? "" : "s") +
                     " on a bus of several modules: every new module answers to the factory IDs 01 and 05.",
                 "Set each new module's IDs before it joins the bus (rt420ctl set-id with that module alone on "
                 "the line)."});
}

void AddSpeedMismatch(const SurveyResult& result, std::vector<Finding>& out) {
  std::set<std::string> bauds;
  for (int index : result.line.answeringSettings) bauds.insert(BaudOf(index));
  if (bauds.size() < 2) return;
  std::string list;
  for (const std::string& baud : bauds) list += (list.empty() ? "" : " and ") + baud;
  out.push_back({FindingKind::SpeedMismatch, {},
                 "Modules answered at " + list + " baud: they do not share one line setting.",
                 "Set every module on the bus to the same line setting (rt420ctl set-baud with one module on the "
                 "line)."});
}

void AddLineFindings(const SurveyResult& result, std::vector<Finding>& out) {
  const LineObservations& line = result.line;
  if (line.echo)
    out.push_back({FindingKind::Echo, {},
                   "The adapter hands back a copy of every frame it sends (a two-wire adapter); the copies are "
                   "taken off.",
                   "Nothing to do. Where the adapter has an echo switch, turning it off saves line time."});
  if (line.foreignFrames > 0 || line.unaskedReplies > 0)
    out.push_back({FindingKind::ForeignMaster, {},
                   std::to_string(line.foreignFrames) + " frame(s) that this tool did not send and " +
                       std::to_string(line.unaskedReplies) +
                       " reply(ies) it did not ask for were heard: another host polls this line.",
                   "Stop the other host, or its polling, while you survey or configure: two masters on one line "
                   "collide."});
  std::vector<int> noisy = IdsWhere(result, Noisy);
  if (line.strayBytes > 0 || !noisy.empty())
    out.push_back({FindingKind::Noise, noisy,
                   std::to_string(line.strayBytes) + " stray byte(s) on the idle line" +
                       (noisy.empty() ? std::string(".")
                                      : "; replies damaged or cut off at reader ID " + IdList(noisy) + "."),
                   "Check the termination (120 ohm at both ends of the line, nowhere else), the bias resistors, "
                   "and the cable (twisted pair, its length, its shield)."});
}

void AddLate(const SurveyResult& result, std::vector<Finding>& out) {
  std::vector<int> late = IdsWhere(result, [](const IdResult& r) { return r.Status() == PollStatus::Late; });
  if (late.empty()) return;
  out.push_back({FindingKind::LateReplies, late,
                 "Reader ID " + IdList(late) + " answered after the 120 ms reply window.",
                 "Check the adapter's latency (for a USB adapter its latency timer: rt420ctl linktest shows it) "
                 "and the line speed."});
}

void AddAddress00Only(const SurveyResult& result, std::vector<Finding>& out) {
  if (!result.line.answersAddress00) return;
  if (std::any_of(result.ids.begin(), result.ids.end(), Answered)) return;
  out.push_back({FindingKind::Address00Only, {},
                 "A module answers configuration commands (address 00) but no reader ID polled answered.",
                 "Its reader IDs lie outside the IDs polled (00 cannot be polled): put it alone on the line and "
                 "read them with rt420ctl scan."});
}
}  // namespace

const char* FindingName(FindingKind kind) {
  switch (kind) {
    case FindingKind::DuplicateId: return "duplicate-id";
    case FindingKind::FactoryIds: return "factory-ids";
    case FindingKind::SpeedMismatch: return "speed-mismatch";
    case FindingKind::Echo: return "echo";
    case FindingKind::ForeignMaster: return "foreign-master";
    case FindingKind::Noise: return "noise";
    case FindingKind::LateReplies: return "late-replies";
    case FindingKind::Address00Only: return "address-00-only";
  }
  return "noise";
}

std::string IdText(int id) { return text::TwoDigits(id); }

std::vector<Finding> FindingsOf(const SurveyResult& result) {
  std::vector<Finding> findings;
  AddDuplicates(result, findings);
  AddFactoryIds(result, findings);
  AddSpeedMismatch(result, findings);
  AddLineFindings(result, findings);
  AddLate(result, findings);
  AddAddress00Only(result, findings);
  return findings;
}

}  // namespace site
