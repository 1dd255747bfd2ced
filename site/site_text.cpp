// SPDX-License-Identifier: MIT
#include "site_text.h"

#include <algorithm>

#include "adapter_info.h"
#include "line_settings.h"
#include "site_report.h"
#include "shown_text.h"

namespace site {

namespace {

std::string IdsText(const std::vector<int>& ids) {
  std::string text;
  for (size_t i = 0; i < ids.size(); ++i) text += (i ? " " : "") + IdText(ids[i]);
  return text;
}

std::vector<std::string> IdTexts(const std::vector<int>& ids) {
  std::vector<std::string> texts;
  for (int id : ids) texts.push_back(IdText(id));
  return texts;
}

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string IdLabel(int id) { return id == kPresenceCheckId ? "presence check (H00M)" : "reader ID " + IdText(id); }

std::string LatencyLine(const char* what, const LatencySummary& s) {
  return std::string("  ") + what + " p50 " + Millis(s.p50) + ", p95 " + Millis(s.p95) + ", p99 " + Millis(s.p99) +
         ", max " + Millis(s.max);
}

text::JsonObject LatencyJson(const LatencySummary& s) {
  return text::JsonObject()
      .Add("count", static_cast<long long>(s.count))
      .Add("p50-us", static_cast<long long>(s.p50.count()))
      .Add("p95-us", static_cast<long long>(s.p95.count()))
      .Add("p99-us", static_cast<long long>(s.p99.count()))
      .Add("max-us", static_cast<long long>(s.max.count()));
}

std::string LineErrorsText(const LinkTestResult& result) {
  if (!result.lineErrors) return "line errors (driver): unavailable";
  const serial::LineErrorCounts& e = *result.lineErrors;
  return "line errors (driver): framing " + std::to_string(e.framing) + ", parity " + std::to_string(e.parity) +
         ", overrun " + std::to_string(e.overrun) + ", break " + std::to_string(e.breaks);
}

std::string LatencyTimerText(const LinkTestResult& result) {
  if (!result.latencyTimerMs) return "adapter latency timer: unavailable";
  std::string text = "adapter latency timer: " + std::to_string(*result.latencyTimerMs) + " ms";
  if (*result.latencyTimerMs >= serial::kSlowLatencyTimerMs)
    text += " (adds up to that much to every reply; 1 ms suits a bus: write 1 to the adapter's latency_timer)";
  return text;
}

}  // namespace

std::string PortText(int port, const std::string& device) {
  std::string text = "COM" + std::to_string(port);
  if (!device.empty()) text += " (" + text::ShownText(device) + ")";
  return text;
}

std::string LineSettingText(int index) {
  return index >= 0 && index < serial::kLineSettingCount ? serial::kLineSettings[index] : "none";
}

std::vector<std::string> SurveyLines(const SurveyResult& result, const std::vector<Finding>& findings) {
  std::vector<std::string> lines;
  lines.push_back("port:          " + PortText(result.port, result.device));
  if (result.lineIndex < 0) {
    lines.push_back("line setting:  none answered (every setting tried)");
  } else {
    lines.push_back("line setting:  " + LineSettingText(result.lineIndex) +
                    (result.lineGiven ? " (given)" : " (found by the search)"));
  }
  if (!result.ids.empty()) {
    lines.push_back("");
    for (const std::string& row : IdMap(result)) lines.push_back(row);
  }
  std::vector<int> answering, unclean;
  for (const IdResult& r : result.ids) {
    if (r.Status() == PollStatus::Ok) answering.push_back(r.id);
    if (r.Status() != PollStatus::Ok && r.Status() != PollStatus::Absent) unclean.push_back(r.id);
  }
  lines.push_back("");
  lines.push_back("answering:     " + (answering.empty() ? std::string("none") : IdsText(answering)));
  for (const IdResult& r : result.ids) {
    if (r.Status() == PollStatus::Ok || r.Status() == PollStatus::Absent) continue;
    lines.push_back("ID " + IdText(r.id) + ":         " + StatusName(r.Status()));
  }
  if (findings.empty()) {
    lines.push_back("findings:      none");
    return lines;
  }
  for (const Finding& f : findings) {
    lines.push_back("");
    lines.push_back(std::string(f.Problem() ? "finding: " : "note: ") + FindingName(f.kind));
    lines.push_back("  " + f.what);
    lines.push_back("  check: " + f.check);
  }
  return lines;
}

text::JsonObject SurveyJson(const SurveyResult& result, const std::vector<Finding>& findings) {
  std::vector<text::JsonObject> ids;
  for (const IdResult& r : result.ids) {
    std::vector<std::string> polls;
    for (PollStatus s : r.polls) polls.push_back(StatusName(s));
    ids.push_back(text::JsonObject().Add("id", IdText(r.id)).Add("status", StatusName(r.Status())).Add("polls", polls));
  }
  std::vector<text::JsonObject> found;
  for (const Finding& f : findings) {
    found.push_back(text::JsonObject()
                        .Add("kind", FindingName(f.kind))
                        .Add("ids", IdTexts(f.ids))
                        .Add("what", f.what)
                        .Add("check", f.check));
  }
  text::JsonObject json;
  json.Add("port", "COM" + std::to_string(result.port)).Add("device", text::ShownText(result.device));
  if (result.lineIndex < 0) {
    json.AddNull("line");
  } else {
    json.Add("line", LineSettingText(result.lineIndex));
  }
  return json.Add("echo", result.line.echo).Add("ids", ids).Add("findings", found);
}

std::vector<std::vector<std::string>> SurveyCsvRows(const SurveyResult& result) {
  std::vector<std::vector<std::string>> rows;
  for (const IdResult& r : result.ids) {
    std::string polls;
    for (size_t i = 0; i < r.polls.size(); ++i) polls += (i ? " " : "") + std::string(StatusName(r.polls[i]));
    rows.push_back({IdText(r.id), StatusName(r.Status()), polls});
  }
  return rows;
}

Verdict OverallVerdict(const LinkTestResult& result) {
  if (result.ids.empty()) return Verdict::Fail;
  Verdict worst = Verdict::Pass;
  for (const IdLinkFigures& f : result.ids) worst = std::max(worst, f.figures.Judge());
  return worst;
}

std::vector<std::string> LinkTestLines(const LinkTestResult& result) {
  std::vector<std::string> lines;
  lines.push_back("port:          " + PortText(result.port, result.device));
  lines.push_back("line setting:  " + LineSettingText(result.lineIndex));
  lines.push_back("timing:        from the end of each frame, read to about 1 ms");
  for (const IdLinkFigures& id : result.ids) {
    const LinkFigures& f = id.figures;
    lines.push_back("");
    lines.push_back(Padded(IdLabel(id.id) + ":", 24) + VerdictName(f.Judge()));
    lines.push_back("  sent " + std::to_string(f.Sent()) + ", ok " + std::to_string(f.Ok()) + ", timeouts " +
                    std::to_string(f.Timeouts()) + ", checksum errors " + std::to_string(f.ChecksumErrors()) +
                    ", partial " + std::to_string(f.Partial()) + ", other " + std::to_string(f.Other()) +
                    ", extra bytes " + std::to_string(f.ExtraBytes()));
    lines.push_back(LatencyLine("first byte:  ", f.FirstByte()));
    lines.push_back(LatencyLine("whole reply: ", f.WholeReply()));
    for (const std::string& bar : LatencyHistogram(f.WholeReplyTimes())) lines.push_back("  " + bar);
  }
  lines.push_back("");
  lines.push_back(LineErrorsText(result));
  lines.push_back(LatencyTimerText(result));
  if (result.line.echo) lines.push_back("echo:          the adapter hands back every frame (taken off)");
  lines.push_back("verdicts:      " + VerdictThresholds());
  return lines;
}

text::JsonObject LinkTestJson(const LinkTestResult& result) {
  std::vector<text::JsonObject> ids;
  for (const IdLinkFigures& id : result.ids) {
    const LinkFigures& f = id.figures;
    ids.push_back(text::JsonObject()
                      .Add("id", IdText(id.id))
                      .Add("sent", static_cast<long long>(f.Sent()))
                      .Add("ok", static_cast<long long>(f.Ok()))
                      .Add("timeouts", static_cast<long long>(f.Timeouts()))
                      .Add("checksum-errors", static_cast<long long>(f.ChecksumErrors()))
                      .Add("partial", static_cast<long long>(f.Partial()))
                      .Add("other", static_cast<long long>(f.Other()))
                      .Add("extra-bytes", static_cast<long long>(f.ExtraBytes()))
                      .Add("first-byte", LatencyJson(f.FirstByte()))
                      .Add("whole-reply", LatencyJson(f.WholeReply()))
                      .Add("verdict", VerdictName(f.Judge())));
  }
  text::JsonObject json;
  json.Add("port", "COM" + std::to_string(result.port))
      .Add("device", text::ShownText(result.device))
      .Add("line", LineSettingText(result.lineIndex))
      .Add("timing-resolution-us", 1000)
      .Add("echo", result.line.echo)
      .Add("ids", ids);
  if (result.lineErrors) {
    json.Add("line-errors", text::JsonObject()
                                .Add("framing", static_cast<long long>(result.lineErrors->framing))
                                .Add("parity", static_cast<long long>(result.lineErrors->parity))
                                .Add("overrun", static_cast<long long>(result.lineErrors->overrun))
                                .Add("break", static_cast<long long>(result.lineErrors->breaks)));
  } else {
    json.Add("line-errors", "unavailable");
  }
  if (result.latencyTimerMs) {
    json.Add("latency-timer-ms", *result.latencyTimerMs);
  } else {
    json.Add("latency-timer-ms", "unavailable");
  }
  return json.Add("verdict", VerdictName(OverallVerdict(result))).Add("thresholds", VerdictThresholds());
}

std::vector<std::string> WalkSummaryLines(const WalkResult& result) {
  std::vector<int> read, never;
  for (const WalkIdCount& c : result.ids) (c.cards > 0 ? read : never).push_back(c.id);
  std::vector<std::string> lines;
  lines.push_back("reads from:    " + (read.empty() ? std::string("none") : IdsText(read)));
  lines.push_back("never read:    " + (never.empty() ? std::string("none") : IdsText(never)));
  for (const WalkIdCount& c : result.ids) {
    if (c.answered == 0) lines.push_back("ID " + IdText(c.id) + ":         never answered a poll");
  }
  return lines;
}

text::JsonObject WalkSummaryJson(const WalkResult& result) {
  std::vector<text::JsonObject> ids;
  for (const WalkIdCount& c : result.ids) {
    ids.push_back(text::JsonObject()
                      .Add("id", IdText(c.id))
                      .Add("polls", static_cast<long long>(c.polls))
                      .Add("answered", static_cast<long long>(c.answered))
                      .Add("cards", static_cast<long long>(c.cards)));
  }
  return text::JsonObject().Add("ids", ids);
}

}  // namespace site
