// SPDX-License-Identifier: MIT
#include "site_report.h"

#include <map>
#include <string_view>

#include "line_settings.h"

namespace site {

namespace {
const char* Mark(PollStatus status) {
  switch (status) {
    case PollStatus::Ok: return "ok";
    case PollStatus::Absent: return ".";
    case PollStatus::Garbled: return "G!";
    case PollStatus::Double: return "D!";
    case PollStatus::Partial: return "P!";
    case PollStatus::Late: return "L!";
  }
  return "?";
}

std::string Cell(const std::string& mark) { return std::string(4 - mark.size(), ' ') + mark; }

std::string LineText(const SurveyResult& result) {
  if (result.lineIndex < 0 || result.lineIndex >= serial::kLineSettingCount) return "none answered";
  return std::string(serial::kLineSettings[result.lineIndex]) + (result.lineGiven ? " (given)" : " (found by the search)");
}

std::string PollsText(const IdResult& r) {
  std::string text;
  for (size_t i = 0; i < r.polls.size(); ++i) text += (i ? ", " : "") + std::string(StatusName(r.polls[i]));
  return text;
}

void AddHeading(std::string& doc, const RecordHeading& h, const SurveyResult& result) {
  doc += "# Commissioning record";
  if (!h.site.empty()) doc += ": " + MarkdownText(h.site);
  doc += "\n\n| | |\n|---|---|\n";
  doc += "| Site | " + (h.site.empty() ? std::string("(not named)") : MarkdownText(h.site)) + " |\n";
  doc += "| Date | " + MarkdownText(h.date) + " |\n";
  doc += "| Port | " + MarkdownText(h.port) + " |\n";
  doc += "| Adapter | " + (h.adapter.empty() ? std::string("(not known)") : MarkdownText(h.adapter)) + " |\n";
  doc += "| Line setting | " + MarkdownText(LineText(result)) + " |\n";
  doc += "| Tool | " + MarkdownText(h.tool) + " |\n";
}

void AddIds(std::string& doc, const SurveyResult& result) {
  doc += "\n## Reader IDs\n\n```text\n";
  for (const std::string& line : IdMap(result)) doc += line + "\n";
  doc += "```\n\n| ID | Status | Polls |\n|---|---|---|\n";
  std::string absent;
  for (const IdResult& r : result.ids) {
    if (r.Status() == PollStatus::Absent && r.polls.size() <= 1) {
      absent += (absent.empty() ? "" : ", ") + IdText(r.id);
      continue;
    }
    doc += "| " + IdText(r.id) + " | " + StatusName(r.Status()) + " | " + PollsText(r) + " |\n";
  }
  doc += "\nNo answer: " + (absent.empty() ? std::string("none") : absent) + ".\n";
}

void AddFindings(std::string& doc, const std::vector<Finding>& findings) {
  doc += "\n## Findings\n\n";
  if (findings.empty()) {
    doc += "None: every reader ID that answered answered cleanly.\n";
    return;
  }
  int n = 0;
  for (const Finding& f : findings) {
    doc += std::to_string(++n) + ". **" + FindingName(f.kind) + "** " + MarkdownText(f.what) +
           "\n   *Check:* " + MarkdownText(f.check) + "\n";
  }
}
}  // namespace

std::vector<std::string> IdMap(const SurveyResult& result) {
  std::map<int, PollStatus> status;
  for (const IdResult& r : result.ids) status[r.id] = r.Status();
  std::vector<std::string> lines;
  std::string heading = "    ";
  for (int units = 0; units < 10; ++units) heading += Cell(std::to_string(units));
  lines.push_back(heading);
  for (int tens = 0; tens < 10; ++tens) {
    std::string row = std::string("  ") + static_cast<char>('0' + tens) + " ";
    for (int units = 0; units < 10; ++units) {
      auto it = status.find(tens * 10 + units);
      row += Cell(it == status.end() ? "" : Mark(it->second));
    }
    while (!row.empty() && row.back() == ' ') row.pop_back();
    lines.push_back(row);
  }
  lines.push_back("ok answered   . no answer   G! garbled   D! answered twice   P! cut off   L! late");
  return lines;
}

std::string MarkdownText(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E) {
      // Rendered as \xNN: the backslash itself escaped for Markdown.
      out += "\\\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
      continue;
    }
    if (std::string_view("\\`*_{}[]()<>#+-!|~").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

std::string SurveyRecord(const RecordHeading& heading, const SurveyResult& result,
                         const std::vector<Finding>& findings) {
  std::string doc;
  AddHeading(doc, heading, result);
  AddIds(doc, result);
  AddFindings(doc, findings);
  return doc;
}

}  // namespace site
