// ulCvt.cpp: number and time conversions, and the start-up banner.
#include "ulCvt.h"

#include <cstdio>
#include <cstring>

#include "ulErr.h"
#include "ulStr.h"

char *ulCurrentBannerV = nullptr;
char *ulCurrentNameV = nullptr;

namespace {

// The product family every command belongs to, and its release.
constexpr const char *kFamilyName = "Quenmar Design Suite";
constexpr const char *kRelease = "6.0";     // major "6", minor "0", no patch level
constexpr const char *kDateCode = "041896"; // released 1996/04/18
constexpr const char *kNotice =
    "Copyright (c) 1989-1996 Quenmar Engineering Systems. All rights reserved.";

struct CvtState {
  char number[32]; // ulCvtIntStr, ulCvtLongStr, ulCvtFloatStr
  char time[32];   // ulCvtTimeStr
  bool bannerKept; // the release at exit of the banner copies is registered
};
CvtState state;

void releaseBanner() {
  ulStrFree(ulCurrentBannerV);
  ulStrFree(ulCurrentNameV);
  ulCurrentBannerV = nullptr;
  ulCurrentNameV = nullptr;
}

// Replaces the kept banner and name with copies of the new ones.
void keepBanner(const char *text, const char *name) {
  if (state.bannerKept) {
    releaseBanner();
  } else {
    ulOnExitAdd2(releaseBanner);
    state.bannerKept = true;
  }
  ulCurrentBannerV = ulStrCpy(text);
  ulCurrentNameV = ulStrCpy(name);
}

bool isLeapYear(long year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

const char *ulCvtIntStr(int n) {
  std::snprintf(state.number, sizeof state.number, "%d", n);
  return state.number;
}

const char *ulCvtLongStr(long n) {
  std::snprintf(state.number, sizeof state.number, "%ld", n);
  return state.number;
}

const char *ulCvtFloatStr(double x) {
  char text[400]; // "%f" of the largest double takes 317 characters
  int length = std::snprintf(text, sizeof text, "%f", x);
  if (length < 0 || length >= static_cast<int>(sizeof state.number)) {
    std::snprintf(state.number, sizeof state.number, "%.17g", x);
    return state.number;
  }
  if (std::strchr(text, '.') != nullptr) {
    while (length > 0 && text[length - 1] == '0')
      text[--length] = '\0';
    if (length > 0 && text[length - 1] == '.')
      text[--length] = '\0';
  }
  std::memcpy(state.number, text, static_cast<size_t>(length) + 1); // length < 32 here
  return state.number;
}

const char *ulCvtTimeStr(long hundredths) {
  const char *sign = hundredths < 0 ? "-" : "";
  unsigned long t = hundredths < 0 ? 0UL - static_cast<unsigned long>(hundredths)
                                   : static_cast<unsigned long>(hundredths);
  unsigned long hours = t / 360000;
  t %= 360000;
  unsigned long minutes = t / 6000;
  t %= 6000;
  std::snprintf(state.time, sizeof state.time, "%s%02lu:%02lu:%02lu.%02lu", sign, hours, minutes,
                t / 100, t % 100);
  return state.time;
}

int ulCvtTime(long seconds, int *month, int *day, int *year, int *hour, int *minute, int *second) {
  // Floor division, so that times before 1970 still give a time of day
  // between 00:00:00 and 23:59:59.
  long days = seconds / 86400;
  long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // The calendar repeats every 400 years (146097 days): skip whole cycles
  // first so that far-away times take no longer than near ones.
  constexpr long kCycleDays = 146097;
  long y = 1970;
  if (days < 0) {
    long cycles = (-days + kCycleDays - 1) / kCycleDays;
    y -= 400 * cycles;
    days += cycles * kCycleDays;
  }
  y += 400 * (days / kCycleDays);
  days %= kCycleDays;
  for (;;) {
    long length = isLeapYear(y) ? 366 : 365;
    if (days < length)
      break;
    days -= length;
    ++y;
  }
  int monthLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  monthLengths[1] = isLeapYear(y) ? 29 : 28;
  int m = 0;
  while (m < 11 && days >= monthLengths[m])
    days -= monthLengths[m++];

  if (month != nullptr)
    *month = m + 1;
  if (day != nullptr)
    *day = static_cast<int>(days) + 1;
  if (year != nullptr)
    *year = static_cast<int>(y);
  if (hour != nullptr)
    *hour = static_cast<int>(rest / 3600);
  if (minute != nullptr)
    *minute = static_cast<int>(rest % 3600 / 60);
  if (second != nullptr)
    *second = static_cast<int>(rest % 60);
  return 1;
}

char *ulBannerStr(char *buffer, const char *name, const char *version) {
  if (name == nullptr)
    name = "";
  if (version == nullptr)
    version = "";
  std::snprintf(buffer, ulBANNER_SIZE, "%s - V%s; %s %s (%s)\n%s\n", name, version, kFamilyName,
                kRelease, kDateCode, kNotice);
  keepBanner(buffer, name);
  return buffer;
}

void ulBanner(const char *name, const char *version) {
  char text[ulBANNER_SIZE];
  ulBannerStr(text, name, version);
  std::printf("%s", text);
}
