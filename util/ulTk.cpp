// ulTk.cpp: the word reader ulTklex and the line reader ulDufsFgets.
#include "ulTk.h"

#include <cstring>

namespace {

// Reads one character, folding a CR LF pair into LF. A CR not followed by LF
// is returned as itself (the character after it goes back into the stream).
inline int nextChar(FILE *fp) {
  int c = getc_unlocked(fp);
  if (c == '\r') {
    int d = getc_unlocked(fp);
    if (d == '\n')
      return '\n';
    if (d != EOF)
      ungetc(d, fp);
  }
  return c;
}

// Membership in a set of characters given as text. The sets of the callers
// are a few characters long, so an inline scan beats a table or a library
// call. The NUL byte is never a member: it ends the set's text.
class CharSet {
public:
  explicit CharSet(const char *set) : set_(set != nullptr ? set : "") {}
  bool has(int c) const {
    for (const char *p = set_; *p != '\0'; ++p)
      if (static_cast<unsigned char>(*p) == c)
        return true;
    return false;
  }

private:
  const char *set_;
};

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
  int c = nextChar(fp);
  while (c != EOF && skipSet.has(c))
    c = nextChar(fp);
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
      c = nextChar(fp);
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
  if (std::fgets(buffer, size, fp) == nullptr)
    return nullptr;
  size_t n = std::strlen(buffer);
  if (n >= 2 && buffer[n - 2] == '\r' && buffer[n - 1] == '\n') {
    buffer[n - 2] = '\n';
    buffer[n - 1] = '\0';
  } else if (n == static_cast<size_t>(size - 1) && buffer[n - 1] == '\r') {
    // The buffer filled up right after a CR: when the LF follows, the pair is
    // the line end and is stored as LF in the CR's place.
    int d = getc_unlocked(fp);
    if (d == '\n')
      buffer[n - 1] = '\n';
    else if (d != EOF)
      ungetc(d, fp);
  }
  return buffer;
}
