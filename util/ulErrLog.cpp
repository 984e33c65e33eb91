// The error log file: its name, pruning of old logs, and writing.

#include "ulErr.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "ulMem.h"
#include "ulStr.h"
#include "vs.h"

namespace {

struct LogState {
  bool allowed = true;     // cleared by a failed open
  bool enabled = true;     // ulErrLogEnable
  bool nameMade = false;   // the name below is valid
  bool firstOpen = true;   // the next successful open removes an old log
  bool firstEnable = true; // the first ulErrLogEnable acts even without a change
  bool releaseRegistered = false;
  char *name = nullptr; // vsMAXPATH bytes, "errorLogFilename"
  char program[vsMAXPATH] = "unknown";
  FILE *stream = nullptr; // the open log, or null
  int keep = 1;           // log files kept; the preference sets it (default 0)
};

LogState &logState() {
  static LogState s;
  return s;
}

// Exit handler: closes the log and frees the name.
void releaseLog() {
  LogState &s = logState();
  if (s.stream != nullptr) {
    std::fclose(s.stream);
    s.stream = nullptr;
  }
  ulMemFree(s.name);
  s.name = nullptr;
  s.nameMade = false;
}

void warn1120(const char *text) {
  ulErrOut(nullptr, ulErrCreate(nullptr, "ulErrLog", 1120, ulErrWARNING, 0, text));
}

// "BASE.EXT-PID.err" or "BASE-PID.err" in dir, and prunes the older ones.
// False when a name cannot be formed.
bool makeKeptName(LogState &s, const char *dir, const char *base, const char *ext) {
  char name[vsMAXPATH];
  char pattern[vsMAXPATH];
  int pid = static_cast<int>(getpid());
  int n = *ext != '\0' ? std::snprintf(name, sizeof name, "%s.%s-%d", base, ext, pid)
                       : std::snprintf(name, sizeof name, "%s-%d", base, pid);
  if (n < 0 || n >= static_cast<int>(sizeof name))
    return false;
  if (vsMerge(s.name, nullptr, dir, name, "err") != vsOK)
    return false;
  n = *ext != '\0' ? std::snprintf(pattern, sizeof pattern, "%s.%s-*", base, ext)
                   : std::snprintf(pattern, sizeof pattern, "%s-*", base);
  if (n < 0 || n >= static_cast<int>(sizeof pattern))
    return false;
  char merged[vsMAXPATH];
  if (vsMerge(merged, nullptr, dir, pattern, "err") != vsOK)
    return false;
  ulErrSaveOnlyNewestFiles(merged, s.keep);
  return true;
}

struct FoundFile {
  char *name; // owned (ulStrCpy)
  long time;  // modification time
};

struct FileList {
  FoundFile *files = nullptr;
  int count = 0;
  int room = 0;
};

int collectFile(char *path, void *user) {
  auto *list = static_cast<FileList *>(user);
  if (list->count == list->room) {
    if (list->files == nullptr) {
      list->room = 20;
      list->files =
          static_cast<FoundFile *>(ulMemMalloc(sizeof(FoundFile) * list->room, "errorLogFilelist"));
    } else {
      list->room += 10;
      list->files = static_cast<FoundFile *>(
          ulMemRealloc(list->files, sizeof(FoundFile) * list->room, "errorLogFilelist(resized)"));
    }
  }
  list->files[list->count++] = FoundFile{ulStrCpy(path), vsFtime(path)};
  return vsLOOP;
}

} // namespace

void ulErr_LogReset() {
  releaseLog();
  LogState &s = logState();
  const bool registered = s.releaseRegistered;
  s = LogState();
  s.releaseRegistered = registered;
}

void ulErrLogSetArgv0(const char *name) {
  LogState &s = logState();
  std::snprintf(s.program, sizeof s.program, "%s", name != nullptr ? name : "unknown");
}

void ulErrLogKeepFiles(int count) {
  logState().keep = count;
}

int ulErrLogIsEnabled() {
  return logState().enabled ? 1 : 0;
}

const char *ulErrLogFileName() {
  LogState &s = logState();
  return s.nameMade && s.allowed ? s.name : nullptr;
}

void ulErrLogEnable(int on) {
  LogState &s = logState();
  bool want = on != 0;
  if (want == s.enabled && !s.firstEnable)
    return;
  s.firstEnable = false;
  s.enabled = want;
  if (want) {
    ulErrLogOpenFile();
  } else {
    ulErrLogCloseFile();
    s.nameMade = false;
  }
}

void ulErrLogCloseFile() {
  LogState &s = logState();
  if (s.stream != nullptr) {
    std::fclose(s.stream);
    s.stream = nullptr;
  }
}

void ulErrLogOpenFile() {
  LogState &s = logState();
  if (!((s.enabled && !s.nameMade) || (s.nameMade && !s.allowed)))
    return;
  s.nameMade = true;
  if (s.name == nullptr)
    s.name = static_cast<char *>(ulMemMalloc(vsMAXPATH, "errorLogFilename"));
  if (!s.releaseRegistered) {
    s.releaseRegistered = true;
    ulOnExitAdd2(releaseLog);
  }
  const char *dirValue = std::getenv("UL_LOGDIR");
  const char *dir = dirValue != nullptr ? dirValue : "";

  char base[vsMAXPATH] = "";
  char ext[vsMAXPATH] = "";
  bool parsed = vsParse(s.program, nullptr, nullptr, base, ext) == vsOK;

  bool named = parsed && s.keep > 0 && makeKeptName(s, dir, base, ext);
  if (!named)
    named = parsed && vsMerge(s.name, nullptr, dir, base, "err") == vsOK;
  if (!named) {
    if (vsMerge(s.name, nullptr, dir, "unknown", "err") != vsOK)
      std::snprintf(s.name, vsMAXPATH, "%s", "unknown.err");
    char text[3 * vsMAXPATH + 160];
    std::snprintf(text, sizeof text,
                  "Error creating name for error log file, trying `%s' instead (I was given "
                  "UL_LOGDIR=`%s' and program=`%s').",
                  s.name, dirValue != nullptr ? dirValue : "", s.program);
    warn1120(text);
  }

  FILE *f = std::fopen(s.name, "a");
  if (f == nullptr) {
    s.allowed = false;
    char text[vsMAXPATH + 80];
    std::snprintf(text, sizeof text, "Can't open error log file `%s', logging disabled.", s.name);
    warn1120(text);
    return;
  }
  s.allowed = true;
  if (s.firstOpen) {
    // A log an earlier run left under this name goes; the file comes back
    // with the first error this run logs.
    s.firstOpen = false;
    std::fclose(f);
    vsDelete(s.name, vsFILE);
  } else {
    ulErrLogCloseFile();
    s.stream = f;
  }
  vsAbsPath(s.name);
}

void ulErrLog(ulErr *chain) {
  LogState &s = logState();
  if (chain == nullptr || chain->severity == ulErrSTATUS)
    return;
  if (s.enabled && !s.nameMade)
    ulErrLogOpenFile();
  if (!s.allowed || !s.enabled || !s.nameMade || chain->number == 1120)
    return;
  if (s.stream == nullptr) {
    s.stream = std::fopen(s.name, "a");
    if (s.stream == nullptr) {
      char text[vsMAXPATH + 40];
      std::snprintf(text, sizeof text, "Can't re-open error log file `%s'.", s.name);
      warn1120(text);
      return;
    }
  }
  std::fprintf(s.stream, "%s\n", ulErrString(chain, ulErrCNTX_LOGFILE));
  std::fflush(s.stream);
}

int ulErrSaveOnlyNewestFiles(const char *pattern, int keep) {
  FileList list;
  vsLoop2(pattern, vsFILE, collectFile, &list);
  std::stable_sort(list.files, list.files + list.count,
                   [](const FoundFile &a, const FoundFile &b) { return a.time > b.time; });
  for (int i = 0; i < list.count; ++i) {
    if (i >= keep)
      vsDelete(list.files[i].name, vsFILE);
    ulStrFree(list.files[i].name);
  }
  ulMemFree(list.files);
  return list.count;
}
