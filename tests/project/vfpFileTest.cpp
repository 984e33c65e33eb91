// File objects of the project database: references, resolution through the
// library list, opening and closing, crash-safe writes (what is on disk
// while a write is open, after a commit, a discard, a failed commit), the
// permission bits, group and symbolic links of a replaced file, copies, the
// object loop, and what the database's exit leaves behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "vfpFile.h"

namespace fs = std::filesystem;
using testsupport::entries;
using testsupport::Ints;
using testsupport::readFile;
using Strings = std::vector<std::string>;

namespace {

// A project whose scribant.ini names two directories of "mylib" (the first
// writable), a read-only library "rolib" and a line without alias.
class FileDb : public ::testing::Test {
protected:
  testsupport::TempDir dir;
  const std::string lib = dir / "lib";
  const std::string lib2 = dir / "lib2";
  const std::string file = lib + "/sym/and2.1";
  vfpObjId project = 0;
  int symbol = vfpClassLookup("SYMBOL");

  void SetUp() override {
    dir.write("scribant.ini", "DIR [pw] " + lib + " (mylib)\nDIR [w] " + lib2 +
                                  " (mylib)\nDIR [r] " + dir / "ro" + " (rolib)\nDIR [w] " +
                                  dir / "plain" + "\n");
    for (const char *d : {"lib/sym", "lib2/sym", "ro/sym", "plain"})
      fs::create_directories(dir / d);
    ASSERT_EQ(0, vfpInit(4, "5.41"));
    int st = -1;
    project = vfpOpenProject(dir.path().c_str(), nullptr, "Scribant", vfpLOCKMODE_DEFAULT, &st);
    ASSERT_EQ(0, st);
  }
  void TearDown() override { vfpExit(); }

  std::string ref(const char *alias, const char *name, const char *version, int cls = 0) {
    char r[vfpREF_SIZE];
    EXPECT_EQ(0, vfpBuildObjRef(r, cls == 0 ? symbol : cls, alias, name, version));
    return r;
  }
  vfpObjId open(const char *name, int mode, int *st, const char *alias = "mylib") {
    return vfpOpenObject(ref(alias, name, "1").c_str(), mode, st);
  }
  // Writes "old\n" into mylib's and2.1 and opens it with mode.
  vfpObjId openOld(int mode) {
    testsupport::writeFile(file, "old\n");
    int st = -1;
    const vfpObjId o = open("and2", mode, &st);
    EXPECT_EQ(0, st);
    return o;
  }
  // Writes text through a write open of the object and commits it.
  int save(vfpObjId obj, const std::string &text, int flags = vfpCLOSE_COMMIT) {
    if (vfpObjReopen(obj, vfpOPEN_WRITE, 0) != 0)
      return -1;
    std::fputs(text.c_str(), vfpObjStream(obj));
    return vfpObjReopen(obj, vfpOPEN_ID, flags);
  }
};

TEST_F(FileDb, ReferencesNameTheCurrentProjectAndRefuseWhatCannotBeBuilt) {
  const std::string name = fs::path(dir.path()).filename().string();
  EXPECT_EQ("DATABASE:Orvik/PROJECT:" + name + "/LIBRARY:mylib/SYMBOL:and2@1",
            ref("mylib", "and2", "1"));

  char r[vfpREF_SIZE] = "x";
  EXPECT_EQ(vfpINVALID_CLASS, vfpBuildObjRef(r, vfpClassLIBRARY, "mylib", "and2", "1"));
  EXPECT_EQ(vfpNULL_REF, vfpBuildObjRef(r, symbol, "mylib", nullptr, "1"));
  const std::string fits(255 - ref("mylib", "", "1").size(), 'a');
  EXPECT_EQ((Ints{0, 255}),
            (Ints{vfpBuildObjRef(r, symbol, "mylib", fits.c_str(), "1"), long(std::strlen(r))}));
  EXPECT_EQ(
      (Ints{vfpREF_TOO_LARGE, 0}),
      (Ints{vfpBuildObjRef(r, symbol, "mylib", (fits + "a").c_str(), "1"), long(std::strlen(r))}));

  int st = 0;
  const std::string good = ref("mylib", "and2", "1");
  std::vector<std::pair<std::string, int>> bad = {
      {good + std::string(256 - good.size(), 'x'), vfpREF_TOO_LARGE}};
  for (const auto &row : testsupport::tableRows("project/cases/badrefs.txt"))
    bad.emplace_back(testsupport::replaced(row.at(0), "%", name), std::stoi(row.at(1)));
  // The id and the status, in this order (a braced list is evaluated left to right).
  for (const auto &[text, status] : bad)
    EXPECT_EQ((Ints{0, status}),
              (Ints{vfpOpenObject(text.c_str(), vfpOPEN_WRITE | vfpOPEN_LOCK, &st), st}))
        << text;
  EXPECT_EQ((Ints{0, vfpNULL_REF}), (Ints{vfpOpenObject(nullptr, vfpOPEN_READ, &st), st}));
  // None of them touched the disk: no temporary file, no lock directory.
  EXPECT_TRUE(entries(lib + "/sym").empty());
}

TEST_F(FileDb, AReferenceFindsTheFileInItsLibraryOrWhereItWouldBeCreated) {
  testsupport::writeFile(lib2 + "/sym/inv.1", "V 50\n");
  int st = -1;
  vfpObjId inv = open("inv", vfpOPEN_READ, &st);
  ASSERT_NE(0, inv);
  EXPECT_EQ((Strings{lib2 + "/sym/inv.1", "inv", "1", lib2}),
            (Strings{vfpObjGetPath(inv), vfpObjGetName(inv), vfpObjGetVersion(inv),
                     vfpObjGetPath(vfpObjGetDir(inv))}));

  // Not there at all: the first writable directory, for an id or a write.
  vfpObjId fresh = open("new", vfpOPEN_ID, &st);
  EXPECT_EQ(lib + "/sym/new.1", vfpObjGetPath(fresh));
  EXPECT_EQ(0, vfpCloseObject(fresh, 0));
  EXPECT_EQ((Ints{0, vfpNO_OBJECT}), (Ints{open("new", vfpOPEN_READ, &st), st}));
  EXPECT_EQ((Ints{vfpNO_OBJECT, 0}), (Ints{vfpObjExists(ref("mylib", "new", "1").c_str()),
                                           vfpObjExists(ref("mylib", "inv", "1").c_str())}));

  // The other classes: their subdirectories and names.
  for (const auto &row : testsupport::tableRows("project/cases/classpaths.txt")) {
    const int cls = vfpClassLookup(row.at(0).c_str());
    vfpObjId o = vfpOpenObject(ref("mylib", "top", "1", cls).c_str(), 0, &st);
    EXPECT_EQ(lib + row.at(1), vfpObjGetPath(o)) << row[0];
    vfpCloseObject(o, 0);
  }
}

TEST_F(FileDb, NothingIsWrittenIntoADirectoryThatIsNotOpenForWriting) {
  testsupport::writeFile(dir / "ro/sym/and2.1", "old\n");
  int st = -1;
  EXPECT_EQ((Ints{0, vfpCANNOT_ACCESS}), (Ints{open("and2", vfpOPEN_WRITE, &st, "rolib"), st}));
  const vfpObjId o = open("and2", vfpOPEN_READ, &st, "rolib");
  ASSERT_EQ(0, st);
  EXPECT_EQ(vfpCANNOT_ACCESS, vfpObjReopen(o, vfpOPEN_WRITE, 0));
  EXPECT_EQ(vfpCANNOT_ACCESS, vfpCopyObject(o, vfpObjGetDir(o), vfpClassLookup("SYMBOL_BAC"), 0));
  EXPECT_EQ((Strings{"and2.1"}), entries(dir / "ro/sym"));
}

TEST_F(FileDb, AnOpenObjectIsHandedOutAgainWith53UntilItIsClosed) {
  const vfpObjId a = openOld(vfpOPEN_READ);
  ASSERT_NE(0, a);
  EXPECT_EQ((Ints{symbol, 1}), (Ints{vfpObjGetClass(a), vfpObjMode(a)}));
  int st = -1;
  EXPECT_EQ((Ints{a, vfpALREADY_OPEN}), (Ints{open("and2", vfpOPEN_ID, &st), st}));
  EXPECT_EQ((Ints{a, vfpALREADY_OPEN}),
            (Ints{vfpOpenObjectIn(vfpObjGetDir(a), symbol, "and2", "1", vfpOPEN_READ, &st), st}));

  char line[16] = "";
  ASSERT_NE(nullptr, std::fgets(line, sizeof line, vfpObjStream(a)));
  EXPECT_STREQ("old\n", line);
  EXPECT_EQ((Ints{0, 0, vfpINVALID_OBJID}),
            (Ints{vfpCloseObject(a, 0), vfpObjGetClass(a), vfpCloseObject(a, 0)}));
  EXPECT_EQ(nullptr, vfpObjStream(a));
  const vfpObjId b = openOld(vfpOPEN_READ);
  EXPECT_NE(a, b); // ids are never reused

  EXPECT_EQ((Ints{0, vfpBAD_MODE}), (Ints{open("and2", 3, &st), st}));
  const LibraryDirId d = vfpObjGetDir(b);
  EXPECT_EQ((Ints{0, vfpBAD_NAME}), (Ints{vfpOpenObjectIn(d, symbol, "", "1", 0, &st), st}));
  EXPECT_EQ((Ints{0, vfpBAD_VERSION}), (Ints{vfpOpenObjectIn(d, symbol, "x", "", 0, &st), st}));
  EXPECT_EQ((Ints{0, vfpINVALID_LIB}),
            (Ints{vfpOpenObjectIn(project, symbol, "x", "1", 0, &st), st}));
}

TEST_F(FileDb, AWriteLeavesTheFileAloneUntilItsCommitReplacesItWhole) {
  const vfpObjId o = openOld(vfpOPEN_WRITE);
  FILE *out = vfpObjStream(o);
  ASSERT_NE(nullptr, out);
  std::fputs("new\n", out);
  std::fflush(out);
  EXPECT_EQ((Strings{"old\n", "new\n"}), (Strings{readFile(file), readFile(file + ".tmp")}));
  // The temporary file beside it is no block file: its extension is a word.
  EXPECT_EQ((Strings{"and2.1", "and2.1.tmp", "lock"}), entries(lib + "/sym"));

  EXPECT_EQ(0, vfpObjReopen(o, vfpOPEN_READ, vfpCLOSE_COMMIT | vfpCLOSE_SYNC));
  EXPECT_EQ("new\n", readFile(file));
  EXPECT_EQ((Strings{"and2.1", "lock"}), entries(lib + "/sym"));
  char line[8] = "";
  ASSERT_NE(nullptr, std::fgets(line, sizeof line, vfpObjStream(o)));
  EXPECT_STREQ("new\n", line);

  // A discarded write and a deleted one remove only their temporary files.
  EXPECT_EQ(0, save(o, "discarded\n", vfpCLOSE_DISCARD));
  ASSERT_EQ(0, vfpObjReopen(o, vfpOPEN_WRITE, 0));
  std::fputs("deleted\n", vfpObjStream(o));
  EXPECT_EQ((Ints{0, 0}), (Ints{vfpDeleteObject(o), vfpObjMode(o)})); // still open, no file
  EXPECT_EQ("new\n", readFile(file));
  EXPECT_EQ((Strings{"and2.1", "lock"}), entries(lib + "/sym"));

  // Without a write, a delete removes the file and frees the object.
  EXPECT_EQ((Ints{0, 0, vfpINVALID_OBJID}),
            (Ints{vfpDeleteObject(o), fs::exists(file), vfpDeleteObject(o)}));
}

TEST_F(FileDb, AWriteCreatesAMissingFileWithTheUsualPermissionBits) {
  const mode_t old = umask(027);
  int st = -1;
  const vfpObjId o = open("fresh", vfpOPEN_WRITE, &st);
  ASSERT_EQ(0, st);
  EXPECT_FALSE(fs::exists(lib + "/sym/fresh.1"));
  std::fputs("V 50\n", vfpObjStream(o));
  EXPECT_EQ(0, vfpCloseObject(o, vfpCLOSE_COMMIT));
  umask(old);
  EXPECT_EQ(fs::perms(0640), fs::status(lib + "/sym/fresh.1").permissions());
  EXPECT_EQ("V 50\n", readFile(lib + "/sym/fresh.1"));
}

TEST_F(FileDb, AReplacedFileKeepsItsPermissionBitsAndGroup) {
  const vfpObjId o = openOld(vfpOPEN_ID);
  ASSERT_EQ(0, chmod(file.c_str(), 0604));
  // A group other than the process's own: any supplementary group, or any
  // group at all when the process may give files away.
  gid_t other = getegid();
  std::vector<gid_t> groups(static_cast<size_t>(getgroups(0, nullptr)) + 1);
  groups.resize(static_cast<size_t>(getgroups(static_cast<int>(groups.size()), groups.data())));
  for (gid_t g : groups)
    if (g != getegid())
      other = g;
  if (other == getegid() && geteuid() == 0)
    other = getegid() + 4;
  ASSERT_EQ(0, chown(file.c_str(), static_cast<uid_t>(-1), other));
  ASSERT_EQ(0, save(o, "new\n"));
  struct stat s;
  ASSERT_EQ(0, stat(file.c_str(), &s));
  EXPECT_EQ("new\n", readFile(file));
  EXPECT_EQ((Ints{0604, other}), (Ints{s.st_mode & 07777, s.st_gid}));
  if (other == getegid())
    GTEST_SKIP() << "no second group to check the group with";
}

TEST_F(FileDb, ABlockFileThatIsASymbolicLinkIsWrittenAtItsTarget) {
  fs::create_directories(dir / "shared");
  const std::string target = dir / "shared/and2.1";
  testsupport::writeFile(target, "old\n");
  ASSERT_EQ(0, chmod(target.c_str(), 0640));
  fs::create_symlink("../../shared/and2.1", lib + "/sym/and2.1");
  // A chain of links ends at the same target.
  fs::create_symlink(lib + "/sym/and2.1", lib + "/sym/or2.1");

  int st = -1;
  for (const char *name : {"and2", "or2"}) {
    const vfpObjId o = open(name, vfpOPEN_ID, &st);
    ASSERT_EQ(0, save(o, std::string(name) + "\n")) << name;
    EXPECT_TRUE(fs::is_symlink(lib + "/sym/" + name + ".1"));
    EXPECT_EQ(std::string(name) + "\n", readFile(target));
    EXPECT_EQ(fs::perms(0640), fs::status(target).permissions());
  }
  EXPECT_EQ((Strings{"and2.1"}), entries(dir / "shared"));
}

TEST_F(FileDb, AFailedCommitKeepsTheOldContentAndLeavesNoTemporaryFile) {
  const vfpObjId o = openOld(vfpOPEN_WRITE);
  // A file size limit makes the flush of the commit fail.
  {
    testsupport::FileSizeLimit limit(1024);
    std::fputs(std::string(64 * 1024, 'x').c_str(), vfpObjStream(o));
    EXPECT_EQ(vfpGENERAL_FAILURE, vfpObjReopen(o, vfpOPEN_ID, vfpCLOSE_COMMIT));
  }
  EXPECT_EQ("old\n", readFile(file));
  EXPECT_EQ((Strings{"and2.1", "lock"}), entries(lib + "/sym"));
  // The object is still there for another try.
  EXPECT_EQ(0, save(o, "new\n"));
  EXPECT_EQ("new\n", readFile(file));
}

TEST_F(FileDb, AWriteNeverOpensATemporaryNameThatIsThereAndTheFirstOpenClearsLeftovers) {
  const std::string sym = lib + "/sym/";
  testsupport::writeFile(sym + "and2.1.tmp", "half of a dead write, longer than the new content");
  const vfpObjId o = openOld(vfpOPEN_ID);
  EXPECT_EQ((Strings{"and2.1", "lock"}), entries(lib + "/sym"));
  // A name taken (a live write, a link planted there) is left alone: the
  // write goes through a name of its own.
  testsupport::writeFile(dir / "victim", "theirs");
  ASSERT_EQ(0, symlink((dir / "victim").c_str(), (sym + "and2.1.tmp").c_str()));
  EXPECT_EQ(0, save(o, "mine\n"));
  EXPECT_EQ((Strings{"mine\n", "theirs"}), (Strings{readFile(file), readFile(dir / "victim")}));
  EXPECT_EQ((Strings{"and2.1", "and2.1.tmp", "lock"}), entries(lib + "/sym"));
}

// Saves with a backup: equal content writes nothing; a new content keeps the
// old file as the backup (a hard link here), replacing the older backup.
TEST_F(FileDb, ASaveWritesOnlyNewContentAndKeepsTheOldFileAsTheBackup) {
  const vfpObjId o = openOld(vfpOPEN_READ);
  const int backupCls = vfpClassLookup("SYMBOL_BAC");
  const std::string backup = file + ".bac";
  testsupport::writeFile(backup, "older\n");
  struct stat before, after;
  ASSERT_EQ(0, stat(file.c_str(), &before));
  vfpSaveResult r{};
  EXPECT_EQ(0, vfpObjSave(o, backupCls, "old\n", 4, &r));
  EXPECT_EQ((Ints{0, 0}), (Ints{r.written, r.ticket}));
  ASSERT_EQ(0, stat(file.c_str(), &after));
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ("older\n", readFile(backup));

  EXPECT_EQ(0, vfpObjSave(o, backupCls, "new\n", 4, &r));
  EXPECT_EQ(1, r.written);
  EXPECT_EQ((Strings{"new\n", "old\n"}), (Strings{readFile(file), readFile(backup)}));
  ASSERT_EQ(0, stat(backup.c_str(), &after));
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ((Strings{"and2.1", "and2.1.bac", "lock"}), entries(lib + "/sym"));
  EXPECT_FALSE(fs::exists(lib + "/sym/lock/and2.1")); // taken for the save, released
}

// Grouped saves: nothing is in place, and every lock is held, until the
// commit; a save that cannot be committed is reported by its ticket and
// leaves nothing behind, the others are in place.
TEST_F(FileDb, GroupedSavesAreCommittedTogetherAndEachReportsItsResult) {
  const int backupCls = vfpClassLookup("SYMBOL_BAC");
  std::vector<vfpObjId> objs;
  for (const char *name : {"a", "b", "c"}) {
    testsupport::writeFile(lib + "/sym/" + name + ".1", "old\n");
    int st = -1;
    objs.push_back(open(name, vfpOPEN_READ, &st));
    ASSERT_EQ(0, vfpLockObj(objs.back(), vfpLOCKTEST_ALL));
  }
  vfpSetSaveGrouping(1);
  std::vector<long> tickets;
  for (vfpObjId o : objs) {
    vfpSaveResult r{};
    ASSERT_EQ(0, vfpObjSave(o, backupCls, "new\n", 4, &r));
    EXPECT_EQ(r.ticket, vfpLastSaveTicket());
    tickets.push_back(r.ticket);
    EXPECT_EQ(0, vfpUnlockObj(o)); // waits for the commit
  }
  EXPECT_EQ(3, vfpSavesPending());
  EXPECT_EQ("old\n", readFile(lib + "/sym/b.1"));
  EXPECT_EQ((Strings{"a.1", "b.1", "c.1"}), entries(lib + "/sym/lock"));
  // b.1 turned into a directory: its rename fails.
  fs::remove(lib + "/sym/b.1");
  fs::create_directory(lib + "/sym/b.1");
  std::vector<std::pair<long, int>> results;
  const auto collect = [](long ticket, int status, void *user) {
    static_cast<std::vector<std::pair<long, int>> *>(user)->emplace_back(ticket, status);
  };
  EXPECT_EQ(1, vfpCommitSaves(collect, &results));
  EXPECT_EQ((std::vector<std::pair<long, int>>{
                {tickets[0], 0}, {tickets[1], vfpGENERAL_FAILURE}, {tickets[2], 0}}),
            results);
  EXPECT_EQ((Strings{"new\n", "old\n", "new\n", "old\n"}),
            (Strings{readFile(lib + "/sym/a.1"), readFile(lib + "/sym/a.1.bac"),
                     readFile(lib + "/sym/c.1"), readFile(lib + "/sym/c.1.bac")}));
  EXPECT_EQ((Strings{"a.1", "a.1.bac", "b.1", "c.1", "c.1.bac", "lock"}), entries(lib + "/sym"));
  EXPECT_EQ(Strings{}, entries(lib + "/sym/lock"));
  vfpSetSaveGrouping(0);
}

TEST_F(FileDb, ACopyIsCompleteOrAbsentAndKeepsTheSourcesBitsAndTime) {
  const vfpObjId o = openOld(vfpOPEN_READ);
  ASSERT_EQ(0, chmod(file.c_str(), 0640));
  int st = -1;
  const vfpObjId lib2Dir = vfpFindNextLib(project, vfpObjGetDir(o), "mylib", &st);
  const int bac = vfpClassLookup("SYMBOL_BAC");

  EXPECT_EQ(0, vfpCopyObject(o, vfpObjGetDir(o), bac, 0));
  EXPECT_EQ("old\n", readFile(file + ".bac"));
  EXPECT_EQ(fs::perms(0640), fs::status(file + ".bac").permissions());
  EXPECT_EQ(fs::last_write_time(file), fs::last_write_time(file + ".bac"));

  testsupport::writeFile(file, "newer\n");
  EXPECT_EQ(vfpOBJECT_EXISTS, vfpCopyObject(o, vfpObjGetDir(o), bac, 0));
  EXPECT_EQ("old\n", readFile(file + ".bac"));
  EXPECT_EQ(0, vfpCopyObject(o, vfpObjGetDir(o), bac, vfpCOPY_REPLACE | vfpCOPY_SYNC));
  EXPECT_EQ("newer\n", readFile(file + ".bac"));

  EXPECT_EQ(vfpSAME_OBJECT, vfpCopyObject(o, vfpObjGetDir(o), 0, vfpCOPY_REPLACE));
  EXPECT_EQ(0, vfpCopyObject(o, lib2Dir, 0, 0));
  EXPECT_EQ("newer\n", readFile(lib2 + "/sym/and2.1"));
  EXPECT_EQ(vfpINVALID_LIB, vfpCopyObject(o, o, 0, 0));
  EXPECT_EQ((Strings{"and2.1", "and2.1.bac"}), entries(lib + "/sym"));

  // Open for reading, the object copies the file it has open, even once its
  // name is gone; without an open file, a missing file is no object.
  fs::remove(file);
  EXPECT_EQ(0, vfpCopyObject(o, vfpObjGetDir(o), bac, vfpCOPY_REPLACE | vfpCOPY_SYNC_DATA));
  ASSERT_EQ(0, vfpObjReopen(o, vfpOPEN_ID, 0));
  EXPECT_EQ(vfpNO_OBJECT, vfpCopyObject(o, vfpObjGetDir(o), bac, vfpCOPY_REPLACE));
  EXPECT_EQ("newer\n", readFile(file + ".bac"));
}

TEST_F(FileDb, TheObjectLoopTakesOnlyTheFilesOfItsClass) {
  const std::string sym = lib + "/sym/";
  for (const char *f : {"or2.2", "and2.1.bac", "and2.1.sav", "and2.pin", "and2.1000", "and2.x",
                        "and2", "and2.1.AbC123.tmp", "a.b.1", ".1", "inv.12"})
    testsupport::writeFile(sym + f, "");
  fs::create_directories(sym + "dir.3");
  const vfpObjId o = openOld(vfpOPEN_ID);
  const LibraryDirId d = vfpObjGetDir(o);

  auto loop = [&](const char *cls, const char *pattern) {
    std::string seen;
    vfpObjLoop(
        d, vfpClassLookup(cls), pattern,
        [](const char *name, const char *version, void *user) {
          *static_cast<std::string *>(user) += std::string(name) + "@" + version + " ";
          return 0;
        },
        &seen);
    return seen;
  };
  // The last class has no directory.
  EXPECT_EQ((Strings{"and2@1 inv@12 or2@2 ", "and2@1 ", "and2@1 ", "and2@pin ", "inv@12 ", ""}),
            (Strings{loop("SYMBOL", nullptr), loop("SYMBOL_BAC", ""), loop("SYMBOL_SAV", "*"),
                     loop("PIN", nullptr), loop("SYMBOL", "*.1?"), loop("SCH_PAGE", nullptr)}));

  // A non-zero result of the callback ends the loop and is returned.
  int calls = 0;
  EXPECT_EQ(7, vfpObjLoop(
                   d, symbol, nullptr,
                   [](const char *, const char *, void *user) {
                     ++*static_cast<int *>(user);
                     return 7;
                   },
                   &calls));
  EXPECT_EQ(1, calls);
}

TEST_F(FileDb, IsModifiedTellsOfAChangeSinceTheLastOpen) {
  const vfpObjId o = openOld(vfpOPEN_READ);
  EXPECT_EQ(0, vfpObjIsModified(o));
  testsupport::writeFile(file, "changed\n");
  EXPECT_EQ(1, vfpObjIsModified(o));
  ASSERT_EQ(0, vfpObjReopen(o, vfpOPEN_READ, 0));
  EXPECT_EQ(0, vfpObjIsModified(o));
  ASSERT_EQ(0, save(o, "ours\n"));
  EXPECT_EQ(0, vfpObjIsModified(o)); // our own write is no change
  fs::remove(file);
  EXPECT_EQ(1, vfpObjIsModified(o));
}

TEST_F(FileDb, ExitDiscardsWritesInProgressAndReleasesLocks) {
  const vfpObjId o = openOld(vfpOPEN_WRITE);
  std::fputs("half", vfpObjStream(o));
  EXPECT_TRUE(fs::exists(lib + "/sym/lock/and2.1"));
  EXPECT_EQ(0, vfpExit());
  EXPECT_EQ("old\n", readFile(file));
  // The lock directory the open made went with the lock.
  EXPECT_EQ((Strings{"and2.1"}), entries(lib + "/sym"));
  EXPECT_EQ(0, vfpObjGetClass(o));
}

} // namespace
