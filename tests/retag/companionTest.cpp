// The companions' own logic below their command lines: the lines ltfcheck
// names for a list retag refuses, and the unified diffs of retagplan --diff.
#include <gtest/gtest.h>

#include <string>

#include "companion.h"
#include "retagInternal.h"
#include "support/TestSupport.h"

namespace {

using testsupport::tableRows;
using testsupport::TempDir;

TEST(ListCheck, ParseErrorsStandAtTheirPhysicalLine) {
  const auto rows = tableRows("retag/cases/listcheck.txt");
  ASSERT_FALSE(rows.empty());
  for (const auto &row : rows) {
    TempDir dir;
    const std::string file = dir.write("t.ltf", row.at(0));
    vaAMListCheck check;
    // The library is never looked at once the list fails to parse.
    ASSERT_EQ(vaAMCheckList(file.c_str(), "t.ltf", (dir / "nolib").c_str(), "lib", &check), 0);
    ASSERT_EQ(check.messages.size(), 1U) << row.at(0);
    EXPECT_EQ(check.messages[0].file, "t.ltf");
    EXPECT_EQ(check.messages[0].line, std::stoi(row.at(1))) << row.at(0);
    EXPECT_EQ(check.messages[0].severity, "error");
    EXPECT_EQ(check.messages[0].text, row.at(2)) << row.at(0);
    EXPECT_EQ(vaAMListStatus(&check), 2);
  }
}

TEST(UnifiedDiff, HunksAsPatchReadsThem) {
  const auto rows = tableRows("retag/cases/udiff.txt");
  ASSERT_FALSE(rows.empty());
  for (const auto &row : rows)
    EXPECT_EQ(vaam::unifiedDiff("f", row.at(0), row.at(1)), row.at(2))
        << row.at(0) << " -> " << row.at(1);
}

} // namespace
