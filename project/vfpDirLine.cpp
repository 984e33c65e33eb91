// vfpDirLine.cpp: directory lines: parsing, the type field, the written form,
// and reading the DIR lines of an initialisation file.
#include <cstring>
#include <string>

#include "ulBase.h"
#include "vfpInternal.h"

namespace {

// Longest path token as written, and the most a path keeps once trailing "/"
// are gone (it must fit a path buffer).
constexpr int maxWrittenPath = 256;
constexpr int maxPath = vfpPATH_SIZE - 1;
constexpr int maxName = vfpALIAS_SIZE - 1;

const char *skipBlanks(const char *s) {
  while (ulCharIsLineSpace(*s))
    ++s;
  return s;
}

const char *tokenEnd(const char *s) {
  while (*s != '\0' && !ulCharIsLineSpace(*s))
    ++s;
  return s;
}

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDirKeyword(const char *b, const char *e) {
  return e - b == 3 && lower(b[0]) == 'd' && lower(b[1]) == 'i' && lower(b[2]) == 'r';
}

// Type letters between the brackets, [b, e).
int typeFromLetters(const char *b, const char *e, int *flags) {
  const long n = e - b;
  if (n < 1 || n > 3)
    return vfpDIR_TYPE;
  bool p = false, w = false, r = false, m = false;
  for (; b != e; ++b) {
    switch (lower(*b)) {
    case 'p':
      p = true;
      break;
    case 'w':
      w = true;
      break;
    case 'r':
      r = true;
      break;
    case 'm':
      m = true;
      break;
    default:
      return vfpDIR_TYPE;
    }
  }
  if ((r && w) || (r && p) || (w && m) || (m && p))
    return vfpDIR_TYPE;
  *flags = (p ? vfpDIR_PRIMARY : 0) | (r || m ? vfpDIR_READONLY : 0) | (m ? vfpDIR_MEGAFILE : 0);
  return vfpOK;
}

// An optional "-" and at least one digit, nothing else.
bool isNumber(const char *b, const char *e) {
  if (b != e && *b == '-')
    ++b;
  if (b == e)
    return false;
  for (; b != e; ++b)
    if (*b < '0' || *b > '9')
      return false;
  return true;
}

// A number token (isNumber): 0 primary, 1 to 5 writable, 6 to 20 read-only.
int typeFromNumber(const char *b, const char *e, int *flags) {
  if (*b == '-')
    return vfpDIR_TYPE;
  while (b + 1 < e && *b == '0')
    ++b; // leading zeros do not make a number large
  if (e - b > 2)
    return vfpDIR_TYPE;
  int value = 0;
  for (; b != e; ++b)
    value = value * 10 + (*b - '0');
  if (value > 20)
    return vfpDIR_TYPE;
  *flags = value == 0 ? vfpDIR_PRIMARY : value <= 5 ? 0 : vfpDIR_READONLY;
  return vfpOK;
}

// The token [b, e) as a type: 0 or 32 when it is one, -1 when it is no type
// at all (then it is the path).
int parseType(const char *b, const char *e, int *flags) {
  if (*b == '[') {
    if (e - b < 2 || e[-1] != ']')
      return vfpDIR_TYPE;
    return typeFromLetters(b + 1, e - 1, flags);
  }
  if (isNumber(b, e))
    return typeFromNumber(b, e, flags);
  return -1;
}

// The field that opens at *s with the character open and ends at the first
// close, without surrounding blanks, into out (at most 32 characters). An
// unclosed field, a second open inside, or too long a text gives bad. On
// success *s points behind the close.
int readEnclosed(const char **s, char open, char close, char *out, int bad) {
  const char *b = *s + 1;
  const char *c = b;
  while (*c != '\0' && *c != close) {
    if (*c == open)
      return bad;
    ++c;
  }
  if (*c == '\0')
    return bad;
  const char *e = c;
  b = skipBlanks(b);
  while (e > b && ulCharIsLineSpace(e[-1]))
    --e;
  if (e - b > maxName)
    return bad;
  std::memcpy(out, b, static_cast<size_t>(e - b));
  out[e - b] = '\0';
  *s = c + 1;
  return vfpOK;
}

void copyOut(char *dst, const char *src, int size) {
  if (dst != nullptr) {
    std::strncpy(dst, src, static_cast<size_t>(size) - 1);
    dst[size - 1] = '\0';
  }
}

} // namespace

int vfpiParseDirLine(const char *line, vfpiDirLine *out) {
  std::memset(out, 0, sizeof *out);
  out->flags = vfpDIR_NOTYPE;
  if (line == nullptr)
    return vfpPATH_DEFAULT;
  const char *s = skipBlanks(line);
  const char *e = tokenEnd(s);
  if (!isDirKeyword(s, e))
    return vfpPATH_DEFAULT;

  s = skipBlanks(e);
  if (*s == '\0' || *s == '|')
    return vfpPATH_FORMAT;
  e = tokenEnd(s);
  int flags = vfpDIR_NOTYPE;
  const int typeStatus = parseType(s, e, &flags);
  if (typeStatus > 0)
    return typeStatus;
  out->flags = flags;
  vfpDirTypeLetters(flags, out->type);
  if (typeStatus == vfpOK) {
    s = skipBlanks(e);
    if (*s == '\0' || *s == '|')
      return vfpPATH_FORMAT;
    e = tokenEnd(s);
  }

  // The path: no bracketed text, at most 256 characters as written, at most
  // 255 once backslashes are turned and trailing "/" removed.
  if (*s == '(' || *s == '[' || *s == '{' || e - s > maxWrittenPath)
    return vfpPATH_FORMAT;
  std::string path(s, e);
  for (char &c : path)
    if (c == '\\')
      c = '/';
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  if (static_cast<int>(path.size()) > maxPath)
    return vfpPATH_FORMAT;
  std::memcpy(out->path, path.c_str(), path.size() + 1);

  s = skipBlanks(e);
  if (*s == '(') {
    if (const int st = readEnclosed(&s, '(', ')', out->alias, vfpLIB_NAME); st != vfpOK)
      return st;
    s = skipBlanks(s);
  }
  if (*s == ')')
    return vfpLIB_NAME;
  if (*s == '{') {
    if (const int st = readEnclosed(&s, '{', '}', out->qualifier, vfpQUALIFIER); st != vfpOK)
      return st;
    s = skipBlanks(s);
  }
  if (*s == '}')
    return vfpQUALIFIER;
  if (*s != '\0' && *s != '|')
    return vfpPATH_DEFAULT;
  return vfpOK;
}

int vfpParseDirLine(const char *line, char *path, char *alias, char *type, char *qualifier) {
  if (type == nullptr)
    return vfpDIR_TYPE;
  vfpiDirLine parsed;
  const int status = vfpiParseDirLine(line, &parsed);
  copyOut(path, parsed.path, vfpPATH_SIZE);
  copyOut(alias, parsed.alias, vfpALIAS_SIZE);
  copyOut(type, parsed.type, vfpTYPE_SIZE);
  copyOut(qualifier, parsed.qualifier, vfpALIAS_SIZE);
  return status;
}

int vfpParseDirType(const char *text, int *flags) {
  if (text == nullptr || *text == '\0' || flags == nullptr)
    return vfpDIR_TYPE;
  int parsed = 0;
  if (parseType(text, text + std::strlen(text), &parsed) != vfpOK)
    return vfpDIR_TYPE;
  *flags = parsed;
  return vfpOK;
}

char *vfpDirTypeLetters(int flags, char *type) {
  char *t = type;
  if ((flags & vfpDIR_NOTYPE) == 0) {
    if (flags & vfpDIR_PRIMARY)
      *t++ = 'p';
    *t++ = (flags & vfpDIR_READONLY) ? 'r' : 'w';
    if (flags & vfpDIR_MEGAFILE)
      *t++ = 'm';
  }
  *t = '\0';
  return type;
}

int vfpBuildDirLine(char *line, const char *path, const char *alias, int flags, int /*unused*/,
                    const char *qualifier) {
  if (line == nullptr)
    return vfpINVALID_PARAM;
  line[0] = '\0';
  if (path == nullptr)
    return vfpINVALID_PARAM;
  std::string text = "DIR ";
  if ((flags & vfpDIR_NOTYPE) == 0) {
    char type[vfpTYPE_SIZE];
    text += '[';
    text += vfpDirTypeLetters(flags, type);
    text += "] ";
  }
  text += path;
  if (alias != nullptr && *alias != '\0')
    text += std::string(" (") + alias + ")";
  if (qualifier != nullptr && *qualifier != '\0')
    text += std::string(" {") + qualifier + "}";
  copyOut(line, text.c_str(), vfpLINE_SIZE);
  // Without a type, a path that is a number would read back as the type.
  const bool ambiguous = (flags & vfpDIR_NOTYPE) != 0 && isNumber(path, path + std::strlen(path));
  return static_cast<int>(text.size()) < vfpLINE_SIZE && !ambiguous ? vfpOK : vfpINVALID_PARAM;
}

int vfpiReadDirLine(FILE *file, char *path, char *alias, int *flags, char *qualifier,
                    int *lineNumber) {
  copyOut(path, "", vfpPATH_SIZE);
  copyOut(alias, "", vfpALIAS_SIZE);
  copyOut(qualifier, "", vfpALIAS_SIZE);
  if (file == nullptr)
    return vfpEND_OF_DIRS;
  char buffer[vfpLINE_SIZE];
  for (;;) {
    // Filled with non-zero bytes before each read, so that the last zero
    // byte is the one that ends what fgets read, and one before it was in
    // the line.
    std::memset(buffer, 1, sizeof buffer);
    if (std::fgets(buffer, sizeof buffer, file) == nullptr)
      break;
    const auto *end = static_cast<const char *>(memrchr(buffer, '\0', sizeof buffer));
    const auto n = static_cast<size_t>(end - buffer);
    const bool zeroByte = std::strlen(buffer) < n;
    if (n == sizeof buffer - 1 && buffer[n - 1] != '\n') {
      int c;
      while ((c = std::fgetc(file)) != EOF && c != '\n') {
      }
    }
    if (lineNumber != nullptr)
      ++*lineNumber;
    const char *s = skipBlanks(buffer);
    if (!isDirKeyword(s, tokenEnd(s)))
      continue;
    // A zero byte would cut the line short and make a library of what
    // stands before it: the line is refused whole.
    if (zeroByte) {
      if (flags != nullptr)
        *flags = vfpDIR_NOTYPE;
      return vfpPATH_FORMAT;
    }
    vfpiDirLine parsed;
    const int status = vfpiParseDirLine(buffer, &parsed);
    copyOut(path, parsed.path, vfpPATH_SIZE);
    copyOut(alias, parsed.alias, vfpALIAS_SIZE);
    copyOut(qualifier, parsed.qualifier, vfpALIAS_SIZE);
    if (flags != nullptr)
      *flags = parsed.flags;
    return status;
  }
  return vfpEND_OF_DIRS;
}
