// ulTk.cpp: the word reader ulTklex and the line reader ulDufsFgets.
//
// Words are read character by character (they are short: most are one
// keyword letter); lines go through fgets without the stream lock where the C
// library offers that, since taking the lock once per line costs as much as
// copying a short line.
#include "ulTk.h"

#include <cerrno>
#include <cstdint>

namespace {

// fgets, unlocked where the C library has that variant.
inline char *readLine(char *buffer, int size, FILE *fp) {
#if defined(__GLIBC__)
  return fgets_unlocked(buffer, size, fp);
#else
  return std::fgets(buffer, size, fp);
#endif
}

inline bool streamError(FILE *fp) {
#if defined(__GLIBC__)
  return ferror_unlocked(fp) != 0;
#else
  return std::ferror(fp) != 0;
#endif
}

// Membership in a set of characters given as text. The characters below 64
// (the blanks and line ends every caller uses) go into a bit mask, tested
// with a shift; the text is scanned only for a character of 64 or above when
// the set holds one. EOF and the NUL byte are never members.
class CharSet {
public:
  explicit CharSet(const char *set) {
    for (const char *p = set != nullptr ? set : ""; *p != '\0'; ++p) {
      const auto u = static_cast<unsigned char>(*p);
      if (u < 64)
        low_ |= uint64_t{1} << u;
      else
        high_ = set;
    }
  }
  bool has(int c) const {
    if (static_cast<unsigned int>(c) < 64)
      return (low_ >> c) & 1;
    return c != EOF && high_ != nullptr && scan(c);
  }

private:
  bool scan(int c) const {
    for (const char *p = high_; *p != '\0'; ++p)
      if (static_cast<unsigned char>(*p) == c)
        return true;
    return false;
  }

  uint64_t low_ = 0;
  const char *high_ = nullptr; // the set's text when it has characters >= 64
};

// The end of a line read into buffer (n characters before the terminator,
// n < size): a CR LF line end becomes LF, also when the buffer filled up
// right after the CR and the LF is still in the stream. The length is
// counted byte by byte: the wide loads of strlen, right after fgets has
// copied the line, wait for the copy's stores to complete.
char *foldLineEnd(char *buffer, int size, FILE *fp) {
  size_t n = 0;
  while (buffer[n] != '\0')
    ++n;
  if (n >= 2 && buffer[n - 2] == '\r' && buffer[n - 1] == '\n') {
    buffer[n - 2] = '\n';
    buffer[n - 1] = '\0';
  } else if (n == static_cast<size_t>(size - 1) && buffer[n - 1] == '\r') {
    int d = getc_unlocked(fp);
    if (d == '\n')
      buffer[n - 1] = '\n';
    else if (d != EOF)
      ungetc(d, fp);
  }
  return buffer;
}

} // namespace

int ulTklex(FILE *fp, char *buffer, int size, const char *brk, const char *skip,
            const ulTkKeyword *keywords) {
  if (buffer == nullptr || size < 1)
    return -1;
  buffer[0] = '\0';
  if (fp == nullptr)
    return -1;

  const CharSet skipSet(skip);
  const CharSet brkSet(brk);
  int c = ulTkGetc(fp);
  while (c != EOF && skipSet.has(c))
    c = ulTkGetc(fp);
  if (c == EOF)
    return -1;

  int length = 0;
  const int keep = size - 1;
  if (brkSet.has(c)) {
    // A break character that is not skipped stands as a word of its own.
    if (keep > 0)
      buffer[length++] = static_cast<char>(c);
  } else {
    while (c != EOF && !brkSet.has(c)) {
      if (length < keep)
        buffer[length++] = static_cast<char>(c);
      c = ulTkGetc(fp);
    }
    if (c != EOF)
      ungetc(c, fp);
  }
  buffer[length] = '\0';

  // Keywords are short: compare inline rather than through memcmp.
  for (const ulTkKeyword *k = keywords; k != nullptr; k = k->next) {
    if (k->name == nullptr || k->length != length)
      continue;
    int i = 0;
    while (i < length && k->name[i] == buffer[i])
      ++i;
    if (i == length)
      return k->id;
  }
  return 0;
}

char *ulDufsFgets(char *buffer, int size, FILE *fp) {
  if (buffer == nullptr || size < 2 || fp == nullptr)
    return nullptr;
  if (readLine(buffer, size, fp) == nullptr)
    return nullptr;
  return foldLineEnd(buffer, size, fp);
}

char *ulDufsFgetsAfter(int c, char *buffer, int size, FILE *fp) {
  if (c == EOF)
    return ulDufsFgets(buffer, size, fp);
  if (buffer == nullptr || size < 2 || fp == nullptr) {
    if (fp != nullptr)
      ungetc(c, fp);
    return nullptr;
  }
  buffer[0] = static_cast<char>(c);
  buffer[1] = '\0';
  if (c == '\n')
    return buffer;
  if (size > 2) {
    // fgets behind a pushed-back c gives null only for a read error during
    // the call, since c itself counts as read. A null here is that error, or
    // the end of the file with nothing read; the two differ in the error
    // flag, or in the end-of-file flag when the error flag was set before.
    const bool hadError = streamError(fp);
    buffer[size - 1] = '\0'; // a failed fgets may leave its text unterminated
    if (readLine(buffer + 1, size - 1, fp) == nullptr && streamError(fp) && errno != EAGAIN &&
        !(hadError && std::feof(fp) != 0))
      return nullptr;
  }
  return foldLineEnd(buffer, size, fp);
}
