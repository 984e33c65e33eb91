// Lock files: their exact bytes, reading them (versions, unreadable files,
// retries), the ownership tests, taking, rewriting, releasing and breaking a
// lock, orphans of dead processes, locks of other hosts and of live
// processes, what is left when a process ends, and real processes racing for
// one lock.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>

#include "support/TestSupport.h"
#include "vfpFile.h"

namespace fs = std::filesystem;
using testsupport::hostName;
using testsupport::Ints;
using testsupport::lockText;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// A process id that no process has: a child that has ended and been reaped.
int deadPid() {
  const pid_t child = fork();
  if (child == 0)
    _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

class Locks : public ::testing::Test {
protected:
  testsupport::TempDir dir;
  const std::string sym = dir / "lib/sym/";
  const std::string lockFile = sym + "lock/and2.1";
  const std::string uid = std::to_string(getuid());
  vfpObjId obj = 0;

  void SetUp() override { open(vfpLOCKMODE_DEFAULT); }
  void TearDown() override { vfpExit(); }

  void open(int lockMode) {
    dir.write("scribant.ini", "DIR [pw] " + dir / "lib" + " (mylib)\n");
    fs::create_directories(sym);
    vfpInit(4, "5.41");
    int st = -1;
    vfpOpenProject(dir.path().c_str(), nullptr, "Scribant", lockMode, &st);
    ASSERT_EQ(0, st);
    obj = vfpOpenObject(ref().c_str(), vfpOPEN_ID, &st);
    ASSERT_NE(0, obj);
  }
  std::string ref() {
    char r[vfpREF_SIZE];
    EXPECT_EQ(0, vfpBuildObjRef(r, vfpClassLookup("SYMBOL"), "mylib", "and2", "1"));
    return r;
  }
  void foreignLock(const std::string &text) { writeFile(lockFile, text); }
  // What body printed with the traces switched on.
  template <class F> static std::string traced(F body) {
    vfpSetVerbose(1);
    const std::string out = testsupport::stdoutOf(body);
    vfpSetVerbose(0);
    return out;
  }
  // vfpiReadLock with its traces.
  int readTraced(LockInfo *info, std::string &trace) {
    int st = -1;
    trace = traced([&] { st = vfpiReadLock(lockFile.c_str(), info); });
    return st;
  }
};

TEST_F(Locks, ALockFileHoldsTenLinesAndPaddingInTheLockDirectory) {
  ASSERT_FALSE(fs::exists(sym + "lock"));
  ASSERT_EQ(0, vfpLockObj(obj, vfpLOCKTEST_ALL));
  ASSERT_TRUE(fs::is_directory(sym + "lock"));

  // The creation time is the lock file's own, counted as local wall-clock
  // seconds, and written again as its calendar text.
  struct stat st;
  ASSERT_EQ(0, stat(lockFile.c_str(), &st));
  tm local{};
  localtime_r(&st.st_mtime, &local);
  const long created = static_cast<long>(st.st_mtime + local.tm_gmtoff);
  char date[64];
  std::strftime(date, sizeof date, "%b %-d %Y %-H:%-M:%-S", &local);
  const std::string expected =
      "State: 0\nOwner: " + uid + "\nCreated: (" + std::to_string(created) + ") " + date +
      "\nFacId: 4\nFacVer: 5.41\nPLVer: 5.2.0\nProcId: " + std::to_string(getpid()) +
      "\nHostId: " + hostName() + "\nClassName: SYMBOL\nLockTest: ALL\n" + std::string(212, ' ');
  EXPECT_EQ(expected, readFile(lockFile));
  EXPECT_EQ((Ints{1, 0}), (Ints{vfpObjHoldsLock(obj), vfpObjIsMyLock(obj)}));

  // The same tests again: nothing is written. Other tests: the file is
  // rewritten with them and its creation time.
  const auto inode = st.st_ino;
  ASSERT_EQ(0, vfpLockObj(obj, vfpLOCKTEST_ALL));
  ASSERT_EQ(0, stat(lockFile.c_str(), &st));
  EXPECT_EQ(inode, st.st_ino);
  EXPECT_EQ(expected, readFile(lockFile));
  ASSERT_EQ(0, vfpLockObj(obj, vfpLOCKTEST_USERID | vfpLOCKTEST_PID));
  std::string changed = expected;
  changed.replace(changed.find("LockTest: ALL"), 13, "LockTest: USERID+PID");
  EXPECT_EQ(changed, readFile(lockFile));

  // Unlocked; unlocked again, the delete of the lock file fails.
  EXPECT_EQ((Ints{0, 0, 0, vfpGENERAL_FAILURE}),
            (Ints{vfpUnlockObject(ref().c_str()), fs::exists(lockFile), vfpObjHoldsLock(obj),
                  vfpUnlockObject(ref().c_str())}));
}

TEST_F(Locks, TestNamesAreJoinedWithPlusAndFoundAnywhereInTheLine) {
  for (const auto &row : testsupport::tableRows("project/cases/locktests.txt")) {
    char buffer[48];
    if (row.at(0) == "text")
      EXPECT_STREQ(row.at(2).c_str(), vfpLockTestText(std::stoi(row[1]), buffer)) << row[1];
    else
      EXPECT_EQ(std::stoi(row.at(2)), vfpLockTestDecode(row[1].c_str())) << row[1];
  }
}

TEST_F(Locks, TheReaderKnowsEachVersionAndRefusesWhatDoesNotScan) {
  LockInfo info;
  auto decode = [&info](std::string text) {
    FILE *f = fmemopen(text.data(), text.size(), "r");
    vfpGetOwnLockInfo(&info);
    const int st = vfpiDecodeLock(f, &info);
    std::fclose(f);
    return st;
  };
  // The status and the fields read: state, owner, created, pid, host, class, tests.
  auto fields = [&info](int st) {
    return std::to_string(st) + ": " + std::to_string(info.state) + " " + info.owner + " " +
           std::to_string(info.created) + " " + std::to_string(info.pid) + " " + info.host + " [" +
           info.className + "] " + std::to_string(info.tests);
  };
  // A 5.0 file ends after its host line.
  EXPECT_EQ("0: 1 77 12 4321 h1 [] 0", fields(decode(lockText(1, "77", 12, 4321, "h1", "5.0"))));
  EXPECT_EQ("0: 0 77 12 4321 h1 [SYMBOL] 3",
            fields(decode(lockText(0, "77", 12, 4321, "h1", "5.1dm", "USERID+PID"))));

  const std::string good = lockText(0, "77", 12, 4321, "h1");
  const std::string bad[] = {
      "",
      lockText(0, "77", 12, 4321, "h1", "5.3"),                  // unknown version
      lockText(0, "77", 12, 4321, "h1", "5.1dm").substr(0, 120), // lines missing
      good.substr(0, good.find("LockTest")),                     // test line missing
      "State: open\n" + good.substr(good.find('\n') + 1),        // not a number
      good.substr(0, good.find("Created")) + "Created: 12\n" + good.substr(good.find("FacId")),
      "State:\n" + good.substr(good.find('\n') + 1), // no value
      std::string(600, 'x') + "\n" + good,           // a line too long
  };
  for (const std::string &text : bad)
    EXPECT_EQ(vfpGENERAL_FAILURE, decode(text)) << text;
}

TEST_F(Locks, AnUnreadableLockIsRetriedThenJudgedOrphanedAndTakenOver) {
  vfpLockRetryDelayV = 0;
  LockInfo info;
  std::string trace;
  // Nothing found: the defaults, our own identity.
  EXPECT_EQ((Ints{vfpNOT_LOCKED, 0, getpid()}),
            (Ints{readTraced(&info, trace), info.found, info.pid}));

  foreignLock("State: 0\nOwner: 0\n");
  EXPECT_EQ((Ints{vfpGENERAL_FAILURE, vfpLOCK_ORPHANED, -1}),
            (Ints{readTraced(&info, trace), info.state, info.pid}));
  EXPECT_NE(std::string::npos, trace.find("\nTesting for orphaned lock file: " + lockFile + "."));
  EXPECT_NE(std::string::npos, trace.find("\n  Retry count1: 25, count2: 100 delay 0."));
  EXPECT_NE(std::string::npos,
            trace.find("\nOrphaned lock encountered (max retry): " + lockFile + ". "));

  // A lock taken over starts its time at 0.
  LockInfo taken;
  EXPECT_EQ((Ints{0, 0, getpid(), 0}),
            (Ints{vfpLockObj(obj, vfpLOCKTEST_ALL), vfpGetObjLockInfo(obj, &taken), taken.pid,
                  taken.created}));
}

TEST_F(Locks, ALockOfADeadProcessOnThisHostIsTakenOver) {
  const int dead = deadPid();
  foreignLock(lockText(0, uid, 5, dead, hostName()));
  LockInfo info;
  std::string trace;
  EXPECT_EQ((Ints{vfpGENERAL_FAILURE, vfpLOCK_ORPHANED, dead}),
            (Ints{readTraced(&info, trace), info.state, info.pid}));
  EXPECT_NE(std::string::npos,
            trace.find("\nOrphaned lock encountered (dead process): " + lockFile + ". Freeing..."));
  EXPECT_EQ((Ints{0, 0, getpid()}),
            (Ints{vfpLockObj(obj, vfpLOCKTEST_ALL), vfpGetObjLockInfo(obj, &info), info.pid}));
}

TEST_F(Locks, ALockOfAnotherHostOrALiveProcessIsNeverTakenOverOrReleased) {
  const std::string remote = lockText(0, uid, 5, deadPid(), "elsewhere");
  const std::string live = lockText(0, uid, 5, getppid(), hostName());
  for (const std::string &text : {remote, live}) {
    SCOPED_TRACE(text);
    foreignLock(text);
    int st = -1;
    // obj is open: an open of it again does nothing to it.
    EXPECT_EQ(
        (Ints{vfpLOCKED, vfpLOCKED, obj, vfpALREADY_OPEN}),
        (Ints{vfpLockObj(obj, vfpLOCKTEST_ALL), vfpLockObject(ref().c_str(), vfpLOCKTEST_DEFAULT),
              vfpOpenObject(ref().c_str(), vfpOPEN_READ | vfpOPEN_LOCK, &st), st}));
    vfpCloseObject(obj, 0);
    EXPECT_EQ((Ints{0, vfpLOCKED, vfpLOCK_ERROR, vfpLOCK_OPEN_STATE}),
              (Ints{vfpOpenObject(ref().c_str(), vfpOPEN_WRITE, &st), st,
                    vfpUnlockObject(ref().c_str()), vfpBreakLock(ref().c_str())}));
    obj = vfpOpenObject(ref().c_str(), vfpOPEN_ID, &st);
    EXPECT_EQ((Ints{1, 0}), (Ints{vfpObjIsMyLock(obj), vfpObjHoldsLock(obj)}));
    EXPECT_EQ(text, readFile(lockFile));
    EXPECT_FALSE(fs::exists(sym + "and2.1")); // the refused write made nothing
  }
  std::string trace;
  LockInfo info;
  foreignLock(remote);
  EXPECT_EQ(0, readTraced(&info, trace));
  EXPECT_NE(std::string::npos, trace.find("\nRemote host. Assume not orphaned."));
  foreignLock(live);
  EXPECT_EQ(0, readTraced(&info, trace));
  EXPECT_NE(std::string::npos, trace.find("\nProcess alive. Not orphaned."));
}

TEST_F(Locks, OwnershipFollowsTheTestsOfTheLock) {
  // Another process of this user and host, with tests that leave out the
  // process id: this process counts as its owner.
  foreignLock(lockText(0, uid, 5, getppid(), hostName(), "5.2.0", "USERID+HOSTNAME"));
  EXPECT_EQ(0, vfpObjIsMyLock(obj));
  EXPECT_NE(std::string::npos, traced([&] {
                                 EXPECT_EQ(0, vfpLockObj(obj, vfpLOCKTEST_ALL));
                               }).find("\nTest lock ownership:SUCCESS."));

  for (const auto &row : testsupport::tableRows("project/cases/lockowners.txt")) {
    LockInfo lock;
    vfpGetOwnLockInfo(&lock);
    lock.tests = vfpLockTestDecode(row.at(0).c_str());
    std::snprintf(lock.owner, sizeof lock.owner, "%u", getuid() + (row.at(1) == "other"));
    lock.pid = getppid();
    lock.facId = 5;
    EXPECT_EQ("\nTest lock ownership:" + row.at(2),
              traced([&] { EXPECT_EQ(vfpLOCK_ERROR, vfpiTestLock(&lock)) << row[0]; }));
  }
}

TEST_F(Locks, BreakingAndDeletingFollowTheStateOfTheLock) {
  foreignLock(lockText(1, "0", 5, getppid(), "elsewhere"));
  EXPECT_EQ((Ints{0, 0, vfpNOT_LOCKED}),
            (Ints{vfpBreakLock(ref().c_str()), fs::exists(lockFile), vfpBreakLock(ref().c_str())}));

  LockInfo lock;
  vfpGetOwnLockInfo(&lock);
  const std::map<std::string, int> states = {{"orphaned", vfpLOCK_ORPHANED},
                                             {"bypid", vfpLOCK_BYPID},
                                             {"notopen", vfpLOCK_NOTOPEN},
                                             {"open", vfpLOCK_OPEN}};
  for (const auto &row : testsupport::tableRows("project/cases/lockdeletes.txt")) {
    SCOPED_TRACE(row.at(0) + " " + row.at(1));
    foreignLock("x");
    lock.state = states.at(row[0]);
    lock.pid = row[1] == "self" ? getpid() : row[1] == "parent" ? getppid() : std::stoi(row[1]);
    std::snprintf(lock.host, sizeof lock.host, "%s",
                  (row.at(2) == "this" ? hostName() : row[2]).c_str());
    const int status = std::stoi(row.at(3));
    EXPECT_EQ((Ints{status, status != 0}),
              (Ints{vfpiDeleteLockFile(lockFile.c_str(), &lock), fs::exists(lockFile)}));
  }
  fs::remove(lockFile);
  lock.state = vfpLOCK_ORPHANED;
  EXPECT_EQ(vfpGENERAL_FAILURE, vfpiDeleteLockFile(lockFile.c_str(), &lock));
}

TEST_F(Locks, WithoutLockFilesNothingIsWrittenAndNothingCountsAsLocked) {
  vfpExit();
  open(0);
  foreignLock(lockText(0, uid, 5, getppid(), hostName()));
  EXPECT_EQ(0, vfpLockObj(obj, vfpLOCKTEST_ALL));
  int st = -1;
  vfpCloseObject(obj, 0);
  obj = vfpOpenObject(ref().c_str(), vfpOPEN_WRITE, &st);
  EXPECT_EQ((Ints{0, 1, 0, vfpNOT_LOCKED}),
            (Ints{st, vfpObjHoldsLock(obj), vfpUnlockObj(obj), vfpUnlockObj(obj)}));
  EXPECT_EQ(lockText(0, uid, 5, getppid(), hostName()), readFile(lockFile));
}

TEST_F(Locks, ALockNeverOutlivesItsProcess) {
  // vfpExit releases what is held; a process that ends without it releases
  // its locks through its exit handler; a forked child leaves its parent's
  // locks alone. The lock directory a process made goes with its last lock.
  ASSERT_EQ(0, vfpLockObj(obj, vfpLOCKTEST_ALL));
  const pid_t child = fork();
  if (child == 0)
    std::exit(0); // runs the exit handlers, not vfpExit
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ((Ints{1, 0, 0, 0}), (Ints{fs::exists(lockFile), vfpExit(), fs::exists(lockFile),
                                      fs::exists(sym + "lock")}));

  open(vfpLOCKMODE_DEFAULT);
  const pid_t holder = fork();
  if (holder == 0) {
    const int st = vfpLockObj(obj, vfpLOCKTEST_ALL);
    std::exit(st == 0 && fs::exists(lockFile) ? 0 : 1);
  }
  waitpid(holder, &status, 0);
  EXPECT_EQ((Ints{0, 0, 0}),
            (Ints{WEXITSTATUS(status), fs::exists(lockFile), fs::exists(sym + "lock")}));
  // A lock directory that was there before stays.
  fs::create_directory(sym + "lock");
  ASSERT_EQ(0, vfpLockObj(obj, vfpLOCKTEST_ALL));
  EXPECT_EQ((Ints{1, 1}), (Ints{vfpReleaseAllLocks(), fs::is_directory(sym + "lock")}));
}

TEST_F(Locks, AHolderKilledWithSigkillLeavesALockThatTheNextRequesterReclaims) {
  int ready[2];
  ASSERT_EQ(0, pipe(ready));
  const pid_t holder = fork();
  if (holder == 0) {
    const char ok = vfpLockObj(obj, vfpLOCKTEST_ALL) == 0 ? 'y' : 'n';
    if (write(ready[1], &ok, 1) != 1)
      _exit(1);
    pause();
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(1, read(ready[0], &ok, 1));
  ASSERT_EQ('y', ok);
  EXPECT_EQ(vfpLOCKED, vfpLockObj(obj, vfpLOCKTEST_ALL)); // alive
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  LockInfo info;
  EXPECT_EQ((Ints{vfpGENERAL_FAILURE, holder}), (Ints{vfpGetObjLockInfo(obj, &info), info.pid}));
  EXPECT_EQ((Ints{0, 0, getpid()}),
            (Ints{vfpLockObj(obj, vfpLOCKTEST_ALL), vfpGetObjLockInfo(obj, &info), info.pid}));
  close(ready[0]);
  close(ready[1]);
}

// One racer: takes the lock `rounds` times; under the lock appends its pid
// to the log, increments the counter, and checks both before it unlocks.
// Every `crashEvery` rounds (never last) a grandchild takes the lock and dies
// holding it, so that the racers must take its orphan over. Exit status 0
// when no check failed.
int race(vfpObjId obj, int log, int counter, int rounds, int crashEvery) {
  constexpr size_t kWidth = 11; // "%10d\n"
  auto holdOnce = [&](bool crash) {
    // A waiting racer pauses a little between tries, as a waiting editor
    // would, so that the holder gets on.
    while (vfpLockObj(obj, vfpLOCKTEST_ALL) != 0)
      usleep(1000 + static_cast<unsigned>(rand() % 2000));
    char line[16], count[16] = "", now[16] = "";
    std::snprintf(line, sizeof line, "%10d\n", getpid());
    bool good = write(log, line, kWidth) == static_cast<ssize_t>(kWidth) &&
                pread(counter, count, kWidth, 0) == static_cast<ssize_t>(kWidth);
    char next[16];
    std::snprintf(next, sizeof next, "%10d\n", std::atoi(count) + 1);
    good = good && pwrite(counter, next, kWidth, 0) == static_cast<ssize_t>(kWidth);
    sched_yield();
    struct stat st;
    good = good && fstat(log, &st) == 0 && st.st_size >= static_cast<off_t>(kWidth) &&
           pread(log, now, kWidth, st.st_size - static_cast<off_t>(kWidth)) ==
               static_cast<ssize_t>(kWidth) &&
           std::strcmp(now, line) == 0 && pread(counter, now, kWidth, 0) > 0 &&
           std::strcmp(now, next) == 0;
    if (crash)
      _exit(good ? 0 : 1); // dies holding the lock
    return vfpUnlockObj(obj) == 0 && good;
  };
  for (int i = 1; i <= rounds; ++i) {
    if (!holdOnce(false))
      return 1;
    if (i % crashEvery == 1) {
      const pid_t crasher = fork();
      if (crasher == 0)
        holdOnce(true);
      int status = 0;
      waitpid(crasher, &status, 0);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 1;
    }
  }
  return 0;
}

TEST_F(Locks, EightProcessesRacingForOneLockNeverHoldItTogether) {
  constexpr int kRacers = 8;
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizers make each cycle about ten times slower; fewer rounds keep
  // the race (and the crashes among them) inside the test's time limit.
  constexpr int kRounds = 240;
  constexpr int kCrashEvery = 60;
#else
  constexpr int kRounds = 1000;
  constexpr int kCrashEvery = 250;
#endif
  const std::string log = dir / "log";
  const std::string counter = dir / "counter";
  writeFile(log, "");
  writeFile(counter, "         0\n");
  const int logFd = ::open(log.c_str(), O_RDWR | O_APPEND);
  const int counterFd = ::open(counter.c_str(), O_RDWR);
  pid_t racers[kRacers];
  for (pid_t &r : racers) {
    r = fork();
    if (r == 0) {
      srand(static_cast<unsigned>(getpid()));
      _exit(race(obj, logFd, counterFd, kRounds, kCrashEvery));
    }
  }
  for (pid_t r : racers) {
    int status = 0;
    waitpid(r, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  // Each racer holds the lock once a round, and its crasher once in the
  // rounds 1, 1 + crashEvery, 1 + 2 crashEvery, ...
  const int total = kRacers * (kRounds + (kRounds - 1) / kCrashEvery + 1);
  char expected[16];
  std::snprintf(expected, sizeof expected, "%10d\n", total);
  EXPECT_EQ(expected, readFile(counter));
  EXPECT_EQ(static_cast<size_t>(total) * 11, readFile(log).size());
  EXPECT_FALSE(fs::exists(lockFile));
}

} // namespace
