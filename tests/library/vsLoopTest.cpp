// Directory loops, the directory cache and file operations.
#include "vs.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

#include "ulBase.h"
#include "ulErr.h"
#include "ulEx.h"
#include "ulMem.h"

namespace {

namespace fs = std::filesystem;

class VsLoop : public ::testing::Test {
protected:
  std::string root; // absolute, ending in "/"

  void SetUp() override {
    char t[] = "/tmp/vsLoopXXXXXX";
    ASSERT_NE(mkdtemp(t), nullptr);
    root = std::string(t) + "/";
    ASSERT_EQ(vsSetdef(t), vsOK);
  }
  void TearDown() override {
    (void)chdir("/");
    fs::permissions(root, fs::perms::owner_all);
    fs::remove_all(root);
  }
  void touch(const std::string &rel, const std::string &content = "x") {
    fs::create_directories(fs::path(root + rel).parent_path());
    std::ofstream(root + rel) << content;
  }
  void mkdir(const std::string &rel) { fs::create_directories(root + rel); }
  // Pins the modification time of a directory, so that adding entries can
  // be made to look like "unchanged" to the cache without waiting.
  void pinTime(const std::string &rel) {
    utimbuf t{1000000000, 1000000000};
    ASSERT_EQ(utime((root + rel).c_str(), &t), 0);
  }
};

// What a loop saw: the paths handed to the callback, and when to stop.
struct Seen {
  std::vector<std::string> paths;
  size_t stopAfter = 1000;
};

int record(char *path, void *user) {
  auto *s = static_cast<Seen *>(user);
  s->paths.push_back(path);
  return s->paths.size() >= s->stopAfter ? vsSTOP : vsLOOP;
}

std::vector<std::string> names(const Seen &s) {
  std::vector<std::string> out;
  for (const std::string &p : s.paths)
    out.push_back(fs::path(p).filename().string());
  return out;
}

TEST_F(VsLoop, VisitsMatchingEntriesInNameOrder) {
  touch("d/c");
  touch("d/b.2");
  touch("d/and2.1");
  mkdir("d/sub.dir");
  Seen seen;
  ASSERT_EQ(vsLoop2("d/*.*", vsFILE, record, &seen), vsOK);
  EXPECT_EQ(seen.paths, (std::vector<std::string>{root + "d/and2.1", root + "d/b.2"}));

  Seen all;
  ASSERT_EQ(vsLoop2("d/*", vsANY, record, &all), vsOK);
  EXPECT_EQ(names(all), (std::vector<std::string>{"and2.1", "b.2", "c", "sub.dir"}));
  Seen dirs;
  ASSERT_EQ(vsLoop2("d/*", vsDIR, record, &dirs), vsOK);
  EXPECT_EQ(names(dirs), (std::vector<std::string>{"sub.dir"}));

  EXPECT_EQ(vsLoop2("d/*.x", vsFILE, record, &seen), vsNOTFOUND);
  EXPECT_EQ(vsLoop2("no_such_dir/*", vsFILE, record, &seen), vsNOTFOUND);
  EXPECT_EQ(vsLoop2("d/", vsFILE, record, &seen), vsBADSPEC);
  EXPECT_EQ(vsLoop2(std::string(300, 'p').c_str(), vsFILE, record, &seen), vsBADSPEC);
  EXPECT_EQ(seen.paths.size(), 2u);

  // An empty file name part with any other kind visits the directories.
  Seen sub;
  ASSERT_EQ(vsLoop2("d/", vsANY, record, &sub), vsOK);
  EXPECT_EQ(names(sub), (std::vector<std::string>{"sub.dir"}));
}

TEST_F(VsLoop, StoppingAndCounting) {
  touch("d/a.1");
  touch("d/b.1");
  Seen seen;
  seen.stopAfter = 1;
  EXPECT_EQ(vsLoop2("d/*.1", vsFILE, record, &seen), vsOK);
  EXPECT_EQ(seen.paths.size(), 1u);
  EXPECT_EQ(vsLoop2("d/*.1", vsFILE, reinterpret_cast<vsLoopProc>(&ulDummyProc), nullptr), vsOK);
  EXPECT_EQ(vsLoop("d/*.2", vsFILE, reinterpret_cast<vsLoopProc>(&ulDummyProc)), vsNOTFOUND);
}

TEST_F(VsLoop, EntriesThatCannotBeExaminedAreNeverTaken) {
  touch("d/real.1");
  ASSERT_EQ(symlink("nowhere", (root + "d/dangling.1").c_str()), 0);
  Seen seen;
  ASSERT_EQ(vsLoop2("d/*", vsANY, record, &seen), vsOK);
  EXPECT_EQ(names(seen), (std::vector<std::string>{"real.1"}));
}

int throwAtSecond(char *, void *user) {
  if (++*static_cast<int *>(user) == 2)
    ulExThrow2(ulEX_USER3, "vsLoopTest", 0, "callback gave up");
  return vsLOOP;
}

TEST_F(VsLoop, ExceptionFromCallbackPassesThroughAfterRelease) {
  touch("d/a");
  touch("d/b");
  touch("d/c");
  int calls = 0;
  EXPECT_EQ(ulExTry(ulEX_USER3, [&] { vsLoop2("d/*", vsFILE, throwAtSecond, &calls); }), 1);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(ulExTagV, ulEX_USER3);
  ASSERT_NE(ulExErrV, nullptr);
  EXPECT_STREQ(ulErrText(ulExErrV), "callback gave up");
  ulErrDestroy(ulExErrV);
  ulExErrV = nullptr;
  EXPECT_EQ(ulEx_StackV, nullptr);
  // The listing was released: the cache still serves the directory, and a
  // purge frees everything (the leak checker would see a stuck reference).
  Seen seen;
  EXPECT_EQ(vsLoop2("d/*", vsFILE, record, &seen), vsOK);
  EXPECT_EQ(seen.paths.size(), 3u);
  ulMemPurge();
  EXPECT_EQ(vsLoop2("d/*", vsFILE, record, &seen), vsOK);
}

// The outer loop runs an inner loop over the same directory at each entry,
// and the inner loop adds an entry, which changes the directory.
struct Nested {
  std::string root;
  std::vector<std::string> outer;
  std::vector<size_t> innerCounts;
};

int inner(char *path, void *user) {
  static_cast<Seen *>(user)->paths.push_back(path);
  return vsLOOP;
}

int outer(char *path, void *user) {
  auto *n = static_cast<Nested *>(user);
  n->outer.push_back(path);
  Seen seen;
  EXPECT_EQ(vsLoop2((n->root + "d/*").c_str(), vsFILE, inner, &seen), vsOK);
  n->innerCounts.push_back(seen.paths.size());
  std::ofstream(n->root + "d/new" + std::to_string(n->outer.size()));
  return vsLOOP;
}

TEST_F(VsLoop, LoopsNestOverTheSameDirectory) {
  touch("d/a");
  touch("d/b");
  Nested n{root, {}, {}};
  ASSERT_EQ(vsLoop2("d/*", vsFILE, outer, &n), vsOK);
  EXPECT_EQ(n.outer, (std::vector<std::string>{root + "d/a", root + "d/b"}));
  EXPECT_EQ(n.innerCounts, (std::vector<size_t>{2, 3}));
}

TEST_F(VsLoop, SecondLoopOverUnchangedDirectoryExaminesOnlyNewEntries) {
  for (int i = 0; i < 20; ++i)
    touch("d/f" + std::to_string(i));
  pinTime("d");
  long before = vsDirCacheExamined();
  ASSERT_EQ(vsLoop2("d/*", vsFILE, reinterpret_cast<vsLoopProc>(&ulDummyProc), nullptr), vsOK);
  EXPECT_EQ(vsDirCacheExamined() - before, 20);

  before = vsDirCacheExamined();
  Seen seen;
  ASSERT_EQ(vsLoop2("d/*", vsFILE, record, &seen), vsOK);
  EXPECT_EQ(vsDirCacheExamined() - before, 0);
  EXPECT_EQ(seen.paths.size(), 20u);

  touch("d/g1");
  touch("d/g2", "longer");
  fs::remove(root + "d/f3");
  pinTime("d");
  before = vsDirCacheExamined();
  seen.paths.clear();
  ASSERT_EQ(vsLoop2("d/*", vsFILE, record, &seen), vsOK);
  EXPECT_EQ(vsDirCacheExamined() - before, 2);
  EXPECT_EQ(seen.paths.size(), 21u);
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

  // A directory whose time changed is read and examined afresh.
  utimbuf t{1000000100, 1000000100};
  ASSERT_EQ(utime((root + "d").c_str(), &t), 0);
  before = vsDirCacheExamined();
  ASSERT_EQ(vsLoop2("d/*", vsFILE, reinterpret_cast<vsLoopProc>(&ulDummyProc), nullptr), vsOK);
  EXPECT_EQ(vsDirCacheExamined() - before, 21);
}

int matchRegs(char *path, void *user, const regmatch_t *regs) {
  std::string name = fs::path(path).filename().string();
  auto *out = static_cast<std::vector<std::string> *>(user);
  out->push_back(name.substr(regs[1].rm_so, regs[1].rm_eo - regs[1].rm_so) + "|" +
                 name.substr(regs[2].rm_so, regs[2].rm_eo - regs[2].rm_so));
  EXPECT_EQ(regs[3].rm_so, -1);
  return vsLOOP;
}

TEST_F(VsLoop, RegexpLoopHandsOutMatchRegisters) {
  touch("d/abc.1");
  touch("d/xy.22");
  touch("d/skip");
  regex_t re;
  ASSERT_EQ(regcomp(&re, "^([a-z]+)\\.([0-9]+)$", REG_EXTENDED), 0);
  std::vector<std::string> got;
  EXPECT_EQ(vsLoopRegexp("d/*", vsFILE, &re, matchRegs, &got), vsOK);
  EXPECT_EQ(got, (std::vector<std::string>{"abc|1", "xy|22"}));
  EXPECT_EQ(vsLoopRegexp("d/*", vsDIR, &re, matchRegs, &got), vsNOTFOUND);
  regfree(&re);
}

struct Entry {
  std::string dir, name;
  int kind;
};

int collectEntry(void *user, const char *dir, const char *name, long, long, int kind) {
  auto *v = static_cast<std::vector<Entry> *>(user);
  v->push_back({dir, name, kind});
  return v->size() < 2;
}

TEST_F(VsLoop, DirForEachFileAndCachedExistence) {
  touch("d/b.txt");
  touch("d/a.txt");
  touch("d/c.dat");
  mkdir("d/e");
  std::vector<Entry> v;
  EXPECT_EQ(vsDirForEachFile("d", "*.txt", vsFILE, collectEntry, &v), 2);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].dir, root + "d/");
  EXPECT_EQ(v[0].name, "a.txt");
  v.clear();
  EXPECT_EQ(vsDirForEachFile("d/", nullptr, vsANY, collectEntry, &v), 2); // stopped at 2
  v.clear();
  EXPECT_EQ(vsDirForEachFile("d/c.dat", nullptr, vsANY, collectEntry, &v), 1);
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0].dir, root + "d/");
  EXPECT_EQ(v[0].name, "c.dat");
  EXPECT_EQ(v[0].kind, vsFILE);
  EXPECT_EQ(vsDirForEachFile("d/missing", nullptr, vsANY, collectEntry, &v), vsNOTFOUND);

  char out[vsMAXPATH];
  ASSERT_EQ(vs_WDIRExists2("d/a.txt", vsFILE, out), vsOK);
  EXPECT_EQ(std::string(out), root + "d/a.txt");
  EXPECT_EQ(vs_WDIRExists2("d/e", vsDIR, out), vsOK);
  EXPECT_EQ(vs_WDIRExists2("d/e", vsFILE, out), vsNOTFOUND);
  EXPECT_EQ(vs_WDIRExists2("d/zzz", vsANY, out), vsNOTFOUND);
  EXPECT_EQ(vs_WDIRExists2("nodir/a", vsANY, out), vsNOTFOUND);
}

TEST_F(VsLoop, CreateAndDelete) {
  EXPECT_EQ(vsCreate("f.1", vsFILE), vsOK);
  touch("full", "content");
  EXPECT_EQ(vsCreate("full", vsFILE), vsOK);
  EXPECT_EQ(fs::file_size(root + "full"), 0u);
  EXPECT_EQ(vsCreate("dir/", vsDIR), vsOK);
  EXPECT_TRUE(fs::is_directory(root + "dir"));
  EXPECT_EQ(vsCreate("missing/f", vsFILE), vsCREATEERR);

  EXPECT_EQ(vsCreateWithPath("x/y/z/f.2", vsFILE), vsOK);
  EXPECT_TRUE(fs::is_regular_file(root + "x/y/z/f.2"));
  EXPECT_EQ(vsCreateWithPath("x/y/z/f.2", vsFILE), vsCREATEERR);
  EXPECT_EQ(vsCreateWithPath("p/q/", vsDIR), vsOK);
  EXPECT_TRUE(fs::is_directory(root + "p/q"));
  EXPECT_EQ(vsCreateWithPath("full/sub/f", vsFILE), vsDENIED);

  EXPECT_EQ(vsDelete("f.1", vsFILE), vsOK);
  EXPECT_EQ(vsDelete("f.1", vsFILE), vsNOTFOUND);
  EXPECT_EQ(vsDelete("dir/", vsDIR), vsOK);
  EXPECT_FALSE(fs::exists(root + "dir"));
  EXPECT_EQ(vsDelete(std::string(256, 'l').c_str(), vsFILE), vsBADSPEC);
  EXPECT_EQ(vsDelete(std::string(255, 'l').c_str(), vsFILE), vsNOTFOUND);
  touch("ro");
  fs::permissions(root + "ro", fs::perms::owner_read);
  EXPECT_EQ(vsDelete("ro", vsFILE), vsDENIED);
  EXPECT_TRUE(fs::exists(root + "ro"));
}

TEST_F(VsLoop, CopyRenameUnique) {
  std::string big(100000, 'b'); // several transfer blocks
  touch("src", big);
  utimbuf t{1000000000, 1000000042};
  ASSERT_EQ(utime((root + "src").c_str(), &t), 0);
  touch("dst", "old");
  ASSERT_EQ(vsCopy("src", "dst"), vsOK);
  std::ifstream in(root + "dst");
  std::string copied((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(copied, big);
  EXPECT_EQ(vsFGMtime("dst"), 1000000042);
  EXPECT_EQ(vsCopy("nothing", "dst2"), vsNOTFOUND);
  EXPECT_EQ(vsXfer(nullptr, stdout), vsBADSPEC);

  EXPECT_EQ(vsRename("dst", "moved"), vsOK);
  EXPECT_TRUE(fs::exists(root + "moved"));
  EXPECT_EQ(vsRename("dst", "again"), vsNOTFOUND);
  mkdir("full");
  touch("full/x");
  EXPECT_EQ(vsRename("moved", "full"), vsBADSPEC);

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
