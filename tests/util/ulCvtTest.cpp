// Number and time conversions and the banner.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "ulCvt.h"

namespace {

TEST(UlCvt, Numbers) {
  EXPECT_STREQ("-2147483648", ulCvtIntStr(INT_MIN));
  EXPECT_STREQ("9223372036854775807", ulCvtLongStr(LONG_MAX));
  EXPECT_STREQ("0", ulCvtFloatStr(0.0));
  EXPECT_STREQ("0", ulCvtFloatStr(-0.0));
  EXPECT_STREQ("-1.25", ulCvtFloatStr(-1.25));
  EXPECT_STREQ("2.5", ulCvtFloatStr(2.5));
  EXPECT_STREQ("3", ulCvtFloatStr(3.0));
  EXPECT_STREQ("100", ulCvtFloatStr(100.0)); // zeros before the point stay
  EXPECT_STREQ("0.000001", ulCvtFloatStr(0.000001));
  // Too long for fixed-point text in 32 bytes: the exponent form.
  EXPECT_STREQ("1.0000000000000001e+300", ulCvtFloatStr(1e300));
  // The three share one buffer.
  const char *first = ulCvtIntStr(1);
  ulCvtLongStr(2);
  EXPECT_STREQ("2", first);
}

TEST(UlCvt, TimeOfDayInHundredths) {
  EXPECT_STREQ("01:00:00.00", ulCvtTimeStr(360000));
  EXPECT_STREQ("00:01:01.50", ulCvtTimeStr(6150));
  EXPECT_STREQ("00:00:00.00", ulCvtTimeStr(0));
  EXPECT_STREQ("100:00:00.99", ulCvtTimeStr(36000099));
}

struct Date {
  int month, day, year, hour, minute, second;
};
Date split(long seconds) {
  Date d{};
  EXPECT_EQ(1, ulCvtTime(seconds, &d.month, &d.day, &d.year, &d.hour, &d.minute, &d.second));
  return d;
}

TEST(UlCvt, CalendarSplit) {
  Date d = split(0);
  EXPECT_EQ(1, d.month);
  EXPECT_EQ(1, d.day);
  EXPECT_EQ(1970, d.year);
  EXPECT_EQ(0, d.hour + d.minute + d.second);

  d = split(951782400); // a leap day of a year divisible by 400
  EXPECT_EQ(2, d.month);
  EXPECT_EQ(29, d.day);
  EXPECT_EQ(2000, d.year);

  d = split(4102444800L + 59 * 86400); // 2100 is no leap year: day 60 is 1 March
  EXPECT_EQ(3, d.month);
  EXPECT_EQ(1, d.day);
  EXPECT_EQ(2100, d.year);

  d = split(1704067199); // last second of 2023
  EXPECT_EQ(12, d.month);
  EXPECT_EQ(31, d.day);
  EXPECT_EQ(2023, d.year);
  EXPECT_EQ(23, d.hour);
  EXPECT_EQ(59, d.minute);
  EXPECT_EQ(59, d.second);

  d = split(-1); // just before 1970
  EXPECT_EQ(1969, d.year);
  EXPECT_EQ(12, d.month);
  EXPECT_EQ(31, d.day);
  EXPECT_EQ(23, d.hour);

  int year = 0;
  EXPECT_EQ(1, ulCvtTime(86400L * 365, nullptr, nullptr, &year, nullptr, nullptr, nullptr));
  EXPECT_EQ(1971, year);
}

TEST(UlCvt, BannerIsPrintedAndKept) {
  const std::string head = "Retagger - V1.8.8; Quenmar Design Suite 6.0 (041896)\n";
  ::testing::internal::CaptureStdout();
  ulBanner("Retagger", "1.8.8");
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(head, out.substr(0, head.size()));
  ASSERT_GT(out.size(), head.size() + 1);
  EXPECT_EQ('\n', out.back());
  EXPECT_EQ(2, std::count(out.begin(), out.end(), '\n')); // the notice is the second line
  EXPECT_EQ(out, ulCurrentBannerV);
  EXPECT_STREQ("Retagger", ulCurrentNameV);

  char buffer[ulBANNER_SIZE];
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(buffer, ulBannerStr(buffer, "tool", "2"));
  EXPECT_EQ("", ::testing::internal::GetCapturedStdout());
  const std::string toolHead = "tool - V2; Quenmar Design Suite 6.0 (041896)\n";
  EXPECT_EQ(toolHead, std::string(buffer).substr(0, toolHead.size()));
  EXPECT_STREQ(buffer, ulCurrentBannerV);
  EXPECT_STREQ("tool", ulCurrentNameV);

  // An oversized name is cut to the buffer, never past it.
  const std::string huge(2 * ulBANNER_SIZE, 'x');
  ulBannerStr(buffer, huge.c_str(), "1");
  EXPECT_EQ(static_cast<size_t>(ulBANNER_SIZE - 1), std::strlen(buffer));
}

} // namespace
