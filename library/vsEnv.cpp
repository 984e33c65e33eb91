// vsEnv.cpp: what the path layer learns from the process and the system:
// entry information, environment variables, the default directory, the
// origin and executable directories, the layer's message file, the timer and
// the core-dump exit.
#include "vs.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/time.h>
#include <unistd.h>

#include "ulErr.h"
#include "ulStr.h"
#include "vsInternal.h"

namespace {

// Process-wide state of this part of the layer.
struct EnvState {
  char defaultDir[vsMAXPATH];    // cached default directory, valid when haveDefault
  bool haveDefault = false;      // defaultDir has been read (or set)
  char *origin = nullptr;        // origin spec (pooled), or null
  char *exeDir = nullptr;        // executable directory (pooled, ends in "/"), or null
  bool exeDirAtExit = false;     // release of exeDir registered with the exit handlers
  bool exeDirAsked = false;      // vsSetexedir was called, or the system was asked once
  ulMsgHandle msgFile = nullptr; // "vslib", once opened
  bool timerStarted = false;     // timerStart holds the first vsTimer(1) call
  timeval timerStart{};          // when vsTimer(1) was first called
};

EnvState &state() {
  static EnvState s;
  return s;
}

void freeExeDir() {
  ulStrFree(state().exeDir);
  state().exeDir = nullptr;
}

// Days from 1 January 1970 to the given Gregorian date.
long daysFromEpoch(long year, long month, long day) {
  year -= month <= 2;
  long era = (year >= 0 ? year : year - 399) / 400;
  long yoe = year - era * 400;
  long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Records the directory part of an absolute program spec.
int recordExeDir(const char *absSpec) {
  char dir[vsMAXPATH];
  if (vsParse(absSpec, nullptr, dir, nullptr, nullptr) != vsOK || dir[0] == '\0')
    return 0;
  EnvState &s = state();
  s.exeDir = ulStrCpy(dir);
  if (!s.exeDirAtExit) {
    s.exeDirAtExit = true;
    ulOnExitAdd2(freeExeDir);
  }
  return 1;
}

} // namespace

namespace vsi {

long localSeconds(time_t t) {
  tm local{};
  if (localtime_r(&t, &local) == nullptr)
    return static_cast<long>(t);
  return daysFromEpoch(local.tm_year + 1900L, local.tm_mon + 1L, local.tm_mday) * 86400L +
         local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
}

} // namespace vsi

// ---- Existence and information ------------------------------------------------

int vsInfo(const char *spec, long *time, long *size, int *kind) {
  struct stat st;
  if (spec == nullptr || stat(spec, &st) != 0)
    return vsNOTFOUND;
  if (time != nullptr)
    *time = vsi::localSeconds(st.st_mtime);
  if (size != nullptr)
    *size = static_cast<long>(st.st_size);
  if (kind != nullptr)
    *kind = vsi::kindOf(st.st_mode);
  return vsOK;
}

int vsExists(const char *spec, int kind) {
  struct stat st;
  if (spec == nullptr || stat(spec, &st) != 0)
    return vsNOTFOUND;
  return vsi::kindMatches(kind, vsi::kindOf(st.st_mode)) ? vsOK : vsNOTFOUND;
}

int vsExists2(const char *spec, int kind, char *out) {
  int st = vsExists(spec, kind);
  if (st != vsOK)
    return st;
  return vsAbsPath2(spec, out);
}

int vsFexists(const char *spec) {
  return vsExists(spec, vsFILE) == vsOK;
}

long vsFtime(const char *spec) {
  long t = 0;
  return vsInfo(spec, &t, nullptr, nullptr) == vsOK ? t : 0;
}

long vsFGMtime(const char *spec) {
  struct stat st;
  if (spec == nullptr || stat(spec, &st) != 0)
    return 0;
  return static_cast<long>(st.st_mtime);
}

int vsTrnlog(const char *variable, char *value) {
  const char *v = variable ? std::getenv(variable) : nullptr;
  if (v == nullptr)
    return vsNOTFOUND;
  if (value != nullptr) {
    size_t n = std::strlen(v);
    if (n > vsMAXENV - 1)
      n = vsMAXENV - 1;
    std::memcpy(value, v, n);
    value[n] = '\0';
  }
  return vsOK;
}

// ---- Default directory and origin ------------------------------------------------

int vsGetdef(char *directory) {
  EnvState &s = state();
  if (!s.haveDefault) {
    if (getcwd(s.defaultDir, sizeof s.defaultDir) == nullptr)
      return vsFAIL;
    size_t n = std::strlen(s.defaultDir);
    if (s.defaultDir[n - 1] != '/' && n + 1 < vsMAXPATH)
      std::strcpy(s.defaultDir + n, "/");
    s.haveDefault = true;
  }
  if (directory != nullptr)
    std::strcpy(directory, s.defaultDir);
  return vsOK;
}

int vsSetdef(const char *directory) {
  if (directory == nullptr || directory[0] == '\0')
    return vsDENIED;
  char dir[vsMAXPATH], name[vsMAXPATH];
  if (vsParse(directory, nullptr, dir, name, nullptr) != vsOK)
    return vsDENIED;
  char trimmed[vsMAXPATH];
  if (vsMerge(trimmed, nullptr, dir, name, nullptr) == vsOK && trimmed[0] == '\0')
    return vsOK;
  char abs[vsMAXPATH];
  if (vsAbsPath2(directory, abs) != vsOK || chdir(abs) != 0)
    return vsDENIED;
  size_t n = std::strlen(abs);
  if (abs[n - 1] != '/' && n + 1 < vsMAXPATH)
    std::strcpy(abs + n, "/");
  EnvState &s = state();
  std::strcpy(s.defaultDir, abs);
  s.haveDefault = true;
  return vsOK;
}

int vsSetorigin(const char *spec) {
  if (spec != nullptr && std::strlen(spec) >= vsMAXPATH)
    return vsDENIED;
  EnvState &s = state();
  char *old = s.origin; // spec may be the current origin itself
  s.origin = spec ? ulStrCpy(spec) : nullptr;
  ulStrFree(old);
  return vsOK;
}

const char *vsGetorigin() {
  return state().origin;
}

// ---- Executable directory ---------------------------------------------------------

int vsSetexedir(const char *programSpec) {
  state().exeDirAsked = true;
  freeExeDir();
  char dev[vsMAXPATH], dir[vsMAXPATH], fileName[vsMAXPATH];
  if (programSpec == nullptr || programSpec[0] == '\0' ||
      vsParse2(programSpec, dev, dir, fileName) != vsOK)
    return 0;
  char abs[vsMAXPATH];
  if (dev[0] != '\0' || dir[0] != '\0') {
    if (vsExists(programSpec, vsFILE) != vsOK || vsAbsPath2(programSpec, abs) != vsOK)
      return 0;
  } else if (vsFindExeInPath(programSpec, abs) != vsOK) {
    return 0;
  }
  return recordExeDir(abs);
}

const char *vsExeDir() {
  EnvState &s = state();
  if (s.exeDir == nullptr && !s.exeDirAsked) {
    // No program spec was recorded (a test, a tool, a library user that never
    // called vsSetexedir): ask the system once where the running program is,
    // so that the files installed beside it are still found.
    s.exeDirAsked = true;
    char self[vsMAXPATH];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
      self[n] = '\0';
      recordExeDir(self);
    }
  }
  return s.exeDir;
}

int vsFindExeInPath(const char *name, char *out) {
  const char *path = std::getenv("PATH");
  if (path == nullptr)
    return vsDENIED;
  const char *p = path;
  constexpr size_t kMaxToken = 2048;
  while (*p != '\0') {
    size_t skip = std::strspn(p, " \t:");
    p += skip;
    size_t len = std::strcspn(p, " \t:");
    if (len == 0)
      break;
    std::string dir(p, len > kMaxToken ? kMaxToken : len);
    p += len;
    char candidate[vsMAXPATH];
    if (vsMerge(candidate, nullptr, dir.c_str(), name, nullptr) != vsOK)
      return vsFAIL;
    if (vsExists(candidate, vsFILE) == vsOK)
      return vsAbsPath2(candidate, out) == vsOK ? vsOK : vsFAIL;
  }
  return vsNOTFOUND;
}

ulMsgHandle vsMsgFile() {
  EnvState &s = state();
  if (s.msgFile == nullptr)
    s.msgFile = ulMsgFileOpen("vslib", nullptr, nullptr, nullptr, nullptr);
  return s.msgFile;
}

// ---- Time and process end -------------------------------------------------------------

long vsTimerFixedV = 0;

long vsTimer(int which) {
  if (which == 0)
    return vsTimerFixedV != 0 ? vsTimerFixedV : vsi::localSeconds(std::time(nullptr));
  EnvState &s = state();
  timeval now{};
  gettimeofday(&now, nullptr);
  if (!s.timerStarted) {
    s.timerStarted = true;
    s.timerStart = now;
  }
  return (now.tv_sec - s.timerStart.tv_sec) * 100L + (now.tv_usec - s.timerStart.tv_usec) / 10000L;
}

void vsCoreDump() {
  std::fflush(nullptr);
  // abort() leaves a core image where the system's limits allow one.
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}
