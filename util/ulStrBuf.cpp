// ulStrBuf.cpp: growable string buffers.
//
// The record comes from the fixed-size free lists, the text is a pooled
// string of capacity + 1 bytes. Growing doubles the length needed, so a run
// of appends costs amortised constant time per character.
#include <cstdarg>
#include <cstring>

#include "ulMem.h"
#include "ulStr.h"
#include "ulStrInternal.h"

namespace {

// Appends n characters at s. s may point into the buffer's own text: the new
// text is filled before the old one is freed.
void append(ulStrBuf *b, const char *s, size_t n) {
  if (n == 0)
    return;
  size_t needed = static_cast<size_t>(b->length) + n;
  if (needed > static_cast<size_t>(b->capacity)) {
    int capacity = static_cast<int>(2 * needed);
    char *text = ulStrAlloc(capacity + 1);
    std::memcpy(text, b->text, static_cast<size_t>(b->length));
    std::memcpy(text + b->length, s, n);
    ulStrFree(b->text);
    b->text = text;
    b->capacity = capacity;
  } else {
    std::memmove(b->text + b->length, s, n);
  }
  b->length = static_cast<int32_t>(needed);
  b->text[needed] = '\0';
}

} // namespace

ulStrBuf *ulStrBufCreate(int capacity) {
  ulstr::state();
  if (capacity < 0)
    capacity = 0;
  auto *b = static_cast<ulStrBuf *>(ulMemFlAlloc(sizeof(ulStrBuf), "ulStrBuf"));
  b->capacity = capacity;
  b->length = 0;
  b->text = ulStrAlloc(capacity + 1);
  b->text[0] = '\0';
  return b;
}

void ulStrBufDestroy(ulStrBuf *buffer) {
  if (buffer == nullptr)
    return;
  ulStrFree(buffer->text);
  ulMemFlFree(buffer, sizeof(ulStrBuf));
}

void ulStrBufClear(ulStrBuf *buffer) {
  buffer->length = 0;
  buffer->text[0] = '\0';
}

int ulStrBufLength(const ulStrBuf *buffer) {
  return buffer->length;
}

char *ulStrBufString(const ulStrBuf *buffer) {
  return buffer->text;
}

void ulStrBufAppend(ulStrBuf *buffer, const char *s) {
  if (s != nullptr)
    append(buffer, s, std::strlen(s));
}

void ulStrBufAppendN(ulStrBuf *buffer, const char *s, int n) {
  if (s != nullptr && n > 0)
    append(buffer, s, strnlen(s, static_cast<size_t>(n)));
}

void ulStrBufAppendChar(ulStrBuf *buffer, int c) {
  char ch = static_cast<char>(c);
  if (ch != '\0')
    append(buffer, &ch, 1);
}

void ulStrBufAppendStrings(ulStrBuf *buffer, ...) {
  va_list arguments;
  va_start(arguments, buffer);
  while (const char *s = va_arg(arguments, const char *))
    ulStrBufAppend(buffer, s);
  va_end(arguments);
}

void ulStrBufRemoveN(ulStrBuf *buffer, int n) {
  if (n <= 0)
    return;
  if (n >= buffer->length)
    n = buffer->length;
  buffer->length -= n;
  buffer->text[buffer->length] = '\0';
}
