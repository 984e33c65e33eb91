#include "ulErr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <utime.h>
#include <vector>

#include "support/TestSupport.h"
#include "ulMsg.h"
#include "ulStr.h"
#include "vs.h"

using testsupport::CapturedReports;
using testsupport::Ints;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

// Writes a file with the given modification time.
void touch(const std::string &path, time_t mtime) {
  testsupport::writeFile(path, "old\n");
  const utimbuf times{mtime, mtime};
  utime(path.c_str(), &times);
}

// Collects the chains ulErrReadErrorFile delivers (as verbose text).
struct Collected {
  std::vector<std::string> chains;
  int stopAfter = -1;
};

int collect(ulErr *chain, void *data) {
  auto *c = static_cast<Collected *>(data);
  c->chains.push_back(ulErr_String(chain, ulErrVERBOSE));
  ulErrDestroy(chain);
  return c->stopAfter < 0 || static_cast<int>(c->chains.size()) < c->stopAfter;
}

int readText(std::string text, Collected &out) {
  FILE *f = fmemopen(text.data(), text.size(), "r");
  int result = ulErrReadErrorFile(f, collect, &out);
  std::fclose(f);
  return result;
}

} // namespace

TEST(ulErrFormat, VerboseTerseAndContextStyles) {
  struct {
    ulErr *chain;
    const char *verbose, *terse;
  } cases[] = {
      {ulErrCreate(nullptr, "ullib", 1120, ulErrWARNING, 0, "T"), "ullib: Warning 1120: T",
       "ullib-W-1120: T"},
      {ulErrCreate("a.sym, line 3", "scrib", 2215, ulErrERROR, 0, "bad"),
       "scrib: Error 2215: a.sym, line 3: bad", "scrib-E-2215: a.sym, line 3: bad"},
      // Number 0 is left out in both styles.
      {ulErrCreate2("ullib", ulErrWARNING, "T"), "ullib: Warning: T", "ullib-W: T"},
      // A chain prints one line per record, joined by "\n+".
      {ulErrAppend(ulErrCreate2("retag", ulErrERROR, "first"),
                   ulErrCreate("x.ltf", "ullib", 1101, ulErrINTERNAL, 0, "second")),
       "retag: Error: first\n+ullib: Internal Error 1101: x.ltf: second",
       "retag-E: first\n+ullib-Z-1101: x.ltf: second"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.verbose);
    EXPECT_STREQ(ulErr_String(c.chain, ulErrVERBOSE), c.verbose);
    EXPECT_STREQ(ulErr_String(c.chain, ulErrTERSE), c.terse);
    ulErrDestroy(c.chain);
  }

  // Each context has its style; the log is always verbose.
  ulErr *e = ulErrCreate(nullptr, "ullib", 7, ulErrNOTE, 0, "n");
  ulErrStyleV[ulErrCNTX_LOGFILE] = ulErrTERSE;
  EXPECT_EQ((Strings{ulErrString(e, ulErrCNTX_STDERR), ulErrString(e, ulErrCNTX_STATUSLINE),
                     ulErrString(e, ulErrCNTX_LOGFILE)}),
            (Strings{"ullib: Note 7: n", "ullib-I-7: n", "ullib: Note 7: n"}));
  char *owned = ulErrStringAlloc(e, ulErrCNTX_ALERTBOX);
  ulStrCat("overwrite", "d");
  EXPECT_STREQ(owned, "ullib-I-7: n");
  ulStrFree(owned);
  ulErrDestroy(e);
}

TEST(ulErrSeverity, FourConversions) {
  const char *names[] = {"Error", "Status",         "Note",    "Warning",
                         "Fatal", "Internal Error", "Disabled"};
  const char letters[] = "ESIWFZD";
  for (int code = 0; code < 7; ++code) {
    SCOPED_TRACE(names[code]);
    EXPECT_STREQ(ulErrSeverityToString(code), names[code]);
    EXPECT_EQ(ulErrSeverityToChar(code), letters[code]);
    EXPECT_EQ(ulErrStringToSeverity(names[code]), code);
    EXPECT_EQ(ulErrCharToSeverity(letters[code]), code);
    EXPECT_EQ(ulErrCharToSeverity(letters[code] + ('a' - 'A')), code);
  }
  // Out of range: an error either way.
  EXPECT_EQ((Strings{ulErrSeverityToString(7), ulErrSeverityToString(-1)}),
            (Strings{"Error", "Error"}));
  EXPECT_EQ(ulErrSeverityToChar(99), 'E');
  EXPECT_EQ((Ints{ulErrStringToSeverity("wARNING"), ulErrStringToSeverity("internal error"),
                  ulErrStringToSeverity("Warn"), ulErrCharToSeverity('X')}),
            (Ints{ulErrWARNING, ulErrINTERNAL, 0, 0}));
}

TEST(ulErrLocation, FourBuildersShareOneBuffer) {
  // Each result is copied before the next call reuses the buffer.
  auto s = [](const char *p) { return std::string(p != nullptr ? p : "(null)"); };
  EXPECT_EQ((Strings{s(ulErrLocationLine("a.ltf", 12)), s(ulErrLocationLine("a.ltf", 0)),
                     s(ulErrLocationLine("", 3)), s(ulErrLocationLine(nullptr, 3)),
                     s(ulErrLocationFile("f")), s(ulErrLocationFile(""))}),
            (Strings{"a.ltf, line 12", "a.ltf", "(null)", "(null)", "f", "(null)"}));
  EXPECT_EQ((Strings{s(ulErrLocationMessage("f", 2, 9)), s(ulErrLocationMessage("f", 0, 9)),
                     s(ulErrLocationMessage(nullptr, 1, 9)), s(ulErrLocationMessage("", 0, 9)),
                     s(ulErrLocationRoutine("vsLoop2")), s(ulErrLocationRoutine(""))}),
            (Strings{"f, line 2, message 9", "f, message 9", "line 1, message 9", "message 9",
                     "in call to routine vsLoop2()", "(null)"}));

  EXPECT_EQ(ulErrLocationFile("one"), ulErrLocationFile("two"));
  std::string longName(700, 'x');
  EXPECT_EQ(std::strlen(ulErrLocationLine(longName.c_str(), 1)), 511u);
}

TEST(ulErrChain, AppendDestroyTopAppendTextAndLoop) {
  ulErr *a = ulErrCreate2("a", ulErrERROR, "a");
  EXPECT_EQ(ulErrCopy(a), a); // a has 2 references
  ulErr *b = ulErrAppend(ulErrCreate2("b", ulErrERROR, "b"), ulErrCreate2("c", ulErrERROR, "c"));
  EXPECT_EQ(ulErrAppend(a, b), a);
  EXPECT_EQ((Ints{b->references, b->next->references}), (Ints{2, 2}));
  EXPECT_EQ(ulErrAppend(a, nullptr), a);
  ulErrDestroy(a); // one holder gone: all records still alive
  EXPECT_STREQ(ulErrText(a->next->next), "c");
  ulErrDestroy(a); // freed: the sanitizer would flag a leak otherwise
  ulErrDestroy(nullptr);

  // DestroyTop cuts before the stop record.
  ulErr *c = ulErrCreate2("c", ulErrERROR, "c");
  ulErr *chain = ulErrAppend(
      ulErrAppend(ulErrCreate2("a", ulErrERROR, "a"), ulErrCreate2("b", ulErrERROR, "b")), c);
  ulErrDestroyTop(&chain, c);
  EXPECT_TRUE(chain == c && c->next == nullptr);

  ulErr *stranger = ulErrCreate2("s", ulErrERROR, "s");
  ulErrDestroyTop(&chain, stranger);
  EXPECT_EQ(chain, nullptr);
  ulErrDestroy(stranger);

  // Text appended line by line; a loop stops where its function says.
  ulErr *e = ulErrCreate2("a", ulErrERROR, nullptr);
  ulErrAppendText(e, "one");
  ulErrAppendText(e, "two");
  EXPECT_STREQ(ulErrText(e), "one\ntwo");
  // The text may itself live in the concatenation buffer.
  ulErrAppendText(e, ulStrCat("thr", "ee"));
  EXPECT_STREQ(ulErrText(e), "one\ntwo\nthree");
  chain = ulErrAppend(e, ulErrCreate2("b", ulErrERROR, "b"));
  int visited = 0;
  auto stopAtFirst = [](ulErr *, void *data) {
    ++*static_cast<int *>(data);
    return 0;
  };
  EXPECT_EQ((Ints{ulErrLoop(chain, stopAtFirst, &visited), visited}), (Ints{0, 1}));
  ulErrDestroy(chain);
}

// The rows of cases/errlines.txt, and a null line.
TEST(ulErrCreateFromString, ReadsEveryFieldOrRefusesTheLine) {
  for (const auto &row : testsupport::tableRows("util/cases/errlines.txt")) {
    SCOPED_TRACE(row.at(0));
    ulErr *e = ulErrCreateFromString(row[0].c_str());
    if (row.size() == 1) {
      EXPECT_EQ(e, nullptr);
      continue;
    }
    ASSERT_NE(e, nullptr);
    const char *location = ulErrLocation(e);
    EXPECT_EQ(Strings(row.begin() + 1, row.end()),
              (Strings{ulErrApp(e), ulErrSeverityToString(ulErrSeverity(e)),
                       std::to_string(ulErrNum(e)), location ? location : "-", ulErrText(e)}));
    ulErrDestroy(e);
  }
  EXPECT_EQ(ulErrCreateFromString(nullptr), nullptr);
}

TEST(ulErrReadErrorFile, ChainsContinuationsOtherLinesAndStopping) {
  // A printed chain reads back as one chain; "+" lines join the record
  // before them, lines of blanks and ": " its text.
  ulErr *chain = ulErrAppend(ulErrCreate2("retag", ulErrERROR, "first"),
                             ulErrCreate("x.ltf", "ullib", 1120, ulErrWARNING, 0, "second"));
  const std::string printed = ulErr_String(chain, ulErrVERBOSE);
  ulErrDestroy(chain);
  std::string text = printed + "\na: Error: one\n"
                               "   : more of one\n"
                               "noise line\n"
                               "+b: Note: orphan plus starts a chain\n"
                               "c: Warning 3: three";
  Collected got;
  EXPECT_EQ(readText(text, got), 1);
  EXPECT_EQ(got.chains, (std::vector<std::string>{printed, "a: Error: one\n   : more of one",
                                                  "b: Note: orphan plus starts a chain",
                                                  "c: Warning 3: three"}));
  Collected stopped{.chains = {}, .stopAfter = 1}, none;
  EXPECT_EQ((Ints{readText(text, stopped), static_cast<long>(stopped.chains.size()),
                  readText("nothing here\n", none), static_cast<long>(none.chains.size())}),
            (Ints{0, 1, 1, 0}));
}

TEST(ulErrReport, PrintsCountsReleasesAndTakesThePendingError) {
  CapturedReports out;
  ulErrLogEnable(0);
  ulErrStream *stream = ulErrStreamCreate();
  ulErrReport(stream, ulErrCreate2("retag", ulErrWARNING, "careful"));
  ulErrReport2("retag", ulErrSTATUS, "status line");
  ulErrReport(stream, ulErrCreate2("retag", ulErrDISABLED, "silent"));
  ulErrOut3("here", "app", ulErrNOTE, "hooked");
  ulErrYell("%s=%d\n", "x", 3);
  const std::string printed = "retag: Warning: careful\nretag: Status: status line\n"
                              "app: Note: here: hooked\nx=3\n";
  EXPECT_EQ(out.text(), printed);
  // Batch use keeps counters only.
  EXPECT_EQ(
      (Ints{ulErrStreamCount(stream), ulErrStreamBaddest(stream), ulErrStreamExitCode(stream)}),
      (Ints{0, ulErrWARNING, 1}));
  ulErrStreamDestroy(stream);

  // A pending exception error is appended to the report and cleared.
  ulExErrV = ulErrCreate2("ullib", ulErrERROR, "cause");
  ulErrReport(nullptr, ulErrCreate2("retag", ulErrERROR, "effect"));
  EXPECT_EQ(ulExErrV, nullptr);

  ulExErrV = ulErrCreate2("ullib", ulErrNOTE, "itself");
  ulErrReport(nullptr, ulExErrV); // reporting the pending error itself
  ulExErrV = ulErrCreate2("ullib", ulErrNOTE, "inside");
  ulErrReport(nullptr, ulErrAppend(ulErrCreate2("retag", ulErrNOTE, "wrap"), ulExErrV));
  EXPECT_EQ(ulExErrV, nullptr);
  EXPECT_EQ(out.text().substr(printed.size()),
            "retag: Error: effect\n+ullib: Error: cause\nullib: Note: itself\n"
            "retag: Note: wrap\n+ullib: Note: inside\n");
}

TEST(ulErrReportDeathTest, FatalEndsWithStatus3AndInternalWithACore) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ulErrLogEnable(0);
  EXPECT_EXIT(ulErrReport2("retag", ulErrFATAL, "no way"), testing::ExitedWithCode(3),
              "\n\\*\\*\\* Fatal error encountered \\*\\*\\*\nretag: Fatal: no way\n");
  EXPECT_DEATH(ulErrReport2("ulMem", ulErrINTERNAL, "Attempt to free unallocated space - 10"),
               "ulMem: Internal Error: Attempt to free");
}

TEST(ulErrStream, CountersBaddestExitCodesAndAlerts) {
  ulErrStream *s = ulErrStreamCreate();
  EXPECT_EQ((Ints{ulErrStreamBaddest(s), ulErrStreamExitCode(s)}), (Ints{ulErrDISABLED, 0}));
  // Each record added, and the worst severity and exit code after it.
  const int steps[][3] = {
      {ulErrSTATUS, ulErrSTATUS, 0},  {ulErrNOTE, ulErrNOTE, 0},
      {ulErrNOTE, ulErrNOTE, 0},      {ulErrWARNING, ulErrWARNING, 1},
      {ulErrFATAL, ulErrWARNING, 1},  {ulErrERROR, ulErrERROR, 2},
      {ulErrDISABLED, ulErrERROR, 2}, {ulErrINTERNAL, ulErrINTERNAL, 3},
  };
  for (auto [severity, baddest, code] : steps) {
    SCOPED_TRACE(ulErrSeverityToString(severity));
    ulErr *e = ulErrCreate2("t", severity, "x");
    ulErrStreamAdd(s, e);
    ulErrDestroy(e);
    EXPECT_EQ((Ints{ulErrStreamBaddest(s), ulErrStreamExitCode(s)}), (Ints{baddest, code}));
  }
  int notes = -1, warnings = -1, errors = -1, internals = -1;
  EXPECT_EQ(ulErrStreamSummary(s, &notes, &warnings, &errors, &internals), 1);
  EXPECT_EQ((Ints{notes, warnings, errors, internals, ulErrStreamCount(s),
                  ulErrSeverity(ulErrStreamError(s, 7))}),
            (Ints{2, 1, 1, 1, 8, ulErrINTERNAL}));
  EXPECT_EQ(ulErrStreamError(s, 8), nullptr);
  ulErrStreamDestroy(s);

  // A stream shown in an alert keeps its chains and delays its destruction.
  ulErrStream *alert = ulErrStreamCreate();
  ulErrStreamSetAlert(alert, 1);
  ulErr *e = ulErrCreate2("t", ulErrERROR, "kept");
  ulErrStreamAdd(alert, e);
  ulErrDestroy(e);
  ulErrStreamDestroy(alert); // pending while shown
  EXPECT_EQ(ulErrStreamGetAlert(alert), 1);
  EXPECT_STREQ(ulErrText(ulErrStreamError(alert, 0)), "kept");
  ulErrStreamSetAlert(alert, 0); // frees stream and chain (LeakSanitizer checks)
}

// Logs of a program "retag" go to a fresh directory; reports are captured.
// Each test starts and leaves the error layer as a fresh process has it.
class ulErrLogFile : public ::testing::Test {
protected:
  void start(int keep, const char *argv0 = "retag") {
    ulErrLogSetArgv0(argv0);
    ulErrLogKeepFiles(keep);
  }
  testsupport::FreshStartUp fresh;
  TempDir dir;
  ScopedEnv logDir{"UL_LOGDIR", dir.path()};
  CapturedReports out;
};

TEST_F(ulErrLogFile, LogsWarningsButNeverStatusOr1120) {
  touch(dir / "retag.err", 1000);
  start(0, "/usr/bin/retag");
  ulErrLogEnable(1); // the first call acts although logging is on: the old log goes
  EXPECT_FALSE(fs::exists(dir / "retag.err"));
  ulErrReport2("retag", ulErrSTATUS, "status");
  ulErrReport(nullptr, ulErrCreate(nullptr, "ulErrLog", 1120, ulErrWARNING, 0, "own warning"));
  EXPECT_FALSE(fs::exists(dir / "retag.err"));
  ulErrReport2("retag", ulErrWARNING, "logged");
  ulErrReport(nullptr, ulErrAppend(ulErrCreate2("retag", ulErrERROR, "two"),
                                   ulErrCreate2("ullib", ulErrNOTE, "lines")));
  ulErrLogEnable(0);
  ulErrReport2("retag", ulErrERROR, "not logged");
  ulErrLogEnable(1); // a new log under the same name, after the old one
  ulErrReport2("retag", ulErrERROR, "three");
  ulErrLogCloseFile();
  EXPECT_EQ(
      testsupport::readFile(dir / "retag.err"),
      "retag: Warning: logged\nretag: Error: two\n+ullib: Note: lines\nretag: Error: three\n");
  ASSERT_NE(ulErrLogFileName(), nullptr);
  EXPECT_EQ(std::string(ulErrLogFileName()), dir / "retag.err");
}

TEST_F(ulErrLogFile, KeptLogsCarryThePidAndOnlyTheNewestAreKept) {
  for (int i = 1; i <= 5; ++i)
    touch(dir / ("retag-" + std::to_string(i) + ".err"), 100000 * i);
  touch(dir / "other-1.err", 1);
  start(3);
  ulErrReport2("retag", ulErrERROR, "e");
  ulErrLogCloseFile();
  for (int i = 1; i <= 5; ++i)
    EXPECT_EQ(fs::exists(dir / ("retag-" + std::to_string(i) + ".err")), i >= 3) << i;
  EXPECT_TRUE(fs::exists(dir / "other-1.err"));
  std::string mine = dir / ("retag-" + std::to_string(getpid()) + ".err");
  EXPECT_EQ(testsupport::readFile(mine), "retag: Error: e\n");

  // Only the newest files of a pattern are kept.
  for (int i = 0; i < 25; ++i) // more than the first 20 slots of the list
    touch(dir / ("f" + std::to_string(i) + ".log"), 1000 + i);
  EXPECT_EQ(ulErrSaveOnlyNewestFiles((dir / "f*.log").c_str(), 4), 25);
  for (int i = 0; i < 25; ++i)
    EXPECT_EQ(fs::exists(dir / ("f" + std::to_string(i) + ".log")), i >= 21) << i;
  EXPECT_EQ(ulErrSaveOnlyNewestFiles((dir / "none*.log").c_str(), 4), 0);
}

TEST_F(ulErrLogFile, UnopenableLogWarnsOnceAndDisablesLogging) {
  ScopedEnv missing("UL_LOGDIR", "/nonexistent/ulErrTest");
  start(0);
  ulErrReport2("retag", ulErrERROR, "first");
  ulErrReport2("retag", ulErrERROR, "second");
  EXPECT_EQ(out.text(), "ulErrLog: Warning 1120: Can't open error log file "
                        "`/nonexistent/ulErrTest/retag.err', logging disabled.\n"
                        "retag: Error: first\nretag: Error: second\n");
}

// Compiles source into NAME.umb in a fresh directory with the build's message
// compiler and makes that the current directory, where message files are
// looked for first. The library's message file is closed and the error
// layer (with its log) reset before and after each test, so that both are
// looked for again in the directory of the test.
class ulErrBuildFromFile : public ::testing::Test {
protected:
  void SetUp() override { ulMsgFileClose(ulMsgFile()); }
  void TearDown() override { ulMsgFileClose(ulMsgFile()); }
  void compile(const std::string &name, const std::string &source) {
    std::string msg = dir.write(name + ".msg", source);
    std::string cmd = std::string(vsExeDir()) + "msgc " + msg + " " + (dir / (name + ".umb"));
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  testsupport::FreshStartUp fresh;
  TempDir dir;
  testsupport::ScopedDefaultDir cwd{dir.path()};
};

// The rows of cases/errbuild.txt, and a well-formed text with an argument.
TEST_F(ulErrBuildFromFile, SeverityComesFromTheBracketedLetterOrTheChainTellsWhyNot) {
  const auto rows = testsupport::tableRows("util/cases/errbuild.txt");
  std::string source = "application \"errbuild\"\n5001 \"[W]fine %d\"\n";
  for (const auto &row : rows)
    source += row.at(0) + " \"" + row.at(1) + "\"\n";
  compile("errbuild", source);
  ulMsgHandle file = ulMsgFileOpen("errbuild", nullptr, nullptr, nullptr, nullptr);
  ulErr *e = ulErrBuild("here", file, 5001, 7);
  EXPECT_STREQ(ulErr_String(e, ulErrVERBOSE), "errbuild: Warning 5001: here: fine 7");
  ulErrDestroy(e);
  for (const auto &row : rows) {
    e = ulErrBuild(nullptr, file, std::stoi(row[0]));
    EXPECT_EQ(ulErr_String(e, ulErrTERSE), row.at(2));
    ulErrDestroy(e);
  }
  ulMsgFileClose(file);
}

TEST_F(ulErrBuildFromFile, BrokenLibraryMessagesEndInTheFixedRecord) {
  compile("ullib", "application \"ullib\"\nversion \"5.0\"\nrelease 5.0.0\n"
                   "1101 \"also broken\"\n1144 \"no bracket\"\n");
  ulErr *e = ulErrBuild(nullptr, ulMsgFile(), 1144);
  EXPECT_STREQ(ulErr_String(e, ulErrVERBOSE),
               "ullib: Error: in call to routine ulErrBuildVa(): Problem building internal Error "
               "Handling message.  Perhaps someone should not have alterned the ullib message "
               "file.\n+ullib: Error 1101: also broken\n+ullib: Error 1144: no bracket");
  ulErrDestroy(e);
}
