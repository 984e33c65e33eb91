// ulStrTok.cpp: tokenisers (plain, quoted, into string buffers), writing a
// token back, and the scanner with its process-wide cursor.
//
// Each tokeniser is written once over a "sink" that receives the token's
// characters: a fixed caller buffer that silently drops what does not fit, or
// a string buffer that grows. So the bounded and unbounded forms cannot drift
// apart: a bounded token is always a prefix of the unbounded one, and both
// stop at the same place in the text.
#include <cstring>

#include "ulMem.h"
#include "ulStr.h"
#include "ulStrInternal.h"

using ulstr::inSet;

namespace {

// A caller's token buffer of size bytes: keeps the first size - 1 characters.
class FixedSink {
public:
  FixedSink(char *token, int size)
      : token_(size > 0 ? token : nullptr), room_(size > 0 ? size - 1 : 0) {
    if (token_ != nullptr)
      token_[0] = '\0';
  }
  void put(char c) {
    if (n_ < room_)
      token_[n_++] = c;
  }
  void finish() {
    if (token_ != nullptr)
      token_[n_] = '\0';
  }

private:
  char *token_;
  int room_;
  int n_ = 0;
};

// A string buffer, emptied first: keeps every character.
class BufSink {
public:
  explicit BufSink(ulStrBuf *buffer) : buffer_(buffer) { ulStrBufClear(buffer_); }
  void put(char c) { ulStrBufAppendChar(buffer_, c); }
  void finish() {}

private:
  ulStrBuf *buffer_;
};

// Skips the delimiters in front of a token. Null (with the sink finished,
// so the token is empty) when s is null or holds no further token.
template <class Sink> const char *tokenStart(const char *s, Sink &out, const char *delimiters) {
  if (s != nullptr) {
    while (inSet(delimiters, *s))
      ++s;
    if (*s != '\0')
      return s;
  }
  out.finish();
  return nullptr;
}

template <class Sink> char *plainToken(const char *s, Sink &out, const char *delimiters) {
  s = tokenStart(s, out, delimiters);
  if (s == nullptr)
    return nullptr;
  for (; *s != '\0' && !inSet(delimiters, *s); ++s)
    out.put(*s);
  out.finish();
  return const_cast<char *>(s);
}

template <class Sink> char *quotedToken(const char *s, Sink &out, const char *delimiters) {
  s = tokenStart(s, out, delimiters);
  if (s == nullptr)
    return nullptr;
  bool quoted = *s == '"';
  if (quoted)
    ++s;
  while (*s != '\0') {
    char c = *s;
    if (quoted && c == '"') {
      ++s; // the closing quote is dropped
      break;
    }
    if (!quoted && inSet(delimiters, c))
      break;
    if (c == '\\') {
      char next = s[1];
      if (next == '\\' || next == '"') {
        out.put(next);
        s += 2;
      } else if (next == '\0' || (!quoted && inSet(delimiters, next))) {
        out.put('\\'); // nothing to escape: the backslash stays
        ++s;
      } else {
        out.put('\\');
        out.put(next);
        s += 2;
      }
      continue;
    }
    out.put(c);
    ++s;
  }
  while (inSet(delimiters, *s))
    ++s;
  out.finish();
  return const_cast<char *>(s);
}

} // namespace

char *ulStrTok(const char *s, char *token, int size, const char *delimiters) {
  FixedSink out(token, size);
  return plainToken(s, out, delimiters);
}

char *ulStrTokQuote(const char *s, char *token, int size, const char *delimiters) {
  FixedSink out(token, size);
  return quotedToken(s, out, delimiters);
}

char *ulStrBufTok(const char *s, ulStrBuf *buffer, const char *delimiters) {
  BufSink out(buffer);
  return plainToken(s, out, delimiters);
}

char *ulStrBufTokQuote(const char *s, ulStrBuf *buffer, const char *delimiters) {
  BufSink out(buffer);
  return quotedToken(s, out, delimiters);
}

const char *ulStrBufUntokQuote(const char *token, ulStrBuf *buffer, int flags,
                               const char *delimiters) {
  const char *t = token != nullptr ? token : "";
  bool hasDelimiters = delimiters != nullptr && delimiters[0] != '\0';
  if (hasDelimiters && buffer->length > 0 && !inSet(delimiters, buffer->text[buffer->length - 1]))
    ulStrBufAppendChar(buffer, delimiters[0]);
  bool escape = (flags & ulStrUNTOK_QUOTE) != 0;
  bool quote = false;
  if (escape) {
    quote = *t == '\0';
    for (const char *p = t; *p != '\0' && !quote; ++p)
      quote = inSet(delimiters, *p);
  }
  if (quote)
    ulStrBufAppendChar(buffer, '"');
  for (const char *p = t; *p != '\0'; ++p) {
    if (escape && (*p == '"' || *p == '\\'))
      ulStrBufAppendChar(buffer, '\\');
    ulStrBufAppendChar(buffer, *p);
    if ((flags & ulStrUNTOK_DOLLAR) != 0 && *p == '$')
      ulStrBufAppendChar(buffer, '$');
  }
  if (quote)
    ulStrBufAppendChar(buffer, '"');
  return token;
}

// ---- Scanner ----------------------------------------------------------------

char *ulStrLex(const char *s, char *token, int size, const char *delimiters, const char *skip) {
  ulstr::State &st = ulstr::state();
  if (s != nullptr) {
    // The scan runs over a copy, so the caller may change or free its text.
    size_t n = std::strlen(s) + 1;
    if (n > st.lexTextSize) {
      ulMemFree(st.lexText);
      st.lexText = static_cast<char *>(ulMemMalloc(n, "ulStrLex"));
      st.lexTextSize = n;
    }
    std::memcpy(st.lexText, s, n);
    st.lexCursor = 0;
  }
  if (st.lexText == nullptr)
    return nullptr;
  const char *p = st.lexText + st.lexCursor;
  while (inSet(skip, *p))
    ++p;
  st.lexCursor = static_cast<size_t>(p - st.lexText);
  if (*p == '\0')
    return nullptr;

  char *result;
  int limit; // characters the token may take from the text
  if (token != nullptr) {
    result = token;
    limit = size > 1 ? size - 1 : 1; // always move on, even when nothing can be kept
  } else {
    if (st.lexToken == nullptr)
      st.lexToken = ulStrBufCreate(64);
    ulStrBufClear(st.lexToken);
    result = nullptr;
    limit = -1;
  }
  FixedSink fixed(token, size);
  auto put = [&](char c) {
    if (token != nullptr)
      fixed.put(c);
    else
      ulStrBufAppendChar(st.lexToken, c);
  };
  if (inSet(delimiters, *p)) {
    put(*p++);
  } else {
    for (int n = 0; *p != '\0' && !inSet(delimiters, *p) && n != limit; ++n)
      put(*p++);
  }
  fixed.finish();
  st.lexCursor = static_cast<size_t>(p - st.lexText);
  return result != nullptr ? result : st.lexToken->text;
}

int ulStrUnlexdelim(int c) {
  ulstr::State &st = ulstr::state();
  if (st.lexText == nullptr || st.lexCursor == 0 ||
      st.lexText[st.lexCursor - 1] != static_cast<char>(c))
    return 0;
  --st.lexCursor;
  return 1;
}

void ulstr::releaseLexBuffers() {
  State &s = stateV;
  ulMemFree(s.lexText);
  s.lexText = nullptr;
  s.lexTextSize = 0;
  s.lexCursor = 0;
  ulStrBufDestroy(s.lexToken);
  s.lexToken = nullptr;
}
