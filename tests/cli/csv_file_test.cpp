// SPDX-License-Identifier: MIT
// CSV cells: RFC 4180 quoting, and cells that a spreadsheet would run as a
// formula made inert with a leading single quote.
#include <gtest/gtest.h>

#include "csv_file.h"

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
}  // namespace
