// vqReadLine.cpp: logical lines of a block file and the fields of a record.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sbMsg.h"
#include "vqReadInternal.h"
#include "vqp.h"

namespace {

// Appends one physical line (up to and with its line feed) of stream to
// buffer, keeping at most room characters of it; the rest of the line is
// read and dropped. A zero byte inside the line is kept as a blank, so that
// it neither cuts the text nor joins the line to the next one; *nul is set
// when there was one. false when nothing at all could be read (end of file).
bool readPhysical(FILE *stream, ulStrBuf *buffer, int room, bool *nul) {
  char chunk[1024];
  bool any = false;
  for (;;) {
    // fgets does not tell how much it read; the last zero byte of a chunk
    // filled with ones beforehand is its terminator.
    std::memset(chunk, 1, sizeof chunk);
    if (std::fgets(chunk, sizeof chunk, stream) == nullptr)
      break;
    any = true;
    const int n =
        static_cast<int>(static_cast<const char *>(memrchr(chunk, '\0', sizeof chunk)) - chunk);
    if (static_cast<int>(std::strlen(chunk)) < n) {
      std::replace(chunk, chunk + n, '\0', ' ');
      *nul = true;
    }
    if (room > 0)
      ulStrBufAppendN(buffer, chunk, n < room ? n : room);
    room -= n;
    if (n > 0 && chunk[n - 1] == '\n')
      break;
  }
  return any;
}

// Removes the carriage return directly before the final line feed (or at
// the end of a last line without line feed) of the text of buffer.
void dropCR(ulStrBuf *buffer) {
  char *text = ulStrBufString(buffer);
  int n = ulStrBufLength(buffer);
  if (n >= 2 && text[n - 1] == '\n' && text[n - 2] == '\r') {
    ulStrBufRemoveN(buffer, 2);
    ulStrBufAppendChar(buffer, '\n');
  } else if (n >= 1 && text[n - 1] == '\r') {
    ulStrBufRemoveN(buffer, 1);
  }
}

bool isEmptyLine(const ulStrBuf *buffer) {
  int n = ulStrBufLength(buffer);
  return n == 0 || (n == 1 && ulStrBufString(buffer)[0] == '\n');
}

// One logical line of stream into buffer (vqReadContLine); *nul is set when
// one of its physical lines held a zero byte.
int readContLine(ulStrBuf *buffer, FILE *stream, int *lines, bool *nul) {
  ulStrBufClear(buffer);
  if (stream == nullptr)
    return 0;
  int count = 0;
  do {
    ulStrBufClear(buffer);
    if (!readPhysical(stream, buffer, vqread::kLineMax, nul)) {
      if (lines != nullptr)
        *lines += count;
      return 0;
    }
    ++count;
    dropCR(buffer);
  } while (isEmptyLine(buffer));

  ulStrBuf *more = nullptr; // made at the first continuation line
  for (int joined = 0; joined < vqread::kContinuationMax; ++joined) {
    int c = std::getc(stream);
    if (c != '+') {
      if (c != EOF)
        std::ungetc(c, stream);
      break;
    }
    if (more == nullptr)
      more = ulStrBufCreate(80);
    ulStrBufClear(more);
    ulStrBufAppendChar(more, '+');
    readPhysical(stream, more, vqread::kLineMax, nul);
    ++count;
    dropCR(more);
    const char *text = ulStrBufString(more);
    int n = ulStrBufLength(more);
    // "+" and its line feed alone add nothing; so does a "+" at the very end.
    if (n <= 1 || (n == 2 && text[1] == '\n'))
      continue;
    int length = ulStrBufLength(buffer);
    if (length > 0 && ulStrBufString(buffer)[length - 1] == '\n')
      ulStrBufRemoveN(buffer, 1);
    int room = vqread::kLineMax - ulStrBufLength(buffer);
    if (room > 0)
      ulStrBufAppendN(buffer, text + 2, n - 2 < room ? n - 2 : room);
  }
  ulStrBufDestroy(more);
  if (lines != nullptr)
    *lines += count;
  return 1;
}

} // namespace

int vqReadContLine(ulStrBuf *buffer, FILE *stream, BlockFileId file, int *lines) {
  if (stream == nullptr)
    stream = vqpFileStream(file);
  bool nul = false;
  return readContLine(buffer, stream, lines, &nul);
}

char *vqRemoveCR(char *line) {
  size_t n = std::strlen(line);
  if (n > 0 && line[n - 1] == '\n')
    line[--n] = '\0';
  if (n > 0 && line[n - 1] == '\r')
    line[--n] = '\0';
  return line;
}

char *vqTrimTrail(char *text) {
  size_t n = std::strlen(text);
  while (n > 1 && text[n - 1] == ' ')
    text[--n] = '\0';
  return text;
}

namespace vqread {

bool nextLine(Reader &r) {
  bool nul = false;
  int read =
      readContLine(r.line, r.stream != nullptr ? r.stream : vqpFileStream(0), &r.lineNo, &nul);
  r.pos = ulStrBufString(r.line);
  if (nul)
    note(r.block, kWarning, sbMsgBuild(2262, lineText(r)));
  return read != 0;
}

void missingField(Reader &r) {
  note(r.block, kError, sbMsgBuild(2252, lineText(r)));
}

namespace {

// The next token of at most kTokenMax characters into token; false when the
// line holds none.
bool nextToken(Reader &r, char (&token)[kTokenMax + 1]) {
  const char *p = r.pos;
  while (*p == ' ')
    ++p;
  int n = 0;
  while (n < kTokenMax && p[n] != '\0' && p[n] != ' ' && p[n] != '\n')
    ++n;
  if (n == 0) {
    r.pos = p;
    return false;
  }
  std::memcpy(token, p, static_cast<size_t>(n));
  token[n] = '\0';
  r.pos = p + n;
  return true;
}

} // namespace

bool nextLong(Reader &r, long *value) {
  const char *p = r.pos;
  while (*p == ' ')
    ++p;
  // The common case, a plain decimal number, is read in place; anything
  // else goes through strtol on a copy of the token.
  const char *digits = p + (*p == '-' || *p == '+');
  int n = 0;
  unsigned long v = 0;
  bool overflow = false;
  while (digits + n < p + kTokenMax && digits[n] >= '0' && digits[n] <= '9') {
    unsigned long next = v * 10 + static_cast<unsigned long>(digits[n] - '0');
    overflow = overflow || next / 10 != v || next > static_cast<unsigned long>(LONG_MAX);
    v = next;
    ++n;
  }
  const char *end = digits + n;
  if (n > 0 && !overflow && (*end == ' ' || *end == '\n' || *end == '\0')) {
    *value = *p == '-' ? -static_cast<long>(v) : static_cast<long>(v);
    r.pos = end;
    return true;
  }
  char token[kTokenMax + 1];
  if (!nextToken(r, token))
    return false;
  char *stop = nullptr;
  long parsed = std::strtol(token, &stop, 10);
  if (stop == token)
    return false;
  *value = parsed;
  return true;
}

bool nextInt(Reader &r, int *value) {
  long v;
  if (!nextLong(r, &v))
    return false;
  // A number beyond the field keeps its nearest value, so that the range
  // check of the field sees it out of range instead of a wrapped value.
  *value = static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
  return true;
}

bool nextDouble(Reader &r, double *value) {
  char token[kTokenMax + 1];
  if (!nextToken(r, token))
    return false;
  char *end = nullptr;
  double v = std::strtod(token, &end);
  if (end == token)
    return false;
  *value = v;
  return true;
}

bool nextWord(Reader &r, char *out, int size) {
  const char *p = r.pos;
  while (*p == ' ')
    ++p;
  int n = 0;
  while (p[n] != '\0' && p[n] != ' ' && p[n] != '\n')
    ++n;
  r.pos = p + n;
  if (n == 0)
    return false;
  int kept = n < size - 1 ? n : size - 1;
  std::memcpy(out, p, static_cast<size_t>(kept));
  out[kept] = '\0';
  return true;
}

namespace {

// The end of [from, end) without its trailing white space.
const char *trimEnd(const char *from, const char *end) {
  while (end > from && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\n' || end[-1] == '\r'))
    --end;
  return end;
}

} // namespace

char *textField(Reader &r) {
  // A carriage return inside a text is a blank, as the writer writes it.
  const char *p = r.pos;
  while (*p == ' ' || *p == '\r')
    ++p;
  const char *end = trimEnd(p, p + std::strlen(p));
  r.pos = end;
  if (end == p) {
    note(r.block, kWarning, sbMsgBuild(2259, lineText(r)));
    return ulStrCpy("");
  }
  // A text cut just after a blank is trimmed again: it must read back as
  // the writer writes it.
  if (end - p > vqTEXT_MAX)
    end = trimEnd(p, p + vqTEXT_MAX);
  const long n = end - p;
  char *text = ulStrAlloc(static_cast<int>(n) + 1);
  std::memcpy(text, p, static_cast<size_t>(n));
  text[n] = '\0';
  std::replace(text, text + n, '\r', ' ');
  return text;
}

} // namespace vqread
