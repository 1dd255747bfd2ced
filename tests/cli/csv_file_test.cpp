// SPDX-License-Identifier: MIT
// CSV cells: RFC 4180 quoting, and cells that a spreadsheet would run as a
// formula made inert with a leading single quote.
#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <regex>
#include <thread>
#include <vector>

#include "csv_file.h"
#include "provision_run.h"

namespace {
struct CellCase {
  std::string raw;
  std::string written;
};

TEST(CsvFileTest, CellsAreQuotedAndFormulaStartsMadeInert) {
  const CellCase cases[] = {
      {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
      {"+1", "\"'+1\""},
      {"-2+3", "\"'-2+3\""},
      {"@SUM(1)", "\"'@SUM(1)\""},
      {"\tcmd", "\"'\tcmd\""},
      {"\r=1", "\"'\r=1\""},
      {"\"already quoted\"", "\"\"\"already quoted\"\"\""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"0012345678", "0012345678"},
      {"a=b", "a=b"},
      {"", ""},
      {std::string(1, '\0') + "x", std::string(1, '\0') + "x"},
  };
  for (const CellCase& c : cases) EXPECT_EQ(CsvField(c.raw), c.written) << c.raw;
}

TEST(CsvFileTest, ALineJoinsItsCellsEachMadeSafe) {
  EXPECT_EQ(CsvLine({"2026-12-08T22:01:06.569Z", "1", "@SUM(1)"}), "2026-12-08T22:01:06.569Z,1,\"'@SUM(1)\"");
}
// A record's time is UTC to the millisecond, also while the threads of a
// bench take theirs at the same moment: each stamp reads the clock's second
// as the system's own UTC calendar gives it (taken just before or after).
TEST(CsvFileTest, RecordTimesAreUtcOnEveryThread) {
  constexpr int kThreads = 4, kStamps = 500;
  const std::regex shape(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  auto secondText = [](std::chrono::system_clock::time_point at) {
    std::time_t t = std::chrono::system_clock::to_time_t(at);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    return std::string(text);
  };
  std::vector<int> wrong(kThreads, 0);
  {
    std::vector<std::jthread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        for (int n = 0; n < kStamps; ++n) {
          auto before = std::chrono::system_clock::now();
          std::string stamp = TimestampNow();
          auto after = std::chrono::system_clock::now();
          std::string second = stamp.substr(0, 19);
          bool ok = std::regex_match(stamp, shape) && (second == secondText(before) || second == secondText(after));
          wrong[i] += ok ? 0 : 1;
        }
      });
    }
  }
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(wrong[i], 0) << "thread " << i;
}
}  // namespace
