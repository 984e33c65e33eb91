// ulStrCmp.cpp: comparison, search, abbreviation lookup, wildcard matching,
// case and blanks, number recognition.
//
// Case folding is that of the C locale on unsigned characters, so bytes above
// 127 compare as they are.
#include <cctype>
#include <cstring>

#include "ulBase.h"
#include "ulStr.h"
#include "ulStrInternal.h"

namespace {

inline int upper(char c) {
  return std::toupper(static_cast<unsigned char>(c));
}
inline int lower(char c) {
  return std::tolower(static_cast<unsigned char>(c));
}

struct Exact {
  static bool same(char a, char b) { return a == b; }
};
struct Folded {
  static bool same(char a, char b) { return upper(a) == upper(b); }
};

// Wildcard matching. The result is that of trying every way a "*" can
// stretch, but the search remembers only the latest "*": when a later
// character fails, that star takes one more character and the rest is tried
// again. An earlier star never needs to stretch further, because whatever it
// would take the latest star can take too. So the match costs at most
// pattern length times string length steps, whatever the input.
template <class Eq> bool match(const char *p, const char *s) {
  const char *star = nullptr;   // pattern position just behind the latest "*"
  const char *resume = nullptr; // string position where that star's run ends
  while (*s != '\0') {
    if (*p == '*') {
      while (*p == '*')
        ++p;
      if (*p == '\0')
        return true;
      star = p;
      resume = s;
    } else if (*p != '\0' && (*p == '?' || Eq::same(*p, *s))) {
      ++p;
      ++s;
    } else if (star != nullptr) {
      p = star;
      s = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*')
    ++p;
  return *p == '\0';
}

// Position of t in s, comparing with Eq; null when absent.
template <class Eq> char *search(const char *s, const char *t) {
  if (s == nullptr || t == nullptr)
    return nullptr;
  size_t ns = std::strlen(s);
  size_t nt = std::strlen(t);
  if (nt > ns)
    return nullptr;
  for (size_t i = 0; i + nt <= ns; ++i) {
    size_t k = 0;
    while (k < nt && Eq::same(s[i + k], t[k]))
      ++k;
    if (k == nt)
      return const_cast<char *>(s + i);
  }
  return nullptr;
}

// Abbreviation lookup: the key is read lower-cased; Eq compares it with the
// entries.
template <class Eq> int lookup(const char *key, const char *const *table, int n) {
  if (key == nullptr || table == nullptr)
    return -1;
  int found = -1;
  int prefixes = 0;
  for (int i = 0; i < n && table[i] != nullptr; ++i) {
    const char *e = table[i];
    size_t k = 0;
    while (key[k] != '\0' && Eq::same(static_cast<char>(lower(key[k])), e[k]))
      ++k;
    if (key[k] != '\0')
      continue;
    if (e[k] == '\0')
      return i;
    if (prefixes++ == 0)
      found = i;
  }
  return prefixes > 1 ? -2 : found;
}

} // namespace

// ---- Comparison and search --------------------------------------------------

int ulStrIcmp(const char *a, const char *b) {
  if (a == b)
    return 0;
  if (a == nullptr)
    return -1;
  if (b == nullptr)
    return 1;
  for (;; ++a, ++b) {
    int d = upper(*a) - upper(*b);
    if (d != 0 || *a == '\0')
      return d;
  }
}

int ulStrNicmp(const char *a, const char *b, int n) {
  if (a == b || n <= 0)
    return 0;
  if (a == nullptr)
    return -1;
  if (b == nullptr)
    return 1;
  for (int i = 0; i < n; ++i) {
    if (a[i] == '\0' || b[i] == '\0') {
      if (a[i] == b[i])
        return 0;
      return a[i] == '\0' ? -1 : 1;
    }
    int d = upper(a[i]) - upper(b[i]);
    if (d != 0)
      return d;
  }
  return 0;
}

int ulStrEqu(const char *a, const char *b) {
  if (a == b)
    return 1;
  return a != nullptr && b != nullptr && std::strcmp(a, b) == 0 ? 1 : 0;
}

int ulStrIequ(const char *a, const char *b) {
  return ulStrIcmp(a, b) == 0 ? 1 : 0;
}

char *ulStrChr(const char *s, int c) {
  return s == nullptr ? nullptr : const_cast<char *>(std::strchr(s, c));
}

char *ulStrRch(const char *s, int c) {
  return s == nullptr ? nullptr : const_cast<char *>(std::strrchr(s, c));
}

char *ulStrBrk(const char *s, const char *set) {
  if (s == nullptr || set == nullptr)
    return nullptr;
  return const_cast<char *>(std::strpbrk(s, set));
}

char *ulStrSearch(const char *s, const char *t) {
  return search<Exact>(s, t);
}

char *ulStrISearch(const char *s, const char *t) {
  return search<Folded>(s, t);
}

int ulStrIndex(const char *key, const char *const *table, int n) {
  return lookup<Exact>(key, table, n);
}

int ulStrIindex(const char *key, const char *const *table, int n) {
  return lookup<Folded>(key, table, n);
}

int ulStrMat(const char *pattern, const char *s) {
  if (pattern == nullptr || s == nullptr)
    return pattern == s ? 1 : 0;
  return match<Exact>(pattern, s) ? 1 : 0;
}

int ulStrIMat(const char *pattern, const char *s) {
  if (pattern == nullptr || s == nullptr)
    return pattern == s ? 1 : 0;
  return match<Folded>(pattern, s) ? 1 : 0;
}

// ---- Case and blanks --------------------------------------------------------

char *ulStrLoc(char *s) {
  if (s != nullptr)
    for (char *p = s; *p != '\0'; ++p)
      *p = static_cast<char>(lower(*p));
  return s;
}

char *ulStrUpc(char *s) {
  if (s != nullptr)
    for (char *p = s; *p != '\0'; ++p)
      *p = static_cast<char>(upper(*p));
  return s;
}

char *ulStrBlk(const char *s) {
  if (s == nullptr)
    return nullptr;
  while (ulCharIsSpace(*s))
    ++s;
  return const_cast<char *>(s);
}

char *ulStrTrim(char *s) {
  if (s == nullptr || *s == '\0')
    return s;
  size_t n = std::strlen(s);
  while (n > 1 && ulCharIsSpace(s[n - 1]))
    --n;
  s[n] = '\0';
  return ulStrBlk(s);
}

char *ulStrTrimAlloc(const char *s) {
  if (s == nullptr)
    return nullptr;
  const char *first = ulStrBlk(s);
  size_t n = std::strlen(first);
  while (n > 0 && ulCharIsSpace(first[n - 1]))
    --n;
  char *p = ulStrAlloc(static_cast<int>(n) + 1);
  if (n != 0)
    std::memcpy(p, first, n);
  p[n] = '\0';
  return p;
}

int ulStrIsnum(const char *s) {
  if (s == nullptr || *s == '\0')
    return 0;
  bool sign = true, point = true, exponent = true;
  for (const char *p = s; *p != '\0'; ++p) {
    char c = *p;
    if (c >= '0' && c <= '9') {
      sign = false;
    } else if (c == '.' && point) {
      point = false;
      sign = false;
    } else if ((c == 'e' || c == 'E') && exponent && p != s && p[1] != '\0') {
      point = false;
      exponent = false;
      sign = true;
    } else if ((c == '+' || c == '-') && sign && p[1] != '\0') {
      sign = false;
    } else {
      return 0;
    }
  }
  return 1;
}
