// SPDX-License-Identifier: MIT
#include <cctype>
#include <charconv>
#include <vector>

#include "serial_device.h"

namespace serial {

namespace {
std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool ToNumber(std::string_view s, uint32_t& out) {
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size();
}
}  // namespace

std::optional<LineParameters> ParseLineSetting(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    fields.push_back(Trim(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (fields.size() != 4) return std::nullopt;

  LineParameters line;
  line.text = std::string(text);
  uint32_t dataBits = 0, stopBits = 0;
  if (!ToNumber(fields[0], line.baud) || line.baud == 0) return std::nullopt;
  if (fields[1].size() != 1) return std::nullopt;
  line.parity = static_cast<char>(std::tolower(static_cast<unsigned char>(fields[1][0])));
  if (std::string_view("neoms").find(line.parity) == std::string_view::npos) return std::nullopt;
  if (!ToNumber(fields[2], dataBits) || dataBits < 5 || dataBits > 8) return std::nullopt;
  if (!ToNumber(fields[3], stopBits) || (stopBits != 1 && stopBits != 2)) return std::nullopt;
  line.dataBits = static_cast<int>(dataBits);
  line.stopBits = static_cast<int>(stopBits);
  return line;
}

}  // namespace serial
