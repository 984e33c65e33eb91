// ulMsg.cpp: opening, checking and reading binary message files, the text
// cache and message formatting.
#include "ulMsg.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "ulErr.h"
#include "ulMem.h"
#include "ulStr.h"
#include "vs.h"

namespace {

constexpr uint32_t kMarker = 0x00010203;
constexpr int kHeaderWords = 15;
constexpr int32_t kMaxEntries = 200000;
constexpr int kCacheEntries = 80;
constexpr int kCacheChains = 128;
constexpr int kCacheInitialSize = 80;

// Header words the reader uses.
enum : int {
  kHdrMarker = 0,
  kHdrMajor = 1,
  kHdrMinor = 2,
  kHdrPatch = 3,
  kHdrIndex = 4,
  kHdrApplication = 6,
  kHdrVersion = 7,
};

// The library's own message file and its checks.
constexpr const char *kLibName = "ullib";
constexpr const char *kLibExt = "umb";

} // namespace

// One open message file. The fields follow the order of the open-file
// record: links, the loaded file, then what it was opened with.
struct ulMsgFileEntry {
  ulMsgFileEntry *prev; // previous open file, null for the first
  ulMsgFileEntry *next; // next open file, null for the last
  // The loaded file.
  FILE *stream;                 // open for binary reading while the entry lives
  char *path;                   // the full path found (ulStrCpy)
  long size;                    // bytes in the file, for bounds checks
  int32_t maxLength;            // longest text length of the index
  int32_t count;                // entries of the index
  int32_t *index;               // count * 3 words: number, offset, length
  int32_t header[kHeaderWords]; // the header words as read
  // What it was opened with.
  char *name;        // the name it was opened under
  char *application; // application checked at the first open, or null
  char *version;     // version string checked at the first open, or null
  char *minimum;     // minimum version, or null
  char *maximum;     // maximum version, or null
  int opens;         // open count; the entry goes at 0
};

namespace {

// One cached message text.
struct CacheEntry {
  ulMsgFileEntry *file; // file the text belongs to; null while unused
  int number;           // message number
  char *text;           // buffer holding the text and its zero byte
  int size;             // bytes of the text buffer
  CacheEntry *useNewer; // neighbours in the process-wide use order
  CacheEntry *useOlder;
  CacheEntry *chainNext; // neighbours in the chain of number % 128
  CacheEntry *chainPrev;
};

struct State {
  ulMsgFileEntry *first = nullptr;   // open files, most recently opened last
  ulMsgFileEntry *library = nullptr; // the handle ulMsgFile() returned
  // The library file's handle after it was closed, to tell a stale library
  // handle from any other (compared, never followed).
  ulMsgFileEntry *closedLibrary = nullptr;
  bool exitRegistered = false;
  CacheEntry *cache = nullptr;  // kCacheEntries entries once made
  int cacheUsed = 0;            // entries taken so far
  CacheEntry *newest = nullptr; // head and tail of the use order
  CacheEntry *oldest = nullptr;
  CacheEntry *chains[kCacheChains] = {};
  long reads = 0; // texts read from files
};

State &state() {
  static State s;
  return s;
}

bool isOpen(ulMsgFileEntry *handle) {
  if (handle == nullptr)
    return false;
  for (ulMsgFileEntry *e = state().first; e; e = e->next)
    if (e == handle)
      return true;
  return false;
}

bool isLibraryName(const char *name) {
  return std::strcmp(name, kLibName) == 0;
}

uint32_t bigEndian(const unsigned char *p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Reads count big-endian words; false on a short read.
bool readWords(FILE *f, int32_t *out, size_t count) {
  std::vector<unsigned char> buf(4 * count);
  if (std::fread(buf.data(), 1, buf.size(), f) != buf.size())
    return false;
  for (size_t i = 0; i < count; ++i)
    out[i] = static_cast<int32_t>(bigEndian(&buf[4 * i]));
  return true;
}

// ---- Failures ----------------------------------------------------------------
// A file other than the library's reports with a message of the library file;
// the library file cannot describe its own failure and carries fixed texts.

[[noreturn]] void throwFatal(long tag, const char *text) {
  ulExThrow(tag, ulErrCreate2(kLibName, ulErrFATAL, text));
}

[[noreturn]] void openFailure(const char *name, int number, const char *arg) {
  if (isLibraryName(name))
    throwFatal(ulEX_POSTCOND, ulSprintfStatic("ULLIB Error %d: Can't open message file %s.%s!\n",
                                              number, kLibName, kLibExt));
  const char *where = ulErrLocationRoutine("ulMsgFileOpen");
  switch (number) {
  case 1002:
    ulExThrowBuild(ulEX_POSTCOND, where, ulMsgFile(), 1002, arg);
  case 1003:
    ulExThrowBuild(ulEX_POSTCOND, where, ulMsgFile(), 1003, arg);
  case 1004:
    ulExThrowBuild(ulEX_POSTCOND, where, ulMsgFile(), 1004, arg);
  case 1005:
    ulExThrowBuild(ulEX_POSTCOND, where, ulMsgFile(), 1005, arg);
  default:
    ulExThrowBuild(ulEX_POSTCOND, where, ulMsgFile(), 1006, arg);
  }
}

[[noreturn]] void notOpenFailure(ulMsgFileEntry *handle, const char *routine) {
  if (handle != nullptr && handle == state().closedLibrary)
    throwFatal(ulEX_PRECOND, ulSprintfStatic("ULLIB Error %d: Can't access message file %s%s%s!\n",
                                             1020, kLibName, ".", kLibExt));
  ulExThrowBuild(ulEX_PRECOND, ulErrLocationRoutine(routine), ulMsgFile(), 1020);
}

[[noreturn]] void lookupFailure(ulMsgFileEntry *file, int error, int number) {
  if (isLibraryName(file->name))
    throwFatal(ulEX_POSTCOND,
               ulSprintfStatic("ULLIB Error %d: Can't find message #%d in message file %s%s%s!\n",
                               error, number, kLibName, ".", kLibExt));
  // The path is copied: building the error may itself read the library file.
  char path[vsMAXPATH];
  std::snprintf(path, sizeof path, "%s", file->path);
  const char *where = ulErrLocationRoutine("ulMsgText");
  if (error == 1021)
    ulExThrowBuild(ulEX_POSTCOND, where, ulMsgFile(), 1021, number, path);
  if (error == 1022)
    ulExThrowBuild(ulEX_POSTCOND, where, ulMsgFile(), 1022, number, path);
  ulExThrowBuild(ulEX_POSTCOND, where, ulMsgFile(), 1023, number, path);
}

// ---- Loading and closing -------------------------------------------------------

void freeEntry(ulMsgFileEntry *e) {
  if (e->stream)
    std::fclose(e->stream);
  ulStrFree(e->path);
  ulMemFree(e->index);
  ulStrFree(e->name);
  ulStrFree(e->application);
  ulStrFree(e->version);
  ulStrFree(e->minimum);
  ulStrFree(e->maximum);
  ulMemFree(e);
}

// Owns a half-loaded entry until it is linked in.
struct EntryGuard {
  ulMsgFileEntry *entry;
  ~EntryGuard() {
    if (entry)
      freeEntry(entry);
  }
};

// Finds, opens and reads the header and index of file name; throws on any
// failure. The returned entry is not linked in and has no open count.
ulMsgFileEntry *load(const char *name) {
  char fileName[vsMAXPATH];
  if (vsMerge(fileName, nullptr, nullptr, name, kLibExt) != vsOK)
    openFailure(name, 1002, name);
  char path[vsMAXPATH];
  if (vsGetini(fileName, path) != vsOK)
    openFailure(name, 1003, fileName);

  auto *e = static_cast<ulMsgFileEntry *>(ulMemCalloc(1, sizeof(ulMsgFileEntry), "msgFile"));
  EntryGuard guard{e};
  e->path = ulStrCpy(path);
  e->stream = std::fopen(path, "rb");
  struct stat st;
  if (e->stream == nullptr || fstat(fileno(e->stream), &st) != 0 || S_ISDIR(st.st_mode))
    openFailure(name, 1004, path);
  e->size = static_cast<long>(st.st_size);

  if (!readWords(e->stream, e->header, kHeaderWords) ||
      static_cast<uint32_t>(e->header[kHdrMarker]) != kMarker)
    openFailure(name, 1005, path);
  const int32_t offset = e->header[kHdrIndex];
  if (offset < 0 || std::fseek(e->stream, offset, SEEK_SET) != 0 ||
      !readWords(e->stream, &e->count, 1) || e->count < 0 || e->count > kMaxEntries)
    openFailure(name, 1005, path);
  // An index that cannot fit in the rest of the file is short; saying so
  // before allocating keeps a damaged count from costing memory.
  if (static_cast<long>(e->count) * 12 > e->size - offset - 4)
    openFailure(name, 1006, path);
  e->index = static_cast<int32_t *>(
      ulMemMalloc(sizeof(int32_t) * 3 * static_cast<size_t>(e->count), "msgIndex"));
  if (!readWords(e->stream, e->index, 3 * static_cast<size_t>(e->count)))
    openFailure(name, 1006, path);
  for (int32_t i = 0; i < e->count; ++i)
    if (e->index[3 * i + 2] > e->maxLength)
      e->maxLength = e->index[3 * i + 2];
  guard.entry = nullptr;
  return e;
}

void dropFromCache(ulMsgFileEntry *file);

void unlinkAndFree(ulMsgFileEntry *e) {
  State &s = state();
  dropFromCache(e);
  (e->prev ? e->prev->next : s.first) = e->next;
  if (e->next)
    e->next->prev = e->prev;
  if (s.library == e) {
    s.library = nullptr;
    s.closedLibrary = e;
  }
  freeEntry(e);
}

void freeCache() {
  State &s = state();
  if (s.cache == nullptr)
    return;
  for (int i = 0; i < kCacheEntries; ++i)
    ulMemFree(s.cache[i].text);
  ulMemFree(s.cache);
  s.cache = nullptr;
  s.cacheUsed = 0;
  s.newest = s.oldest = nullptr;
  std::memset(s.chains, 0, sizeof s.chains);
}

// Exit handler: closes every file whatever its open count, and frees the
// cache.
void closeAll() {
  while (state().first)
    unlinkAndFree(state().first);
  freeCache();
}

// ---- Version check -------------------------------------------------------------

// Whether the string record at header word `word` exists, can be read and
// holds exactly expected.
bool recordEquals(ulMsgFileEntry *e, int word, const char *expected) {
  int32_t offset = e->header[word];
  int32_t length = 0;
  if (offset <= 0 || std::fseek(e->stream, offset, SEEK_SET) != 0 ||
      !readWords(e->stream, &length, 1) || length <= 0 || length > e->size - offset - 4)
    return false;
  std::string text(static_cast<size_t>(length), '\0');
  if (std::fread(text.data(), 1, text.size(), e->stream) != text.size())
    return false;
  return std::strcmp(text.c_str(), expected) == 0;
}

bool versionPasses(ulMsgFileEntry *e, const char *application, const char *version,
                   const char *minimum, const char *maximum) {
  if (application && !recordEquals(e, kHdrApplication, application))
    return false;
  if (version && !recordEquals(e, kHdrVersion, version))
    return false;
  if (!minimum && !maximum)
    return true;
  const int32_t own[3] = {e->header[kHdrMajor], e->header[kHdrMinor], e->header[kHdrPatch]};
  int lo[3] = {-1, -1, -1};
  int hi[3] = {-1, -1, -1};
  ulMsgCompVerValues(minimum, &lo[0], &lo[1], &lo[2]);
  ulMsgCompVerValues(maximum, &hi[0], &hi[1], &hi[2]);
  // An unread lower bound admits the file's major number and any minor and
  // patch; an unread upper bound is the file's own number.
  for (int k = 0; k < 3; ++k) {
    if (lo[k] == -1)
      lo[k] = k == 0 ? own[0] : 0;
    if (hi[k] == -1)
      hi[k] = own[k];
    if (own[k] < lo[k] || own[k] > hi[k])
      return false;
  }
  return true;
}

void checkVersion(ulMsgFileEntry *e, const char *application, const char *version,
                  const char *minimum, const char *maximum) {
  if (!application && !version && !minimum && !maximum)
    return;
  if (versionPasses(e, application, version, minimum, maximum))
    return;
  if (std::getenv("UL_MSGNOVERSION") != nullptr) {
    ulErrOut3(ulErrLocationFile(e->path), kLibName, ulErrWARNING,
              "Message file failed versioning check.");
    return;
  }
  if (isLibraryName(e->name))
    throwFatal(
        ulEX_POSTCOND,
        ulSprintfStatic("Trying to use wrong version of message file %s.%s!\n", kLibName, kLibExt));
  char path[vsMAXPATH];
  std::snprintf(path, sizeof path, "%s", e->path);
  ulExThrowBuild(ulEX_POSTCOND, ulErrLocationRoutine("ulMsgFileOpen"), ulMsgFile(), 1007, path);
}

// ---- Cache ---------------------------------------------------------------------

void makeCache() {
  State &s = state();
  s.cache = static_cast<CacheEntry *>(
      ulMemCalloc(kCacheEntries, sizeof(CacheEntry), "msgcache-initialize"));
  for (int i = 0; i < kCacheEntries; ++i) {
    s.cache[i].text = static_cast<char *>(ulMemMalloc(kCacheInitialSize, "msgcache-initialize"));
    s.cache[i].size = kCacheInitialSize;
  }
}

int chainOf(int number) {
  return static_cast<int>(static_cast<unsigned>(number) % kCacheChains);
}

void unlinkUse(CacheEntry *c) {
  State &s = state();
  (c->useNewer ? c->useNewer->useOlder : s.newest) = c->useOlder;
  (c->useOlder ? c->useOlder->useNewer : s.oldest) = c->useNewer;
  c->useNewer = c->useOlder = nullptr;
}

void linkUseFront(CacheEntry *c) {
  State &s = state();
  c->useNewer = nullptr;
  c->useOlder = s.newest;
  (s.newest ? s.newest->useNewer : s.oldest) = c;
  s.newest = c;
}

void unlinkChain(CacheEntry *c) {
  CacheEntry *&head = state().chains[chainOf(c->number)];
  (c->chainPrev ? c->chainPrev->chainNext : head) = c->chainNext;
  if (c->chainNext)
    c->chainNext->chainPrev = c->chainPrev;
  c->chainNext = c->chainPrev = nullptr;
}

void linkChainFront(CacheEntry *c) {
  CacheEntry *&head = state().chains[chainOf(c->number)];
  c->chainPrev = nullptr;
  c->chainNext = head;
  if (head)
    head->chainPrev = c;
  head = c;
}

// Forgets every cached text of file, so that a file opened later at the same
// address never sees them. The freed entries go to the old end of the use
// order, to be taken first.
void dropFromCache(ulMsgFileEntry *file) {
  State &s = state();
  if (s.cache == nullptr)
    return;
  for (int i = 0; i < s.cacheUsed; ++i) {
    CacheEntry *c = &s.cache[i];
    if (c->file != file)
      continue;
    unlinkChain(c);
    unlinkUse(c);
    c->file = nullptr;
    c->useOlder = nullptr;
    c->useNewer = s.oldest;
    (s.oldest ? s.oldest->useOlder : s.newest) = c;
    s.oldest = c;
  }
}

CacheEntry *cacheFind(ulMsgFileEntry *file, int number) {
  for (CacheEntry *c = state().chains[chainOf(number)]; c; c = c->chainNext)
    if (c->file == file && c->number == number)
      return c;
  return nullptr;
}

// An entry to hold a new text: an untaken one, else the least recently used
// (taken out of its chain).
CacheEntry *cacheTake() {
  State &s = state();
  if (s.cache == nullptr)
    makeCache();
  CacheEntry *c;
  if (s.cacheUsed < kCacheEntries) {
    c = &s.cache[s.cacheUsed++];
  } else {
    c = s.oldest;
    if (c->file)
      unlinkChain(c);
    unlinkUse(c);
  }
  c->file = nullptr;
  return c;
}

// Position in the index of number, or -1.
int32_t indexFind(const ulMsgFileEntry *e, int number) {
  int32_t lo = 0, hi = e->count - 1;
  while (lo <= hi) {
    int32_t mid = lo + (hi - lo) / 2;
    int32_t n = e->index[3 * mid];
    if (n == number)
      return mid;
    if (n < number)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -1;
}

// The raw text of number, from the cache or the file.
const char *lookup(ulMsgFileEntry *e, int number) {
  State &s = state();
  if (s.cache == nullptr)
    makeCache();
  if (CacheEntry *hit = cacheFind(e, number)) {
    unlinkUse(hit);
    linkUseFront(hit);
    unlinkChain(hit);
    linkChainFront(hit);
    return hit->text;
  }
  int32_t at = indexFind(e, number);
  if (at < 0)
    lookupFailure(e, 1021, number);
  int32_t offset = e->index[3 * at + 1];
  int32_t length = e->index[3 * at + 2];
  if (offset < 0 || std::fseek(e->stream, offset, SEEK_SET) != 0)
    lookupFailure(e, 1022, number);
  if (length < 0 || length > e->size - offset)
    lookupFailure(e, 1023, number);

  CacheEntry *c = cacheTake();
  if (c->size < length + 1) {
    c->text = static_cast<char *>(
        ulMemRealloc(c->text, static_cast<size_t>(length) + 1, "msgcache-initialize"));
    c->size = length + 1;
  }
  linkUseFront(c);
  if (std::fread(c->text, 1, static_cast<size_t>(length), e->stream) !=
      static_cast<size_t>(length)) {
    // Leave the entry unused at the old end so it is taken next.
    unlinkUse(c);
    c->useNewer = s.oldest;
    (s.oldest ? s.oldest->useOlder : s.newest) = c;
    s.oldest = c;
    lookupFailure(e, 1023, number);
  }
  // The length counts the zero byte; a damaged file may lack it.
  c->text[length > 0 ? length - 1 : 0] = '\0';
  c->file = e;
  c->number = number;
  linkChainFront(c);
  ++s.reads;
  return c->text;
}

} // namespace

// ---- Interface -------------------------------------------------------------------

ulMsgHandle ulMsgFileOpen(const char *name, const char *application, const char *version,
                          const char *minimum, const char *maximum) {
  State &s = state();
  if (name == nullptr)
    name = "";
  ulMsgFileEntry *e = s.first;
  while (e && std::strcmp(e->name, name) != 0)
    e = e->next;
  if (e) {
    ++e->opens;
  } else {
    e = load(name);
    if (!s.exitRegistered) {
      s.exitRegistered = true;
      ulOnExitAdd2(closeAll);
      ulOnExitSetOrder(closeAll, 85);
    }
    e->name = ulStrCpy(name);
    e->application = ulStrCpy(application);
    e->version = ulStrCpy(version);
    e->minimum = ulStrCpy(minimum);
    e->maximum = ulStrCpy(maximum);
    e->opens = 1;
    ulMsgFileEntry **tail = &s.first;
    while (*tail) {
      e->prev = *tail;
      tail = &(*tail)->next;
    }
    *tail = e;
  }
  // A failed check takes back this open and passes the exception on.
  if (ulExTry(ulEX_ALL, [&] { checkVersion(e, application, version, minimum, maximum); })) {
    ulMsgFileClose(e);
    ulExThrow(ulExTagV, ulExErrV);
  }
  return e;
}

void ulMsgFileClose(ulMsgHandle handle) {
  if (!isOpen(handle))
    return;
  if (--handle->opens <= 0)
    unlinkAndFree(handle);
}

ulMsgHandle ulMsgFile() {
  State &s = state();
  if (!isOpen(s.library)) {
    s.library = nullptr;
    ulMsgHandle h = ulMsgFileOpen(kLibName, kLibName, "5.0", "5.0.0", nullptr);
    s.library = h;
  }
  return s.library;
}

const char *ulMsgGetFilename(ulMsgHandle handle) {
  return isOpen(handle) ? handle->name : nullptr;
}

char *ulMsgText(ulMsgHandle handle, int number, ulMsgFunc function, void *data) {
  if (!isOpen(handle))
    notOpenFailure(handle, "ulMsgText");
  const char *text = lookup(handle, number);
  return function ? function(data, text) : const_cast<char *>(text);
}

char *ulMsgGenerateVa(ulMsgHandle handle, int number, ulMsgFunc function, void *data,
                      va_list args) {
  if (!isOpen(handle))
    notOpenFailure(handle, "ulMsgGenerate");
  // The raw text is copied: formatting may look up further messages and
  // reuse the cache entry it came from.
  char *copy = ulMsgText(handle, number, ulMsgCopyAlloc, nullptr);
  char *formatted = nullptr;
  if (ulExTry(ulEX_ALL, [&] { formatted = ulSprintfStaticVa(copy, args); })) {
    ulStrFree(copy);
    ulExThrow(ulExTagV, ulExErrV);
  }
  ulStrFree(copy);
  return function ? function(data, formatted) : formatted;
}

char *ulMsgGenerate(ulMsgHandle handle, int number, ulMsgFunc function, void *data, ...) {
  va_list args;
  va_start(args, data);
  char *result = ulMsgGenerateVa(handle, number, function, data, args);
  va_end(args);
  return result;
}

namespace {
char *returnText(void *, const char *text) {
  return const_cast<char *>(text);
}
} // namespace

char *ulMsgStaticVa(ulMsgHandle handle, int number, va_list args) {
  return ulMsgGenerateVa(handle, number, returnText, nullptr, args);
}

char *ulMsgStatic(ulMsgHandle handle, int number, ...) {
  va_list args;
  va_start(args, number);
  char *result = ulMsgStaticVa(handle, number, args);
  va_end(args);
  return result;
}

char *ulMsgAlloc(ulMsgHandle handle, int number, ...) {
  va_list args;
  va_start(args, number);
  char *result = nullptr;
  if (ulExTry(ulEX_PRECOND | ulEX_POSTCOND,
              [&] { result = ulMsgGenerateVa(handle, number, ulMsgCopyAlloc, nullptr, args); })) {
    ulErrDestroy(ulExErrV);
    ulExErrV = nullptr;
    result = ulSprintfAlloc("*** internal message file error; message #%d", number);
  }
  va_end(args);
  return result;
}

char *ulMsgBuffer(char *buffer, int size, ulMsgHandle handle, int number, ...) {
  ulMsgBufferDest dest{buffer, size};
  va_list args;
  va_start(args, number);
  ulMsgGenerateVa(handle, number, ulMsgCopyToBuffer, &dest, args);
  va_end(args);
  return buffer;
}

char *ulMsgCopyToBuffer(void *data, const char *text) {
  auto *dest = static_cast<ulMsgBufferDest *>(data);
  if (dest->buffer != nullptr && dest->size > 0)
    std::snprintf(dest->buffer, static_cast<size_t>(dest->size), "%s", text ? text : "");
  return dest->buffer;
}

char *ulMsgCopyAlloc(void *, const char *text) {
  return ulStrCpy(text);
}

int ulMsgCompVerValues(const char *text, int *major, int *minor, int *patch) {
  if (text == nullptr)
    return 0;
  long part[3];
  const char *p = text;
  for (int k = 0; k < 3; ++k) {
    const char *start = p;
    long v = 0;
    while (*p >= '0' && *p <= '9') {
      v = v * 10 + (*p - '0');
      if (v > 0x7fffffffL)
        return 0;
      ++p;
    }
    if (p == start)
      return 0;
    part[k] = v;
    if (k < 2 && *p++ != '.')
      return 0;
  }
  if (*p != '\0')
    return 0;
  *major = static_cast<int>(part[0]);
  *minor = static_cast<int>(part[1]);
  *patch = static_cast<int>(part[2]);
  return 1;
}

long ulMsgFileReads() {
  return state().reads;
}

void ulMsgClose() {
  // Files of the older fixed-record format are never opened by this system;
  // there is nothing to close.
}
