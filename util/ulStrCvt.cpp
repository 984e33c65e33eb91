// ulStrCvt.cpp: escaping control and non-ASCII characters, and reading the
// escapes back.
//
// The two directions are built to be exact inverses: the escaper emits only
// plain characters that the reader copies unchanged (never an unescaped
// double quote, never a lone backslash), named escapes, and octal escapes of
// exactly three digits, so a digit that follows an escape is never taken into
// it.
#include <cstring>

#include "ulBase.h"
#include "ulStr.h"
#include "ulStrInternal.h"

namespace {

// The escape of character c into out (at most 4 bytes); returns its length.
int escape(unsigned char c, int chrset, char *out) {
  // Characters with a named escape, and the letter that names each.
  static constexpr char kPlain[] = "\b\t\n\v\f\r\"\\";
  static constexpr char kNamed[] = "btnvfr\"\\";
  const char *hit = c != 0 ? std::strchr(kPlain, c) : nullptr;
  const char named = hit != nullptr ? kNamed[hit - kPlain] : '\0';
  if (named != 0) {
    out[0] = '\\';
    out[1] = named;
    return 2;
  }
  bool printable = (c >= 32 && c < 127) || (chrset == 2 && c >= 160);
  if (printable) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  out[0] = '\\';
  out[1] = static_cast<char>('0' + (c >> 6));
  out[2] = static_cast<char>('0' + ((c >> 3) & 7));
  out[3] = static_cast<char>('0' + (c & 7));
  return 4;
}

// The character that the escape "\" next stands for, reading further digits
// at p (advanced past them); -1 when it is not an escape.
int escapedValue(char next, const char *&p) {
  // Named escapes: the escaper's, and the bell.
  static constexpr char kNames[] = "abtnvfr\"\\";
  static constexpr char kValues[] = "\a\b\t\n\v\f\r\"\\";
  if (const char *name = std::strchr(kNames, next); name != nullptr && next != '\0')
    return static_cast<unsigned char>(kValues[name - kNames]);
  if (next >= '0' && next <= '7') {
    unsigned v = static_cast<unsigned>(next - '0');
    for (int k = 0; k < 2 && *p >= '0' && *p <= '7'; ++k, ++p)
      v = v * 8 + static_cast<unsigned>(*p - '0');
    return static_cast<int>(v & 0xFF);
  }
  if (next == 'x' && ulHexDigitValue(*p) >= 0) {
    int v = ulHexDigitValue(*p++);
    if (ulHexDigitValue(*p) >= 0)
      v = v * 16 + ulHexDigitValue(*p++);
    return v;
  }
  return -1;
}

} // namespace

char *ulStrCvtToAscii(const char *src, char *dst, int size) {
  if (src == nullptr || dst == nullptr || size <= 0)
    return nullptr;
  int chrset = ulstr::state().chrset;
  int n = 0;
  for (const char *p = src; *p != '\0'; ++p) {
    char e[4];
    int len = escape(static_cast<unsigned char>(*p), chrset, e);
    if (n + len > size - 1)
      break;
    std::memcpy(dst + n, e, static_cast<size_t>(len));
    n += len;
  }
  dst[n] = '\0';
  return dst;
}

char *ulStrCvtToAsciiAlloc(const char *src) {
  if (src == nullptr)
    return nullptr;
  int chrset = ulstr::state().chrset;
  int n = 0;
  char e[4];
  for (const char *p = src; *p != '\0'; ++p)
    n += escape(static_cast<unsigned char>(*p), chrset, e);
  char *dst = ulStrAlloc(n + 1);
  return ulStrCvtToAscii(src, dst, n + 1);
}

char *ulStrCvtFromLiteral(const char *src, char *dst, int size) {
  if (src == nullptr || dst == nullptr || size <= 0)
    return nullptr;
  int n = 0;
  const int room = size - 1;
  const char *p = src;
  // Stores one character; false when it does not fit.
  auto put = [&](char c) {
    if (n >= room)
      return false;
    dst[n++] = c;
    return true;
  };
  while (*p != '\0') {
    char c = *p;
    if (c == '"') { // an unescaped quote delimits a literal and is dropped
      ++p;
      continue;
    }
    if (c != '\\' || p[1] == '\0') {
      if (!put(c))
        break;
      ++p;
      continue;
    }
    char next = p[1];
    p += 2;
    int value = escapedValue(next, p);
    if (value < 0) { // not an escape: the backslash stays with its character
      value = put('\\') ? next : 0;
    }
    if (value == '\0') // an escaped zero ends the text (as does a full dst)
      break;
    if (!put(static_cast<char>(value)))
      break;
  }
  dst[n] = '\0';
  return dst;
}

char *ulStrCvtFromLiteralAlloc(const char *src) {
  if (src == nullptr)
    return nullptr;
  // Reading back never lengthens a text.
  int size = static_cast<int>(std::strlen(src)) + 1;
  return ulStrCvtFromLiteral(src, ulStrAlloc(size), size);
}

int ulStrCvtChrset(int set) {
  if (set != 1 && set != 2)
    return 0;
  ulstr::state().chrset = set;
  return 1;
}
