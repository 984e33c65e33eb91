// ulPrefTypes.cpp: the type specs of preference values.
//
// Each type spec is a constant record of four operations. Most types share
// operations by family: enumerations read a value name and hold its index,
// integers hold the number in the word, floats point to an owned double,
// strings are pooled strings. The file and directory types are strings that
// check the file system when read.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include <sys/stat.h>
#include <unistd.h>

#include "ulBase.h"
#include "ulErr.h"
#include "ulMem.h"
#include "ulPref.h"
#include "ulStr.h"

namespace {

intptr_t word(void *v) {
  return reinterpret_cast<intptr_t>(v);
}
void *toWord(intptr_t n) {
  return reinterpret_cast<void *>(n);
}

// Text without surrounding blanks (strtol and strtod skip leading ones
// themselves; trailing ones would otherwise make the number unreadable).
std::string trimmed(const char *text) {
  std::string s(text);
  const char *blanks = " \t\n\r\v\f";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos)
    return std::string();
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

// ---- Operations shared by several types ----------------------------------------

void *copyWord(const ulTypespec *, void *v) {
  return v;
}
void releaseNothing(const ulTypespec *, void *) {}
int readNothing(const ulTypespec *, const char *, void **) {
  return 0;
}
char *printAddress(const ulTypespec *, void *v) {
  return ulSprintfAlloc("0x%lx", static_cast<unsigned long>(word(v)));
}

// Enumerations.
int readEnum(const ulTypespec *ts, const char *text, void **value) {
  std::string t = trimmed(text);
  int i = ulStrIindex(t.c_str(), ts->valueNames, ts->valueCount);
  if (i < 0 && !t.empty() && t.find_first_not_of("0123456789") == std::string::npos &&
      t.size() < 6) {
    i = std::atoi(t.c_str());
    if (i >= ts->valueCount)
      i = -1;
  }
  if (i < 0)
    return 0;
  *value = toWord(i);
  return 1;
}
char *printEnum(const ulTypespec *ts, void *v) {
  intptr_t i = word(v);
  if (i >= 0 && i < ts->valueCount)
    return ulStrCpy(ts->valueNames[i]);
  return ulSprintfAlloc("%ld", static_cast<long>(i));
}

// Integers, read by strtoll with any of its bases and checked against a range.
bool readInteger(const char *text, long long lo, long long hi, long long *out) {
  std::string t = trimmed(text);
  if (t.empty())
    return false;
  errno = 0;
  char *end = nullptr;
  long long v = std::strtoll(t.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || v < lo || v > hi)
    return false;
  *out = v;
  return true;
}
template <long long Lo, long long Hi>
int readIntRange(const ulTypespec *, const char *text, void **value) {
  long long v = 0;
  if (!readInteger(text, Lo, Hi, &v))
    return 0;
  *value = toWord(static_cast<intptr_t>(v));
  return 1;
}
char *printInt(const ulTypespec *, void *v) {
  return ulSprintfAlloc("%d", static_cast<int>(word(v)));
}
char *printUnsigned(const ulTypespec *, void *v) {
  return ulSprintfAlloc("%u", static_cast<unsigned>(word(v)));
}
int readInt64(const ulTypespec *, const char *text, void **value) {
  long long v = 0;
  if (!readInteger(text, LLONG_MIN, LLONG_MAX, &v))
    return 0;
  *value = toWord(static_cast<intptr_t>(v));
  return 1;
}
char *printInt64(const ulTypespec *, void *v) {
  return ulSprintfAlloc("%lld", static_cast<long long>(word(v)));
}
int readChar(const ulTypespec *, const char *text, void **value) {
  if (std::strlen(text) != 1)
    return 0;
  *value = toWord(static_cast<unsigned char>(text[0]));
  return 1;
}
char *printChar(const ulTypespec *, void *v) {
  char s[2] = {static_cast<char>(word(v)), '\0'};
  return ulStrCpy(s);
}

// Floating point: the word points to an owned double.
void *newDouble(double d) {
  auto *p = static_cast<double *>(ulMemMalloc(sizeof(double), "ulPrefDouble"));
  *p = d;
  return p;
}
int readFloatIf(const char *text, bool positive, void **value) {
  std::string t = trimmed(text);
  if (t.empty())
    return 0;
  errno = 0;
  char *end = nullptr;
  double d = std::strtod(t.c_str(), &end);
  if (errno == ERANGE || *end != '\0' || std::isnan(d) || (positive && !(d > 0)))
    return 0;
  *value = newDouble(d);
  return 1;
}
int readFloat(const ulTypespec *, const char *text, void **value) {
  return readFloatIf(text, false, value);
}
int readPositiveFloat(const ulTypespec *, const char *text, void **value) {
  return readFloatIf(text, true, value);
}
char *printFloat(const ulTypespec *, void *v) {
  if (v == nullptr)
    return ulStrCpy("0");
  double d = *static_cast<double *>(v);
  // The shortest of 15 or 17 significant digits that reads back the same.
  char *s = ulSprintfAlloc("%.15g", d);
  if (std::strtod(s, nullptr) != d) {
    ulStrFree(s);
    s = ulSprintfAlloc("%.17g", d);
  }
  return s;
}
void *copyFloat(const ulTypespec *, void *v) {
  return v == nullptr ? nullptr : newDouble(*static_cast<double *>(v));
}
void releaseMem(const ulTypespec *, void *v) {
  ulMemFree(v);
}

// Strings: pooled copies.
int readString(const ulTypespec *, const char *text, void **value) {
  *value = ulStrCpy(text);
  return 1;
}
int readStringUpper(const ulTypespec *, const char *text, void **value) {
  *value = ulStrUpc(ulStrCpy(text));
  return 1;
}
int readStringLower(const ulTypespec *, const char *text, void **value) {
  *value = ulStrLoc(ulStrCpy(text));
  return 1;
}
int readStringNotEmpty(const ulTypespec *, const char *text, void **value) {
  if (*text == '\0')
    return 0;
  *value = ulStrCpy(text);
  return 1;
}
int readStringTrimmed(const ulTypespec *, const char *text, void **value) {
  *value = ulStrTrimAlloc(text);
  return 1;
}
char *printString(const ulTypespec *, void *v) {
  return ulStrCpy(v == nullptr ? "" : static_cast<const char *>(v));
}
void *copyString(const ulTypespec *, void *v) {
  return ulStrCpy(static_cast<const char *>(v));
}
void releaseString(const ulTypespec *, void *v) {
  ulStrFree(static_cast<const char *>(v));
}

// Constant strings are never copied or freed, so a text read for one is kept
// for the rest of the run, once per distinct text.
int readStringConst(const ulTypespec *, const char *text, void **value) {
  static std::unordered_set<std::string> kept;
  const std::string &s = *kept.insert(text).first;
  *value = const_cast<char *>(s.c_str());
  return 1;
}

// File and directory names.
bool isDirectory(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}
bool exists(const char *path) {
  struct stat st;
  return stat(path, &st) == 0;
}
// The directory part of a file name ("." when there is none).
std::string directoryOf(const char *path) {
  std::string s(path);
  size_t slash = s.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : s.substr(0, slash);
}
enum class FileCheck { Name, Read, Write, ReadWrite, Dir, DirWrite };
bool checkFile(const char *path, FileCheck check) {
  if (*path == '\0')
    return false;
  switch (check) {
  case FileCheck::Name:
    return true;
  case FileCheck::Read:
    return exists(path) && !isDirectory(path) && access(path, R_OK) == 0;
  case FileCheck::Write:
    if (exists(path))
      return !isDirectory(path) && access(path, W_OK) == 0;
    return isDirectory(directoryOf(path).c_str()) && access(directoryOf(path).c_str(), W_OK) == 0;
  case FileCheck::ReadWrite:
    return exists(path) && !isDirectory(path) && access(path, R_OK | W_OK) == 0;
  case FileCheck::Dir:
    return isDirectory(path);
  case FileCheck::DirWrite:
    return isDirectory(path) && access(path, W_OK) == 0;
  }
  return false;
}
template <FileCheck C> int readFile(const ulTypespec *, const char *text, void **value) {
  if (!checkFile(text, C))
    return 0;
  *value = ulStrCpy(text);
  return 1;
}

// No value.
int readVoid(const ulTypespec *, const char *, void **value) {
  *value = nullptr;
  return 1;
}
char *printVoid(const ulTypespec *, void *) {
  return ulStrCpy("");
}

// Byte blocks: the record and its bytes in one block.
ulByteBlock *newByteBlock(int size) {
  auto *b = static_cast<ulByteBlock *>(
      ulMemMalloc(sizeof(ulByteBlock) + static_cast<size_t>(size), "ulByteBlock"));
  b->size = size;
  b->bytes = reinterpret_cast<unsigned char *>(b + 1);
  return b;
}
int readByteBlock(const ulTypespec *, const char *text, void **value) {
  std::string digits;
  for (const char *p = text; *p != '\0'; p++) {
    if (ulCharIsSpaceOrTab(*p))
      continue;
    if (ulHexDigitValue(*p) < 0)
      return 0;
    digits += *p;
  }
  if (digits.size() % 2 != 0 || digits.size() / 2 > INT_MAX)
    return 0;
  ulByteBlock *b = newByteBlock(static_cast<int>(digits.size() / 2));
  for (int i = 0; i < b->size; i++)
    b->bytes[i] = static_cast<unsigned char>(ulHexDigitValue(digits[2 * i]) * 16 +
                                             ulHexDigitValue(digits[2 * i + 1]));
  *value = b;
  return 1;
}
char *printByteBlock(const ulTypespec *, void *v) {
  if (v == nullptr)
    return ulStrCpy("");
  auto *b = static_cast<ulByteBlock *>(v);
  std::string s;
  for (int i = 0; i < b->size; i++) {
    s += "0123456789ABCDEF"[b->bytes[i] >> 4];
    s += "0123456789ABCDEF"[b->bytes[i] & 15];
  }
  return ulStrCpy(s.c_str());
}
void *copyByteBlock(const ulTypespec *, void *v) {
  if (v == nullptr)
    return nullptr;
  auto *from = static_cast<ulByteBlock *>(v);
  ulByteBlock *b = newByteBlock(from->size);
  std::memcpy(b->bytes, from->bytes, static_cast<size_t>(from->size));
  return b;
}

// Error chains and streams hold a reference.
int readErr(const ulTypespec *, const char *text, void **value) {
  ulErr *e = ulErrCreateFromString(text);
  if (e == nullptr)
    return 0;
  *value = e;
  return 1;
}
char *printErr(const ulTypespec *, void *v) {
  if (v == nullptr)
    return ulStrCpy("");
  return ulStrCpy(ulErr_String(static_cast<ulErr *>(v), ulErrVERBOSE));
}
void *copyErr(const ulTypespec *, void *v) {
  return ulErrCopy(static_cast<ulErr *>(v));
}
void releaseErr(const ulTypespec *, void *v) {
  ulErrDestroy(static_cast<ulErr *>(v));
}
char *printErrStream(const ulTypespec *, void *v) {
  int n = v == nullptr ? 0 : ulErrStreamCount(static_cast<ulErrStream *>(v));
  return ulSprintfAlloc("%d message(s)", n);
}
void *copyErrStream(const ulTypespec *, void *v) {
  return v == nullptr ? nullptr : ulErrStreamCopy(static_cast<ulErrStream *>(v));
}
void releaseErrStream(const ulTypespec *, void *v) {
  if (v != nullptr)
    ulErrStreamDestroy(static_cast<ulErrStream *>(v));
}

// Preference sets and type specs, by name.
int readPref(const ulTypespec *, const char *text, void **value) {
  ulPrefDB *set = ulPrefFind(text);
  if (set == nullptr)
    return 0;
  *value = set;
  return 1;
}
char *printPref(const ulTypespec *, void *v) {
  return ulStrCpy(v == nullptr ? "" : ulPrefName(static_cast<ulPrefDB *>(v)));
}
int readTypespec(const ulTypespec *, const char *text, void **value) {
  const ulTypespec *ts = ulPrefFindTypespec(text);
  if (ts == nullptr)
    return 0;
  *value = const_cast<ulTypespec *>(ts);
  return 1;
}
char *printTypespec(const ulTypespec *, void *v) {
  return ulStrCpy(v == nullptr ? "" : static_cast<const ulTypespec *>(v)->name);
}

// String arrays: a null-terminated array ("ulStrArray") of pooled strings.
char **newStrArray(int count) {
  auto **a = static_cast<char **>(
      ulMemMalloc(sizeof(char *) * (static_cast<size_t>(count) + 1), "ulStrArray"));
  a[count] = nullptr;
  return a;
}
int readStrArray(const ulTypespec *, const char *text, void **value) {
  const char *delimiters = " \t";
  ulStrBuf *token = ulStrBufCreate(32);
  int count = 0;
  for (const char *p = text; (p = ulStrBufTokQuote(p, token, delimiters)) != nullptr;)
    count++;
  char **a = newStrArray(count);
  int i = 0;
  for (const char *p = text; (p = ulStrBufTokQuote(p, token, delimiters)) != nullptr;)
    a[i++] = ulStrCpy(ulStrBufString(token));
  ulStrBufDestroy(token);
  *value = a;
  return 1;
}
char *printStrArray(const ulTypespec *, void *v) {
  ulStrBuf *b = ulStrBufCreate(64);
  for (char **a = static_cast<char **>(v); a != nullptr && *a != nullptr; a++)
    ulStrBufUntokQuote(*a, b, ulStrUNTOK_QUOTE, " \t");
  char *s = ulStrCpy(ulStrBufString(b));
  ulStrBufDestroy(b);
  return s;
}
void *copyStrArray(const ulTypespec *, void *v) {
  if (v == nullptr)
    return nullptr;
  auto **from = static_cast<char **>(v);
  int count = 0;
  while (from[count] != nullptr)
    count++;
  char **a = newStrArray(count);
  for (int i = 0; i < count; i++)
    a[i] = ulStrCpy(from[i]);
  return a;
}
void releaseStrArray(const ulTypespec *, void *v) {
  auto **a = static_cast<char **>(v);
  for (char **p = a; p != nullptr && *p != nullptr; p++)
    ulStrFree(*p);
  ulMemFree(a);
}

const char *const kYesNo[] = {"No", "Yes"};
const char *const kOnOff[] = {"Off", "On"};
const char *const kTrueFalse[] = {"False", "True"};
const char *const kErrSev[] = {"Error", "Status",   "Note",    "Warning",
                               "Fatal", "Internal", "Disabled"};
const char *const kErrCntx[] = {"Stderr", "StatusLine", "AlertBox", "LogFile"};
const char *const kErrStyle[] = {"terse", "verbose"};
const char *const kErrAction[] = {"statusLine", "alertBox", "disabled"};

template <size_t N> constexpr ulTypespec enumSpec(const char *name, const char *const (&names)[N]) {
  return ulTypespec{name,     ulPrefFAM_ENUM, names,    static_cast<int>(N),
                    readEnum, printEnum,      copyWord, releaseNothing};
}
constexpr ulTypespec stringSpec(const char *name,
                                int (*read)(const ulTypespec *, const char *, void **)) {
  return ulTypespec{name, ulPrefFAM_STRING, nullptr,    0,
                    read, printString,      copyString, releaseString};
}

} // namespace

const ulTypespec ulYesNoVT = enumSpec("ulYesNoVT", kYesNo);
const ulTypespec ulOnOffVT = enumSpec("ulOnOffVT", kOnOff);
const ulTypespec ulTrueFalseVT = enumSpec("ulTrueFalseVT", kTrueFalse);
const ulTypespec ulErrSevVT = enumSpec("ulErrSevVT", kErrSev);
const ulTypespec ulErrCntxVT = enumSpec("ulErrCntxVT", kErrCntx);
const ulTypespec ulErrStyleVT = enumSpec("ulErrStyleVT", kErrStyle);
const ulTypespec ulErrActionVT = enumSpec("ulErrActionVT", kErrAction);

const ulTypespec ulIntVT = {
    "ulIntVT", ulPrefFAM_INT, nullptr,       0, readIntRange<INT_MIN, INT_MAX>,
    printInt,  copyWord,      releaseNothing};
const ulTypespec ulPositiveIntVT = {
    "ulPositiveIntVT",        ulPrefFAM_INT, nullptr,  0,
    readIntRange<1, INT_MAX>, printInt,      copyWord, releaseNothing};
const ulTypespec ulUnsignedIntVT = {
    "ulUnsignedIntVT",         ulPrefFAM_INT, nullptr,  0,
    readIntRange<0, UINT_MAX>, printUnsigned, copyWord, releaseNothing};
const ulTypespec ulInt64VT = {"ulInt64VT", ulPrefFAM_INT64, nullptr,  0,
                              readInt64,   printInt64,      copyWord, releaseNothing};
const ulTypespec ulCharVT = {"ulCharVT", ulPrefFAM_INT, nullptr,  0,
                             readChar,   printChar,     copyWord, releaseNothing};

const ulTypespec ulFloatVT = {"ulFloatVT", ulPrefFAM_FLOAT, nullptr,   0,
                              readFloat,   printFloat,      copyFloat, releaseMem};
const ulTypespec ulPositiveFloatVT = {"ulPositiveFloatVT", ulPrefFAM_FLOAT, nullptr,   0,
                                      readPositiveFloat,   printFloat,      copyFloat, releaseMem};

const ulTypespec ulStringVT = stringSpec("ulStringVT", readString);
const ulTypespec ulStringUpperVT = stringSpec("ulStringUpperVT", readStringUpper);
const ulTypespec ulStringLowerVT = stringSpec("ulStringLowerVT", readStringLower);
const ulTypespec ulStringConstVT = {"ulStringConstVT", ulPrefFAM_CONST, nullptr,  0,
                                    readStringConst,   printString,     copyWord, releaseNothing};
const ulTypespec ulStringNotEmptyVT = stringSpec("ulStringNotEmptyVT", readStringNotEmpty);
const ulTypespec ulStringRestOfLineVT = stringSpec("ulStringRestOfLineVT", readString);
const ulTypespec ulStringRestOfLine1VT = stringSpec("ulStringRestOfLine1VT", readStringTrimmed);

const ulTypespec ulFileNameVT = stringSpec("ulFileNameVT", readFile<FileCheck::Name>);
const ulTypespec ulFileReadVT = stringSpec("ulFileReadVT", readFile<FileCheck::Read>);
const ulTypespec ulFileWriteVT = stringSpec("ulFileWriteVT", readFile<FileCheck::Write>);
const ulTypespec ulFileReadWriteVT =
    stringSpec("ulFileReadWriteVT", readFile<FileCheck::ReadWrite>);
const ulTypespec ulDirVT = stringSpec("ulDirVT", readFile<FileCheck::Dir>);
const ulTypespec ulDirWriteVT = stringSpec("ulDirWriteVT", readFile<FileCheck::DirWrite>);

const ulTypespec ulVoidVT = {"ulVoidVT", ulPrefFAM_OTHER, nullptr,  0,
                             readVoid,   printVoid,       copyWord, releaseNothing};
const ulTypespec ulCallbackVT = {"ulCallbackVT", ulPrefFAM_OTHER, nullptr,  0,
                                 readNothing,    printAddress,    copyWord, releaseNothing};
const ulTypespec ulAnyVT = {"ulAnyVT",   ulPrefFAM_OTHER, nullptr,  0,
                            readNothing, printAddress,    copyWord, releaseNothing};
const ulTypespec ulByteBlockVT = {"ulByteBlockVT", ulPrefFAM_OTHER, nullptr,       0,
                                  readByteBlock,   printByteBlock,  copyByteBlock, releaseMem};
const ulTypespec ulErrVT = {"ulErrVT", ulPrefFAM_OTHER, nullptr, 0,
                            readErr,   printErr,        copyErr, releaseErr};
const ulTypespec ulErrStreamVT = {"ulErrStreamVT", ulPrefFAM_OTHER, nullptr,         0, readNothing,
                                  printErrStream,  copyErrStream,   releaseErrStream};
const ulTypespec ulPrefVT = {"ulPrefVT", ulPrefFAM_OTHER, nullptr,  0,
                             readPref,   printPref,       copyWord, releaseNothing};
const ulTypespec ulTypespecVT = {"ulTypespecVT", ulPrefFAM_OTHER, nullptr,  0,
                                 readTypespec,   printTypespec,   copyWord, releaseNothing};
const ulTypespec ulStrArrayVT = {"ulStrArrayVT", ulPrefFAM_OTHER, nullptr,      0,
                                 readStrArray,   printStrArray,   copyStrArray, releaseStrArray};

namespace {

const ulTypespec *const kBuiltin[] = {
    &ulYesNoVT,
    &ulOnOffVT,
    &ulTrueFalseVT,
    &ulErrSevVT,
    &ulErrCntxVT,
    &ulErrStyleVT,
    &ulErrActionVT,
    &ulIntVT,
    &ulPositiveIntVT,
    &ulUnsignedIntVT,
    &ulInt64VT,
    &ulCharVT,
    &ulFloatVT,
    &ulPositiveFloatVT,
    &ulStringVT,
    &ulStringUpperVT,
    &ulStringLowerVT,
    &ulStringConstVT,
    &ulStringNotEmptyVT,
    &ulStringRestOfLineVT,
    &ulStringRestOfLine1VT,
    &ulFileNameVT,
    &ulFileReadVT,
    &ulFileWriteVT,
    &ulFileReadWriteVT,
    &ulDirVT,
    &ulDirWriteVT,
    &ulVoidVT,
    &ulCallbackVT,
    &ulAnyVT,
    &ulByteBlockVT,
    &ulErrVT,
    &ulErrStreamVT,
    &ulPrefVT,
    &ulTypespecVT,
    &ulStrArrayVT,
};

// Type specs registered by other layers (few; a small fixed table).
constexpr int kMaxSpecial = 64;
const ulTypespec *specialV[kMaxSpecial];
int specialCountV = 0;

bool sameNames(const ulTypespec *a, const ulTypespec *b) {
  if (a->valueCount != b->valueCount)
    return false;
  for (int i = 0; i < a->valueCount; i++)
    if (std::strcmp(a->valueNames[i], b->valueNames[i]) != 0)
      return false;
  return true;
}

} // namespace

int ulPrefCompatible(const ulTypespec *a, const ulTypespec *b) {
  if (a == nullptr || b == nullptr)
    return 0;
  if (a == b)
    return 1;
  if (a->family != b->family || a->family == ulPrefFAM_OTHER)
    return 0;
  if (a->family == ulPrefFAM_ENUM)
    return sameNames(a, b) ? 1 : 0;
  return 1;
}

const ulTypespec *ulPrefFindTypespec(const char *name) {
  if (name == nullptr)
    return nullptr;
  for (const ulTypespec *ts : kBuiltin)
    if (ulStrIequ(ts->name, name))
      return ts;
  for (int i = 0; i < specialCountV; i++)
    if (ulStrIequ(specialV[i]->name, name))
      return specialV[i];
  return nullptr;
}

int ulPrefRegisterSpecialTs(const ulTypespec *ts) {
  if (ts == nullptr || ts->name == nullptr || *ts->name == '\0')
    return 0;
  const ulTypespec *known = ulPrefFindTypespec(ts->name);
  if (known != nullptr)
    return known == ts ? 1 : 0;
  if (specialCountV == kMaxSpecial)
    return 0;
  specialV[specialCountV++] = ts;
  return 1;
}
