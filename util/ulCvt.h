// ulCvt.h: number and time conversions, and the start-up banner.
//
// The conversions turn numbers into the texts that messages and files print:
//
//   printf("%s symbols", ulCvtIntStr(n));
//
// ulCvtIntStr, ulCvtLongStr and ulCvtFloatStr share one 32-byte result
// buffer of this module; ulCvtTimeStr has a second one. Each call overwrites
// its buffer, so a caller that needs two results at once copies the first
// (ulStrCpy). The callers never free these results.
//
// ulCvtTime splits a count of seconds since the start of 1970 (UTC) into
// calendar parts, with the leap-year rule of the Gregorian calendar.
//
// Every command of the product family prints a two-line banner when it
// starts: its own name and version, then the family's name, release and
// release date code, and on the second line the maker's notice. ulBanner
// prints it on standard output; ulBannerStr only builds it. Both keep an
// owned copy of the last banner and program name in ulCurrentBannerV and
// ulCurrentNameV (pooled strings, released at exit).
//
// Nothing here reports errors or is thread-safe: the buffers are process-wide.
#pragma once

// Room a caller of ulBannerStr provides: the banner is cut to size - 1
// characters when a very long name or version would not fit.
inline constexpr int ulBANNER_SIZE = 512;

// The last banner built (owned pooled string, or null before the first banner).
extern char *ulCurrentBannerV;
// The program name given to the last banner (owned pooled string, or null).
extern char *ulCurrentNameV;

// "%d" of n, in the shared conversion buffer.
const char *ulCvtIntStr(int n);

// "%ld" of n, in the shared conversion buffer.
const char *ulCvtLongStr(long n);

// "%f" of x with trailing zeros and then a trailing point removed: 2.5 gives
// "2.5", 3.0 gives "3", 0.0 gives "0" and -0.0 "-0". A value whose fixed-point
// text would not fit the 32-byte buffer (beyond about 1e23) is given in
// "%.17g" form.
// Not-a-number and infinities print as the C library prints them with "%f".
const char *ulCvtFloatStr(double x);

// "%02d:%02d:%02d.%02d" of a time in hundredths of a second: hours, minutes,
// seconds and hundredths (360000 gives "01:00:00.00"). In its own buffer.
// A negative time prints with a leading minus sign.
const char *ulCvtTimeStr(long hundredths);

// Splits seconds since 1970-01-01 00:00:00 UTC into month (1 to 12), day
// (1 to 31), four-digit year, hour, minute and second. Any output pointer may
// be null and is then skipped. Negative counts give dates before 1970.
// Returns 1.
int ulCvtTime(long seconds, int *month, int *day, int *year, int *hour, int *minute, int *second);

// Builds the banner of the program name at version into buffer, which must
// hold ulBANNER_SIZE bytes, and keeps copies of text and name (replacing the
// previous ones). Returns buffer. A null name or version prints as "".
char *ulBannerStr(char *buffer, const char *name, const char *version);

// Builds the banner as ulBannerStr does, keeps it, and prints it on standard
// output (the text ends with its own line end).
void ulBanner(const char *name, const char *version);
