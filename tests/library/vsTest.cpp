// Path specs, entry information, the default and executable directories,
// the WDIR list and the search order.
#include "vs.h"

#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

#include "ulErr.h"
#include "ulEx.h"
#include "ulStr.h"

namespace {

namespace fs = std::filesystem;

// Each test runs in a fresh temporary directory that is also the default
// directory; WDIR starts unset.
class Vs : public ::testing::Test {
protected:
  std::string root; // absolute, ending in "/"

  void SetUp() override {
    char t[] = "/tmp/vsTestXXXXXX";
    ASSERT_NE(mkdtemp(t), nullptr);
    root = std::string(t) + "/";
    ASSERT_EQ(vsSetdef(t), vsOK);
    unsetenv("WDIR");
    vsResetWdirCache();
  }
  void TearDown() override {
    (void)chdir("/");
    fs::remove_all(root);
  }
  void touch(const std::string &rel) {
    fs::create_directories(fs::path(root + rel).parent_path());
    std::ofstream(root + rel) << "x";
  }
  void mkdir(const std::string &rel) { fs::create_directories(root + rel); }
};

struct Parts {
  char dev[vsMAXPATH], dir[vsMAXPATH], name[vsMAXPATH], ext[vsMAXPATH], file[vsMAXPATH];
  int st, st2;
  explicit Parts(const char *spec) {
    st = vsParse(spec, dev, dir, name, ext);
    st2 = vsParse2(spec, nullptr, nullptr, file);
  }
};

std::string abs2(const char *spec, int *status = nullptr) {
  char out[vsMAXPATH] = "untouched";
  int st = vsAbsPath2(spec, out);
  if (status)
    *status = st;
  return st == vsOK ? out : "status " + std::to_string(st);
}

TEST(VsSpec, ParseSplitsAtLastSlashAndLastDot) {
  Parts p("a/b/.cshrc");
  EXPECT_STREQ(p.dir, "a/b/");
  EXPECT_STREQ(p.name, ".cshrc");
  EXPECT_STREQ(p.ext, "");
  EXPECT_STREQ(p.dev, "");
  Parts x("x.y.z");
  EXPECT_STREQ(x.dir, "");
  EXPECT_STREQ(x.name, "x.y");
  EXPECT_STREQ(x.ext, "z");
  for (const char *whole : {"..", ".", "noext"}) {
    Parts w((std::string("d/") + whole).c_str());
    EXPECT_STREQ(w.name, whole);
    EXPECT_STREQ(w.ext, "");
  }
  Parts f("foo.");
  EXPECT_STREQ(f.name, "foo");
  EXPECT_STREQ(f.ext, "");
  EXPECT_STREQ(f.file, "foo.");
  Parts d("dir/");
  EXPECT_STREQ(d.dir, "dir/");
  EXPECT_STREQ(d.file, "");
}

TEST(VsSpec, ParseLimitIs255Characters) {
  std::string ok(255, 'a'), bad(256, 'a');
  EXPECT_EQ(Parts(ok.c_str()).st, vsOK);
  EXPECT_EQ(Parts(bad.c_str()).st, vsBADSPEC);
  EXPECT_EQ(Parts(bad.c_str()).st2, vsBADSPEC);
  EXPECT_EQ(vsParse(nullptr, nullptr, nullptr, nullptr, nullptr), vsBADSPEC);
  // Parsing a buffer into itself works.
  char buf[vsMAXPATH] = "d/e/name.ext";
  EXPECT_EQ(vsParse(buf, nullptr, nullptr, buf, nullptr), vsOK);
  EXPECT_STREQ(buf, "name");
}

TEST(VsSpec, ParseExThrowsMessage1041NamingTheSpec) {
  char exe[PATH_MAX] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  ASSERT_EQ(vsSetexedir(exe), 1);
  std::string bad(300, 'q');
  char name[vsMAXPATH];
  EXPECT_EQ(ulExTry(ulEX_ALL, [&] { vsParseEx(bad.c_str(), nullptr, nullptr, name, nullptr); }), 1);
  EXPECT_EQ(ulExTagV, ulEX_POSTCOND);
  ASSERT_NE(ulExErrV, nullptr);
  EXPECT_EQ(ulErrNum(ulExErrV), 1041);
  EXPECT_NE(std::string(ulErrText(ulExErrV)).find(bad), std::string::npos);
  ulErrDestroy(ulExErrV);
  ulExErrV = nullptr;
  EXPECT_EQ(vsParseEx("a/b.c", nullptr, nullptr, name, nullptr), vsOK);
  EXPECT_STREQ(name, "b");
}

TEST(VsSpec, MergeJoinsTrimmedParts) {
  char out[vsMAXPATH];
  ASSERT_EQ(vsMerge(out, nullptr, "d", "n", "e"), vsOK);
  EXPECT_STREQ(out, "d/n.e");
  ASSERT_EQ(vsMerge(out, "", "d/", "n", "e"), vsOK);
  EXPECT_STREQ(out, "d/n.e");
  ASSERT_EQ(vsMerge(out, nullptr, "d", "n", ""), vsOK);
  EXPECT_STREQ(out, "d/n");
  ASSERT_EQ(vsMerge(out, nullptr, " d/ ", "\tn ", " e "), vsOK);
  EXPECT_STREQ(out, "d/n.e");
}

TEST(VsSpec, MergeLimitIs255Characters) {
  char out[vsMAXPATH] = "keep";
  std::string dir(249, 'd'); // dir + "/" + 1 + "." + 3 = 255
  EXPECT_EQ(vsMerge(out, nullptr, dir.c_str(), "n", "ext"), vsOK);
  EXPECT_EQ(std::strlen(out), 255u);
  std::strcpy(out, "keep");
  EXPECT_EQ(vsMerge(out, nullptr, dir.c_str(), "n", "ext4"), vsBADSPEC);
  EXPECT_STREQ(out, "keep");
}

TEST(VsSpec, DnpathAndUppath) {
  char d[vsMAXPATH] = "";
  ASSERT_EQ(vsDnpath(d, "sub"), vsOK);
  EXPECT_STREQ(d, "sub/");
  std::strcpy(d, "a");
  ASSERT_EQ(vsDnpath(d, ""), vsOK);
  EXPECT_STREQ(d, "a");
  ASSERT_EQ(vsDnpath(d, "b/"), vsOK);
  EXPECT_STREQ(d, "a/b/");

  std::string base(253, 'x'); // base + "/" + "c" + "/" = 256
  std::strcpy(d, base.c_str());
  EXPECT_EQ(vsDnpath(d, "c"), vsBADSPEC);
  EXPECT_STREQ(d, base.c_str());
  base.pop_back();
  std::strcpy(d, base.c_str());
  EXPECT_EQ(vsDnpath(d, "c"), vsOK);
  EXPECT_EQ(std::strlen(d), 255u);

  char last[vsMAXPATH];
  std::strcpy(d, "/a/b/c/");
  ASSERT_EQ(vsUppath(d, last), vsOK);
  EXPECT_STREQ(d, "/a/b/");
  EXPECT_STREQ(last, "c");
  std::strcpy(d, "c");
  ASSERT_EQ(vsUppath(d, last), vsOK);
  EXPECT_STREQ(d, "");
  EXPECT_STREQ(last, "c");
  EXPECT_EQ(vsUppath(d, nullptr), vsNOTFOUND);
}

TEST(VsSpec, ConvPathCleansSeparators) {
  char out[vsMAXPATH];
  ASSERT_EQ(vsConvPath("a//b\\\\c\\d///", out), vsOK);
  EXPECT_STREQ(out, "a/b/c/d/");
  char inPlace[vsMAXPATH] = "x\\\\y";
  ASSERT_EQ(vsConvPath(inPlace, inPlace), vsOK);
  EXPECT_STREQ(inPlace, "x/y");
  EXPECT_EQ(vsConvPath(nullptr, out), vsBADSPEC);
  EXPECT_EQ(vsConvPath("a", nullptr), vsBADSPEC);
  std::string s(255, 'a');
  EXPECT_EQ(vsConvPath((s + "//").c_str(), out), vsBADSPEC); // 256 after cleaning
  EXPECT_EQ(vsConvPath((s + "/").substr(1).c_str(), out), vsOK);
}

TEST_F(Vs, AbsPathResolvesAgainstTheDefaultDirectory) {
  EXPECT_EQ(abs2("/a/../../b"), "/b");
  EXPECT_EQ(abs2("./x"), root + "x");
  EXPECT_EQ(abs2("x/./y/../z/"), root + "x/z/");
  EXPECT_EQ(abs2(""), root);
  EXPECT_EQ(abs2(".."), fs::path(root).parent_path().parent_path().string());
  EXPECT_EQ(abs2(" sub/ name.ext "), root + "sub/name.ext");
  EXPECT_EQ(abs2("foo."), root + "foo.");

  char spec[vsMAXPATH] = "foo.";
  ASSERT_EQ(vsAbsPath(spec), vsOK);
  EXPECT_EQ(std::string(spec), root + "foo.");
  std::strcpy(spec, "");
  ASSERT_EQ(vsAbsPath(spec), vsOK); // no trailing "/": the spec had none
  EXPECT_EQ(std::string(spec) + "/", root);
  std::strcpy(spec, "d/");
  ASSERT_EQ(vsAbsPath(spec), vsOK);
  EXPECT_EQ(std::string(spec), root + "d/");
  std::strcpy(spec, "/..");
  ASSERT_EQ(vsAbsPath(spec), vsOK);
  EXPECT_STREQ(spec, "/");
}

TEST_F(Vs, AbsPathLimits) {
  int st;
  std::string longest = "/" + std::string(254, 'a');
  EXPECT_EQ(abs2(longest.c_str()), longest);
  abs2(("/" + std::string(255, 'a')).c_str(), &st);
  EXPECT_EQ(st, vsBADSPEC);
  // Short spec, but too long once joined with the default directory.
  abs2(std::string(256 - root.size(), 'b').c_str(), &st);
  EXPECT_EQ(st, vsBADSPEC);
  EXPECT_EQ(abs2(std::string(255 - root.size(), 'b').c_str()).size(), 255u);
  // ".." shortens a path that is too long before normalising.
  std::string shrinking = "/" + std::string(200, 'c') + "/../" + std::string(100, 'd');
  abs2(shrinking.substr(0, 255).c_str(), &st);
  EXPECT_EQ(st, vsOK);
  EXPECT_EQ(vsAbsPath2(nullptr, nullptr), vsBADSPEC);
}

TEST_F(Vs, AbsPathExpandsTilde) {
  setenv("HOME", "/home/me/", 1);
  EXPECT_EQ(abs2("~"), "/home/me/");
  EXPECT_EQ(abs2("~/f"), "/home/me/f");
  setenv("HOME", "/home/me", 1);
  EXPECT_EQ(abs2("~"), "/home/me");
  EXPECT_EQ(abs2("~/a/../../f"), "/home/f");
  EXPECT_EQ(abs2("~root/x"), "/root/x");
  int st;
  abs2("~no_such_user_here/x", &st);
  EXPECT_EQ(st, vsBADSPEC);
  setenv("HOME", "", 1);
  abs2("~", &st);
  EXPECT_EQ(st, vsNOTFOUND);
  unsetenv("HOME");
  abs2("~/x", &st);
  EXPECT_EQ(st, vsNOTFOUND);
  setenv("HOME", ("/" + std::string(250, 'h')).c_str(), 1);
  abs2("~/123456", &st);
  EXPECT_EQ(st, vsBADSPEC);
}

TEST_F(Vs, DefaultDirectoryIsCachedUntilSet) {
  mkdir("sub");
  char def[vsMAXPATH], out[vsMAXPATH];
  ASSERT_EQ(chdir((root + "sub").c_str()), 0);
  ASSERT_EQ(vsGetdef(def), vsOK);
  EXPECT_EQ(std::string(def), root);
  ASSERT_EQ(vsAbsSysPath2("x", out), vsOK);
  EXPECT_EQ(std::string(out), root + "sub/x");
  EXPECT_EQ(abs2("x"), root + "x");

  ASSERT_EQ(vsSetdef("sub"), vsOK);
  ASSERT_EQ(vsGetdef(def), vsOK);
  EXPECT_EQ(std::string(def), root + "sub/");
  EXPECT_EQ(vsSetdef(""), vsDENIED);
  EXPECT_EQ(vsSetdef(nullptr), vsDENIED);
  EXPECT_EQ(vsSetdef("no_such_dir"), vsDENIED);
  EXPECT_EQ(vsSetdef("  "), vsOK); // neither directory nor name: no change
  ASSERT_EQ(vsGetdef(def), vsOK);
  EXPECT_EQ(std::string(def), root + "sub/");
}

TEST_F(Vs, RelPathStripsTheDefaultDirectory) {
  char out[vsMAXPATH];
  ASSERT_EQ(vsRelPath2((root + "a/b").c_str(), out), vsOK);
  EXPECT_STREQ(out, "a/b");
  ASSERT_EQ(vsRelPath2("/elsewhere/x", out), vsOK);
  EXPECT_STREQ(out, "/elsewhere/x");
  ASSERT_EQ(vsRelPath2(".", out), vsOK);
  EXPECT_STREQ(out, "");
  char spec[vsMAXPATH] = "./c/../d";
  ASSERT_EQ(vsRelPath(spec), vsOK);
  EXPECT_STREQ(spec, "d");
}

TEST(VsSpec, FileNameRulesInBothModes) {
  std::string n255(255, 'n');
  EXPECT_TRUE(vsValidFile("name-with.dots and blanks"));
  EXPECT_TRUE(vsValidFile(n255.c_str()));
  EXPECT_FALSE(vsValidFile((n255 + "n").c_str()));
  EXPECT_FALSE(vsValidFile("a/b"));
  EXPECT_FALSE(vsValidExt(""));
  EXPECT_TRUE(vsValidSpec("d/name.1"));
  EXPECT_FALSE(vsValidSpec("d/name"));

  char name[vsMAXPATH] = "a/b/c";
  ASSERT_EQ(vsMakeValidFile(name), vsOK);
  EXPECT_STREQ(name, "a$b$c");
  EXPECT_EQ(vsMakeValidExt(nullptr), vsBADSPEC);
  char empty[vsMAXPATH] = "";
  EXPECT_EQ(vsMakeValidFile(empty), vsBADSPEC);

  vcOvFnamesCompatibleV = 1;
  EXPECT_TRUE(vsValidFile("AB_$-123"));
  EXPECT_FALSE(vsValidFile("ABCDEFGHI"));
  EXPECT_FALSE(vsValidFile("-abc"));
  EXPECT_TRUE(vsValidExt("1"));
  EXPECT_FALSE(vsValidExt("1234"));
  char shortName[vsMAXPATH] = "--a.b*cdefghij";
  ASSERT_EQ(vsMakeValidFile(shortName), vsOK);
  EXPECT_STREQ(shortName, "$$a$b$cd");
  char ext[vsMAXPATH] = "-x!yz";
  ASSERT_EQ(vsMakeValidExt(ext), vsOK);
  EXPECT_STREQ(ext, "$x$");
  char spec[vsMAXPATH] = "dir/my file.text";
  ASSERT_EQ(vsMakeValidSpec(spec), vsOK);
  EXPECT_STREQ(spec, "dir/my$file.tex");
  vcOvFnamesCompatibleV = 0;
}

TEST_F(Vs, InfoGivesLocalTimeSizeAndKind) {
  setenv("TZ", "XYZ-3", 1); // three hours east of UTC, no daylight saving
  tzset();
  touch("f.txt");
  mkdir("d");
  const time_t t = 951782400 + 3600; // 29 February 2000, 01:00 UTC
  utimbuf times{t, t};
  ASSERT_EQ(utime((root + "f.txt").c_str(), &times), 0);
  long when = 0, size = 0;
  int kind = 0;
  ASSERT_EQ(vsInfo("f.txt", &when, &size, &kind), vsOK);
  EXPECT_EQ(when, t + 3 * 3600);
  EXPECT_EQ(size, 1);
  EXPECT_EQ(kind, vsFILE);
  EXPECT_EQ(vsFtime("f.txt"), t + 3 * 3600);
  EXPECT_EQ(vsFGMtime("f.txt"), t);
  ASSERT_EQ(vsInfo("d", nullptr, nullptr, &kind), vsOK);
  EXPECT_EQ(kind, vsDIR);
  EXPECT_EQ(vsInfo("missing", &when, &size, &kind), vsNOTFOUND);
  EXPECT_EQ(vsFtime("missing"), 0);
  EXPECT_EQ(vsFGMtime("missing"), 0);
  long now = vsTimer(0);
  EXPECT_NEAR(now, static_cast<long>(std::time(nullptr)) + 3 * 3600, 2);
}

TEST_F(Vs, ExistsChecksTheKind) {
  touch("f");
  mkdir("d");
  EXPECT_EQ(vsExists("f", vsFILE), vsOK);
  EXPECT_EQ(vsExists("f", vsDIR), vsNOTFOUND);
  EXPECT_EQ(vsExists("d", vsDIR), vsOK);
  EXPECT_EQ(vsExists("nothing", vsANY), vsNOTFOUND);
  EXPECT_TRUE(vsFexists("f"));
  EXPECT_FALSE(vsFexists("d"));
  char out[vsMAXPATH];
  ASSERT_EQ(vsExists2("d/../f", vsFILE, out), vsOK);
  EXPECT_EQ(std::string(out), root + "f");
}

TEST(VsEnv, TrnlogCutsValuesTo2047Characters) {
  char value[vsMAXENV];
  setenv("VS_TEST_VAR", std::string(3000, 'v').c_str(), 1);
  ASSERT_EQ(vsTrnlog("VS_TEST_VAR", value), vsOK);
  EXPECT_EQ(std::strlen(value), 2047u);
  unsetenv("VS_TEST_VAR");
  EXPECT_EQ(vsTrnlog("VS_TEST_VAR", value), vsNOTFOUND);
}

TEST_F(Vs, OriginAndExecutableDirectory) {
  EXPECT_EQ(vsGetorigin(), nullptr);
  ASSERT_EQ(vsSetorigin("/some/where"), vsOK);
  EXPECT_STREQ(vsGetorigin(), "/some/where");
  EXPECT_EQ(vsSetorigin(std::string(256, 'o').c_str()), vsDENIED);
  ASSERT_EQ(vsSetorigin(nullptr), vsOK);
  EXPECT_EQ(vsGetorigin(), nullptr);

  touch("bin1/prog");
  touch("bin2/prog");
  mkdir("bin0/prog"); // a directory of that name does not count
  EXPECT_EQ(vsSetexedir("bin1/prog"), 1);
  EXPECT_EQ(std::string(vsExeDir()), root + "bin1/");
  setenv("PATH", (root + "none: bin0\t" + root + "bin2:" + root + "bin1").c_str(), 1);
  EXPECT_EQ(vsSetexedir("prog"), 1);
  EXPECT_EQ(std::string(vsExeDir()), root + "bin2/");
  EXPECT_EQ(vsSetexedir("no_such_prog"), 0);
  EXPECT_EQ(vsExeDir(), nullptr);
  char out[vsMAXPATH];
  EXPECT_EQ(vsFindExeInPath("no_such_prog", out), vsNOTFOUND);
  unsetenv("PATH");
  EXPECT_EQ(vsFindExeInPath("prog", out), vsDENIED);
}

// Collects the directories a WDIR loop hands out.
int collect(void *user, char *dir) {
  static_cast<std::vector<std::string> *>(user)->push_back(dir);
  return 1;
}

TEST_F(Vs, WdirListHasVersionedThenPlainElements) {
  setenv("WDIR", "a:b c", 1);
  std::vector<std::string> all, plain;
  EXPECT_EQ(vsWdirLoopSrchdirs2(collect, &all), 1);
  EXPECT_EQ(all, (std::vector<std::string>{"60/", ".", "a/60/", "a", "b/60/", "b", "c/60/", "c"}));
  EXPECT_EQ(vsLoopWdirs2(collect, &plain), 1);
  EXPECT_EQ(plain, (std::vector<std::string>{"a", "b", "c"}));

  // The list is kept until a reset; a version name of its own replaces "60".
  setenv("WDIR", "z", 1);
  plain.clear();
  vsLoopWdirs2(collect, &plain);
  EXPECT_EQ(plain.size(), 3u);
  vsWdirSetCompatibleVersion("70");
  all.clear();
  vsWdirLoopSrchdirs2(collect, &all);
  EXPECT_EQ(all, (std::vector<std::string>{"70/", ".", "z/70/", "z"}));
  vsWdirSetCompatibleVersion("");
  all.clear();
  vsWdirLoopSrchdirs2(collect, &all);
  EXPECT_EQ(all, (std::vector<std::string>{".", "z"}));
  vsWdirSetCompatibleVersion(ulCompatibleVersionV);
  auto stopAtOnce = [](void *, char *) { return 0; };
  EXPECT_EQ(vsLoopWdirs2(stopAtOnce, nullptr), 0);
}

TEST_F(Vs, SrchwdirsTakesTheFirstElementInOrder) {
  char out[vsMAXPATH];
  EXPECT_EQ(vsSrchwdirs("f.ini", vsFILE, out), vsNOTFOUND); // WDIR unset
  vsResetWdirCache();
  setenv("WDIR", "a:b c", 1);
  touch("b/60/f.ini");
  touch("c/f.ini");
  touch("c/sub/g.ini");
  ASSERT_EQ(vsSrchwdirs("f.ini", vsFILE, out), vsOK);
  EXPECT_EQ(std::string(out), root + "b/60/f.ini");
  EXPECT_EQ(vsSrchwdirs("f.ini", vsDIR, out), vsNOTFOUND);
  ASSERT_EQ(vsSrchwdirs("sub/g.ini", vsFILE, out), vsOK);
  EXPECT_EQ(std::string(out), root + "c/sub/g.ini");
  EXPECT_EQ(vsSrchwdirs(std::string(300, 's').c_str(), vsFILE, out), vsDENIED);

  // "a" was found missing once; it stays skipped until the list is rebuilt.
  touch("a/f.ini");
  ASSERT_EQ(vsSrchwdirs("f.ini", vsFILE, out), vsOK);
  EXPECT_EQ(std::string(out), root + "b/60/f.ini");
  vsResetWdirCache();
  ASSERT_EQ(vsSrchwdirs("f.ini", vsFILE, out), vsOK);
  EXPECT_EQ(std::string(out), root + "a/f.ini");
}

TEST_F(Vs, SrchdirsFollowsTheSearchOrder) {
  char out[vsMAXPATH];
  setenv("WDIR", root.c_str(), 1);
  touch("w/cfg.ini");
  touch("orig/w/cfg.ini");
  touch("bin/w/cfg.ini");
  char exe[vsMAXPATH];
  std::strcpy(exe, (root + "bin/prog").c_str());
  touch("bin/prog");
  ASSERT_EQ(vsSetexedir(exe), 1);
  ASSERT_EQ(vsSetorigin((root + "orig").c_str()), vsOK);
  mkdir("cwd");
  ASSERT_EQ(vsSetdef((root + "cwd").c_str()), vsOK);

  // Nothing in the current directory: the origin comes before WDIR.
  ASSERT_EQ(vsGetini("w/cfg.ini", out), vsOK);
  EXPECT_EQ(std::string(out), root + "orig/w/cfg.ini");
  vsSetorigin(nullptr);
  ASSERT_EQ(vsGetini("w/cfg.ini", out), vsOK);
  EXPECT_EQ(std::string(out), root + "w/cfg.ini");
  touch("cwd/w/cfg.ini");
  ASSERT_EQ(vsGetini("w/cfg.ini", out), vsOK);
  EXPECT_EQ(std::string(out), root + "cwd/w/cfg.ini");
  touch("cwd/w/60/cfg.ini");
  ASSERT_EQ(vsGetini("w/cfg.ini", out), vsOK);
  EXPECT_EQ(std::string(out), root + "cwd/w/60/cfg.ini");

  // Last of all, the executable directory.
  touch("bin/only.ini");
  ASSERT_EQ(vsGetini("only.ini", out), vsOK);
  EXPECT_EQ(std::string(out), root + "bin/only.ini");
  char exeOut[vsMAXPATH];
  ASSERT_EQ(vsSrchExeDir("", "only", "ini", vsFILE, exeOut), vsOK);
  EXPECT_STREQ(exeOut, out);

  // An absolute spec is only looked for where it stands.
  EXPECT_EQ(vsGetini("/no/such/cfg.ini", out), vsNOTFOUND);
  EXPECT_STREQ(out, "/no/such/cfg.ini");
  EXPECT_EQ(vsGetini("missing.ini", out), vsNOTFOUND);
  EXPECT_STREQ(out, "missing.ini");
}

TEST_F(Vs, StepWdirsQueuesEveryEntryOfThePlainDirectories) {
  setenv("WDIR", "p q", 1);
  touch("p/b.x");
  touch("p/a.y");
  touch("p/60/versioned.x");
  touch("q/c.x");
  mkdir("q/subdir");
  std::vector<std::string> got;
  for (char *p = vsStepWdirsAlloc(-1, vsFILE); p; p = vsStepWdirsAlloc(1, vsFILE)) {
    got.push_back(p);
    ulStrFree(p);
  }
  EXPECT_EQ(got, (std::vector<std::string>{root + "p/a.y", root + "p/b.x", root + "q/c.x"}));

  char *p = vsStepWdirsForName("*.x", 0, vsFILE);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p), root + "p/b.x");
  p = vsStepWdirsForName("*.x", 1, vsFILE);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p), root + "q/c.x");
  EXPECT_EQ(vsStepWdirsForName("*.x", 1, vsFILE), nullptr);
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
  std::ifstream in(log);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "buffered");
}

} // namespace
