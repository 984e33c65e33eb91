#include "ulPref.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "support/TestSupport.h"
#include "ulErr.h"
#include "ulStr.h"

namespace fs = std::filesystem;

namespace {

using testsupport::Argv;
using testsupport::Ints;
using Words = std::vector<std::string>;

// A set "demo" as a layer would declare it.
ulPrefDB *demoSet() {
  ulPrefDB *set = ulPrefCreate("Demo");
  ulPrefAdd(set, "logging", &ulOnOffVT, "Write a log.", ulPrefWord(1));
  ulPrefAdd(set, "keep_logfiles", &ulUnsignedIntVT, "Logs kept.", ulPrefWord(0));
  ulPrefAdd(set, "Title", &ulStringVT, "A title.", const_cast<char *>("none"));
  ulPrefAdd(set, "touch", &ulVoidVT, "Touch.", nullptr);
  return set;
}

// The module as a fresh process has it before and after each test that
// parses or reads preference files.
class FreshPrefs : public ::testing::Test {
protected:
  void SetUp() override { ulPrefExit(); }
  void TearDown() override { ulPrefExit(); }
};

} // namespace

using ulPrefCommandLine = FreshPrefs;
using ulPrefFiles = FreshPrefs;

TEST(ulPrefSets, DeclareReadSetAndRevert) {
  ulPrefDB *set = demoSet();
  EXPECT_EQ(ulPrefFind("DEMO"), set);
  EXPECT_STREQ(ulPrefName(set), "Demo");
  EXPECT_EQ(ulPrefAdd(set, "LOGGING", &ulIntVT, "again", nullptr), 0); // names ignore case
  EXPECT_EQ(ulPrefTypespec(set, "Logging"), &ulOnOffVT);

  EXPECT_EQ((Ints{ulPrefIntVal(set, "logging"), ulPrefChanged(set, "title")}), (Ints{1, 0}));
  EXPECT_STREQ(ulPrefStrVal(set, "title"), "none");
  std::string mine = "mine";
  EXPECT_EQ(ulPrefSetval(set, "title", mine.data()), 1);
  mine[0] = 'X'; // the set keeps its own copy
  EXPECT_STREQ(ulPrefStrVal(set, "title"), "mine");
  EXPECT_EQ(
      (Ints{ulPrefFlags(set, "title"), ulPrefRevert(set, "title"), ulPrefChanged(set, "title")}),
      (Ints{ulPrefVALUESET, 1, 0}));
  EXPECT_STREQ(ulPrefStrVal(set, "title"), "none");

  EXPECT_EQ(ulPrefVal(set, "nosuch"), nullptr);
  EXPECT_EQ((Ints{ulPrefFlags(set, "nosuch"), ulPrefSetval(set, "nosuch", nullptr)}),
            (Ints{-1, 0}));

  // Redeclaring keeps a value whose type stays compatible, else drops it.
  ulPrefSetText(set, "keep_logfiles", "7");
  ulPrefReplace(set, "keep_logfiles", &ulIntVT, "Logs.", ulPrefWord(1));
  EXPECT_EQ(ulPrefIntVal(set, "keep_logfiles"), 7);
  ulPrefReplace(set, "keep_logfiles", &ulStringVT, "Logs.", const_cast<char *>("x"));
  EXPECT_STREQ(ulPrefStrVal(set, "keep_logfiles"), "x");
  EXPECT_EQ(ulPrefChanged(set, "keep_logfiles"), 0);

  // A newer set of the same name takes over the name; the older stays valid.
  ulPrefDB *newer = ulPrefCreate("demo");
  EXPECT_EQ(ulPrefFind("demo"), newer);
  ulPrefDestroy(set);
  EXPECT_EQ(ulPrefFind("demo"), newer);
  ulPrefDestroy(newer);
  EXPECT_EQ(ulPrefFind("demo"), nullptr);
}

TEST_F(ulPrefCommandLine, PreferenceArgumentsAreTakenOutOfArgv) {
  ulPrefDB *set = demoSet();
  Argv a({"prog", "-demo.logging", "in.ltf", "-demo.keep_logfiles", "3", "-nosuch.option",
          "-demo.nosuch", "x", "+demo.touch", "-demo.title"});
  EXPECT_EQ(ulPrefParse(nullptr, &a.argc, a.argv.data()), 4);
  EXPECT_EQ(a.left(),
            (Words{"prog", "in.ltf", "-nosuch.option", "-demo.nosuch", "x", "-demo.title"}));
  EXPECT_EQ(a.argv[a.argc], nullptr);
  EXPECT_EQ((Ints{ulPrefIntVal(set, "logging"), ulPrefIntVal(set, "keep_logfiles"),
                  ulPrefFlags(set, "keep_logfiles"), ulPrefChanged(set, "touch")}),
            (Ints{0, 3, ulPrefVALUESET | ulPrefCMDLINE, 1}));
  EXPECT_STREQ(ulPrefStrVal(set, "title"), "none"); // last argument: no value, left

  Argv b({"prog", "+DEMO.Logging", "-demo.keep_logfiles"});
  ulPrefParse(nullptr, &b.argc, b.argv.data());
  EXPECT_EQ(b.left(), (Words{"prog", "-demo.keep_logfiles"}));
  EXPECT_EQ(ulPrefIntVal(set, "logging"), 1);
  ulPrefDestroy(set);
}

TEST_F(ulPrefCommandLine, ShorthandAddressesTheProgramsSet) {
  ulPrefDB *set = demoSet();
  Argv a({"/usr/bin/demo", "-keep_logfiles", "4", "-.title", "T", "-x.", "-.", "-"});
  ulPrefParse(nullptr, &a.argc, a.argv.data());
  EXPECT_EQ((Words{ulPrefGetShorthand(), ulPrefStrVal(set, "title")}), (Words{"demo", "T"}));
  EXPECT_EQ(ulPrefIntVal(set, "keep_logfiles"), 4);
  EXPECT_EQ(a.left(), (Words{"/usr/bin/demo", "-x.", "-.", "-"}));

  // Only the first parse takes argv[0]; the shorthand can be switched off.
  Argv b({"other", "-keep_logfiles", "5"});
  ulPrefParse(nullptr, &b.argc, b.argv.data());
  EXPECT_EQ(ulPrefIntVal(set, "keep_logfiles"), 5);
  ulPrefSetShorthand(nullptr);
  Argv c({"demo", "-keep_logfiles", "6"});
  ulPrefParse(nullptr, &c.argc, c.argv.data());
  EXPECT_TRUE(c.argc == 3 && ulPrefGetShorthand() == nullptr);
  ulPrefDestroy(set);
}

// From the command line and from a file alike, the exception carries the
// whole message; a file adds the line as the location.
TEST_F(ulPrefCommandLine, UnreadableValueThrowsMessage1501) {
  testsupport::TempDir dir;
  std::string bad = dir.write("bad", "\n\ndemo.keep_logfiles = lots\n");
  ulPrefDB *set = demoSet();
  Argv a({"prog", "-demo.keep_logfiles", "many"});
  struct Case {
    std::function<void()> body;
    const char *text;
    std::string location;
  };
  const Case cases[] = {
      {[&] { ulPrefParse(nullptr, &a.argc, a.argv.data()); },
       "Value `many' cannot be read for preference Demo.keep_logfiles.", ""},
      {[&] { ulPrefReadIniFile(bad.c_str()); },
       "Value `lots' cannot be read for preference Demo.keep_logfiles.", bad + ", line 3"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(ulExTry(ulEX_POSTCOND, c.body), 1);
    EXPECT_EQ((Ints{ulExTagV, ulErrNum(ulExErrV)}), (Ints{ulEX_POSTCOND, 1501}));
    const char *location = ulErrLocation(ulExErrV);
    EXPECT_EQ((Words{ulErrText(ulExErrV), location != nullptr ? location : ""}),
              (Words{c.text, c.location}));
    ulErrDestroy(ulExErrV);
    ulExErrV = nullptr;
  }
  ulPrefDestroy(set);
}

// The rows of cases/preftypes.txt.
TEST(ulPrefTypes, ReadPrintRefuseCompareAndRegister) {
  testsupport::TempDir tmp;
  tmp.write("f", "x");
  for (const auto &row : testsupport::tableRows("util/cases/preftypes.txt")) {
    ASSERT_EQ(3u, row.size());
    const ulTypespec *ts = ulPrefFindTypespec(row[0].c_str());
    ASSERT_NE(nullptr, ts) << row[0];
    const std::string text = testsupport::replaced(row[1], "@", tmp.path());
    void *value = nullptr;
    const int ok = ts->read(ts, text.c_str(), &value);
    ASSERT_EQ(ok, row[2] != "refused" ? 1 : 0) << row[0] << " " << text;
    if (ok == 0)
      continue;
    void *copy = ts->copy(ts, value);
    ts->release(ts, value);
    char *s = ts->print(ts, copy);
    EXPECT_EQ(testsupport::replaced(row[2], "@", tmp.path()), s) << row[0];
    ulStrFree(s);
    ts->release(ts, copy);
  }
  void *v = nullptr;
  ulPrefDB *set = ulPrefCreate("sets");
  ASSERT_EQ(ulPrefVT.read(&ulPrefVT, "SETS", &v), 1);
  EXPECT_EQ(v, set);
  ulErrStream *stream = ulErrStreamCreate();
  char *s = ulErrStreamVT.print(&ulErrStreamVT, stream);
  EXPECT_STREQ(s, "0 message(s)");
  ulStrFree(s);
  ulErrStreamDestroy(stream);
  ulPrefDestroy(set);

  // Compatibility, and registering a type of ours.
  EXPECT_EQ(
      (Ints{ulPrefCompatible(&ulIntVT, &ulPositiveIntVT),
            ulPrefCompatible(&ulStringVT, &ulFileReadVT), ulPrefCompatible(&ulOnOffVT, &ulYesNoVT),
            ulPrefCompatible(&ulStringVT, &ulStringConstVT),
            ulPrefCompatible(&ulAnyVT, &ulCallbackVT)}),
      (Ints{1, 1, 0, 0, 0}));
  static const ulTypespec onOffAgain = {
      "myOnOffVT",    ulPrefFAM_ENUM,  ulOnOffVT.valueNames, 2,
      ulOnOffVT.read, ulOnOffVT.print, ulOnOffVT.copy,       ulOnOffVT.release};
  EXPECT_EQ(ulPrefCompatible(&ulOnOffVT, &onOffAgain), 1);
  EXPECT_EQ(ulPrefFindTypespec("myOnOffVT"), nullptr);
  EXPECT_EQ(ulPrefRegisterSpecialTs(&onOffAgain), 1);
  EXPECT_EQ(ulPrefFindTypespec("MYONOFFVT"), &onOffAgain);
  static const ulTypespec clash = {"ulIntVT", ulPrefFAM_INT, nullptr, 0,
                                   nullptr,   nullptr,       nullptr, nullptr};
  EXPECT_EQ(ulPrefRegisterSpecialTs(&clash), 0);
}

TEST(ulPrefUsage, ListsEveryPreferenceWhenAskedAndLoopsInOrder) {
  ulPrefDB *set = demoSet();
  ulPrefDB *another = ulPrefCreate("another");
  for (const char *ask : {"-help", "-?", "-usage"}) {
    Argv a({"retag", "x", ask});
    std::string out =
        testsupport::stdoutOf([&] { EXPECT_EQ(ulPrefUsage(&a.argc, a.argv.data()), 1); });
    EXPECT_EQ(out.rfind("Options for retag\n", 0), 0u) << out;
    EXPECT_NE(out.find("     +/-Demo.logging  Write a log. [Off|On, default On]\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\n -Demo.keep_logfiles  Logs kept. [UnsignedInt, default 0]\n"),
              std::string::npos);
    EXPECT_NE(out.find("\n         -Demo.touch  Touch. [no value]\n"), std::string::npos);
    EXPECT_EQ(a.argc, 3);
  }
  Argv quiet({"retag", "-helpme"});
  EXPECT_EQ(
      testsupport::stdoutOf([&] { EXPECT_EQ(ulPrefUsage(&quiet.argc, quiet.argv.data()), 0); }),
      "");
  ulPrefDestroy(another);

  // Loops over the options: in order, and the user options only.
  auto names = [set](bool user) {
    std::vector<std::string> n;
    auto collect = [](ulPrefDB *, ulPrefOption *o, void *data) {
      static_cast<std::vector<std::string> *>(data)->push_back(o->name);
      return 1;
    };
    if (user)
      ulPrefForEachUserOption(set, collect, &n);
    else
      ulPrefForEachOption(set, collect, &n);
    return n;
  };
  EXPECT_EQ(names(false), (Words{"logging", "keep_logfiles", "Title", "touch"}));
  ulPrefAlphabetize(set);
  EXPECT_EQ(names(false), (Words{"keep_logfiles", "logging", "Title", "touch"}));
  ulPrefSetText(set, "touch", "");
  ulPrefSetText(set, "logging", "off");
  EXPECT_EQ(names(true), (Words{"logging", "touch"}));
  EXPECT_EQ(ulPrefForEachOption(
                set, [](ulPrefDB *, ulPrefOption *, void *) { return 0; }, nullptr),
            0);
  ulPrefDestroy(set);
}

TEST_F(ulPrefFiles, WriteThenReadRestoresValues) {
  testsupport::TempDir tmp;
  const std::string &dir = tmp.path();
  std::string path = tmp / "demo.prefs";
  ulPrefDB *set = demoSet();
  ulPrefSetText(set, "title", "  two words ");
  ulPrefSetText(set, "keep_logfiles", "9");
  ulPrefSetText(set, "logging", "Off");
  ASSERT_EQ(ulPrefWriteIniFile(path.c_str(), nullptr), 1);
  EXPECT_EQ(testsupport::readFile(path), "|5.0\nDemo.logging = Off\nDemo.keep_logfiles = 9\n"
                                         "Demo.Title = \"  two words \"\n");
  // A rewrite keeps the file's permission bits and leaves nothing beside it.
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_EQ(ulPrefWriteIniFile(path.c_str(), nullptr), 1);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  ulPrefDestroy(set);

  set = demoSet();
  ASSERT_EQ(ulPrefReadIniFile(path.c_str()), 1);
  EXPECT_STREQ(ulPrefStrVal(set, "title"), "  two words ");
  EXPECT_EQ((Ints{ulPrefIntVal(set, "keep_logfiles"), ulPrefIntVal(set, "logging"),
                  ulPrefFlags(set, "logging"), ulPrefReadIniFile((dir + "/absent").c_str())}),
            (Ints{9, 0, ulPrefVALUESET, 0}));

  // A failed write leaves the target alone and no temporary file behind.
  EXPECT_EQ(ulPrefWriteIniFile(dir.c_str(), set), 0); // a directory cannot be replaced
  EXPECT_EQ(ulPrefWriteIniFile((dir + "/no/such").c_str(), set), 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  ulPrefDestroy(set);
}

TEST_F(ulPrefFiles, ValuesWaitForTheirPreferenceAndYieldToTheCommandLine) {
  testsupport::TempDir home;
  home.write(".demo.prefs", "|5.0\n# comment\n|5.0 later.count = 5\n"
                            "  demo.keep_logfiles=8\nno entry\n.x = 1\ndemo.logging = Off\n");
  testsupport::ScopedEnv env("HOME", home.path());
  ulPrefDB *set = demoSet();
  Argv a({"prog", "+demo.logging"});
  ulPrefParse("demo", &a.argc, a.argv.data());
  // The command line wins.
  EXPECT_EQ((Ints{ulPrefIntVal(set, "keep_logfiles"), ulPrefIntVal(set, "logging")}), (Ints{8, 1}));

  ulPrefDB *later = ulPrefCreate("later");
  ulPrefAdd(later, "count", &ulIntVT, "Count.", ulPrefWord(0));
  EXPECT_EQ(ulPrefIntVal(later, "count"), 5);

  ulPrefDestroy(later);
  ulPrefDestroy(set);
}

namespace {

int removeFirst(const char *argument, const char *next, void *data) {
  auto *seen = static_cast<std::vector<std::string> *>(data);
  seen->push_back(std::string(argument) + "|" + (next != nullptr ? next : "-"));
  switch (argument[1]) {
  case 'a':
    return 1;
  case 'b':
    return 2;
  case 'c':
    return 3;
  default:
    return 0;
  }
}

} // namespace

TEST(ulCmd, Parse1RemovesWhatTheFunctionUses) {
  std::vector<std::string> seen;
  Argv a({"prog", "file", "-a", "+b", "v", "-c", "x", "-b"});
  EXPECT_EQ(ulCmdParse1(&a.argc, a.argv.data(), removeFirst, &seen), 4);
  EXPECT_EQ(a.left(), (Words{"prog", "file", "-c", "x"}));
  EXPECT_EQ(seen, (Words{"-a|+b", "+b|v", "-c|x", "-b|-"}));
  Argv b({"prog", "-z", "-a"}); // any other result ends the scan
  EXPECT_EQ(ulCmdParse1(&b.argc, b.argv.data(), removeFirst, &seen), 0);
  EXPECT_EQ(b.argc, 3);
}

TEST(ulCmd, TableDrivenParseAndFlagAcceptAbbreviations) {
  const char *valueNames[] = {"file", "output"};
  const char *flagNames[] = {"verbose", "force"};
  char *values[2] = {nullptr, nullptr};
  int flags[2] = {0, 0};
  Argv a({"prog", "-fi", "a.ltf", "-V", "-o", "out", "lib", "-x", "-force"});
  EXPECT_EQ(ulCmdParse(&a.argc, a.argv.data(), valueNames, 2, values, flagNames, 2, flags), 5);
  EXPECT_EQ((Words{values[0], values[1]}), (Words{"a.ltf", "out"}));
  EXPECT_EQ((Ints{flags[0], flags[1]}), (Ints{1, 0})); // the walk ended at the unknown -x
  EXPECT_EQ(a.left(), (Words{"prog", "lib", "-x", "-force"}));

  // "f" abbreviates both file and format: ambiguous, so unknown.
  const char *twoF[] = {"file", "format"};
  Argv b({"prog", "-f", "x"});
  EXPECT_EQ(ulCmdParse(&b.argc, b.argv.data(), twoF, 2, values, flagNames, 1, flags), 0);
  EXPECT_EQ(b.argc, 3);

  // A flag takes one named option.
  Argv c({"prog", "x", "-Debug", "-lib", "L", "-lib"});
  EXPECT_EQ((Words{ulCmdFlag(&c.argc, c.argv.data(), "-debug", 0),
                   ulCmdFlag(&c.argc, c.argv.data(), "-LIB", 1)}),
            (Words{"-Debug", "L"}));
  EXPECT_EQ(ulCmdFlag(&c.argc, c.argv.data(), "-lib", 1), nullptr); // no value follows
  EXPECT_EQ(c.left(), (Words{"prog", "x", "-lib"}));
  EXPECT_EQ(ulCmdFlag(&c.argc, c.argv.data(), "-absent", 0), nullptr);
  Argv only({"prog"});
  EXPECT_EQ(ulCmdFlag(&only.argc, only.argv.data(), "prog", 0), nullptr);
}
