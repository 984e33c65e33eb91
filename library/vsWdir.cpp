// vsWdir.cpp: the WDIR list of working directories and the searches along
// it, down to the full search order of configuration files.
//
// The list is built from the environment on first use and kept until a
// reset: changing WDIR meanwhile has no effect. Each element learns once per
// list whether it exists, so a search over many names stats each missing
// WDIR directory only once.
#include "vs.h"

#include <cstring>
#include <deque>

#include "ulErr.h"
#include "ulMem.h"
#include "ulStr.h"
#include "vsInternal.h"

// The data directory of an installed program, relative to the program's own
// directory; the build sets it from its install layout.
#ifndef VS_EXE_DATA_DIR
#define VS_EXE_DATA_DIR "../share/retag"
#endif

const char *ulCompatibleVersionV = "60";

namespace {

// Existence of an element's directory, learnt by the first search meeting it.
enum : unsigned { kUnchecked = 0, kExists = 1, kMissing = 2 };

// One element of the WDIR list.
struct WdirElement {
  WdirElement *next;      // following element, null at the end
  char *directory;        // owned (pooled) copy of the directory
  unsigned versioned : 1; // a WDIR directory with the version subdirectory appended
  unsigned state : 2;     // kUnchecked, kExists or kMissing
};

constexpr size_t kVersionMax = 80;

// Process-wide state of the WDIR list and the WDIR stepping queue.
struct WdirState {
  WdirElement *head = nullptr;        // the list, in search order
  bool rebuild = true;                // the list must be built before its next use
  int mode = 0;                       // 0 versioned and plain, 1 versioned only, 2 plain only
  char version[kVersionMax + 1] = ""; // compatible-version name
  bool versionSet = false;            // version set explicitly, not from ulCompatibleVersionV
  bool freeAtExit = false;            // freeList registered with the exit handlers
  std::deque<char *> queue;           // paths waiting for vsStepWdirs* (pooled)
  char *stepResult = nullptr;         // vsStepWdirs' last result, freed at its next call
};

WdirState &state() {
  static WdirState s;
  return s;
}

void freeList() {
  WdirState &s = state();
  while (s.head != nullptr) {
    WdirElement *e = s.head;
    s.head = e->next;
    ulStrFree(e->directory);
    ulMemFree(e);
  }
}

void append(WdirElement **&tail, const char *directory, bool versioned) {
  auto *e = static_cast<WdirElement *>(ulMemMalloc(sizeof(WdirElement), "vsWdirElement"));
  e->next = nullptr;
  e->directory = ulStrCpy(directory);
  e->versioned = versioned;
  e->state = kUnchecked;
  *tail = e;
  tail = &e->next;
}

void setVersion(const char *name) {
  WdirState &s = state();
  size_t n = name ? std::strlen(name) : 0;
  if (n > kVersionMax)
    n = kVersionMax;
  if (n > 0)
    std::memcpy(s.version, name, n);
  s.version[n] = '\0';
}

void build() {
  WdirState &s = state();
  s.rebuild = false;
  freeList();
  if (!s.versionSet)
    setVersion(ulCompatibleVersionV);
  if (!s.freeAtExit) {
    s.freeAtExit = true;
    ulOnExitAdd2(freeList);
  }
  char value[vsMAXENV];
  if (vsTrnlog("WDIR", value) != vsOK)
    return;
  WdirElement **tail = &s.head;
  const char *p = value;
  while (*p != '\0') {
    p += std::strspn(p, " \t:");
    size_t len = std::strcspn(p, " \t:");
    if (len == 0)
      break;
    char dir[vsMAXPATH];
    bool fits = len < vsMAXPATH;
    if (fits) {
      std::memcpy(dir, p, len);
      dir[len] = '\0';
    }
    p += len;
    if (!fits)
      continue;
    if (s.mode != 2 && s.version[0] != '\0') {
      char versioned[vsMAXPATH];
      std::strcpy(versioned, dir);
      if (vsDnpath(versioned, s.version) == vsOK)
        append(tail, versioned, true);
    }
    if (s.mode != 1)
      append(tail, dir, false);
  }
}

WdirElement *list() {
  if (state().rebuild)
    build();
  return state().head;
}

bool elementExists(WdirElement *e) {
  if (e->state == kUnchecked)
    e->state = vsExists(e->directory, vsDIR) == vsOK ? kExists : kMissing;
  return e->state == kExists;
}

// Tries one candidate: when it exists with kind, its absolute spec goes to
// out and the result is true.
bool found(const char *candidate, int kind, char *out) {
  return vsExists(candidate, kind) == vsOK && vsAbsPath2(candidate, out) == vsOK;
}

// base + subdirectory + fileName as a candidate; false if it cannot be formed.
bool formCandidate(char *candidate, const char *device, const char *base, const char *subdirectory,
                   const char *fileName) {
  char dir[vsMAXPATH];
  return vsi::copyTo(dir, base, sizeof dir) && vsDnpath(dir, subdirectory) == vsOK &&
         vsMerge(candidate, device, dir, fileName, nullptr) == vsOK;
}

int queuePath(char *path, void *) {
  state().queue.push_back(ulStrCpy(path));
  return vsLOOP;
}

void fillQueue(int kind) {
  for (WdirElement *e = list(); e != nullptr; e = e->next) {
    char pattern[vsMAXPATH];
    if (!e->versioned && vsMerge(pattern, nullptr, e->directory, "*", nullptr) == vsOK)
      (void)vsLoop2(pattern, kind, queuePath, nullptr);
  }
}

void emptyQueue() {
  WdirState &s = state();
  for (char *p : s.queue)
    ulStrFree(p);
  s.queue.clear();
}

char *take() {
  WdirState &s = state();
  if (s.queue.empty())
    return nullptr;
  char *p = s.queue.front();
  s.queue.pop_front();
  return p;
}

// Fills the queue as start asks: -1 adds the entries of the WDIR
// directories, 0 starts afresh with them, anything else leaves it as it is.
void startStep(int start, int kind) {
  if (start == 0)
    emptyQueue();
  if (start == 0 || start == -1)
    fillQueue(kind);
}

// The vsStepWdirs result is kept here until the next call.
char *keepStepResult(char *p) {
  WdirState &s = state();
  ulStrFree(s.stepResult);
  s.stepResult = p;
  return p;
}

} // namespace

int vsSrchwdirs(const char *spec, int kind, char *out) {
  char dev[vsMAXPATH], dir[vsMAXPATH], fileName[vsMAXPATH];
  if (vsParse2(spec, dev, dir, fileName) != vsOK)
    return vsDENIED;
  for (WdirElement *e = list(); e != nullptr; e = e->next) {
    if (!elementExists(e))
      continue;
    char candidate[vsMAXPATH];
    if (formCandidate(candidate, dev, e->directory, dir, fileName) && found(candidate, kind, out))
      return vsOK;
  }
  return vsNOTFOUND;
}

int vsSrchdirs(const char *spec, int kind, char *out) {
  WdirState &s = state();
  (void)list();
  char dev[vsMAXPATH], dir[vsMAXPATH], fileName[vsMAXPATH];
  if (vsParse2(spec, dev, dir, fileName) != vsOK)
    return vsDENIED;
  char candidate[vsMAXPATH];
  if (s.mode != 2 && s.version[0] != '\0' &&
      formCandidate(candidate, dev, dir, s.version, fileName) && found(candidate, kind, out))
    return vsOK;
  if (s.mode != 1 && found(spec, kind, out))
    return vsOK;
  std::strcpy(out, spec);
  if (dir[0] == '/' || dev[0] != '\0')
    return vsNOTFOUND;
  char result[vsMAXPATH];
  const char *origin = vsGetorigin();
  if (origin != nullptr && formCandidate(candidate, dev, origin, dir, fileName) &&
      found(candidate, kind, result)) {
    std::strcpy(out, result);
    return vsOK;
  }
  int st = vsSrchwdirs(spec, kind, result);
  if (st != vsOK)
    st = vsSrchExeDir(dir, fileName, nullptr, kind, result); // "foo." keeps its dot
  if (st == vsOK)
    std::strcpy(out, result);
  return st;
}

int vsSrchExeDir(const char *directory, const char *name, const char *extension, int kind,
                 char *out) {
  const char *exe = vsExeDir();
  if (exe == nullptr)
    return vsNOTFOUND;
  // An installed program keeps its data in the data directory reached from
  // its own (so the installed tree can move as a whole); a program run where
  // it was built has its data beside it.
  for (const char *base : {VS_EXE_DATA_DIR, ""}) {
    char dir[vsMAXPATH], candidate[vsMAXPATH];
    if (vsi::copyTo(dir, exe, sizeof dir) && vsDnpath(dir, base) == vsOK &&
        vsDnpath(dir, directory) == vsOK &&
        vsMerge(candidate, nullptr, dir, name, extension) == vsOK && found(candidate, kind, out))
      return vsOK;
  }
  return vsNOTFOUND;
}

int vsGetini(const char *fileName, char *out) {
  return vsSrchdirs(fileName, vsFILE, out);
}

void vsLoopwdirs(vsWdirProc callback) {
  for (WdirElement *e = list(); e != nullptr; e = e->next)
    if (!e->versioned && callback(e->directory) == 0)
      return;
}

int vsLoopWdirs2(vsWdirProc2 callback, void *user) {
  for (WdirElement *e = list(); e != nullptr; e = e->next)
    if (!e->versioned && callback(user, e->directory) == 0)
      return 0;
  return 1;
}

int vsWdirLoopSrchdirs2(vsWdirProc2 callback, void *user) {
  WdirState &s = state();
  WdirElement *head = list();
  char dir[vsMAXPATH];
  if (s.mode != 2 && s.version[0] != '\0') {
    dir[0] = '\0';
    if (vsDnpath(dir, s.version) == vsOK && callback(user, dir) == 0)
      return 0;
  }
  std::strcpy(dir, ".");
  if (callback(user, dir) == 0)
    return 0;
  for (WdirElement *e = head; e != nullptr; e = e->next)
    if (callback(user, e->directory) == 0)
      return 0;
  return 1;
}

void vsResetWdirCache() {
  freeList();
  state().rebuild = true;
}

void vsWdirSetCompatibleVersion(const char *name) {
  vsResetWdirCache();
  setVersion(name);
  state().versionSet = true;
}

char *vsStepWdirsAlloc(int start, int kind) {
  startStep(start, kind);
  return take();
}

char *vsStepWdirs(int start, int kind) {
  return keepStepResult(vsStepWdirsAlloc(start, kind));
}

char *vsStepWdirsForNameAlloc(const char *pattern, int start, int kind) {
  startStep(start, kind);
  while (char *p = take()) {
    char fileName[vsMAXPATH];
    if (vsParse2(p, nullptr, nullptr, fileName) == vsOK && ulStrMat(pattern, fileName))
      return p;
    ulStrFree(p);
  }
  return nullptr;
}

char *vsStepWdirsForName(const char *pattern, int start, int kind) {
  return keepStepResult(vsStepWdirsForNameAlloc(pattern, start, kind));
}
