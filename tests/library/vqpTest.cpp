// Block file access: the library list as the block layer walks it, the kind
// table and its version texts, references that cannot be built, probes,
// backups, the writer's save sequence killed at every system call, and the
// lock queries. Failed writes and commits are checked at the file layer and
// through the block writer's save.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <string>
#include <vector>

#include "qInit.h"
#include "support/TestSupport.h"
#include "vfpFile.h"
#include "vqp.h"
#include "vs.h"

namespace fs = std::filesystem;
using testsupport::entries;
using testsupport::Ints;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

using Strings = std::vector<std::string>;

// A project in a fresh directory, opened as the editor opens it: libraries
// "mylib" (two directories, the first primary), "other" (read-only), and a
// directory without alias between them.
class Vqp : public ::testing::Test {
protected:
  testsupport::TempDir dir;
  const std::string tmp = dir.path();
  testsupport::ScopedCwd cwd{tmp};
  testsupport::ScopedEnv wdir{"WDIR", tmp + "/msg"};
  const std::string sym = tmp + "/lib/sym/";
  const std::string block = sym + "and2.1";

  void SetUp() override {
    dir.write("scribant.ini", "DIR [pw] " + tmp + "/lib (mylib)\nDIR [w] " + tmp +
                                  "/plain\nDIR [w] " + tmp + "/lib2 (MyLib)\nDIR [r] " + tmp +
                                  "/ro (other)\n");
    for (const char *d : {"lib/sym", "lib2/sym", "plain", "ro"})
      fs::create_directories(dir / d);
    testsupport::useProjectDir(dir);
    ASSERT_EQ(1, vqProjInit(q_get_version()));
    vfpLockRetryDelayV = 0;
  }
  void TearDown() override { vqProjExit(); }

  LibraryDirId dirOf(const std::string &path) { return vqpPathGetDir((tmp + path).c_str()); }
};

// The block writer's save of and2.1 in mylib, with the content written in
// pieces of 4096 bytes, each flushed. 1 when every step succeeded.
int save(const std::string &content) {
  const BlockFileId f = vqpFileGetID(vqpKIND_SYMBOL, "mylib", "and2", 1);
  if (!vqpFileLock(vqpKIND_SYMBOL, "mylib", "and2", 1) || !vqpFileCreateBackup(f, vqpKIND_SYMBOL) ||
      !vqpFileReopen(f, vqpFILE_WRITE))
    return 0;
  FILE *out = vqpFileStream(f);
  for (size_t at = 0; at < content.size(); at += 4096)
    if (std::fputs(content.substr(at, 4096).c_str(), out) < 0 || std::fflush(out) != 0) {
      vqpFileDelete(f);
      return 0;
    }
  const int ok = vqpFileSuspend(f, 0) && vqpFileUnlock(vqpKIND_SYMBOL, "mylib", "and2", 1);
  vqpFileClose(f, 0);
  return ok;
}

TEST_F(Vqp, TheLibraryLoopCallsBackOncePerAliasInListOrder) {
  std::vector<std::string> seen;
  EXPECT_EQ(0, vqpLibraryLoop(
                   [](const char *alias, void *user) {
                     static_cast<std::vector<std::string> *>(user)->push_back(alias);
                     return 0;
                   },
                   &seen));
  EXPECT_EQ((Strings{"mylib", "other"}), seen);
  EXPECT_EQ(9, vqpLibraryLoop([](const char *, void *) { return 9; }, nullptr));
}

TEST_F(Vqp, DirectoriesAreWalkedByAliasAndKnownByTheirTypeLetters) {
  const LibraryDirId lib = dirOf("/lib"), lib2 = dirOf("/lib2"), plain = dirOf("/plain"),
                     ro = dirOf("/ro");
  ASSERT_TRUE(lib != 0 && lib2 != 0 && plain != 0 && ro != 0);
  EXPECT_EQ((Ints{0, 0}), (Ints{vqpPathGetDir((tmp + "/lib/").c_str()), vqpPathGetDir("")}));

  EXPECT_EQ(1, vqpLibraryExists("MYLIB"));
  for (const char *no : {"nolib", "", "my*", "?ylib"})
    EXPECT_EQ(0, vqpLibraryExists(no)) << no;
  EXPECT_EQ(0, vqpLibraryExists(nullptr));

  // Each call in turn; the status after the end of the library's directories.
  int st = -1;
  EXPECT_EQ((Ints{lib, lib2, 0, vfpGENERAL_FAILURE}),
            (Ints{vqpLibraryNextDir(0, "mylib", &st), vqpLibraryNextDir(lib, "mylib", &st),
                  vqpLibraryNextDir(lib2, "mylib", &st), st}));
  EXPECT_EQ((Ints{lib2, 0, plain, lib}),
            (Ints{vqpDirNextLibDir(lib, &st), vqpDirNextLibDir(plain, &st), vqpDirNextDir(lib, &st),
                  vqpDirNextDir(0, &st)}));

  EXPECT_EQ((Ints{1, 1, 0, lib, 0}),
            (Ints{vqpDirWritable(lib), vqpDirWritable(plain), vqpDirWritable(ro),
                  vqpLibraryFirstWritable("mylib"), vqpLibraryFirstWritable("other")}));

  char path[vfpPATH_SIZE], alias[vfpALIAS_SIZE], type[vfpTYPE_SIZE];
  ASSERT_EQ(1, vqpDirIDGetInfo(lib2, path, alias, type));
  EXPECT_EQ((Strings{tmp + "/lib2", "MyLib", "w"}), (Strings{path, alias, type}));
  EXPECT_EQ((Ints{1, 0}), (Ints{vqpDirIDGetInfo(lib2, nullptr, nullptr, nullptr),
                                vqpDirIDGetInfo(0, path, alias, type)}));
  EXPECT_EQ((Strings{"MyLib", "", tmp + "/lib", "mylib"}),
            (Strings{vqpDirIDGetLibrary(lib2), vqpDirIDGetLibrary(plain), vqpGetPrimaryPath(),
                     vqpGetPrimaryLib()}));
}

TEST_F(Vqp, EachKindHasItsClassDirectoryAndVersionText) {
  const struct {
    int kind;
    int version;
    std::string file;
  } kinds[] = {
      {vqpKIND_SCHEMATIC, 2, "/lib/sch/and2.2"}, {vqpKIND_SYMBOL, 1, "/lib/sym/and2.1"},
      {vqpKIND_WIRELIST, 3, "/lib/wir/and2.3"},  {vqpKIND_PIN, 7, "/lib/sym/and2.pin"},
      {vqpKIND_OAT, 7, "/lib/and2.oat"},
  };
  for (const auto &k : kinds) {
    int st = -1;
    const BlockFileId f = vqpFileOpen(k.kind, "mylib", "and2", k.version, vqpFILE_ID, &st);
    ASSERT_NE(0, f) << k.kind;
    EXPECT_EQ((Strings{tmp + k.file, tmp + "/lib", "mylib"}),
              (Strings{vqpFileIDGetSpec(f), vqpFileIDGetPath(f), vqpFileIDGetLibrary(f)}));
    EXPECT_EQ((Ints{dirOf("/lib"), 1}), (Ints{vqpFileIDGetDirID(f), vqpFileClose(f, 0)}));
  }
  // In a directory: the data description kind too; a text version as given.
  int st = -1;
  BlockFileId f = vqpFileOpenD(vqpKIND_DATADES, dirOf("/plain"), "d", 4, vqpFILE_ID, &st);
  EXPECT_EQ(tmp + "/plain/d.4", vqpFileIDGetSpec(f));
  f = vqpFileOpenDx(vqpKIND_SYMBOL, dirOf("/plain"), "d", "12", vqpFILE_ID, &st);
  EXPECT_EQ(tmp + "/plain/sym/d.12", vqpFileIDGetSpec(f));
  EXPECT_EQ((Strings{"", ""}), (Strings{vqpFileIDGetSpec(0), vqpFileIDGetLibrary(0)}));
}

TEST_F(Vqp, AReferenceThatCannotBeBuiltFailsWithoutTouchingTheDisk) {
  int st = -1;
  // Each open's id, then its status.
  const std::string longName(240, 'a');
  EXPECT_EQ(
      (Ints{0, vfpINVALID_CLASS, 0, vfpINVALID_CLASS, 0, vfpREF_TOO_LARGE}),
      (Ints{vqpFileOpen(2, "mylib", "and2", 1, vqpFILE_WRITE, &st), st,
            vqpFileOpen(vqpKIND_DATADES, "mylib", "and2", 1, vqpFILE_WRITE, &st), st,
            vqpFileOpen(vqpKIND_SYMBOL, "mylib", longName.c_str(), 1, vqpFILE_WRITE, &st), st}));
  EXPECT_EQ((Ints{0, 0, 0, 0}),
            (Ints{vqpFileLock(vqpKIND_SYMBOL, "mylib", longName.c_str(), 1),
                  vqpFileLock(2, "mylib", "and2", 1), vqpFileExists(2, "mylib", "and2", 1),
                  vqpFileGetID(vqpKIND_SYMBOL, "nolib", "and2", 1)}));
  EXPECT_TRUE(entries(sym).empty());
}

TEST_F(Vqp, ProbesFindFilesAndLeaveAnOpenObjectOpen) {
  writeFile(block, "V 50\n");
  writeFile(sym + "and2.1.bac", "V 50\n");
  EXPECT_EQ((Ints{1, 0, 0}), (Ints{vqpFileExists(vqpKIND_SYMBOL, "mylib", "and2", 1),
                                   vqpFileExists(vqpKIND_SYMBOL, "mylib", "and2", 2),
                                   vqpFileExists(vqpKIND_SYMBOL, "other", "and2", 1)}));
  const LibraryDirId lib = dirOf("/lib");

  // A probe of a file nobody holds is closed again: the next open is fresh.
  EXPECT_EQ(1, vqpFileExistsD(vqpKIND_SYMBOL, lib, "and2", 1));
  int st = -1;
  const BlockFileId f = vqpFileOpen(vqpKIND_SYMBOL, "mylib", "and2", 1, vqpFILE_READ, &st);
  EXPECT_EQ(0, st);
  // A probe of an object the caller holds open answers yes and leaves it open.
  EXPECT_EQ(1, vqpFileExistsD(vqpKIND_SYMBOL, lib, "and2", 1));
  EXPECT_NE(nullptr, vqpFileStream(f));
  EXPECT_EQ((Ints{f, vfpALREADY_OPEN}),
            (Ints{vqpFileOpenD(vqpKIND_SYMBOL, lib, "and2", 1, vqpFILE_READ, &st), st}));

  EXPECT_EQ((Ints{1, 0, 0, 0, 0}),
            (Ints{vqpFileBackupExists(f, vqpKIND_SYMBOL, vqpBACKUP, "and2", 1),
                  vqpFileBackupExists(f, vqpKIND_SYMBOL, vqpSAVE, "and2", 1),
                  vqpFileBackupExists(f, vqpKIND_SYMBOL, 2, "and2", 1),
                  vqpFileBackupExists(f, vqpKIND_WIRELIST, vqpBACKUP, "and2", 1),
                  vqpFileAuxExists(f, vqpKIND_PIN, "and2", 1)}));
  writeFile(sym + "and2.pin", "");
  EXPECT_EQ((Ints{1, 0}), (Ints{vqpFileAuxExists(f, vqpKIND_PIN, "and2", 1),
                                vqpFileAuxExists(f, vqpKIND_DATADES, "and2", 1)}));
  const BlockFileId bac = vqpFileBackupOpen(f, vqpKIND_SYMBOL, vqpBACKUP, "and2", 1, 1, &st);
  EXPECT_EQ(sym + "and2.1.bac", vqpFileIDGetSpec(bac));
}

TEST_F(Vqp, ABackupLiesBesideItsBlockInItsKindsDirectory) {
  const BlockFileId f = vqpFileGetID(vqpKIND_SYMBOL, "mylib", "and2", 1);
  // A kind not of the block refused; no file: nothing to back up.
  EXPECT_EQ((Ints{0, 1}), (Ints{vqpFileCreateBackup(f, vqpKIND_WIRELIST),
                                vqpFileCreateBackup(f, vqpKIND_SYMBOL)}));
  EXPECT_TRUE(entries(sym).empty());

  // A schematic's backup likewise, in its own directory; a copy to another
  // directory keeps the block's class.
  writeFile(block, "first\n");
  writeFile(tmp + "/lib/sch/top.3", "sheet\n");
  int st = -1;
  const BlockFileId s = vqpFileOpen(vqpKIND_SCHEMATIC, "mylib", "top", 3, vqpFILE_ID, &st);
  EXPECT_EQ((Ints{1, 1, 1}),
            (Ints{vqpFileCreateBackup(f, vqpKIND_SYMBOL), vqpFileCreateBackup(s, vqpKIND_SCHEMATIC),
                  vqpFileCopy(f, dirOf("/lib2"), 1, 0)}));
  EXPECT_EQ((Strings{"first\n", "sheet\n", "first\n"}),
            (Strings{readFile(sym + "and2.1.bac"), readFile(tmp + "/lib/sch/top.3.bac"),
                     readFile(tmp + "/lib2/sym/and2.1")}));
}

// Runs save(content) in a child traced by this process and kills the child
// with SIGKILL when it is about to make its system call number killAt
// (counted from 1); with killAt 0 the child runs to its end. Returns the
// number of system calls the child began.
int tracedSave(const std::string &content, int killAt) {
  const pid_t child = fork();
  if (child == 0) {
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    raise(SIGSTOP);
    _exit(save(content) ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  int calls = 0;
  bool entry = true;
  int signal = 0;
  for (;;) {
    ptrace(PTRACE_SYSCALL, child, nullptr, signal);
    waitpid(child, &status, 0);
    signal = 0;
    if (WIFEXITED(status) || WIFSIGNALED(status))
      break;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      signal = WSTOPSIG(status); // a signal of the child's own: deliver it
      continue;
    }
    if (entry && ++calls == killAt) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      break;
    }
    entry = !entry;
  }
  EXPECT_TRUE(killAt != 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 0));
  return calls;
}

TEST_F(Vqp, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewContent) {
  // Larger than a stdio buffer, so the body takes several writes.
  std::string oldText, newText, next = "next\n";
  for (int i = 0; i < 1500; ++i) {
    oldText += "old line " + std::to_string(i) + "\n";
    newText += "new line " + std::to_string(i) + "\n";
  }
  auto reset = [&] {
    fs::remove_all(sym);
    fs::create_directories(sym);
    writeFile(block, oldText);
  };
  reset();
  const int calls = tracedSave(newText, 0);
  ASSERT_GT(calls, 10);
  RecordProperty("systemCalls", calls);
  EXPECT_EQ(newText, readFile(block));
  int sawOld = 0, sawNew = 0;
  for (int k = 1; k <= calls; ++k) {
    reset();
    tracedSave(newText, k);
    const std::string now = readFile(block);
    ASSERT_TRUE(now == oldText || now == newText) << "killed at call " << k;
    (now == oldText ? sawOld : sawNew)++;
    const std::string backup = readFile(sym + "and2.1.bac");
    ASSERT_TRUE(!fs::exists(sym + "and2.1.bac") || backup == oldText) << "call " << k;

    // The next run's save takes the dead process's lock over, removes what
    // it left and succeeds.
    const pid_t run = fork();
    if (run == 0)
      _exit(save(next) ? 0 : 1);
    int status = -1;
    waitpid(run, &status, 0);
    ASSERT_EQ(0, status) << "after a kill at call " << k;
    EXPECT_EQ(next, readFile(block));
    EXPECT_EQ(now, readFile(sym + "and2.1.bac"));
    ASSERT_EQ((Strings{"and2.1", "and2.1.bac", "lock"}), entries(sym)) << "call " << k;
    ASSERT_TRUE(entries(sym + "lock").empty()) << "call " << k;
  }
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
}

// The lock queries' answers about f: "pid locked ours owner|host|" and
// "dated" when a date is given. The texts share one buffer: each is copied
// before the next query.
std::string lockQueries(BlockFileId f) {
  std::string s = std::to_string(vqpGetLockPID(f)) + " " + std::to_string(vqpIsFileLocked(f)) +
                  " " + std::to_string(vqpIsMyLock(f)) + " " + vqpGetLockOwner(f);
  s += std::string("|") + vqpGetLockHost(f);
  return s + "|" + (*vqpGetLockDate(f) ? "dated" : "");
}

TEST_F(Vqp, LockQueriesTellWhoHoldsABlock) {
  const BlockFileId f = vqpFileGetID(vqpKIND_SYMBOL, "mylib", "and2", 1);
  EXPECT_EQ("-1 0 0 Unknown|Unknown|", lockQueries(f));

  ASSERT_EQ(1, vqpFileLock(vqpKIND_SYMBOL, "mylib", "and2", 1));
  const passwd *pw = getpwuid(getuid());
  ASSERT_NE(nullptr, pw);
  const std::string gecos = std::string(pw->pw_gecos).substr(0, std::strcspn(pw->pw_gecos, ","));
  const std::string owner = pw->pw_name + (gecos.empty() ? "" : " (" + gecos + ")");
  EXPECT_EQ(std::to_string(getpid()) + " 1 1 " + owner + "|" + testsupport::hostName() + "|dated",
            lockQueries(f));
  // Locked again, unlocked, and unlocked with no lock left: there is no lock
  // file to delete, so that unlock fails.
  EXPECT_EQ((Ints{1, 1, 0}), (Ints{vqpFileLock(vqpKIND_SYMBOL, "mylib", "and2", 1),
                                   vqpFileUnlock(vqpKIND_SYMBOL, "mylib", "and2", 1),
                                   vqpFileUnlock(vqpKIND_SYMBOL, "mylib", "and2", 1)}));
  EXPECT_FALSE(fs::exists(sym + "lock/and2.1"));
}

TEST_F(Vqp, ALiveLockOfTheSameUserIsNeitherUnlockedNorReclaimed) {
  // Another run of this user (the parent process) holds the block open.
  const std::string lockFile = sym + "lock/and2.1";
  const std::string live =
      testsupport::lockText(0, std::to_string(getuid()), 0, getppid(), testsupport::hostName());
  writeFile(block, "V 50\n");
  writeFile(lockFile, live);
  char owner[vqpOWNER_SIZE] = "";
  EXPECT_EQ((Ints{0, 0}), (Ints{vqpFileUnlock(vqpKIND_SYMBOL, "mylib", "and2", 1),
                                vqpFileReclaimOrphanLock(vqpKIND_SYMBOL, "mylib", "and2", 1,
                                                         vqpFILE_READ, 0, owner)}));
  EXPECT_EQ(std::to_string(getuid()), owner);
  EXPECT_EQ(live, readFile(lockFile));
}

TEST_F(Vqp, AForeignLockRefusesAnEditButAnOrphanIsReclaimed) {
  const std::string lockFile = sym + "lock/and2.1";
  auto foreign = [&](int pid) {
    writeFile(lockFile, testsupport::lockText(0, "4242", 0, pid, testsupport::hostName()));
  };
  writeFile(block, "V 50\n");
  foreign(getppid());
  int st = -1;
  EXPECT_EQ((Ints{0, 0, vfpLOCKED, 0}),
            (Ints{vqpFileLock(vqpKIND_SYMBOL, "mylib", "and2", 1),
                  vqpFileOpen(vqpKIND_SYMBOL, "mylib", "and2", 1, vqpFILE_READ | vqpFILE_LOCK, &st),
                  st, vqpFileUnlock(vqpKIND_SYMBOL, "mylib", "and2", 1)}));
  char owner[vqpOWNER_SIZE] = "x";
  EXPECT_EQ(0,
            vqpFileReclaimOrphanLock(vqpKIND_SYMBOL, "mylib", "and2", 1, vqpFILE_READ, 0, owner));
  EXPECT_STREQ("4242", owner);
  const BlockFileId f = vqpFileOpen(vqpKIND_SYMBOL, "mylib", "and2", 1, vqpFILE_READ, &st);
  // Reading needs no lock; there is no user 4242.
  EXPECT_EQ(0, st);
  EXPECT_EQ(std::to_string(getppid()) + " 1 0 Unknown|" + testsupport::hostName() + "|dated",
            lockQueries(f));
  vqpFileClose(f, 0);

  // The holder is gone: an open for editing takes its lock over ...
  const pid_t gone = fork();
  if (gone == 0)
    _exit(0);
  waitpid(gone, nullptr, 0);
  foreign(gone);
  const BlockFileId g =
      vqpFileOpen(vqpKIND_SYMBOL, "mylib", "and2", 1, vqpFILE_READ | vqpFILE_LOCK, &st);
  EXPECT_EQ((Ints{0, 1}), (Ints{st, vqpIsMyLock(g)}));
  vqpFileClose(g, 0);
  ASSERT_EQ(1, vqpFileUnlock(vqpKIND_SYMBOL, "mylib", "and2", 1));

  // ... and a reclaim releases it and opens the block.
  foreign(gone);
  const BlockFileId h = vqpFileReclaimOrphanLockD(
      vqpKIND_SYMBOL, vqpPathGetDir((tmp + "/lib").c_str()), "and2", 1, vqpFILE_READ, 0, owner);
  ASSERT_NE(0, h);
  EXPECT_NE(nullptr, vqpFileStream(h));
  EXPECT_FALSE(fs::exists(lockFile));
}

} // namespace
