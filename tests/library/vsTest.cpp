// Path specs, entry information, the default and executable directories,
// the WDIR list and the search order.
#include "vs.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

#include "support/TestSupport.h"
#include "ulErr.h"
#include "ulEx.h"
#include "ulStr.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnv;
using Strings = std::vector<std::string>;
using testsupport::Ints;

// Each test runs in a fresh temporary directory that is also the default
// directory; WDIR starts unset. The path layer is put back after.
class Vs : public ::testing::Test {
protected:
  testsupport::ScopedPathLayer pathLayer;
  testsupport::TempDir tmp;
  ScopedEnv noWdir{"WDIR", std::nullopt};
  std::string root = tmp.path() + "/";

  void SetUp() override {
    ASSERT_EQ(vsSetdef(tmp.path().c_str()), vsOK);
    vsResetWdirCache();
  }
  void touch(const std::string &rel) { tmp.write(rel, "x"); }
  void mkdir(const std::string &rel) { fs::create_directories(tmp / rel); }
};

// What a call gave: its output when it succeeded, else its status.
std::string result(int status, const char *out) {
  return status == vsOK ? std::string(out) : "status " + std::to_string(status);
}

std::string abs2(const std::string &spec) {
  char out[vsMAXPATH];
  return result(vsAbsPath2(spec.c_str(), out), out);
}

// vsParse and vsParse2 of spec as "dir,name,ext,file" (a device part would
// show in front), or both statuses when either refuses.
std::string split(const std::string &spec) {
  char dev[vsMAXPATH], dir[vsMAXPATH], name[vsMAXPATH], ext[vsMAXPATH], file[vsMAXPATH];
  const int st = vsParse(spec.c_str(), dev, dir, name, ext);
  const int st2 = vsParse2(spec.c_str(), nullptr, nullptr, file);
  if (st != vsOK || st2 != vsOK)
    return "status " + std::to_string(st) + "/" + std::to_string(st2);
  return std::string(dev) + dir + "," + name + "," + ext + "," + file;
}

TEST(VsSpec, ParseSplitsAtLastSlashAndLastDotUpTo255Characters) {
  for (const auto &row : testsupport::tableRows("library/cases/pathparts.txt"))
    EXPECT_EQ(row.at(1), split(row.at(0))) << row[0];
  const std::string ok(255, 'a');
  EXPECT_EQ((Strings{"," + ok + ",," + ok, "status 2/2"}), (Strings{split(ok), split(ok + "a")}));
  EXPECT_EQ(vsBADSPEC, vsParse(nullptr, nullptr, nullptr, nullptr, nullptr));
  char buf[vsMAXPATH] = "d/e/name.ext"; // parsing a buffer into itself works
  EXPECT_EQ("name", result(vsParse(buf, nullptr, nullptr, buf, nullptr), buf));
}

TEST(VsSpec, ParseExThrowsMessage1041NamingTheSpec) {
  std::string bad(300, 'q');
  char name[vsMAXPATH];
  EXPECT_EQ(ulExTry(ulEX_ALL, [&] { vsParseEx(bad.c_str(), nullptr, nullptr, name, nullptr); }), 1);
  ASSERT_NE(ulExErrV, nullptr);
  EXPECT_EQ((Ints{ulEX_POSTCOND, 1041}), (Ints{ulExTagV, ulErrNum(ulExErrV)}));
  EXPECT_NE(std::string(ulErrText(ulExErrV)).find(bad), std::string::npos);
  ulErrDestroy(ulExErrV);
  ulExErrV = nullptr;
  EXPECT_EQ("b", result(vsParseEx("a/b.c", nullptr, nullptr, name, nullptr), name));
}

TEST(VsSpec, MergeJoinsTrimmedPartsUpTo255Characters) {
  const std::string dir(249, 'd'); // dir + "/" + 1 + "." + 3 = 255
  const struct {
    const char *dev, *dir, *name, *ext;
    std::string expected; // "keep": refused, the output untouched
  } cases[] = {
      {nullptr, "d", "n", "e", "d/n.e"},
      {"", "d/", "n", "e", "d/n.e"},
      {nullptr, "d", "n", "", "d/n"},
      {nullptr, " d/ ", "\tn ", " e ", "d/n.e"},
      {nullptr, dir.c_str(), "n", "ext", dir + "/n.ext"},
      {nullptr, dir.c_str(), "n", "ext4", "keep"},
  };
  for (const auto &c : cases) {
    char out[vsMAXPATH] = "keep";
    const int st = vsMerge(out, c.dev, c.dir, c.name, c.ext);
    EXPECT_EQ(c.expected, out) << c.dir << "|" << c.name << "|" << c.ext;
    EXPECT_EQ(c.expected == "keep" ? vsBADSPEC : vsOK, st) << c.dir << "|" << c.ext;
  }
}

TEST(VsSpec, DnpathAndUppath) {
  auto dn = [](const std::string &dir, const char *sub) {
    char d[vsMAXPATH];
    std::strcpy(d, dir.c_str());
    const int st = vsDnpath(d, sub);
    return result(st, d) + (st != vsOK && d != dir ? " (changed)" : "");
  };
  const std::string base(252, 'x'); // base + "/c/" = 255
  EXPECT_EQ(
      (Strings{"sub/", "a", "a/b/", base + "/c/", "status 2"}),
      (Strings{dn("", "sub"), dn("a", ""), dn("a", "b/"), dn(base, "c"), dn(base + "x", "c")}));

  char d[vsMAXPATH] = "/a/b/c/", last[vsMAXPATH];
  EXPECT_EQ("/a/b/", result(vsUppath(d, last), d));
  EXPECT_STREQ("c", last);
  std::strcpy(d, "c");
  EXPECT_EQ("", result(vsUppath(d, last), d));
  EXPECT_STREQ("c", last);
  EXPECT_EQ(vsNOTFOUND, vsUppath(d, nullptr));
}

TEST(VsSpec, ConvPathCleansSeparators) {
  char out[vsMAXPATH], inPlace[vsMAXPATH] = "x\\\\y";
  EXPECT_EQ("a/b/c/d/", result(vsConvPath("a//b\\\\c\\d///", out), out));
  EXPECT_EQ("x/y", result(vsConvPath(inPlace, inPlace), inPlace));
  const std::string s(255, 'a'); // 256 after cleaning
  EXPECT_EQ((Ints{vsBADSPEC, vsBADSPEC, vsBADSPEC}),
            (Ints{vsConvPath(nullptr, out), vsConvPath("a", nullptr),
                  vsConvPath((s + "//").c_str(), out)}));
  EXPECT_EQ(s.substr(1) + "/", result(vsConvPath((s.substr(1) + "/").c_str(), out), out));
}

TEST_F(Vs, AbsPathResolvesAgainstTheDefaultDirectoryUpTo255Characters) {
  const std::string a254(254, 'a'), fits(255 - root.size(), 'b');
  for (const auto &row : testsupport::tableRows("library/cases/abspaths.txt")) {
    EXPECT_EQ(testsupport::replaced(row.at(1), "@", tmp.path()), abs2(row[0])) << row[0];
    char buf[vsMAXPATH];
    std::strcpy(buf, row[0].c_str());
    if (row.size() > 2) {
      EXPECT_EQ(testsupport::replaced(row[2], "@", tmp.path()), result(vsAbsPath(buf), buf))
          << row[0];
    }
  }
  const std::pair<std::string, std::string> cases[] = {
      {"..", fs::path(tmp.path()).parent_path().string()},
      {"/" + a254, "/" + a254},
      {"/" + a254 + "a", "status 2"},
      // Short, but too long (or just short enough) once joined to the default.
      {fits, root + fits},
      {fits + "b", "status 2"},
      // ".." shortens a path that is too long before normalising.
      {("/" + std::string(200, 'c') + "/../" + std::string(100, 'd')).substr(0, 255),
       "/" + std::string(50, 'd')},
  };
  for (const auto &[spec, expected] : cases)
    EXPECT_EQ(expected, abs2(spec)) << spec;
  EXPECT_EQ(vsBADSPEC, vsAbsPath2(nullptr, nullptr));
}

TEST_F(Vs, AbsPathExpandsTilde) {
  for (const auto &row : testsupport::tableRows("library/cases/tilde.txt")) {
    ScopedEnv home("HOME", row.at(0) == "(unset)" ? std::nullopt : std::optional(row[0]));
    EXPECT_EQ(row.at(2), abs2(row.at(1))) << row[1] << " with HOME " << row[0];
  }
}

TEST_F(Vs, DefaultDirectoryIsCachedUntilSet) {
  mkdir("sub");
  testsupport::ScopedCwd cwd(root + "sub");
  char def[vsMAXPATH], out[vsMAXPATH];
  EXPECT_EQ(root, result(vsGetdef(def), def));
  EXPECT_EQ(root + "sub/x", result(vsAbsSysPath2("x", out), out));
  EXPECT_EQ(root + "x", abs2("x"));

  ASSERT_EQ(vsOK, vsSetdef("sub"));
  EXPECT_EQ(root + "sub/", result(vsGetdef(def), def));
  for (const char *refused : {"", "no_such_dir", static_cast<const char *>(nullptr)})
    EXPECT_EQ(vsDENIED, vsSetdef(refused)) << (refused ? refused : "null");
  EXPECT_EQ(vsOK, vsSetdef("  ")); // neither directory nor name: no change
  EXPECT_EQ(root + "sub/", result(vsGetdef(def), def));
}

TEST_F(Vs, RelPathStripsTheDefaultDirectory) {
  char out[vsMAXPATH], spec[vsMAXPATH] = "./c/../d";
  auto rel = [&](const std::string &in) { return result(vsRelPath2(in.c_str(), out), out); };
  EXPECT_EQ(
      (Strings{"a/b", "/elsewhere/x", "", "d"}),
      (Strings{rel(root + "a/b"), rel("/elsewhere/x"), rel("."), result(vsRelPath(spec), spec)}));
}

// A make-valid function applied to a copy of text.
std::string made(int (*fix)(char *), const char *text) {
  char buf[vsMAXPATH];
  std::strcpy(buf, text);
  return result(fix(buf), buf);
}

TEST(VsSpec, FileNameRulesInBothModes) {
  std::string n255(255, 'n');
  EXPECT_EQ((Ints{1, 1, 0, 0, 0, 1, 0}),
            (Ints{vsValidFile("name-with.dots and blanks"), vsValidFile(n255.c_str()),
                  vsValidFile((n255 + "n").c_str()), vsValidFile("a/b"), vsValidExt(""),
                  vsValidSpec("d/name.1"), vsValidSpec("d/name")}));
  EXPECT_EQ("a$b$c", made(vsMakeValidFile, "a/b/c"));
  EXPECT_EQ("status 2", made(vsMakeValidFile, ""));
  EXPECT_EQ(vsBADSPEC, vsMakeValidExt(nullptr));

  vcOvFnamesCompatibleV = 1; // short names
  EXPECT_EQ((Ints{1, 0, 0, 1, 0}),
            (Ints{vsValidFile("AB_$-123"), vsValidFile("ABCDEFGHI"), vsValidFile("-abc"),
                  vsValidExt("1"), vsValidExt("1234")}));
  EXPECT_EQ((Strings{"$$a$b$cd", "$x$", "dir/my$file.tex"}),
            (Strings{made(vsMakeValidFile, "--a.b*cdefghij"), made(vsMakeValidExt, "-x!yz"),
                     made(vsMakeValidSpec, "dir/my file.text")}));
  vcOvFnamesCompatibleV = 0;
}

TEST_F(Vs, InfoAndExistsGiveLocalTimeSizeAndKind) {
  ScopedEnv tz("TZ", "XYZ-3"); // three hours east of UTC, no daylight saving
  tzset();
  touch("f.txt");
  mkdir("d");
  const time_t t = 951782400 + 3600; // 29 February 2000, 01:00 UTC
  utimbuf times{t, t};
  ASSERT_EQ(utime((root + "f.txt").c_str(), &times), 0);
  long when = 0, size = 0;
  int kind = 0;
  ASSERT_EQ(vsInfo("f.txt", &when, &size, &kind), vsOK);
  EXPECT_EQ((Ints{t + 3 * 3600, 1, vsFILE, t + 3 * 3600, t}),
            (Ints{when, size, kind, vsFtime("f.txt"), vsFGMtime("f.txt")}));
  EXPECT_EQ((Ints{vsOK, vsDIR}), (Ints{vsInfo("d", nullptr, nullptr, &kind), kind}));
  EXPECT_EQ((Ints{vsNOTFOUND, 0, 0}), (Ints{vsInfo("missing", &when, &size, &kind),
                                            vsFtime("missing"), vsFGMtime("missing")}));
  EXPECT_NEAR(vsTimer(0), static_cast<long>(std::time(nullptr)) + 3 * 3600, 2);

  EXPECT_EQ((Ints{vsOK, vsNOTFOUND, vsOK, vsNOTFOUND, 1, 0}),
            (Ints{vsExists("f.txt", vsFILE), vsExists("f.txt", vsDIR), vsExists("d", vsDIR),
                  vsExists("nothing", vsANY), vsFexists("f.txt"), vsFexists("d")}));
  char out[vsMAXPATH];
  EXPECT_EQ(root + "f.txt", result(vsExists2("d/../f.txt", vsFILE, out), out));
}

TEST(VsEnv, TrnlogCutsValuesTo2047Characters) {
  char value[vsMAXENV];
  {
    ScopedEnv var("VS_TEST_VAR", std::string(3000, 'v'));
    ASSERT_EQ(vsTrnlog("VS_TEST_VAR", value), vsOK);
    EXPECT_EQ(std::strlen(value), 2047u);
  }
  EXPECT_EQ(vsTrnlog("VS_TEST_VAR", value), vsNOTFOUND);
}

TEST_F(Vs, OriginAndExecutableDirectory) {
  EXPECT_EQ(vsGetorigin(), nullptr);
  ASSERT_EQ(vsSetorigin("/some/where"), vsOK);
  EXPECT_STREQ(vsGetorigin(), "/some/where");
  EXPECT_EQ(vsSetorigin(std::string(256, 'o').c_str()), vsDENIED);
  ASSERT_EQ(vsSetorigin(vsGetorigin()), vsOK); // setting it to itself keeps it
  EXPECT_STREQ(vsGetorigin(), "/some/where");
  ASSERT_EQ(vsSetorigin(nullptr), vsOK);
  EXPECT_EQ(vsGetorigin(), nullptr);

  touch("bin1/prog");
  touch("bin2/prog");
  mkdir("bin0/prog"); // a directory of that name does not count
  EXPECT_EQ(vsSetexedir("bin1/prog"), 1);
  EXPECT_EQ(std::string(vsExeDir()), root + "bin1/");
  char out[vsMAXPATH];
  {
    ScopedEnv path("PATH", root + "none: bin0\t" + root + "bin2:" + root + "bin1");
    EXPECT_EQ(vsSetexedir("prog"), 1);
    EXPECT_EQ(std::string(vsExeDir()), root + "bin2/");
    EXPECT_EQ(vsSetexedir("no_such_prog"), 0);
    EXPECT_EQ(vsExeDir(), nullptr);
    EXPECT_EQ(vsFindExeInPath("no_such_prog", out), vsNOTFOUND);
  }
  ScopedEnv noPath("PATH", std::nullopt);
  EXPECT_EQ(vsFindExeInPath("prog", out), vsDENIED);
}

// Collects the directories a WDIR loop hands out.
int collect(void *user, char *dir) {
  static_cast<Strings *>(user)->push_back(dir);
  return 1;
}

Strings visit(int (*loop)(vsWdirProc2, void *)) {
  Strings seen;
  EXPECT_EQ(1, loop(collect, &seen));
  return seen;
}

TEST_F(Vs, WdirListHasVersionedThenPlainElements) {
  setenv("WDIR", "a:b c", 1);
  EXPECT_EQ(visit(vsWdirLoopSrchdirs2),
            (Strings{"60/", ".", "a/60/", "a", "b/60/", "b", "c/60/", "c"}));
  EXPECT_EQ(visit(vsLoopWdirs2), (Strings{"a", "b", "c"}));

  // The list is kept until a reset; a version name of its own replaces "60".
  setenv("WDIR", "z", 1);
  EXPECT_EQ(visit(vsLoopWdirs2).size(), 3u);
  vsWdirSetCompatibleVersion("70");
  EXPECT_EQ(visit(vsWdirLoopSrchdirs2), (Strings{"70/", ".", "z/70/", "z"}));
  vsWdirSetCompatibleVersion("");
  EXPECT_EQ(visit(vsWdirLoopSrchdirs2), (Strings{".", "z"}));
  vsWdirSetCompatibleVersion(ulCompatibleVersionV);
  EXPECT_EQ(vsLoopWdirs2([](void *, char *) { return 0; }, nullptr), 0);
}

TEST_F(Vs, SrchwdirsTakesTheFirstElementInOrder) {
  char out[vsMAXPATH];
  EXPECT_EQ(vsSrchwdirs("f.ini", vsFILE, out), vsNOTFOUND); // WDIR unset
  vsResetWdirCache();
  setenv("WDIR", "a:b c", 1);
  touch("b/60/f.ini");
  touch("c/f.ini");
  touch("c/sub/g.ini");
  auto find = [&](const std::string &spec, int kind = vsFILE) {
    return result(vsSrchwdirs(spec.c_str(), kind, out), out);
  };
  EXPECT_EQ((Strings{root + "b/60/f.ini", "status 4", root + "c/sub/g.ini", "status 7"}),
            (Strings{find("f.ini"), find("f.ini", vsDIR), find("sub/g.ini"),
                     find(std::string(300, 's'))}));

  // "a" was found missing once; it stays skipped until the list is rebuilt.
  touch("a/f.ini");
  EXPECT_EQ(root + "b/60/f.ini", find("f.ini"));
  vsResetWdirCache();
  EXPECT_EQ(root + "a/f.ini", find("f.ini"));
}

TEST_F(Vs, SrchdirsFollowsTheSearchOrder) {
  char out[vsMAXPATH];
  setenv("WDIR", root.c_str(), 1);
  for (const char *f : {"w/cfg.ini", "orig/w/cfg.ini", "bin/w/cfg.ini", "bin/prog"})
    touch(f);
  ASSERT_EQ(vsSetexedir((root + "bin/prog").c_str()), 1);
  ASSERT_EQ(vsSetorigin((root + "orig").c_str()), vsOK);
  mkdir("cwd");
  ASSERT_EQ(vsSetdef((root + "cwd").c_str()), vsOK);

  // Nothing in the current directory: the origin comes before WDIR.
  EXPECT_EQ(root + "orig/w/cfg.ini", result(vsGetini("w/cfg.ini", out), out));
  vsSetorigin(nullptr);
  EXPECT_EQ(root + "w/cfg.ini", result(vsGetini("w/cfg.ini", out), out));
  touch("cwd/w/cfg.ini");
  EXPECT_EQ(root + "cwd/w/cfg.ini", result(vsGetini("w/cfg.ini", out), out));
  touch("cwd/w/60/cfg.ini");
  EXPECT_EQ(root + "cwd/w/60/cfg.ini", result(vsGetini("w/cfg.ini", out), out));

  // Last of all, the executable directory.
  touch("bin/only.ini");
  EXPECT_EQ(root + "bin/only.ini", result(vsGetini("only.ini", out), out));
  char exeOut[vsMAXPATH];
  EXPECT_EQ(out, result(vsSrchExeDir("", "only", "ini", vsFILE, exeOut), exeOut));
  // Before it, the data directory an installed tree has beside bin/.
  touch("share/retag/only.ini");
  EXPECT_EQ(root + "share/retag/only.ini", result(vsGetini("only.ini", out), out));
  EXPECT_EQ(root + "share/retag/only.ini",
            result(vsSrchExeDir("", "only", "ini", vsFILE, exeOut), exeOut));
  // A file name with a final "." is looked for as it stands, dot and all.
  touch("bin/dotted");
  EXPECT_EQ(vsGetini("dotted.", out), vsNOTFOUND);
  touch("bin/dotted.");
  EXPECT_EQ(root + "bin/dotted.", result(vsGetini("dotted.", out), out));

  // An absolute spec is only looked for where it stands; a spec not found
  // is handed back as it was.
  for (const char *spec : {"/no/such/cfg.ini", "missing.ini"}) {
    EXPECT_EQ(vsGetini(spec, out), vsNOTFOUND);
    EXPECT_STREQ(out, spec);
  }
}

TEST_F(Vs, StepWdirsQueuesEveryEntryOfThePlainDirectories) {
  setenv("WDIR", "p q", 1);
  for (const char *f : {"p/b.x", "p/a.y", "p/60/versioned.x", "q/c.x"})
    touch(f);
  mkdir("q/subdir");
  Strings got;
  for (char *p = vsStepWdirsAlloc(-1, vsFILE); p; p = vsStepWdirsAlloc(1, vsFILE)) {
    got.push_back(p);
    ulStrFree(p);
  }
  EXPECT_EQ(got, (Strings{root + "p/a.y", root + "p/b.x", root + "q/c.x"}));

  auto next = [](int start) {
    const char *p = vsStepWdirsForName("*.x", start, vsFILE);
    return std::string(p ? p : "(none)");
  };
  EXPECT_EQ((Strings{root + "p/b.x", root + "q/c.x", "(none)"}),
            (Strings{next(0), next(1), next(1)}));
  EXPECT_EQ(vsStepWdirs(1, vsFILE), nullptr);
}

TEST_F(Vs, CoreDumpFlushesStreamsThenAborts) {
  std::string log = root + "pending.txt";
  auto dumpWithPendingOutput = [&] {
    rlimit none = {};
    setrlimit(RLIMIT_CORE, &none); // no core file from the test itself
    FILE *f = std::fopen(log.c_str(), "w");
    std::fputs("buffered", f);
    vsCoreDump();
  };
  EXPECT_EXIT(dumpWithPendingOutput(), ::testing::KilledBySignal(SIGABRT), "");
  EXPECT_EQ("buffered", testsupport::readFile(log));
}

TEST_F(Vs, ReplaceFileKeepsModeFollowsLinksAndLeavesNoTemporary) {
  const std::string text = "new content\n";
  // A new file gets the usual bits; an existing one keeps its own.
  ASSERT_EQ(vsReplaceFile((root + "fresh").c_str(), text.data(), text.size()), vsOK);
  EXPECT_EQ(text, testsupport::readFile(root + "fresh"));
  const std::string kept = tmp.write("kept", "old");
  fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_EQ(vsReplaceFile(kept.c_str(), text.data(), text.size()), vsOK);
  EXPECT_EQ(text, testsupport::readFile(kept));
  EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // A link stays a link; its target takes the content.
  const std::string target = tmp.write("target", "old");
  fs::create_symlink(target, root + "link");
  ASSERT_EQ(vsReplaceFile((root + "link").c_str(), text.data(), text.size()), vsOK);
  EXPECT_TRUE(fs::is_symlink(root + "link"));
  EXPECT_EQ(text, testsupport::readFile(target));
  // A directory that takes no new file: the old file stays as it was.
  mkdir("ro");
  const std::string locked = tmp.write("ro/file", "old");
  fs::permissions(tmp / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  if (access((tmp / "ro").c_str(), W_OK) != 0) { // root may write anyway
    EXPECT_EQ(vsReplaceFile(locked.c_str(), text.data(), text.size()), vsIOERR);
    EXPECT_EQ("old", testsupport::readFile(locked));
  }
  std::vector<std::string> left;
  for (auto &e : fs::recursive_directory_iterator(tmp.path()))
    left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (Strings{"file", "fresh", "kept", "link", "ro", "target"}));
}

} // namespace
