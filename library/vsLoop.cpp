// vsLoop.cpp: the directory cache and the directory loops.
//
// A listing (DirListing) holds the entries of one directory, sorted by name
// (strcmp), each with its local modification time, size and kind as examined
// when it was first seen. Listings are immutable once built and shared by
// reference count: the cache table holds one reference, every running loop
// another, so a loop keeps its listing even when a nested loop replaces it in
// the cache.
//
// Getting a listing for a directory whose modification time equals the
// cached one re-reads the names only. When the names come back in exactly
// the order of the previous read (the common case: nothing changed), the
// cached listing itself is handed out, with no sort and no allocation.
// Otherwise a new listing is built from the sorted names, taking what it can
// from the cached one and examining only new names. A directory whose time
// changed is read and examined afresh.
#include "vs.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <regex.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "ulBase.h"
#include "ulEx.h"
#include "ulMem.h"
#include "ulStr.h"
#include "ulSym.h"
#include "vsInternal.h"

namespace {

// One entry of a listing.
struct DirEntry {
  char *name; // owned pooled string
  long time;  // local modification time (vsInfo's count)
  long size;  // size in bytes
  int kind;   // vsDIR, vsFILE, or -1 when the entry could not be examined
};

// The entries of one directory as read at one modification time.
struct DirListing {
  int refs;          // the cache's reference plus one per running loop
  long time;         // the directory's modification time when it was read
  int count;         // number of entries
  DirEntry *entries; // count entries, ascending strcmp order of names
  int *readOrder;    // readOrder[i]: index in entries of the i-th name the system gave
};

// Process-wide state of the directory cache.
struct CacheState {
  ulSym table = nullptr; // directory path (ending in "/") -> DirListing *
  long examined = 0;     // entries examined since the start (vsDirCacheExamined)
};

CacheState &state() {
  static CacheState s;
  return s;
}

void release(DirListing *l) {
  if (l == nullptr || --l->refs > 0)
    return;
  for (int i = 0; i < l->count; ++i)
    ulStrFree(l->entries[i].name);
  ulMemFree(l->entries);
  ulMemFree(l->readOrder);
  ulMemFree(l);
}

void releaseValue(void *value) {
  release(static_cast<DirListing *>(value));
}

// Purge routine: drops the cache's references to every listing. Listings
// held by running loops live on until those loops end.
void purgeCache() {
  CacheState &s = state();
  ulSymDestroy(s.table, releaseValue);
  s.table = nullptr;
}

ulSym table() {
  CacheState &s = state();
  if (s.table == nullptr) {
    static bool purgeRegistered = false;
    s.table = ulSymCreate(67, ulSymStHash, ulStrEqu, ulSymStCpy, ulSymStFree);
    if (!purgeRegistered) {
      purgeRegistered = true;
      ulAddPurgeRoutine(purgeCache);
    }
  }
  return s.table;
}

// Closes a directory stream on every path out.
struct DirHandle {
  DIR *dir;
  ~DirHandle() {
    if (dir != nullptr)
      closedir(dir);
  }
};

// The names of a directory in the order the system gives them, packed into
// one buffer. The array of offsets starts with room for 100 names and
// doubles when full.
struct NameList {
  std::string text;          // every name followed by its zero byte
  std::vector<size_t> start; // offset of each name in text
  const char *at(size_t i) const { return text.data() + start[i]; }
};

void readNames(DIR *dir, NameList &names) {
  names.start.reserve(100);
  while (dirent *d = readdir(dir)) {
    const char *n = d->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
      continue;
    if (names.start.size() == names.start.capacity())
      names.start.reserve(names.start.size() * 2);
    names.start.push_back(names.text.size());
    names.text.append(n, std::strlen(n) + 1);
  }
}

// Examines name in the open directory; kind -1 when that fails.
void examine(int dirFd, const char *directory, DirEntry &e) {
  ++state().examined;
  struct stat st;
  int rc;
  if (dirFd >= 0) {
    rc = fstatat(dirFd, e.name, &st, 0);
  } else {
    std::string path = std::string(directory) + e.name;
    rc = stat(path.c_str(), &st);
  }
  if (rc != 0) {
    e.time = 0;
    e.size = 0;
    e.kind = -1;
    return;
  }
  e.time = vsi::localSeconds(st.st_mtime);
  e.size = static_cast<long>(st.st_size);
  e.kind = vsi::kindOf(st.st_mode);
}

// True when names are exactly the names of l, given in the same order as
// when l was read.
bool sameRead(const NameList &names, const DirListing *l) {
  if (static_cast<int>(names.start.size()) != l->count)
    return false;
  for (int i = 0; i < l->count; ++i)
    if (std::strcmp(names.at(i), l->entries[l->readOrder[i]].name) != 0)
      return false;
  return true;
}

// A new listing of names, sorted. Entries whose names old holds take their
// information from there; the others are examined.
DirListing *build(const NameList &names, long time, const DirListing *old, int dirFd,
                  const char *directory) {
  int n = static_cast<int>(names.start.size());
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i)
    order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](int a, int b) { return std::strcmp(names.at(a), names.at(b)) < 0; });

  auto *l = static_cast<DirListing *>(ulMemMalloc(sizeof(DirListing), "vsDirListing"));
  l->refs = 1;
  l->time = time;
  l->count = n;
  l->entries = static_cast<DirEntry *>(ulMemMalloc(sizeof(DirEntry) * (n ? n : 1), "vsDirEntries"));
  l->readOrder = static_cast<int *>(ulMemMalloc(sizeof(int) * (n ? n : 1), "vsDirReadOrder"));
  std::vector<bool> known(n, false);
  int j = 0; // walks old's entries, which are in the same order
  for (int i = 0; i < n; ++i) {
    DirEntry &e = l->entries[i];
    e.name = ulStrCpy(names.at(order[i]));
    l->readOrder[order[i]] = i;
    if (old == nullptr)
      continue;
    while (j < old->count && std::strcmp(old->entries[j].name, e.name) < 0)
      ++j;
    if (j < old->count && std::strcmp(old->entries[j].name, e.name) == 0) {
      e.time = old->entries[j].time;
      e.size = old->entries[j].size;
      e.kind = old->entries[j].kind;
      known[i] = true;
    }
  }
  // Examine in the order the system gave the names: that is usually the
  // order of the directory's own storage.
  for (int r = 0; r < n; ++r) {
    int i = l->readOrder[r];
    if (!known[i])
      examine(dirFd, directory, l->entries[i]);
  }
  return l;
}

// The listing of directory (ending in "/") whose modification time is time,
// from the cache or read now; the caller holds one reference to it.
DirListing *getListing(const char *directory, long time) {
  ulSym t = table();
  auto *cached = static_cast<DirListing *>(ulSymFetch(t, directory));
  NameList names;
  DirHandle h{opendir(directory)};
  if (h.dir != nullptr)
    readNames(h.dir, names);
  int fd = h.dir ? dirfd(h.dir) : -1;

  DirListing *l;
  if (cached != nullptr && cached->time == time) {
    if (sameRead(names, cached)) {
      ++cached->refs;
      return cached;
    }
    l = build(names, cached->time, cached, fd, directory);
  } else {
    l = build(names, time, nullptr, fd, directory);
  }
  release(static_cast<DirListing *>(ulSymStore(t, directory, l)));
  ++l->refs;
  return l;
}

// Holds a loop's reference to its listing and drops it on every way out.
struct ListingRef {
  DirListing *listing;
  ~ListingRef() { reset(); }
  void reset() {
    release(listing);
    listing = nullptr;
  }
};

// The directory and file name pattern of a loop, and the directory's time.
struct LoopSetup {
  char directory[vsMAXPATH]; // device + directory, ending in "/"
  char pattern[vsMAXPATH];   // file name pattern
  long time;                 // the directory's modification time
  int kind;                  // the kind to take
};

int setUp(const char *spec, int kind, LoopSetup &s) {
  char abs[vsMAXPATH], dev[vsMAXPATH], dir[vsMAXPATH];
  int st = vsAbsPath2(spec, abs);
  if (st != vsOK)
    return st;
  st = vsParse2(abs, dev, dir, s.pattern);
  if (st != vsOK)
    return st;
  s.kind = kind;
  if (s.pattern[0] == '\0') {
    // A bare directory visits its subdirectories, all of them.
    if (kind == vsFILE)
      return vsBADSPEC;
    s.kind = vsDIR;
    std::strcpy(s.pattern, "*");
  }
  if (!vsi::copyTo(s.directory, dev, sizeof s.directory) ||
      !vsi::appendTo(s.directory, dir, sizeof s.directory))
    return vsBADSPEC;
  if (vsInfo(s.directory, &s.time, nullptr, nullptr) != vsOK)
    return vsNOTFOUND;
  return vsOK;
}

// Runs visit(entry, path) for every entry of the listing that kind takes and
// match accepts, with path the full spec of the entry, until visit returns
// vsSTOP. An exception thrown by visit passes on after the listing has been
// released. Returns the number of entries taken.
template <class Match, class Visit> int walk(const LoopSetup &s, Match &&match, Visit &&visit) {
  ListingRef ref{getListing(s.directory, s.time)};
  const DirListing *l = ref.listing;
  int taken = 0;
  // The frame catches every tag, faults included: a fault jumps back here
  // without running destructors inside the body, so the body holds nothing
  // that needs one.
  int caught = ulExTry(ulEX_ALL, [&] {
    char path[vsMAXPATH];
    size_t dirLen = std::strlen(s.directory);
    std::memcpy(path, s.directory, dirLen);
    for (int i = 0; i < l->count; ++i) {
      const DirEntry &e = l->entries[i];
      if (e.kind == -1 || !vsi::kindMatches(s.kind, e.kind) || !match(e))
        continue;
      size_t n = std::strlen(e.name);
      if (dirLen + n >= vsMAXPATH)
        continue; // no spec can name it
      std::memcpy(path + dirLen, e.name, n + 1);
      ++taken;
      if (visit(e, path) == vsSTOP)
        break;
    }
  });
  ref.reset();
  if (caught)
    ulExThrow(ulExTagV, ulExErrV);
  return taken;
}

} // namespace

int vsLoop2(const char *pattern, int kind, vsLoopProc callback, void *user) {
  LoopSetup s;
  int st = setUp(pattern, kind, s);
  if (st != vsOK)
    return st;
  bool countOnly = callback == nullptr || callback == reinterpret_cast<vsLoopProc>(&ulDummyProc);
  int taken = walk(
      s, [&](const DirEntry &e) { return ulStrMat(s.pattern, e.name) != 0; },
      [&](const DirEntry &, char *path) { return countOnly ? vsLOOP : callback(path, user); });
  return taken > 0 ? vsOK : vsNOTFOUND;
}

int vsLoop(const char *pattern, int kind, vsLoopProc callback) {
  return vsLoop2(pattern, kind, callback, nullptr);
}

int vsLoopRegexp(const char *pattern, int kind, const regex_t *re, vsRegexpProc callback,
                 void *user) {
  if (re == nullptr)
    return vsBADSPEC;
  LoopSetup s;
  int st = setUp(pattern, kind, s);
  if (st != vsOK)
    return st;
  regmatch_t regs[vsREGMAX];
  int taken = walk(
      s,
      [&](const DirEntry &e) {
        for (regmatch_t &r : regs)
          r.rm_so = r.rm_eo = -1;
        return regexec(re, e.name, vsREGMAX, regs, 0) == 0;
      },
      [&](const DirEntry &, char *path) { return callback ? callback(path, user, regs) : vsLOOP; });
  return taken > 0 ? vsOK : vsNOTFOUND;
}

int vsDirForEachFile(const char *spec, const char *wildcard, int kind, vsDirEntryProc callback,
                     void *user) {
  char abs[vsMAXPATH];
  long time = 0, size = 0;
  int entryKind = 0;
  if (vsAbsPath2(spec, abs) != vsOK || vsInfo(abs, &time, &size, &entryKind) != vsOK)
    return vsNOTFOUND;
  if (entryKind != vsDIR) {
    char dir[vsMAXPATH], fileName[vsMAXPATH];
    if (vsParse2(abs, nullptr, dir, fileName) != vsOK)
      return vsNOTFOUND;
    if (callback != nullptr)
      callback(user, dir, fileName, time, size, entryKind);
    return 1;
  }
  LoopSetup s;
  if (!vsi::copyTo(s.directory, abs, sizeof s.directory) ||
      (abs[std::strlen(abs) - 1] != '/' && !vsi::appendTo(s.directory, "/", sizeof s.directory)))
    return vsNOTFOUND;
  s.time = time;
  s.kind = kind;
  s.pattern[0] = '\0';
  return walk(
      s, [&](const DirEntry &e) { return wildcard == nullptr || ulStrMat(wildcard, e.name); },
      [&](const DirEntry &e, char *) {
        return callback == nullptr ||
                       callback(user, s.directory, e.name, e.time, e.size, e.kind) != 0
                   ? vsLOOP
                   : vsSTOP;
      });
}

int vs_WDIRExists2(const char *spec, int kind, char *out) {
  char abs[vsMAXPATH], dev[vsMAXPATH], dir[vsMAXPATH], fileName[vsMAXPATH];
  if (vsAbsPath2(spec, abs) != vsOK || vsParse2(abs, dev, dir, fileName) != vsOK)
    return vsBADSPEC;
  LoopSetup s;
  if (!vsi::copyTo(s.directory, dev, sizeof s.directory) ||
      !vsi::appendTo(s.directory, dir, sizeof s.directory))
    return vsBADSPEC;
  if (fileName[0] == '\0')
    return vsExists(s.directory, kind) == vsOK && (!out || vsi::copyTo(out, abs, vsMAXPATH))
               ? vsOK
               : vsNOTFOUND;
  if (vsInfo(s.directory, &s.time, nullptr, nullptr) != vsOK)
    return vsNOTFOUND;
  ListingRef ref{getListing(s.directory, s.time)};
  const DirListing *l = ref.listing;
  const DirEntry *begin = l->entries;
  const DirEntry *end = begin + l->count;
  const char *wanted = fileName;
  const DirEntry *e = std::lower_bound(begin, end, wanted, [](const DirEntry &a, const char *b) {
    return std::strcmp(a.name, b) < 0;
  });
  if (e == end || std::strcmp(e->name, fileName) != 0 || e->kind == -1 ||
      !vsi::kindMatches(kind, e->kind))
    return vsNOTFOUND;
  if (out != nullptr)
    std::strcpy(out, abs);
  return vsOK;
}

long vsDirCacheExamined() {
  return state().examined;
}
