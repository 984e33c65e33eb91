// vfpLock.cpp: lock files: the running process's identity, the lock file's
// content, reading it with retries and orphan detection, the ownership
// tests, taking, rewriting, taking over, releasing and breaking a lock, and
// the locks this process holds until it releases them or ends.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "vfpFile.h"
#include "vfpInternal.h"

int vfpLockRetryDelayV = 1;
int (*vfpLockWaitCancelV)() = nullptr;
void (*vfpLockWaitNoteV)(int waiting, const char *path, int pid, const char *host) = nullptr;

namespace {

constexpr int kSeries = 25;    // series of attempts to read a lock file
constexpr int kAttempts = 100; // attempts per series
constexpr int kPadding = 212;  // blanks after the ten lines
// Exclusive creates tried before giving up on a lock file that keeps
// vanishing and reappearing.
constexpr int kCreateRounds = 16;

// Versions of lock files, oldest first; from "5.1dm" on the file has the
// class name and lock test lines.
constexpr const char *kVersions[] = {"5.0", "5.1", "5.1.1", "5.1dm", "5.2.0"};
constexpr int kFirstWithTests = 3;

constexpr const char *kTestNames[] = {"USERID", "PID", "HOSTNAME", "FACID", "FACVER"};

constexpr const char *kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A lock this process holds.
struct Held {
  int tests = 0;
  std::string className;
  pid_t pid = 0; // the process that took it (a forked child holds nothing)
};

struct State {
  bool verbose = false;
  bool atExit = false;
  std::map<std::string, Held> held; // by lock file path
  // Lock directories already cleared of dead temporary files, with the
  // process that did it (a forked child clears them again).
  std::map<std::string, pid_t> swept;
  // Lock directories this process made, with the process: removed at the
  // end when they are empty, so that a run leaves none behind.
  std::map<std::string, pid_t> made;
};

State &state() {
  static State s;
  return s;
}

__attribute__((format(printf, 1, 2))) void trace(const char *format, ...) {
  if (!state().verbose)
    return;
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void copyText(char *dst, const char *src, int size) {
  std::snprintf(dst, static_cast<size_t>(size), "%s", src);
}

const char *ownHost() {
  static char host[vfpLOCK_HOST_SIZE];
  if (host[0] == '\0') {
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0')
      copyText(host, "localhost", sizeof host);
    host[sizeof host - 1] = '\0';
  }
  return host;
}

// This process's id, asked of the system once (and once more in a forked
// child): the lock code compares it with every lock it reads.
pid_t cachedPid = 0;
void forgetPid() {
  cachedPid = 0;
}
pid_t ownPid() {
  static const bool registered = pthread_atfork(nullptr, nullptr, forgetPid) == 0;
  if (cachedPid == 0 || !registered)
    cachedPid = getpid();
  return cachedPid;
}

const std::string &ownUser() {
  static const std::string user = std::to_string(getuid());
  return user;
}

// Seconds as vsInfo counts them: the local calendar time read as UTC.
long localSeconds(time_t t) {
  tm local{};
  return localtime_r(&t, &local) == nullptr ? static_cast<long>(t)
                                            : static_cast<long>(t + local.tm_gmtoff);
}

int versionIndex(const char *version) {
  for (int i = 0; i < static_cast<int>(sizeof kVersions / sizeof kVersions[0]); ++i)
    if (std::strcmp(version, kVersions[i]) == 0)
      return i;
  return -1;
}

// The tests that apply to a lock: its own, else its class's, else the
// database's default.
int testsOf(const LockInfo *lock) {
  if ((lock->tests & vfpLOCKTEST_ALL) != 0)
    return lock->tests & vfpLOCKTEST_ALL;
  if (const vfpFileClass *c = vfpFileClassInfo(vfpClassLookup(lock->className));
      c != nullptr && c->lockTests != 0)
    return c->lockTests;
  return vfpLOCKTEST_DEFAULT_BITS;
}

// True if the lock names this very process.
bool isOurs(const LockInfo *lock) {
  return lock->pid == ownPid() && std::strcmp(lock->host, ownHost()) == 0 &&
         ownUser() == lock->owner;
}

// True if a lock in state OPEN belongs to a process of this host that no
// longer exists.
bool deadHolder(const LockInfo *lock) {
  if (std::strcmp(lock->host, ownHost()) != 0) {
    trace("\nRemote host. Assume not orphaned.");
    return false;
  }
  if (lock->pid == ownPid() || lock->pid == -1) {
    trace("\nCurrent process owns lock. Not orphaned.");
    return false;
  }
  if (lock->pid <= 0 || kill(lock->pid, 0) == 0 || errno != ESRCH) {
    trace("\nProcess alive. Not orphaned.");
    return false;
  }
  return true;
}

// The info of a lock that could not be read at all.
void unreadable(LockInfo *info) {
  info->state = vfpLOCK_ORPHANED;
  info->owner[0] = '\0';
  info->host[0] = '\0';
  info->pid = -1;
}

// Writes the lock content of this process into fd from the start, cutting
// what followed. false on any failure.
bool writeContent(int fd, long created, const char *className, int tests) {
  LockInfo info;
  vfpGetOwnLockInfo(&info);
  info.state = vfpLOCK_OPEN;
  info.created = created;
  copyText(info.className, className, sizeof info.className);
  info.tests = tests;
  char text[4 * vfpLOCK_OWNER_SIZE];
  const int n = vfpiFormatLock(&info, text, sizeof text);
  return n > 0 && pwrite(fd, text, static_cast<size_t>(n), 0) == n; // into a new, empty file
}

// The shape of a temporary lock file: the lock's name, "." and
// vfpiTempRandom letters and digits, vfpiTempSuffix.
constexpr char kTempChars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

bool isTempLockName(const char *name) {
  const size_t n = std::strlen(name), suffix = std::strlen(vfpiTempSuffix);
  const size_t tail = 1 + vfpiTempRandom + suffix;
  return n > tail && name[n - tail] == '.' && std::strcmp(name + n - suffix, vfpiTempSuffix) == 0 &&
         std::strspn(name + n - tail + 1, kTempChars) >= vfpiTempRandom;
}

// Removes the temporary lock files that processes left in the lock
// directory dir when they died writing them, the first time this process
// takes a lock there (later leftovers are the next run's to clear). A
// temporary file is only ever linked into place by the process that wrote
// it, and that link fails cleanly (ENOENT: createLock writes it again) once
// the file is gone, so removing a live one is safe too.
void sweepOnce(const std::string &dir) {
  pid_t &sweptBy = state().swept[dir];
  if (sweptBy == ownPid())
    return;
  sweptBy = ownPid();
  DIR *d = opendir(dir.c_str());
  if (d == nullptr)
    return;
  std::vector<std::string> stale;
  while (const dirent *e = readdir(d))
    if (isTempLockName(e->d_name))
      stale.emplace_back(dir + "/" + e->d_name);
  closedir(d);
  for (const std::string &s : stale)
    unlink(s.c_str());
}

// Creates a temporary lock file beside path (the shape above), with the usual
// permission bits (0666 less the umask, applied by the system), making the
// lock directory when it is missing. The name is drawn at random; the
// exclusive create settles a clash. The descriptor, or -1 (errno set).
int createTempLock(const std::string &path, std::string &temp) {
  static std::mt19937_64 random{std::random_device{}()};
  for (int tries = 0; tries < 100; ++tries) {
    uint64_t bits = random() ^ static_cast<uint64_t>(ownPid());
    char name[vfpiTempRandom];
    for (char &c : name) {
      c = kTempChars[bits % (sizeof kTempChars - 1)];
      bits /= sizeof kTempChars - 1;
    }
    temp = path + "." + std::string(name, sizeof name) + vfpiTempSuffix;
    int fd = open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == ENOENT) { // the first lock of the directory: make it
      const std::string dir = path.substr(0, path.rfind('/'));
      if (mkdir(dir.c_str(), 0777) == 0)
        state().made[dir] = ownPid();
      else if (errno != EEXIST)
        return -1;
      fd = open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

// Writes a complete lock file of this process beside path, under a
// temporary name, with the creation time given, or (created < 0) with the
// new file's own modification time, which is then set to that very second.
// Returns the temporary file's path, or "" on failure (nothing is left).
std::string writeTemp(const std::string &path, long created, const char *className, int tests) {
  std::string temp;
  const int fd = createTempLock(path, temp);
  if (fd < 0)
    return "";
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  if (ok && created < 0)
    created = localSeconds(st.st_mtime);
  ok = ok && writeContent(fd, created, className, tests);
  if (ok) {
    const timespec times[2] = {{0, UTIME_OMIT}, {st.st_mtime, 0}};
    ok = futimens(fd, times) == 0;
  }
  ok = close(fd) == 0 && ok;
  if (!ok) {
    unlink(temp.c_str());
    return "";
  }
  return temp;
}

// Replaces the lock file at path by one of this process with a rename, so
// that a reader sees the old or the new content, never a mix. false on
// failure (the old file stays).
bool replaceContent(const std::string &path, long created, const char *className, int tests) {
  // Another process's first lock in the directory may sweep the temporary
  // file away before the rename (ENOENT): then it is written again.
  for (int tries = 0; tries < kCreateRounds; ++tries) {
    const std::string temp = writeTemp(path, created, className, tests);
    if (temp.empty())
      return false;
    if (std::rename(temp.c_str(), path.c_str()) == 0)
      return true;
    const int e = errno;
    unlink(temp.c_str());
    if (e != ENOENT)
      return false;
  }
  return false;
}

void releaseAtExit() {
  vfpiCommitAll();
  vfpReleaseAllLocks();
}

void remember(const std::string &path, const char *className, int tests) {
  State &s = state();
  s.held[path] = Held{tests, className, ownPid()};
  if (!s.atExit) {
    s.atExit = true;
    std::atexit(releaseAtExit);
  }
}

// Judges a lock read once from fd while this process holds the advisory
// lock of its file: true when it may be taken over (unreadable, orphaned,
// or passing the ownership tests).
bool mayTakeOver(int fd) {
  const int copy = dup(fd);
  FILE *stream = copy < 0 ? nullptr : fdopen(copy, "r");
  if (stream == nullptr) {
    if (copy >= 0)
      close(copy);
    return false;
  }
  LockInfo cur;
  vfpGetOwnLockInfo(&cur);
  const bool decoded = vfpiDecodeLock(stream, &cur) == vfpOK;
  std::fclose(stream);
  if (!decoded)
    return true; // unreadable all along, after every retry
  if (cur.state == vfpLOCK_OPEN && deadHolder(&cur))
    return true;
  return vfpiTestLock(&cur) == vfpOK;
}

enum class TakeOver { Gained, Refused, Again, Failed };

// Takes over the lock file at path that was judged orphaned. Processes of
// this host that judge the same orphan at once are kept apart by an
// advisory lock of the file: the first rewrites it as its own (a new file,
// renamed into place); the others then find a new file, or the old one
// taken, and judge again.
TakeOver takeOver(const std::string &path, const char *className, int tests) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0)
    return TakeOver::Again;
  while (flock(fd, LOCK_EX) != 0)
    if (errno != EINTR) {
      close(fd);
      return TakeOver::Failed;
    }
  struct stat mine, now;
  TakeOver result;
  if (fstat(fd, &mine) != 0 || stat(path.c_str(), &now) != 0 || mine.st_ino != now.st_ino ||
      mine.st_dev != now.st_dev)
    result = TakeOver::Again; // replaced or removed meanwhile
  else if (!mayTakeOver(fd))
    result = TakeOver::Refused;
  else
    result = replaceContent(path, 0, className, tests) ? TakeOver::Gained : TakeOver::Failed;
  close(fd);
  return result;
}

// Creates the lock file exclusively, or meets the one that is there. The
// file is written complete under a temporary name and then linked to its
// name, which fails when the name exists: the exclusive create, and no
// reader ever meets a lock file half written (a process stopped between a
// create and its write would otherwise look orphaned after the retries,
// and two processes would hold the lock once it went on).
int createLock(const std::string &path, const char *className, int tests) {
  auto denied = [] { return errno == EACCES || errno == EPERM || errno == EROFS; };
  std::string temp; // written when the lock file is first found missing
  int result = vfpLOCKED;
  for (int round = 0; round < kCreateRounds; ++round) {
    // The first round goes straight for the link (the usual case: nobody
    // holds the lock); later ones write only when the lock file is gone.
    struct stat st;
    if (round == 0 || (lstat(path.c_str(), &st) != 0 && errno == ENOENT)) {
      if (temp.empty() && (temp = writeTemp(path, -1, className, tests)).empty()) {
        result = denied() ? vfpCANNOT_ACCESS : vfpGENERAL_FAILURE;
        break;
      }
      if (link(temp.c_str(), path.c_str()) == 0) {
        result = vfpOK;
        break;
      }
      if (errno == ENOENT) {
        temp.clear(); // removed as stale by another process: write it again
        continue;
      }
      if (errno != EEXIST) {
        result = denied() ? vfpCANNOT_ACCESS : vfpLOCKED;
        break;
      }
    }
    LockInfo cur;
    const int read = vfpiReadLock(path.c_str(), &cur);
    if (read == vfpNOT_LOCKED)
      continue; // vanished: create again
    if (read == vfpLOCKED)
      break; // unreadable, and the wait for it was cancelled
    if (read == vfpOK) {
      if (vfpiTestLock(&cur) != vfpOK) {
        trace("\nLock not gained");
        break;
      }
      // Our own lock (by its tests): take it as it is, rewritten as ours.
      result = replaceContent(path, 0, className, tests) ? vfpOK : vfpGENERAL_FAILURE;
      break;
    }
    const TakeOver t = takeOver(path, className, tests);
    if (t == TakeOver::Again)
      continue;
    if (t == TakeOver::Refused)
      trace("\nLock not gained");
    result = t == TakeOver::Gained    ? vfpOK
             : t == TakeOver::Refused ? vfpLOCKED
                                      : vfpGENERAL_FAILURE;
    break;
  }
  if (!temp.empty())
    unlink(temp.c_str());
  if (result == vfpOK)
    sweepOnce(path.substr(0, path.rfind('/')));
  return result;
}

// Takes the lock at path, or confirms it when this process holds it
// (rewriting its tests unless keepTests).
int takeLock(const std::string &path, const char *className, int tests, bool keepTests) {
  State &s = state();
  if (!vfpiInitialised())
    return vfpINIT_ERROR;
  if ((vfpGetLockMode() & vfpLOCKMODE_FILES) == 0) {
    remember(path, className, tests);
    return vfpOK;
  }
  if (auto it = s.held.find(path); it != s.held.end()) {
    LockInfo cur;
    if (vfpiReadLock(path.c_str(), &cur) == vfpOK && isOurs(&cur) && vfpiTestLock(&cur) == vfpOK) {
      if (keepTests || (cur.tests & vfpLOCKTEST_ALL) == tests)
        return vfpOK;
      if (!replaceContent(path, cur.created, className, tests))
        return vfpGENERAL_FAILURE;
      it->second.tests = tests;
      return vfpOK;
    }
    s.held.erase(it); // broken by someone: take it anew
  }
  const int st = createLock(path, className, tests);
  if (st != vfpOK) {
    trace("\nCould not create lock file: %s", vfpStatusText(st));
    return st;
  }
  remember(path, className, tests);
  return vfpOK;
}

// The lock file path and class name of a file object. 0, 20, 22 or 43.
int lockOf(vfpObjId obj, std::string &path, const char *&className) {
  if (!vfpiInitialised())
    return vfpINIT_ERROR;
  const int cls = vfpObjGetClass(obj);
  if (vfpFileClassInfo(cls) == nullptr)
    return vfpNOT_OPEN;
  char lock[vfpPATH_SIZE];
  if (const int st = vfpObjLockPath(obj, lock); st != vfpOK)
    return st;
  path = lock;
  className = vfpClassName(cls);
  return vfpOK;
}

// Opens the object a reference names without opening its file. 0 or the
// status; *fresh tells whether the caller must close it again.
int objectOf(const char *reference, vfpObjId *obj, bool *fresh) {
  int st = 0;
  *obj = vfpOpenObject(reference, vfpOPEN_ID, &st);
  *fresh = st == vfpOK;
  if (*obj == 0)
    return st == vfpNULL_REF || st == vfpINIT_ERROR ? st : vfpNO_OBJECT;
  return vfpOK;
}

// Runs op on the object a reference names, closing it again if it was
// opened for that.
template <typename Op> int withObject(const char *reference, Op op) {
  if (!vfpiInitialised())
    return vfpINIT_ERROR;
  vfpObjId obj = 0;
  bool fresh = false;
  if (const int st = objectOf(reference, &obj, &fresh); st != vfpOK)
    return st;
  const int st = op(obj);
  if (fresh)
    vfpCloseObject(obj, vfpCLOSE_DISCARD);
  return st;
}

// The integer after the keyword of a lock file line, clamped to the range of
// int (a number out of range would be undefined for sscanf's %d). A process
// id too large for any process thus reads as one that no process has.
bool intField(const char *line, int *out) {
  int used = 0;
  if (std::sscanf(line, "%*s%n", &used) != 0 || used == 0)
    return false;
  char *end = nullptr;
  const long v = std::strtol(line + used, &end, 10);
  if (end == line + used)
    return false;
  *out = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
  return true;
}

} // namespace

pid_t vfpiOwnPid() {
  return ownPid();
}

std::string vfpiLockPathOf(const std::string &spec) {
  const size_t slash = spec.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : spec.substr(0, slash);
  return dir + "/lock/" + spec.substr(slash == std::string::npos ? 0 : slash + 1);
}

char *vfpLockDateText(long seconds, char *text) {
  const time_t t = static_cast<time_t>(seconds);
  tm c{};
  if (gmtime_r(&t, &c) == nullptr)
    text[0] = '\0';
  else
    std::snprintf(text, 48, "%s %d %d %d:%d:%d", kMonths[c.tm_mon], c.tm_mday, c.tm_year + 1900,
                  c.tm_hour, c.tm_min, c.tm_sec);
  return text;
}

int vfpSetVerbose(int on) {
  const int old = state().verbose ? 1 : 0;
  state().verbose = on != 0;
  return old;
}

void vfpGetOwnLockInfo(LockInfo *info) {
  info->found = 0;
  info->state = vfpLOCK_NOTOPEN;
  copyText(info->owner, ownUser().c_str(), sizeof info->owner);
  info->created = 0;
  info->facId = vfpiFacility();
  copyText(info->facVer, vfpiFacilityVersion(), sizeof info->facVer);
  copyText(info->plVer, vfpLOCK_VERSION, sizeof info->plVer);
  info->pid = ownPid();
  copyText(info->host, ownHost(), sizeof info->host);
  info->className[0] = '\0';
  info->tests = vfpLOCKTEST_DEFAULT;
}

char *vfpLockTestText(int tests, char *text) {
  tests &= vfpLOCKTEST_ALL;
  if (tests == vfpLOCKTEST_DEFAULT || tests == vfpLOCKTEST_ALL) {
    std::strcpy(text, tests == vfpLOCKTEST_ALL ? "ALL" : "DEFAULT");
    return text;
  }
  text[0] = '\0';
  for (int bit = 0; bit < 5; ++bit)
    if ((tests & (1 << bit)) != 0) {
      if (text[0] != '\0')
        std::strcat(text, "+");
      std::strcat(text, kTestNames[bit]);
    }
  return text;
}

int vfpLockTestDecode(const char *line) {
  if (std::strstr(line, "DEFAULT") != nullptr)
    return vfpLOCKTEST_DEFAULT;
  if (std::strstr(line, "ALL") != nullptr)
    return vfpLOCKTEST_ALL;
  int tests = 0;
  for (int bit = 0; bit < 5; ++bit)
    if (std::strstr(line, kTestNames[bit]) != nullptr)
      tests |= 1 << bit;
  return tests;
}

int vfpiFormatLock(const LockInfo *info, char *out, int size) {
  char date[48];
  char tests[48];
  vfpLockDateText(info->created, date);
  const int n = std::snprintf(
      out, static_cast<size_t>(size),
      "State: %d\nOwner: %s\nCreated: (%ld) %s\nFacId: %d\nFacVer: %s\nPLVer: %s\nProcId: "
      "%d\nHostId: %s\nClassName: %s\nLockTest: %s\n",
      info->state, info->owner, info->created, date, info->facId, info->facVer, info->plVer,
      info->pid, info->host, info->className, vfpLockTestText(info->tests, tests));
  if (n < 0 || n + kPadding >= size)
    return -1;
  std::memset(out + n, ' ', kPadding);
  out[n + kPadding] = '\0';
  return n + kPadding;
}

int vfpiDecodeLock(FILE *stream, LockInfo *info) {
  char line[vfpLOCK_OWNER_SIZE];
  auto next = [&] { return std::fgets(line, sizeof line, stream) != nullptr; };
  // Field widths one below each buffer's size.
  if (!next() || !intField(line, &info->state) || !next() ||
      std::sscanf(line, "%*s %511s", info->owner) != 1 || !next() ||
      std::sscanf(line, "%*s (%ld)", &info->created) != 1 || !next() ||
      !intField(line, &info->facId) || !next() ||
      std::sscanf(line, "%*s %12s", info->facVer) != 1 || !next() ||
      std::sscanf(line, "%*s %63s", info->plVer) != 1)
    return vfpGENERAL_FAILURE;
  const int version = versionIndex(info->plVer);
  if (version < 0 || !next() || !intField(line, &info->pid) || !next() ||
      std::sscanf(line, "%*s %64s", info->host) != 1)
    return vfpGENERAL_FAILURE;
  if (version < kFirstWithTests) {
    info->className[0] = '\0';
    info->tests = vfpLOCKTEST_DEFAULT;
    return vfpOK;
  }
  if (!next() || std::sscanf(line, "%*s %63s", info->className) != 1 || !next())
    return vfpGENERAL_FAILURE;
  info->tests = vfpLockTestDecode(line);
  return vfpOK;
}

namespace {

// Tells vfpLockWaitNoteV that the wait for path is over, on every way out of
// a read that paused.
class WaitNote {
public:
  explicit WaitNote(const char *path) : path_(path) {}
  ~WaitNote() {
    if (waited_ && vfpLockWaitNoteV != nullptr)
      vfpLockWaitNoteV(0, path_, -1, "");
  }
  WaitNote(const WaitNote &) = delete;
  WaitNote &operator=(const WaitNote &) = delete;
  // Before a pause: the holder as far as the file can be read now (the
  // reader's own record starts with this process's values, so it cannot
  // tell what was read).
  void pausing() {
    waited_ = true;
    if (vfpLockWaitNoteV == nullptr)
      return;
    LockInfo seen{};
    seen.pid = -1;
    if (FILE *stream = std::fopen(path_, "r")) {
      (void)vfpiDecodeLock(stream, &seen);
      std::fclose(stream);
    }
    vfpLockWaitNoteV(1, path_, seen.pid, seen.host);
  }

private:
  const char *path_;
  bool waited_ = false;
};

} // namespace

int vfpiReadLock(const char *path, LockInfo *info) {
  vfpGetOwnLockInfo(info);
  WaitNote note(path);
  trace("\nTesting for orphaned lock file: %s.", path);
  trace("\n  Retry count1: %d, count2: %d delay %d.", kSeries, kAttempts, vfpLockRetryDelayV);
  bool read = false;
  for (int series = 0; series < kSeries && !read; ++series) {
    for (int attempt = 0; attempt < kAttempts && !read; ++attempt) {
      FILE *stream = std::fopen(path, "r");
      if (stream == nullptr)
        return vfpNOT_LOCKED;
      char buffer[4096]; // a lock file is a few hundred bytes
      std::setvbuf(stream, buffer, _IOFBF, sizeof buffer);
      info->found = 1;
      read = vfpiDecodeLock(stream, info) == vfpOK;
      std::fclose(stream);
    }
    if (read)
      break;
    if (vfpLockWaitCancelV != nullptr && vfpLockWaitCancelV() != 0) {
      unreadable(info);
      info->state = vfpLOCK_OPEN; // not judged orphaned: nobody waited long enough
      return vfpLOCKED;
    }
    if (vfpLockRetryDelayV > 0) {
      note.pausing();
      sleep(static_cast<unsigned>(vfpLockRetryDelayV));
    }
  }
  if (!read) {
    unreadable(info);
    trace("\nOrphaned lock encountered (max retry): %s. ", path);
    return vfpGENERAL_FAILURE;
  }
  if (info->state != vfpLOCK_OPEN || !deadHolder(info))
    return vfpOK;
  info->state = vfpLOCK_ORPHANED;
  trace("\nOrphaned lock encountered (dead process): %s. Freeing...", path);
  return vfpGENERAL_FAILURE;
}

int vfpiTestLock(const LockInfo *lock) {
  LockInfo own;
  vfpGetOwnLockInfo(&own);
  const int tests = testsOf(lock);
  struct Check {
    int bit;
    bool fails;
    const char *trace;
  };
  const Check checks[] = {
      {vfpLOCKTEST_USERID, std::strcmp(lock->owner, own.owner) != 0, "USERID failed."},
      {vfpLOCKTEST_PID, lock->pid != own.pid, "PID failed."},
      {vfpLOCKTEST_HOSTNAME, std::strcmp(lock->host, own.host) != 0, "HOSTNAME failed."},
      {vfpLOCKTEST_FACID, lock->facId != own.facId, "FACID failed."},
      {vfpLOCKTEST_FACVER, std::strcmp(lock->facVer, own.facVer) != 0, "FACVER failed."},
  };
  trace("\nTest lock ownership:");
  for (const Check &c : checks)
    if ((tests & c.bit) != 0 && c.fails) {
      trace("%s", c.trace);
      return vfpLOCK_ERROR;
    }
  trace("SUCCESS.");
  return vfpOK;
}

int vfpiDeleteLockFile(const char *path, const LockInfo *info) {
  const bool permitted = info->state == vfpLOCK_ORPHANED ||
                         (info->state == vfpLOCK_BYPID && info->pid == ownPid()) ||
                         (info->state == vfpLOCK_NOTOPEN && vfpiTestLock(info) == vfpOK);
  if (!permitted)
    return vfpCANNOT_ACCESS;
  return unlink(path) == 0 ? vfpOK : vfpGENERAL_FAILURE;
}

int vfpiAcquireLock(const char *spec, const char *className, int tests) {
  return takeLock(vfpiLockPathOf(spec), className, tests, true);
}

int vfpiForeignLock(const char *spec) {
  if ((vfpGetLockMode() & vfpLOCKMODE_FILES) == 0)
    return vfpOK;
  LockInfo cur;
  const int st = vfpiReadLock(vfpiLockPathOf(spec).c_str(), &cur);
  return st == vfpLOCKED || (st == vfpOK && vfpiTestLock(&cur) != vfpOK) ? vfpLOCKED : vfpOK;
}

void vfpiReleaseLock(const char *spec) {
  if (vfpiReleaseDeferred(spec))
    return;
  const std::string path = vfpiLockPathOf(spec);
  State &s = state();
  auto it = s.held.find(path);
  if (it == s.held.end())
    return;
  s.held.erase(it);
  if ((vfpGetLockMode() & vfpLOCKMODE_FILES) == 0)
    return;
  LockInfo cur;
  if (vfpiReadLock(path.c_str(), &cur) == vfpOK && isOurs(&cur))
    unlink(path.c_str());
}

bool vfpiHoldsLock(const char *spec) {
  const auto it = state().held.find(vfpiLockPathOf(spec));
  return it != state().held.end() && it->second.pid == ownPid();
}

int vfpLockObject(const char *reference, int tests) {
  return withObject(reference, [tests](vfpObjId obj) { return vfpLockObj(obj, tests); });
}

int vfpLockObj(vfpObjId obj, int tests) {
  std::string path;
  const char *className = nullptr;
  if (const int st = lockOf(obj, path, className); st != vfpOK)
    return st;
  return takeLock(path, className, tests & vfpLOCKTEST_ALL, false);
}

int vfpUnlockObject(const char *reference) {
  return withObject(reference, [](vfpObjId obj) { return vfpUnlockObj(obj); });
}

int vfpUnlockObj(vfpObjId obj) {
  std::string path;
  const char *className = nullptr;
  if (const int st = lockOf(obj, path, className); st != vfpOK)
    return st;
  // A save of the file waiting for its group's commit keeps the lock until
  // its new content is on disk; the commit releases it.
  if (vfpiReleaseDeferred(vfpObjGetPath(obj)))
    return vfpOK;
  State &s = state();
  const bool held = s.held.erase(path) > 0;
  if ((vfpGetLockMode() & vfpLOCKMODE_FILES) == 0)
    return held ? vfpOK : vfpNOT_LOCKED;
  LockInfo cur;
  const int st = vfpiReadLock(path.c_str(), &cur);
  // Without a lock file there is nothing to delete: the delete fails.
  if (st == vfpNOT_LOCKED)
    return vfpGENERAL_FAILURE;
  // Only a lock of this user that is ours by its tests, or orphaned, goes:
  // a live lock of another process is never broken by an unlock, even one
  // of the same user, so that two runs of one user stay apart.
  if (ownUser() != cur.owner)
    return vfpLOCK_ERROR;
  if (st != vfpOK) {
    // An orphan is first taken over, as a lock request does, so that two
    // processes that release the same orphan never remove a lock that a
    // third one has just taken.
    if (createLock(path, className, vfpLOCKTEST_ALL) != vfpOK)
      return vfpLOCK_ERROR;
  } else if (vfpiTestLock(&cur) != vfpOK) {
    return vfpLOCK_ERROR;
  }
  return unlink(path.c_str()) == 0 ? vfpOK : vfpGENERAL_FAILURE;
}

int vfpBreakLock(const char *reference) {
  return withObject(reference, [](vfpObjId obj) {
    std::string path;
    const char *className = nullptr;
    if (const int st = lockOf(obj, path, className); st != vfpOK)
      return st;
    LockInfo cur;
    if (vfpiReadLock(path.c_str(), &cur) == vfpNOT_LOCKED)
      return vfpNOT_LOCKED;
    if (cur.state != vfpLOCK_NOTOPEN)
      return vfpLOCK_OPEN_STATE;
    return unlink(path.c_str()) == 0 ? vfpOK : vfpGENERAL_FAILURE;
  });
}

int vfpGetObjectLockInfo(const char *reference, LockInfo *info) {
  vfpGetOwnLockInfo(info);
  return withObject(reference, [info](vfpObjId obj) { return vfpGetObjLockInfo(obj, info); });
}

int vfpGetObjLockInfo(vfpObjId obj, LockInfo *info) {
  vfpGetOwnLockInfo(info);
  std::string path;
  const char *className = nullptr;
  if (const int st = lockOf(obj, path, className); st != vfpOK)
    return st;
  return vfpiReadLock(path.c_str(), info);
}

int vfpObjIsMyLock(vfpObjId obj) {
  LockInfo cur;
  if (vfpGetObjLockInfo(obj, &cur) != vfpOK)
    return 1;
  return vfpiTestLock(&cur) == vfpOK ? 0 : 1;
}

int vfpObjHoldsLock(vfpObjId obj) {
  const char *spec =
      vfpFileClassInfo(vfpObjGetClass(obj)) != nullptr ? vfpObjGetPath(obj) : nullptr;
  return spec != nullptr && vfpiHoldsLock(spec) ? 1 : 0;
}

int vfpReleaseAllLocks() {
  State &s = state();
  int released = 0;
  for (const auto &[path, held] : s.held) {
    if (held.pid != ownPid())
      continue; // a forked child: the locks are its parent's
    // One look, no retries: a lock of ours is always readable.
    FILE *stream = std::fopen(path.c_str(), "r");
    if (stream == nullptr)
      continue;
    LockInfo cur;
    vfpGetOwnLockInfo(&cur);
    const bool ours = vfpiDecodeLock(stream, &cur) == vfpOK && isOurs(&cur);
    std::fclose(stream);
    if (ours && unlink(path.c_str()) == 0)
      ++released;
  }
  s.held.clear();
  // A directory that still holds a lock (another process's, or a lock
  // being made right now) is not empty, and rmdir leaves it; one that a
  // process needs after this makes it again.
  for (const auto &[dir, pid] : s.made)
    if (pid == ownPid())
      rmdir(dir.c_str());
  s.made.clear();
  return released;
}
