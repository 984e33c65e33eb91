// ulStrFmt.cpp: formatting into caller buffers, the layer's static buffers
// and pooled strings, and the format-string parser.
//
// The engine is the C library's vsnprintf, which already bounds its output
// and tells the length the whole output needs; ulSprintfVa2 turns that into
// the layer's convention (-1 and the size needed).
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "ulMem.h"
#include "ulStr.h"
#include "ulStrInternal.h"

namespace {

constexpr int kStaticMin = 512; // smallest size of the static buffers

// One conversion of a parsed format.
struct Conversion {
  int offset;     // index of its '%'
  int length;     // characters, '%' included
  int flags;      // ulSpFmt* flag bits
  int conversion; // conversion character
  int modifier;   // length modifier code, 0 for none
  int position;   // "n$" argument position, 0 for none
  int width;      // number, ulSpFmtNONE or ulSpFmtFROMARG
  int precision;  // number, ulSpFmtNONE or ulSpFmtFROMARG
};

// Reads decimal digits at f[i]; returns the value (saturated) and advances i.
int digits(const char *f, int &i) {
  long v = 0;
  for (; f[i] >= '0' && f[i] <= '9'; ++i)
    v = std::min(v * 10 + (f[i] - '0'), static_cast<long>(INT_MAX));
  return static_cast<int>(v);
}

// Reads "*" or "*n$" at f[i]: 1 when present (i advanced), 0 when absent,
// -1 for the position 0, which names no argument.
int starArgument(const char *f, int &i) {
  if (f[i] != '*')
    return 0;
  int j = i + 1;
  int k = j;
  int n = digits(f, k);
  if (k > j && f[k] == '$' && n == 0)
    return -1;
  i = (k > j && f[k] == '$') ? k + 1 : j;
  return 1;
}

// Parses the conversion whose '%' is at f[i]; returns the index behind it, or
// -1 when it is incomplete or unknown.
int parseOne(const char *f, int i, Conversion &c) {
  c = Conversion{i, 0, 0, 0, 0, 0, ulSpFmtNONE, ulSpFmtNONE};
  int j = i + 1;
  int k = j;
  int n = digits(f, k);
  if (k > j && f[k] == '$') {
    if (n == 0)
      return -1; // arguments count from 1
    c.position = n;
    j = k + 1;
  }
  // Flag characters, in the order of their bits.
  static constexpr char kFlags[] = "-+ #0'";
  for (const char *flag; f[j] != '\0' && (flag = std::strchr(kFlags, f[j])) != nullptr; ++j)
    c.flags |= 1 << (flag - kFlags);
  int star = starArgument(f, j);
  if (star < 0)
    return -1;
  if (star > 0)
    c.width = ulSpFmtFROMARG;
  else if (f[j] >= '1' && f[j] <= '9')
    c.width = digits(f, j);
  if (f[j] == '.') {
    ++j;
    star = starArgument(f, j);
    if (star < 0)
      return -1;
    c.precision = star > 0 ? ulSpFmtFROMARG : digits(f, j);
  }
  switch (f[j]) {
  case 'h':
    c.modifier = f[j + 1] == 'h' ? 'H' : 'h';
    j += f[j + 1] == 'h' ? 2 : 1;
    break;
  case 'l':
    c.modifier = f[j + 1] == 'l' ? 'q' : 'l';
    j += f[j + 1] == 'l' ? 2 : 1;
    break;
  case 'L':
  case 'j':
  case 'z':
  case 't':
  case 'q':
    c.modifier = f[j] == 'q' ? 'q' : f[j];
    ++j;
    break;
  default:
    break;
  }
  // C and S are the wide forms of c and s; m is the text of errno.
  if (f[j] == '\0' || std::strchr("diouxXeEfFgGaAcspnCSm%", f[j]) == nullptr)
    return -1;
  c.conversion = f[j];
  c.length = j + 1 - i;
  return j + 1;
}

} // namespace

// The parse: a count and the conversions behind it, in one heap block.
struct ulSpFmt {
  int count;               // conversions found
  Conversion *conversions; // count entries, in the same heap block behind this record
};

int ulSprintfVa2(char *buffer, int size, const char *format, va_list arguments, int *needed) {
  if (buffer == nullptr || size < 0)
    size = 0;
  int n = 0;
  if (format != nullptr) {
    va_list copy;
    va_copy(copy, arguments);
    n = std::vsnprintf(size > 0 ? buffer : nullptr, static_cast<size_t>(size), format, copy);
    va_end(copy);
  } else if (size > 0) {
    buffer[0] = '\0';
  }
  if (n < 0) {
    // An output error (an unconvertible wide character): the result is empty.
    if (size > 0)
      buffer[0] = '\0';
    n = 0;
  }
  if (needed != nullptr)
    *needed = n + 1;
  return n < size ? n : -1;
}

int ulSprintf(char *buffer, int size, const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int n = ulSprintfVa2(buffer, size, format, arguments, nullptr);
  va_end(arguments);
  return n;
}

char *ulSprintfStaticVa(const char *format, va_list arguments) {
  if (format == nullptr)
    return nullptr;
  ulstr::State &s = ulstr::state();
  if (s.fmtWork == nullptr) {
    s.fmtWork = static_cast<char *>(ulMemMalloc(kStaticMin, "ulStaticBuffer"));
    s.fmtWorkSize = kStaticMin;
  }
  int n;
  int needed = 0;
  while ((n = ulSprintfVa2(s.fmtWork, s.fmtWorkSize, format, arguments, &needed)) < 0) {
    // The arguments never point into the work buffer (only the result buffer
    // is handed out), so it can be replaced without keeping its content.
    int size = (needed + kStaticMin - 1) / kStaticMin * kStaticMin;
    ulMemFree(s.fmtWork);
    s.fmtWork = static_cast<char *>(ulMemMalloc(static_cast<size_t>(size), "ulStaticBuffer"));
    s.fmtWorkSize = size;
  }
  if (s.fmtResultSize < s.fmtWorkSize) {
    ulMemFree(s.fmtResult);
    s.fmtResult =
        static_cast<char *>(ulMemMalloc(static_cast<size_t>(s.fmtWorkSize), "ulStaticBuffer"));
    s.fmtResultSize = s.fmtWorkSize;
  }
  std::memcpy(s.fmtResult, s.fmtWork, static_cast<size_t>(n) + 1);
  return s.fmtResult;
}

char *ulSprintfStatic(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char *result = ulSprintfStaticVa(format, arguments);
  va_end(arguments);
  return result;
}

char *ulSprintfAllocVa(const char *format, va_list arguments) {
  if (format == nullptr)
    return nullptr;
  char small[256];
  int needed = 0;
  int n = ulSprintfVa2(small, sizeof small, format, arguments, &needed);
  char *p = ulStrAlloc(needed);
  if (n >= 0)
    std::memcpy(p, small, static_cast<size_t>(n) + 1);
  else
    ulSprintfVa2(p, needed, format, arguments, nullptr);
  return p;
}

char *ulSprintfAlloc(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char *result = ulSprintfAllocVa(format, arguments);
  va_end(arguments);
  return result;
}

void ulstr::releaseFormatBuffers() {
  State &s = stateV;
  ulMemFree(s.fmtWork);
  ulMemFree(s.fmtResult);
  s.fmtWork = s.fmtResult = nullptr;
  s.fmtWorkSize = s.fmtResultSize = 0;
}

// ---- Format parsing ---------------------------------------------------------

ulSpFmt *ulSpFmtParse(const char *format) {
  if (format == nullptr)
    return nullptr;
  Conversion c;
  int count = 0;
  for (int i = 0; format[i] != '\0';) {
    if (format[i] != '%') {
      ++i;
      continue;
    }
    i = parseOne(format, i, c);
    if (i < 0)
      return nullptr;
    ++count;
  }
  size_t bytes = sizeof(ulSpFmt) + sizeof(Conversion) * static_cast<size_t>(count);
  auto *parse = static_cast<ulSpFmt *>(ulMemMalloc(bytes, "ulSpFmt"));
  parse->count = 0;
  parse->conversions = reinterpret_cast<Conversion *>(parse + 1);
  for (int i = 0; format[i] != '\0';) {
    if (format[i] == '%')
      i = parseOne(format, i, parse->conversions[parse->count++]);
    else
      ++i;
  }
  return parse;
}

void ulSpFmtFree(ulSpFmt *parse) {
  ulMemFree(parse);
}

int ulSpFmtCount(const ulSpFmt *parse) {
  return parse != nullptr ? parse->count : 0;
}

namespace {
const Conversion *at(const ulSpFmt *parse, int i) {
  if (parse == nullptr || i < 0 || i >= parse->count)
    return nullptr;
  return &parse->conversions[i];
}
} // namespace

#define UL_SPFMT_ACCESSOR(name, field)                                                             \
  int name(const ulSpFmt *parse, int i) {                                                          \
    const Conversion *c = at(parse, i);                                                            \
    return c != nullptr ? c->field : -1;                                                           \
  }
UL_SPFMT_ACCESSOR(ulSpFmtOffset, offset)
UL_SPFMT_ACCESSOR(ulSpFmtLength, length)
UL_SPFMT_ACCESSOR(ulSpFmtFlags, flags)
UL_SPFMT_ACCESSOR(ulSpFmtConversion, conversion)
UL_SPFMT_ACCESSOR(ulSpFmtModifier, modifier)
UL_SPFMT_ACCESSOR(ulSpFmtPosition, position)
UL_SPFMT_ACCESSOR(ulSpFmtWidth, width)
UL_SPFMT_ACCESSOR(ulSpFmtPrecision, precision)
#undef UL_SPFMT_ACCESSOR
