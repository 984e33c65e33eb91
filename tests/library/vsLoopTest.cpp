// Directory loops, the directory cache and file operations.
#include "vs.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex.h>
#include <string>
#include <unistd.h>
#include <utime.h>
#include <vector>

#include "support/TestSupport.h"
#include "ulBase.h"
#include "ulErr.h"
#include "ulEx.h"
#include "ulMem.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using testsupport::Ints;

// Each test runs in a fresh temporary directory that is also the default
// directory.
class VsLoop : public ::testing::Test {
protected:
  testsupport::TempDir tmp;
  std::string root = tmp.path() + "/";

  void SetUp() override { ASSERT_EQ(vsSetdef(tmp.path().c_str()), vsOK); }
  void touch(const std::string &rel, const std::string &content = "x") { tmp.write(rel, content); }
  void mkdir(const std::string &rel) { fs::create_directories(tmp / rel); }
  // Pins the modification time of a directory, so that adding entries can
  // be made to look like "unchanged" to the cache without waiting.
  void pinTime(const std::string &rel, time_t when = 1000000000) {
    utimbuf t{when, when};
    ASSERT_EQ(utime((tmp / rel).c_str(), &t), 0);
  }
};

// What a loop saw: the paths handed to the callback, and when to stop.
struct Seen {
  Strings paths;
  size_t stopAfter = 1000;
};

int record(char *path, void *user) {
  auto *s = static_cast<Seen *>(user);
  s->paths.push_back(path);
  return s->paths.size() >= s->stopAfter ? vsSTOP : vsLOOP;
}

int ignore(char *, void *) {
  return vsLOOP;
}

// The entry names vsLoop2 visits, or its status when it is not vsOK.
Strings visited(const std::string &pattern, int kind) {
  Seen seen;
  const int st = vsLoop2(pattern.c_str(), kind, record, &seen);
  if (st != vsOK)
    return {"status " + std::to_string(st) + " after " + std::to_string(seen.paths.size())};
  Strings names;
  for (const std::string &p : seen.paths)
    names.push_back(fs::path(p).filename().string());
  return names;
}

TEST_F(VsLoop, VisitsMatchingEntriesInNameOrder) {
  touch("d/c");
  touch("d/b.2");
  touch("d/and2.1");
  mkdir("d/sub.dir");
  ASSERT_EQ(symlink("nowhere", (tmp / "d/dangling.1").c_str()), 0); // cannot be examined
  Seen seen;
  ASSERT_EQ(vsLoop2("d/*.*", vsFILE, record, &seen), vsOK);
  EXPECT_EQ(seen.paths, (Strings{root + "d/and2.1", root + "d/b.2"}));

  for (const auto &row : testsupport::tableRows("library/cases/loops.txt")) {
    const int kind = row.at(1) == "any" ? vsANY : row[1] == "dir" ? vsDIR : vsFILE;
    std::string names;
    for (const std::string &name : visited(row[0], kind))
      names += (names.empty() ? "" : " ") + name;
    EXPECT_EQ(row.at(2), names) << row[0] << " kind " << row[1];
  }
  EXPECT_EQ((Strings{"status 2 after 0"}), visited(std::string(300, 'p'), vsFILE));
}

TEST_F(VsLoop, StoppingAndCounting) {
  touch("d/a.1");
  touch("d/b.1");
  Seen seen;
  seen.stopAfter = 1;
  const auto dummy = reinterpret_cast<vsLoopProc>(&ulDummyProc);
  EXPECT_EQ((Ints{vsOK, 1, vsOK, vsNOTFOUND}),
            (Ints{vsLoop2("d/*.1", vsFILE, record, &seen), long(seen.paths.size()),
                  vsLoop2("d/*.1", vsFILE, dummy, nullptr), vsLoop("d/*.2", vsFILE, dummy)}));
}

int throwAtSecond(char *, void *user) {
  if (++*static_cast<int *>(user) == 2)
    ulExThrow2(ulEX_USER3, "vsLoopTest", 0, "callback gave up");
  return vsLOOP;
}

TEST_F(VsLoop, ExceptionFromCallbackPassesThroughAfterRelease) {
  for (const char *f : {"d/a", "d/b", "d/c"})
    touch(f);
  int calls = 0;
  EXPECT_EQ(ulExTry(ulEX_USER3, [&] { vsLoop2("d/*", vsFILE, throwAtSecond, &calls); }), 1);
  EXPECT_EQ((Ints{2, ulEX_USER3}), (Ints{calls, ulExTagV}));
  ASSERT_NE(ulExErrV, nullptr);
  EXPECT_STREQ(ulErrText(ulExErrV), "callback gave up");
  ulErrDestroy(ulExErrV);
  ulExErrV = nullptr;
  EXPECT_EQ(ulEx_StackV, nullptr);
  // The listing was released: the cache still serves the directory, and a
  // purge frees everything (the leak checker would see a stuck reference).
  EXPECT_EQ(visited("d/*", vsFILE), (Strings{"a", "b", "c"}));
  ulMemPurge();
  EXPECT_EQ(vsLoop2("d/*", vsFILE, ignore, nullptr), vsOK);
}

// The outer loop runs an inner loop over the same directory at each entry,
// and then adds an entry, which changes the directory.
struct Nested {
  std::string root;
  Strings outer;
  std::vector<size_t> innerCounts;
};

int outer(char *path, void *user) {
  auto *n = static_cast<Nested *>(user);
  n->outer.push_back(path);
  n->innerCounts.push_back(visited(n->root + "d/*", vsFILE).size());
  testsupport::writeFile(n->root + "d/new" + std::to_string(n->outer.size()), "");
  return vsLOOP;
}

TEST_F(VsLoop, LoopsNestOverTheSameDirectory) {
  touch("d/a");
  touch("d/b");
  Nested n{root, {}, {}};
  ASSERT_EQ(vsLoop2("d/*", vsFILE, outer, &n), vsOK);
  EXPECT_EQ(n.outer, (Strings{root + "d/a", root + "d/b"}));
  EXPECT_EQ(n.innerCounts, (std::vector<size_t>{2, 3}));
}

TEST_F(VsLoop, SecondLoopOverUnchangedDirectoryExaminesOnlyNewEntries) {
  for (int i = 0; i < 20; ++i)
    touch("d/f" + std::to_string(i));
  pinTime("d");
  // The entries a loop examined, and how many it visited.
  auto examined = [] {
    const long before = vsDirCacheExamined();
    const size_t visits = visited("d/*", vsFILE).size();
    return std::to_string(vsDirCacheExamined() - before) + " of " + std::to_string(visits);
  };
  EXPECT_EQ("20 of 20", examined());
  EXPECT_EQ("0 of 20", examined());

  touch("d/g1");
  touch("d/g2", "longer");
  fs::remove(tmp / "d/f3");
  pinTime("d");
  EXPECT_EQ("2 of 21", examined());
  long size = 0;
  EXPECT_EQ(vsDirForEachFile(
                "d", "g2", vsFILE,
                [](void *user, const char *, const char *, long, long sz, int) {
                  *static_cast<long *>(user) = sz;
                  return 1;
                },
                &size),
            1);
  EXPECT_EQ(size, 6);
  pinTime("d", 1000000100); // a directory whose time changed is read afresh
  EXPECT_EQ("21 of 21", examined());
}

int matchRegs(char *path, void *user, const regmatch_t *regs) {
  std::string name = fs::path(path).filename().string();
  auto *out = static_cast<Strings *>(user);
  out->push_back(name.substr(regs[1].rm_so, regs[1].rm_eo - regs[1].rm_so) + "|" +
                 name.substr(regs[2].rm_so, regs[2].rm_eo - regs[2].rm_so));
  EXPECT_EQ(regs[3].rm_so, -1);
  return vsLOOP;
}

TEST_F(VsLoop, RegexpLoopHandsOutMatchRegisters) {
  for (const char *f : {"d/abc.1", "d/xy.22", "d/skip"})
    touch(f);
  regex_t re;
  ASSERT_EQ(regcomp(&re, "^([a-z]+)\\.([0-9]+)$", REG_EXTENDED), 0);
  Strings got;
  EXPECT_EQ(vsLoopRegexp("d/*", vsFILE, &re, matchRegs, &got), vsOK);
  EXPECT_EQ(got, (Strings{"abc|1", "xy|22"}));
  EXPECT_EQ(vsLoopRegexp("d/*", vsDIR, &re, matchRegs, &got), vsNOTFOUND);
  regfree(&re);
}

// Collects "directory|name|kind" of each entry, stopping after the second.
int collectEntry(void *user, const char *dir, const char *name, long, long, int kind) {
  auto *v = static_cast<Strings *>(user);
  v->push_back(std::string(dir) + "|" + name + "|" + std::to_string(kind));
  return v->size() < 2;
}

TEST_F(VsLoop, DirForEachFileAndCachedExistence) {
  for (const char *f : {"d/b.txt", "d/a.txt", "d/c.dat"})
    touch(f);
  mkdir("d/e");
  const std::string file = "|" + std::to_string(vsFILE);
  Strings v;
  EXPECT_EQ(vsDirForEachFile("d", "*.txt", vsFILE, collectEntry, &v), 2);
  EXPECT_EQ(v, (Strings{root + "d/|a.txt" + file, root + "d/|b.txt" + file}));
  v.clear();
  EXPECT_EQ(vsDirForEachFile("d/", nullptr, vsANY, collectEntry, &v), 2); // stopped at 2
  v.clear();
  EXPECT_EQ((Ints{1, vsNOTFOUND}),
            (Ints{vsDirForEachFile("d/c.dat", nullptr, vsANY, collectEntry, &v),
                  vsDirForEachFile("d/missing", nullptr, vsANY, collectEntry, &v)}));
  EXPECT_EQ(v, (Strings{root + "d/|c.dat" + file}));

  char out[vsMAXPATH];
  ASSERT_EQ(vs_WDIRExists2("d/a.txt", vsFILE, out), vsOK);
  EXPECT_EQ(std::string(out), root + "d/a.txt");
  EXPECT_EQ(vs_WDIRExists2("d/e", vsDIR, out), vsOK);
  for (const auto &[spec, kind] : {std::pair{"d/e", vsFILE}, {"d/zzz", vsANY}, {"nodir/a", vsANY}})
    EXPECT_EQ(vs_WDIRExists2(spec, kind, out), vsNOTFOUND) << spec;
}

TEST_F(VsLoop, CreateAndDelete) {
  touch("full", "content");
  // A file, over a file (emptied), a directory; a missing directory; a name
  // no file can have.
  EXPECT_EQ((Ints{vsOK, vsOK, vsOK, vsCREATEERR, vsCREATEERR}),
            (Ints{vsCreate("f.1", vsFILE), vsCreate("full", vsFILE), vsCreate("dir/", vsDIR),
                  vsCreate("missing/f", vsFILE), vsCreate("f.3/", vsFILE)}));
  EXPECT_EQ(fs::file_size(tmp / "full"), 0u);
  EXPECT_TRUE(fs::is_directory(tmp / "dir"));
  EXPECT_FALSE(fs::exists(tmp / "f.3"));

  EXPECT_EQ((Ints{vsOK, vsCREATEERR, vsOK, vsDENIED}),
            (Ints{vsCreateWithPath("x/y/z/f.2", vsFILE), vsCreateWithPath("x/y/z/f.2", vsFILE),
                  vsCreateWithPath("p/q/", vsDIR), vsCreateWithPath("full/sub/f", vsFILE)}));
  EXPECT_TRUE(fs::is_regular_file(tmp / "x/y/z/f.2"));
  EXPECT_TRUE(fs::is_directory(tmp / "p/q"));

  EXPECT_EQ((Ints{vsOK, vsNOTFOUND, vsOK, vsBADSPEC, vsNOTFOUND}),
            (Ints{vsDelete("f.1", vsFILE), vsDelete("f.1", vsFILE), vsDelete("dir/", vsDIR),
                  vsDelete(std::string(256, 'l').c_str(), vsFILE),
                  vsDelete(std::string(255, 'l').c_str(), vsFILE)}));
  EXPECT_FALSE(fs::exists(tmp / "dir"));
  touch("ro");
  fs::permissions(tmp / "ro", fs::perms::owner_read);
  EXPECT_EQ(vsDelete("ro", vsFILE), vsDENIED);
  EXPECT_TRUE(fs::exists(tmp / "ro"));
}

TEST_F(VsLoop, CopyRenameUnique) {
  std::string big(100000, 'b'); // several transfer blocks
  touch("src", big);
  utimbuf t{1000000000, 1000000042};
  ASSERT_EQ(utime((tmp / "src").c_str(), &t), 0);
  touch("dst", "old");
  ASSERT_EQ(vsCopy("src", "dst"), vsOK);
  EXPECT_EQ(testsupport::readFile(tmp / "dst"), big);
  EXPECT_EQ((Ints{1000000042, vsNOTFOUND, vsBADSPEC}),
            (Ints{vsFGMtime("dst"), vsCopy("nothing", "dst2"), vsXfer(nullptr, stdout)}));

  touch("full/x");
  EXPECT_EQ((Ints{vsOK, vsNOTFOUND, vsBADSPEC}),
            (Ints{vsRename("dst", "moved"), vsRename("dst", "again"), vsRename("moved", "full")}));
  EXPECT_TRUE(fs::exists(tmp / "moved"));

  char dir[vsMAXPATH] = "udir";
  mkdir("udir");
  ASSERT_EQ(vsUnique(dir), vsOK);
  EXPECT_EQ(std::string(dir).rfind(root + "udir/ul", 0), 0u);
  EXPECT_EQ(std::strlen(dir), root.size() + std::strlen("udir/ulXXXXXX"));
  EXPECT_TRUE(fs::is_regular_file(dir));
  char notDir[vsMAXPATH] = "src";
  EXPECT_EQ(vsUnique(notDir), vsNOTFOUND);
}

} // namespace
