// Number and time conversions and the banner.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"
#include "ulCvt.h"

namespace {

using Strings = std::vector<std::string>;

TEST(UlCvt, NumbersAndTimesOfDay) {
  EXPECT_STREQ("-2147483648", ulCvtIntStr(INT_MIN));
  EXPECT_STREQ("9223372036854775807", ulCvtLongStr(LONG_MAX));
  // The sign stays when the digits round away ("%f" prints -0.000000); zeros
  // before the point stay; text too long for 32 bytes takes the exponent form.
  const std::pair<double, const char *> floats[] = {
      {0.0, "0"},       {-0.0, "-0"},           {-1e-9, "-0"},
      {-1.25, "-1.25"}, {2.5, "2.5"},           {3.0, "3"},
      {100.0, "100"},   {0.000001, "0.000001"}, {1e300, "1.0000000000000001e+300"}};
  for (auto [value, text] : floats)
    EXPECT_STREQ(text, ulCvtFloatStr(value)) << value;
  // The three share one buffer.
  const char *first = ulCvtIntStr(1);
  ulCvtLongStr(2);
  EXPECT_STREQ("2", first);

  // Times of day in hundredths of a second.
  EXPECT_EQ(
      (Strings{"01:00:00.00", "00:01:01.50", "00:00:00.00", "100:00:00.99"}),
      (Strings{ulCvtTimeStr(360000), ulCvtTimeStr(6150), ulCvtTimeStr(0), ulCvtTimeStr(36000099)}));
}

TEST(UlCvt, CalendarSplit) {
  struct Case {
    long seconds;
    std::array<int, 6> date; // month, day, year, hour, minute, second
  };
  const Case cases[] = {
      {0, {1, 1, 1970, 0, 0, 0}},
      {951782400, {2, 29, 2000, 0, 0, 0}},               // leap day of a year divisible by 400
      {4102444800L + 59 * 86400, {3, 1, 2100, 0, 0, 0}}, // 2100 is no leap year
      {1704067199, {12, 31, 2023, 23, 59, 59}},          // last second of 2023
      {-1, {12, 31, 1969, 23, 59, 59}},                  // just before 1970
  };
  for (const Case &c : cases) {
    std::array<int, 6> d{};
    EXPECT_EQ(1, ulCvtTime(c.seconds, &d[0], &d[1], &d[2], &d[3], &d[4], &d[5])) << c.seconds;
    EXPECT_EQ(c.date, d) << c.seconds;
  }
  int year = 0;
  EXPECT_EQ(1, ulCvtTime(86400L * 365, nullptr, nullptr, &year, nullptr, nullptr, nullptr));
  EXPECT_EQ(1971, year);
}

TEST(UlCvt, BannerIsPrintedAndKept) {
  const std::string head = "Retagger - V1.8.8; Quenmar Design Suite 6.0 (041896)\n";
  std::string out = testsupport::stdoutOf([] { ulBanner("Retagger", "1.8.8"); });
  EXPECT_EQ(head, out.substr(0, head.size()));
  ASSERT_GT(out.size(), head.size() + 1);
  EXPECT_EQ('\n', out.back());
  EXPECT_EQ(2, std::count(out.begin(), out.end(), '\n')); // the notice is the second line
  EXPECT_EQ((Strings{out, "Retagger"}), (Strings{ulCurrentBannerV, ulCurrentNameV}));

  char buffer[ulBANNER_SIZE];
  EXPECT_EQ("",
            testsupport::stdoutOf([&] { EXPECT_EQ(buffer, ulBannerStr(buffer, "tool", "2")); }));
  const std::string toolHead = "tool - V2; Quenmar Design Suite 6.0 (041896)\n";
  EXPECT_EQ(toolHead, std::string(buffer).substr(0, toolHead.size()));
  EXPECT_EQ((Strings{buffer, "tool"}), (Strings{ulCurrentBannerV, ulCurrentNameV}));

  // An oversized name is cut to the buffer, never past it.
  const std::string huge(2 * ulBANNER_SIZE, 'x');
  ulBannerStr(buffer, huge.c_str(), "1");
  EXPECT_EQ(static_cast<size_t>(ulBANNER_SIZE - 1), std::strlen(buffer));
}

} // namespace
