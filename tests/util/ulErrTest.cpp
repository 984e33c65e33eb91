#include "ulErr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

#include "ulMsg.h"
#include "ulStr.h"
#include "vs.h"

namespace {

// Everything printed on the report stream while the object lives.
class CapturedReports {
public:
  CapturedReports() : file_(std::tmpfile()), saved_(ulErrFileV) { ulErrFileV = file_; }
  ~CapturedReports() {
    ulErrFileV = saved_;
    std::fclose(file_);
  }
  std::string text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string out;
    for (int c; (c = std::fgetc(file_)) != EOF;)
      out.push_back(static_cast<char>(c));
    return out;
  }

private:
  FILE *file_;
  FILE *saved_;
};

// A fresh directory for log files, removed with its files afterwards.
class TempDir {
public:
  TempDir() {
    char templ[] = "/tmp/ulErrTestXXXXXX";
    path_ = mkdtemp(templ);
  }
  ~TempDir() {
    std::string cmd = "rm -rf '" + path_ + "'";
    (void)std::system(cmd.c_str());
  }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  const std::string &path() const { return path_; }

private:
  std::string path_;
};

bool exists(const std::string &path) {
  return access(path.c_str(), F_OK) == 0;
}

std::string slurp(const std::string &path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void touch(const std::string &path, time_t mtime) {
  std::ofstream(path) << "old\n";
  struct utimbuf times {
    mtime, mtime
  };
  utime(path.c_str(), &times);
}

// Collects the chains ulErrReadErrorFile delivers (as verbose text).
struct Collected {
  std::vector<std::string> chains;
  std::vector<int> lengths;
  int stopAfter = -1;
};

int collect(ulErr *chain, void *data) {
  auto *c = static_cast<Collected *>(data);
  c->chains.push_back(ulErr_String(chain, ulErrVERBOSE));
  int n = 0;
  for (ulErr *r = chain; r != nullptr; r = r->next)
    ++n;
  c->lengths.push_back(n);
  ulErrDestroy(chain);
  return c->stopAfter < 0 || static_cast<int>(c->chains.size()) < c->stopAfter;
}

int readText(const std::string &text, Collected &out) {
  FILE *f = std::tmpfile();
  std::fputs(text.c_str(), f);
  std::rewind(f);
  int result = ulErrReadErrorFile(f, collect, &out);
  std::fclose(f);
  return result;
}

} // namespace

// ---- Formatting ----------------------------------------------------------------------

TEST(ulErrFormat, VerboseAndTerseForms) {
  ulErr *e = ulErrCreate(nullptr, "ullib", 1120, ulErrWARNING, 0, "T");
  EXPECT_STREQ(ulErr_String(e, ulErrVERBOSE), "ullib: Warning 1120: T");
  EXPECT_STREQ(ulErr_String(e, ulErrTERSE), "ullib-W-1120: T");
  ulErrDestroy(e);

  ulErr *located = ulErrCreate("a.sym, line 3", "scrib", 2215, ulErrERROR, 0, "bad");
  EXPECT_STREQ(ulErr_String(located, ulErrVERBOSE), "scrib: Error 2215: a.sym, line 3: bad");
  EXPECT_STREQ(ulErr_String(located, ulErrTERSE), "scrib-E-2215: a.sym, line 3: bad");
  ulErrDestroy(located);
}

TEST(ulErrFormat, NumberZeroIsLeftOutInBothStyles) {
  ulErr *e = ulErrCreate2("ullib", ulErrWARNING, "T");
  EXPECT_STREQ(ulErr_String(e, ulErrVERBOSE), "ullib: Warning: T");
  EXPECT_STREQ(ulErr_String(e, ulErrTERSE), "ullib-W: T");
  ulErrDestroy(e);
}

TEST(ulErrFormat, ChainPrintsOneLinePerRecordJoinedByPlus) {
  ulErr *chain = ulErrAppend(ulErrCreate2("retag", ulErrERROR, "first"),
                             ulErrCreate("x.ltf", "ullib", 1101, ulErrINTERNAL, 0, "second"));
  EXPECT_STREQ(ulErr_String(chain, ulErrVERBOSE),
               "retag: Error: first\n+ullib: Internal Error 1101: x.ltf: second");
  EXPECT_STREQ(ulErr_String(chain, ulErrTERSE), "retag-E: first\n+ullib-Z-1101: x.ltf: second");
  ulErrDestroy(chain);
}

TEST(ulErrFormat, ContextsUseTheirStylesAndTheLogIsAlwaysVerbose) {
  ulErr *e = ulErrCreate(nullptr, "ullib", 7, ulErrNOTE, 0, "n");
  EXPECT_STREQ(ulErrString(e, ulErrCNTX_STDERR), "ullib: Note 7: n");
  EXPECT_STREQ(ulErrString(e, ulErrCNTX_STATUSLINE), "ullib-I-7: n");
  ulErrStyleV[ulErrCNTX_LOGFILE] = ulErrTERSE;
  EXPECT_STREQ(ulErrString(e, ulErrCNTX_LOGFILE), "ullib: Note 7: n");
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
    EXPECT_STREQ(ulErrSeverityToString(code), names[code]);
    EXPECT_EQ(ulErrSeverityToChar(code), letters[code]);
    EXPECT_EQ(ulErrStringToSeverity(names[code]), code);
    EXPECT_EQ(ulErrCharToSeverity(letters[code]), code);
    EXPECT_EQ(ulErrCharToSeverity(letters[code] + ('a' - 'A')), code);
  }
  EXPECT_STREQ(ulErrSeverityToString(7), "Error");
  EXPECT_STREQ(ulErrSeverityToString(-1), "Error");
  EXPECT_EQ(ulErrSeverityToChar(99), 'E');
  EXPECT_EQ(ulErrStringToSeverity("wARNING"), ulErrWARNING);
  EXPECT_EQ(ulErrStringToSeverity("internal error"), ulErrINTERNAL);
  EXPECT_EQ(ulErrStringToSeverity("Warn"), 0);
  EXPECT_EQ(ulErrCharToSeverity('X'), 0);
}

TEST(ulErrLocation, FourBuildersShareOneBuffer) {
  EXPECT_STREQ(ulErrLocationLine("a.ltf", 12), "a.ltf, line 12");
  EXPECT_STREQ(ulErrLocationLine("a.ltf", 0), "a.ltf");
  EXPECT_EQ(ulErrLocationLine("", 3), nullptr);
  EXPECT_EQ(ulErrLocationLine(nullptr, 3), nullptr);
  EXPECT_STREQ(ulErrLocationFile("f"), "f");
  EXPECT_EQ(ulErrLocationFile(""), nullptr);
  EXPECT_STREQ(ulErrLocationMessage("f", 2, 9), "f, line 2, message 9");
  EXPECT_STREQ(ulErrLocationMessage("f", 0, 9), "f, message 9");
  EXPECT_STREQ(ulErrLocationMessage(nullptr, 1, 9), "line 1, message 9");
  EXPECT_STREQ(ulErrLocationMessage("", 0, 9), "message 9");
  EXPECT_STREQ(ulErrLocationRoutine("vsLoop2"), "in call to routine vsLoop2()");
  EXPECT_EQ(ulErrLocationRoutine(""), nullptr);

  char *first = ulErrLocationFile("one");
  char *second = ulErrLocationFile("two");
  EXPECT_EQ(first, second);
  std::string longName(700, 'x');
  EXPECT_EQ(std::strlen(ulErrLocationLine(longName.c_str(), 1)), 511u);
}

// ---- Chains and references ----------------------------------------------------------------

TEST(ulErrChain, AppendGivesSecondChainTheReferencesOfTheFirst) {
  ulErr *a = ulErrCreate2("a", ulErrERROR, "a");
  ulErrCopy(a); // a has 2 references
  ulErr *b = ulErrAppend(ulErrCreate2("b", ulErrERROR, "b"), ulErrCreate2("c", ulErrERROR, "c"));
  EXPECT_EQ(ulErrAppend(a, b), a);
  EXPECT_EQ(b->references, 2);
  EXPECT_EQ(b->next->references, 2);
  EXPECT_EQ(ulErrAppend(a, nullptr), a);
  ulErrDestroy(a); // one holder gone: all records still alive
  EXPECT_STREQ(ulErrText(a->next->next), "c");
  ulErrDestroy(a);
}

TEST(ulErrChain, CopySharesRecordsAndDestroyFreesAtZero) {
  ulErr *e = ulErrCreate("loc", "app", 5, ulErrNOTE, 0, "text");
  EXPECT_EQ(ulErrCopy(e), e);
  EXPECT_EQ(e->references, 2);
  ulErrDestroy(e);
  EXPECT_STREQ(ulErrApp(e), "app");
  EXPECT_STREQ(ulErrLocation(e), "loc");
  EXPECT_EQ(ulErrNum(e), 5);
  EXPECT_EQ(ulErrSeverity(e), ulErrNOTE);
  ulErrDestroy(e); // freed: the sanitizer would flag a leak otherwise
  ulErrDestroy(nullptr);
}

TEST(ulErrChain, DestroyTopCutsBeforeTheStopRecord) {
  ulErr *c = ulErrCreate2("c", ulErrERROR, "c");
  ulErr *chain = ulErrAppend(
      ulErrAppend(ulErrCreate2("a", ulErrERROR, "a"), ulErrCreate2("b", ulErrERROR, "b")), c);
  ulErrDestroyTop(&chain, c);
  EXPECT_EQ(chain, c);
  EXPECT_EQ(c->next, nullptr);

  ulErr *stranger = ulErrCreate2("s", ulErrERROR, "s");
  ulErrDestroyTop(&chain, stranger);
  EXPECT_EQ(chain, nullptr);
  ulErrDestroy(stranger);
}

TEST(ulErrChain, AppendTextAndLoopStop) {
  ulErr *e = ulErrCreate2("a", ulErrERROR, nullptr);
  ulErrAppendText(e, "one");
  ulErrAppendText(e, "two");
  EXPECT_STREQ(ulErrText(e), "one\ntwo");
  ulErr *chain = ulErrAppend(e, ulErrCreate2("b", ulErrERROR, "b"));
  int visited = 0;
  auto stopAtFirst = [](ulErr *, void *data) {
    ++*static_cast<int *>(data);
    return 0;
  };
  EXPECT_EQ(ulErrLoop(chain, stopAtFirst, &visited), 0);
  EXPECT_EQ(visited, 1);
  ulErrDestroy(chain);
}

// ---- Reading error text back ---------------------------------------------------------------

TEST(ulErrCreateFromString, ReadsEveryField) {
  ulErr *e = ulErrCreateFromString("  +ullib: Warning 1120: a.sym, line 3: it: broke");
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(ulErrApp(e), "ullib");
  EXPECT_EQ(ulErrSeverity(e), ulErrWARNING);
  EXPECT_EQ(ulErrNum(e), 1120);
  EXPECT_STREQ(ulErrLocation(e), "a.sym, line 3");
  EXPECT_STREQ(ulErrText(e), "it: broke");
  ulErrDestroy(e);

  e = ulErrCreateFromString("retag: Note: just text");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(ulErrLocation(e), nullptr);
  EXPECT_STREQ(ulErrText(e), "just text");
  EXPECT_EQ(ulErrNum(e), 0);
  ulErrDestroy(e);
}

TEST(ulErrCreateFromString, InternalErrorWithNumberReadsAsErrorZero) {
  ulErr *e = ulErrCreateFromString("ullib: Internal Error 1101: x");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(ulErrSeverity(e), ulErrERROR);
  EXPECT_EQ(ulErrNum(e), 0);
  ulErrDestroy(e);
}

TEST(ulErrCreateFromString, RefusesLinesWithoutThreeFieldsOrSeverity) {
  EXPECT_EQ(ulErrCreateFromString("just: two"), nullptr);
  EXPECT_EQ(ulErrCreateFromString("no separators"), nullptr);
  EXPECT_EQ(ulErrCreateFromString("app:  : text"), nullptr);
  EXPECT_EQ(ulErrCreateFromString(nullptr), nullptr);
}

TEST(ulErrReadErrorFile, ReadsAPrintedChainBackAsOneChain) {
  ulErr *chain = ulErrAppend(ulErrCreate2("retag", ulErrERROR, "first"),
                             ulErrCreate("x.ltf", "ullib", 1120, ulErrWARNING, 0, "second"));
  std::string text = std::string(ulErr_String(chain, ulErrVERBOSE)) + "\n";
  ulErrDestroy(chain);

  Collected got;
  EXPECT_EQ(readText(text, got), 1);
  ASSERT_EQ(got.chains.size(), 1u);
  EXPECT_EQ(got.lengths[0], 2);
  EXPECT_EQ(got.chains[0] + "\n", text);
}

TEST(ulErrReadErrorFile, ContinuationsOtherLinesAndStopping) {
  std::string text = "a: Error: one\n"
                     "   : more of one\n"
                     "noise line\n"
                     "+b: Note: orphan plus starts a chain\n"
                     "c: Warning 3: three";
  Collected got;
  EXPECT_EQ(readText(text, got), 1);
  ASSERT_EQ(got.chains.size(), 3u);
  EXPECT_EQ(got.chains[0], "a: Error: one\n   : more of one");
  EXPECT_EQ(got.chains[1], "b: Note: orphan plus starts a chain");
  EXPECT_EQ(got.chains[2], "c: Warning 3: three");

  Collected stopped;
  stopped.stopAfter = 1;
  EXPECT_EQ(readText(text, stopped), 0);
  EXPECT_EQ(stopped.chains.size(), 1u);

  Collected none;
  EXPECT_EQ(readText("nothing here\n", none), 1);
  EXPECT_TRUE(none.chains.empty());
}

// ---- Reports and streams --------------------------------------------------------------------

TEST(ulErrReport, PrintsCountsAndReleases) {
  CapturedReports out;
  ulErrLogEnable(0);
  ulErrStream *stream = ulErrStreamCreate();
  ulErrReport(stream, ulErrCreate2("retag", ulErrWARNING, "careful"));
  ulErrReport2("retag", ulErrSTATUS, "status line");
  ulErrReport(stream, ulErrCreate2("retag", ulErrDISABLED, "silent"));
  EXPECT_EQ(out.text(), "retag: Warning: careful\nretag: Status: status line\n");
  EXPECT_EQ(ulErrStreamCount(stream), 0); // batch use keeps counters only
  EXPECT_EQ(ulErrStreamBaddest(stream), ulErrWARNING);
  EXPECT_EQ(ulErrStreamExitCode(stream), 1);
  ulErrStreamDestroy(stream);
}

TEST(ulErrReport, PendingExceptionErrorIsAppendedAndCleared) {
  CapturedReports out;
  ulErrLogEnable(0);
  ulExErrV = ulErrCreate2("ullib", ulErrERROR, "cause");
  ulErrReport(nullptr, ulErrCreate2("retag", ulErrERROR, "effect"));
  EXPECT_EQ(ulExErrV, nullptr);

  ulExErrV = ulErrCreate2("ullib", ulErrNOTE, "itself");
  ulErrReport(nullptr, ulExErrV); // reporting the pending error itself
  ulExErrV = ulErrCreate2("ullib", ulErrNOTE, "inside");
  ulErrReport(nullptr, ulErrAppend(ulErrCreate2("retag", ulErrNOTE, "wrap"), ulExErrV));
  EXPECT_EQ(ulExErrV, nullptr);
  EXPECT_EQ(out.text(), "retag: Error: effect\n+ullib: Error: cause\nullib: Note: itself\n"
                        "retag: Note: wrap\n+ullib: Note: inside\n");
}

TEST(ulErrReport, OutHookAndYell) {
  CapturedReports out;
  ulErrLogEnable(0);
  ulErrOut3("here", "app", ulErrNOTE, "hooked");
  ulErrYell("%s=%d\n", "x", 3);
  EXPECT_EQ(out.text(), "app: Note: here: hooked\nx=3\n");
}

TEST(ulErrReportDeathTest, FatalEndsWithStatus3AndInternalWithACore) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ulErrLogEnable(0);
  EXPECT_EXIT(ulErrReport2("retag", ulErrFATAL, "no way"), testing::ExitedWithCode(3),
              "\n\\*\\*\\* Fatal error encountered \\*\\*\\*\nretag: Fatal: no way\n");
  EXPECT_DEATH(ulErrReport2("ulMem", ulErrINTERNAL, "Attempt to free unallocated space - 10"),
               "ulMem: Internal Error: Attempt to free");
}

TEST(ulErrStream, CountersBaddestAndExitCodes) {
  ulErrStream *s = ulErrStreamCreate();
  EXPECT_EQ(ulErrStreamBaddest(s), ulErrDISABLED);
  EXPECT_EQ(ulErrStreamExitCode(s), 0);

  const int severities[] = {ulErrSTATUS, ulErrNOTE,  ulErrNOTE,    ulErrWARNING,
                            ulErrFATAL,  ulErrERROR, ulErrDISABLED};
  const int baddest[] = {ulErrSTATUS,  ulErrNOTE,  ulErrNOTE, ulErrWARNING,
                         ulErrWARNING, ulErrERROR, ulErrERROR};
  const int codes[] = {0, 0, 0, 1, 1, 2, 2};
  for (int i = 0; i < 7; ++i) {
    ulErr *e = ulErrCreate2("t", severities[i], "x");
    ulErrStreamAdd(s, e);
    ulErrDestroy(e);
    EXPECT_EQ(ulErrStreamBaddest(s), baddest[i]) << i;
    EXPECT_EQ(ulErrStreamExitCode(s), codes[i]) << i;
  }
  ulErr *internal = ulErrCreate2("t", ulErrINTERNAL, "x");
  ulErrStreamAdd(s, internal);
  ulErrDestroy(internal);
  EXPECT_EQ(ulErrStreamBaddest(s), ulErrINTERNAL);
  EXPECT_EQ(ulErrStreamExitCode(s), 3);

  int notes = -1, warnings = -1, errors = -1, internals = -1;
  EXPECT_EQ(ulErrStreamSummary(s, &notes, &warnings, &errors, &internals), 1);
  EXPECT_EQ(notes, 2);
  EXPECT_EQ(warnings, 1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(internals, 1);

  EXPECT_EQ(ulErrStreamCount(s), 8);
  EXPECT_STREQ(ulErrText(ulErrStreamError(s, 0)), "x");
  EXPECT_EQ(ulErrSeverity(ulErrStreamError(s, 7)), ulErrINTERNAL);
  EXPECT_EQ(ulErrStreamError(s, 8), nullptr);
  ulErrStreamDestroy(s);
}

TEST(ulErrStream, AlertKeepsChainsAndDelaysDestruction) {
  ulErrStream *s = ulErrStreamCreate();
  ulErrStreamSetAlert(s, 1);
  ulErr *e = ulErrCreate2("t", ulErrERROR, "kept");
  ulErrStreamAdd(s, e);
  ulErrDestroy(e);
  ulErrStreamDestroy(s); // pending while shown
  EXPECT_EQ(ulErrStreamGetAlert(s), 1);
  EXPECT_STREQ(ulErrText(ulErrStreamError(s, 0)), "kept");
  ulErrStreamSetAlert(s, 0); // frees stream and chain (LeakSanitizer checks)
}

// ---- The error log ------------------------------------------------------------------------

TEST(ulErrLog, LogsWarningsButNeverStatusOr1120) {
  TempDir dir;
  setenv("UL_LOGDIR", dir.path().c_str(), 1);
  CapturedReports out;
  ulErrLogSetArgv0("/usr/bin/retag");
  ulErrLogKeepFiles(0);
  ulErrReport2("retag", ulErrSTATUS, "status");
  ulErrReport(nullptr, ulErrCreate(nullptr, "ulErrLog", 1120, ulErrWARNING, 0, "own warning"));
  EXPECT_FALSE(exists(dir.file("retag.err")));
  ulErrReport2("retag", ulErrWARNING, "logged");
  ulErrReport(nullptr, ulErrAppend(ulErrCreate2("retag", ulErrERROR, "two"),
                                   ulErrCreate2("ullib", ulErrNOTE, "lines")));
  ulErrLogCloseFile();
  EXPECT_EQ(slurp(dir.file("retag.err")),
            "retag: Warning: logged\nretag: Error: two\n+ullib: Note: lines\n");
  ASSERT_NE(ulErrLogFileName(), nullptr);
  EXPECT_EQ(std::string(ulErrLogFileName()), dir.file("retag.err"));
}

TEST(ulErrLog, FirstOpenRemovesTheLogOfAnEarlierRun) {
  TempDir dir;
  setenv("UL_LOGDIR", dir.path().c_str(), 1);
  touch(dir.file("retag.err"), 1000);
  ulErrLogSetArgv0("retag");
  ulErrLogKeepFiles(0);
  ulErrLogEnable(1); // the first call acts although logging is already on
  EXPECT_FALSE(exists(dir.file("retag.err")));
}

TEST(ulErrLog, KeptLogsCarryThePidAndOldOnesArePruned) {
  TempDir dir;
  setenv("UL_LOGDIR", dir.path().c_str(), 1);
  for (int i = 1; i <= 5; ++i)
    touch(dir.file("retag-" + std::to_string(i) + ".err"), 100000 * i);
  touch(dir.file("other-1.err"), 1);
  CapturedReports out;
  ulErrLogSetArgv0("retag");
  ulErrLogKeepFiles(3);
  ulErrReport2("retag", ulErrERROR, "e");
  ulErrLogCloseFile();
  EXPECT_FALSE(exists(dir.file("retag-1.err")));
  EXPECT_FALSE(exists(dir.file("retag-2.err")));
  for (int i = 3; i <= 5; ++i)
    EXPECT_TRUE(exists(dir.file("retag-" + std::to_string(i) + ".err"))) << i;
  EXPECT_TRUE(exists(dir.file("other-1.err")));
  std::string mine = dir.file("retag-" + std::to_string(getpid()) + ".err");
  EXPECT_EQ(slurp(mine), "retag: Error: e\n");
}

TEST(ulErrLog, UnopenableLogWarnsOnceAndDisablesLogging) {
  setenv("UL_LOGDIR", "/nonexistent/ulErrTest", 1);
  CapturedReports out;
  ulErrLogSetArgv0("retag");
  ulErrLogKeepFiles(0);
  ulErrReport2("retag", ulErrERROR, "first");
  ulErrReport2("retag", ulErrERROR, "second");
  EXPECT_EQ(out.text(), "ulErrLog: Warning 1120: Can't open error log file "
                        "`/nonexistent/ulErrTest/retag.err', logging disabled.\n"
                        "retag: Error: first\nretag: Error: second\n");
}

TEST(ulErrLog, SaveOnlyNewestFiles) {
  TempDir dir;
  for (int i = 0; i < 25; ++i) // more than the first 20 slots of the list
    touch(dir.file("f" + std::to_string(i) + ".log"), 1000 + i);
  EXPECT_EQ(ulErrSaveOnlyNewestFiles(dir.file("f*.log").c_str(), 4), 25);
  for (int i = 0; i < 25; ++i)
    EXPECT_EQ(exists(dir.file("f" + std::to_string(i) + ".log")), i >= 21) << i;
  EXPECT_EQ(ulErrSaveOnlyNewestFiles(dir.file("none*.log").c_str(), 4), 0);
}

TEST(ulErrLog, DisablingStopsLoggingAndReenablingMakesANewName) {
  TempDir dir;
  setenv("UL_LOGDIR", dir.path().c_str(), 1);
  CapturedReports out;
  ulErrLogSetArgv0("retag");
  ulErrLogKeepFiles(0);
  ulErrReport2("retag", ulErrERROR, "one");
  ulErrLogEnable(0);
  EXPECT_EQ(ulErrLogIsEnabled(), 0);
  ulErrReport2("retag", ulErrERROR, "not logged");
  ulErrLogEnable(1);
  ulErrReport2("retag", ulErrERROR, "three");
  ulErrLogCloseFile();
  EXPECT_EQ(slurp(dir.file("retag.err")), "retag: Error: one\nretag: Error: three\n");
}

// ---- Building from message files ---------------------------------------------------------

namespace {

std::string binDir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  buf[n > 0 ? n : 0] = '\0';
  std::string path = buf;
  return path.substr(0, path.rfind('/') + 1);
}

// Compiles source into NAME.umb in dir with the build's message compiler and
// makes dir the current directory, where message files are looked for first.
void compileMessages(const TempDir &dir, const std::string &name, const std::string &source) {
  std::ofstream(dir.file(name + ".msg")) << source;
  std::string cmd = binDir() + "msgc " + dir.file(name + ".msg") + " " + dir.file(name + ".umb");
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
}

const char *kBuildMessages = "application \"errbuild\"\n"
                             "5001 \"[W]fine %d\"\n"
                             "5002 \"no bracket\"\n"
                             "5003 \"[W no close\"\n"
                             "5004 \"[ ]blank\"\n"
                             "5005 \"[W]\"\n"
                             "5006 \"[ i ]note\"\n";

} // namespace

TEST(ulErrBuild, SeverityComesFromTheBracketedLetter) {
  TempDir dir;
  compileMessages(dir, "errbuild", kBuildMessages);
  ulMsgHandle file = ulMsgFileOpen("errbuild", nullptr, nullptr, nullptr, nullptr);
  ulErr *e = ulErrBuild("here", file, 5001, 7);
  EXPECT_STREQ(ulErr_String(e, ulErrVERBOSE), "errbuild: Warning 5001: here: fine 7");
  ulErrDestroy(e);
  e = ulErrBuild(nullptr, file, 5006);
  EXPECT_STREQ(ulErr_String(e, ulErrTERSE), "errbuild-I-5006: note");
  ulErrDestroy(e);
  ulMsgFileClose(file);
}

TEST(ulErrBuild, MalformedTextsArePrecededByTheLibraryError) {
  TempDir dir;
  vsSetexedir((binDir() + "ulErrTest").c_str()); // the library's own messages
  compileMessages(dir, "errbuild", kBuildMessages);
  ulMsgHandle file = ulMsgFileOpen("errbuild", nullptr, nullptr, nullptr, nullptr);
  const int numbers[] = {5002, 5003, 5004, 5005};
  const int failures[] = {1101, 1104, 1106, 1107};
  const char *raw[] = {"no bracket", "[W no close", "[ ]blank", "[W]"};
  for (int i = 0; i < 4; ++i) {
    ulErr *e = ulErrBuild(nullptr, file, numbers[i]);
    ASSERT_NE(e->next, nullptr) << numbers[i];
    EXPECT_STREQ(ulErrApp(e), "ullib");
    EXPECT_EQ(ulErrNum(e), failures[i]);
    EXPECT_EQ(ulErrNum(e->next), numbers[i]);
    EXPECT_EQ(ulErrSeverity(e->next), ulErrERROR);
    EXPECT_STREQ(ulErrText(e->next), raw[i]);
    ulErrDestroy(e);
  }
  ulMsgFileClose(file);
}

TEST(ulErrBuild, BrokenLibraryMessagesEndInTheFixedRecord) {
  TempDir dir;
  compileMessages(dir, "ullib",
                  "application \"ullib\"\nversion \"5.0\"\nrelease 5.0.0\n"
                  "1101 \"also broken\"\n1144 \"no bracket\"\n");
  ulErr *e = ulErrBuild(nullptr, ulMsgFile(), 1144);
  EXPECT_STREQ(ulErr_String(e, ulErrVERBOSE),
               "ullib: Error: in call to routine ulErrBuildVa(): Problem building internal Error "
               "Handling message.  Perhaps someone should not have alterned the ullib message "
               "file.\n+ullib: Error 1101: also broken\n+ullib: Error 1144: no bracket");
  ulErrDestroy(e);
}

// ---- Start-up ------------------------------------------------------------------------------

TEST(ulErrInit, PreferencesSetStylesStreamAndLogging) {
  TempDir dir;
  setenv("UL_LOGDIR", dir.path().c_str(), 1);
  vsSetexedir((binDir() + "ulErrTest").c_str());
  char prog[] = "/bin/retag", styleArg[] = "-err.style_stderr", terse[] = "terse",
       stdoutArg[] = "+err.stdout", noLog[] = "-err.logging", rest[] = "file.ltf";
  char *argv[] = {prog, styleArg, terse, stdoutArg, noLog, rest, nullptr};
  int argc = 6;
  ulErrInit(&argc, argv);
  EXPECT_EQ(argc, 2);
  EXPECT_STREQ(argv[1], "file.ltf");
  EXPECT_EQ(ulErrStyleV[ulErrCNTX_STDERR], ulErrTERSE);
  EXPECT_EQ(ulErrFileV, stdout);
  EXPECT_EQ(ulErrLogIsEnabled(), 0);
  EXPECT_EQ(ulErrActionV[ulErrSTATUS], ulErrACT_STATUSLINE);
  EXPECT_EQ(ulErrActionV[ulErrERROR], ulErrACT_ALERTBOX);
  ulErrInit(nullptr, nullptr); // later calls only reset the report stream
  EXPECT_EQ(ulErrFileV, stderr);
  EXPECT_EQ(ulErrStyleV[ulErrCNTX_STDERR], ulErrTERSE);
}
