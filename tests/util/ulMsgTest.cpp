// Message files: the compiler's output read back, open counts, version
// checks, the cache, formatting, damaged files, the editor's wrappers, and
// the compiler's refusals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <utility>
#include <vector>

#include "qMsg.h"
#include "support/TestSupport.h"
#include "ulErr.h"
#include "ulMsg.h"
#include "ulStr.h"
#include "vs.h"

using ::testing::HasSubstr;
using testsupport::Ints;
using testsupport::readFile;

namespace {

// Big-endian words, for files the compiler would never make.
std::string words(std::initializer_list<uint32_t> ws) {
  std::string out;
  for (uint32_t w : ws)
    for (int s = 24; s >= 0; s -= 8)
      out += static_cast<char>(w >> s);
  return out;
}

std::string header(uint32_t indexOffset) {
  return words({0x00010203, 5, 0, 0, indexOffset, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
}

class MsgTest : public ::testing::Test {
protected:
  void SetUp() override { ulErrLogEnable(0); }

  // Runs the message compiler on source; returns its exit status, with its
  // error output in errors_.
  int compileStatus(const std::string &name, const std::string &source) {
    dir.write(name + ".msg", source);
    return run(name);
  }
  // Runs the message compiler on DIR/name.msg as it stands.
  int run(const std::string &name) {
    std::string cmd = std::string(vsExeDir()) + "msgc " + (dir / (name + ".msg")) + " " +
                      (dir / (name + ".umb")) + " 2>" + (dir / "errors");
    int status = std::system(cmd.c_str());
    errors_ = readFile(dir / "errors");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Compiles source into DIR/name.umb; returns the name to open it by.
  std::string compile(const std::string &name, const std::string &source) {
    EXPECT_EQ(compileStatus(name, source), 0) << errors_;
    return dir / name;
  }
  std::string writeRaw(const std::string &name, const std::string &bytes) {
    dir.write(name + ".umb", bytes);
    return dir / name;
  }
  ulMsgHandle open(const std::string &name) {
    return ulMsgFileOpen(name.c_str(), nullptr, nullptr, nullptr, nullptr);
  }

  testsupport::TempDir dir;
  std::string errors_;
};

// Runs body in a frame catching tags 1 and 2; returns the error chain it
// threw (the caller destroys it; the tag stays in ulExTagV) or null.
template <class F> ulErr *thrown(F body) {
  if (!ulExTry(ulEX_PRECOND | ulEX_POSTCOND, body))
    return nullptr;
  ulErr *e = ulExErrV;
  ulExErrV = nullptr;
  return e;
}

// The number of the error body throws (0 when none); the error is released.
template <class F> int thrownNumber(F body) {
  ulErr *e = thrown(body);
  int n = e ? ulErrNum(e) : 0;
  ulErrDestroy(e);
  return n;
}

char *keep(void *data, const char *text) {
  static_cast<std::string *>(data)->assign(text);
  return const_cast<char *>("done");
}

std::string text(ulMsgHandle h, int number) {
  std::string s;
  ulMsgText(h, number, keep, &s);
  return s;
}

const char *kSource = R"(# a test file
application "tester"
version "2.1"
release 5.1.0
7 "[W] Seven %d of %s"
-3 "negative"
0 "zero"
2 "two lines:\n\t\"quoted\" \\ end"
40 "joined "
   "across lines"
)";

TEST_F(MsgTest, CompiledFileReadsBackAndIsReleasedAtTheLastClose) {
  ulMsgHandle h = open(compile("t", kSource));
  EXPECT_EQ(
      (std::vector<std::string>{text(h, 7), text(h, -3), text(h, 0), text(h, 2), text(h, 40)}),
      (std::vector<std::string>{"[W] Seven %d of %s", "negative", "zero",
                                "two lines:\n\t\"quoted\" \\ end", "joined across lines"}));
  EXPECT_EQ(ulMsgGetFilename(h), dir / "t");

  // The same name opened again is the same handle, released at the last close.
  ulMsgHandle a = h, b = open(dir / "t");
  EXPECT_EQ(a, b);
  ulMsgFileClose(a);
  EXPECT_EQ(text(a, 0), "zero");
  ulMsgFileClose(b);
  EXPECT_EQ(ulMsgGetFilename(a), nullptr);
  EXPECT_EQ((Ints{thrownNumber([&] { text(a, 0); }), ulExTagV}), (Ints{1020, ulEX_PRECOND}));
  ulMsgFileClose(a); // no longer open: ignored
  ulMsgClose();      // nothing of the old format was ever opened

  // Nothing of a closed file stays in the cache, even when a new file gets
  // the old one's address.
  ulMsgHandle c = open(compile("t", "0 \"second\"\n"));
  EXPECT_EQ(text(c, 0), "second");
  ulMsgFileClose(c);
}

TEST_F(MsgTest, VersionChecksPassFailOrOnlyWarn) {
  // The rows of cases/msgversion.txt.
  std::string name = compile("t", kSource);
  for (const auto &row : testsupport::tableRows("util/cases/msgversion.txt")) {
    ASSERT_EQ(5u, row.size());
    SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2] + " " + row[3]);
    auto cell = [&row](int i) { return row[i] != "-" ? row[i].c_str() : nullptr; };
    ulMsgHandle h = nullptr;
    ulErr *e = thrown([&] { h = ulMsgFileOpen(name.c_str(), cell(0), cell(1), cell(2), cell(3)); });
    EXPECT_EQ(e == nullptr, row[4] == "1");
    if (e) {
      EXPECT_EQ(ulExTagV, ulEX_POSTCOND);
      EXPECT_EQ(ulErrNum(e), 1007);
      EXPECT_THAT(ulErrText(e), HasSubstr(dir / "t.umb"));
    }
    ulErrDestroy(e);
    ulMsgFileClose(h);
  }
  // A failed check takes back only its own open.
  ulMsgHandle h = open(name);
  EXPECT_EQ(thrownNumber([&] { ulMsgFileOpen(name.c_str(), "x", nullptr, nullptr, nullptr); }),
            1007);
  ulMsgFileClose(h);
  EXPECT_EQ(ulMsgGetFilename(h), nullptr);
  // A file without records fails every named check.
  std::string bare = compile("bare", "1 \"one\"\n");
  EXPECT_EQ(thrownNumber([&] { ulMsgFileOpen(bare.c_str(), nullptr, "", nullptr, nullptr); }),
            1007);

  // With UL_MSGNOVERSION a failed check warns and the file is used.
  testsupport::ScopedEnv noVersion("UL_MSGNOVERSION", "1");
  testsupport::CapturedReports reports;
  h = ulMsgFileOpen(name.c_str(), nullptr, nullptr, "5.0.0", "5.0.9");
  EXPECT_EQ(text(h, 0), "zero");
  EXPECT_EQ(reports.text(),
            "ullib: Warning: " + (dir / "t.umb") + ": Message file failed versioning check.\n");
  ulMsgFileClose(h);
}

TEST(MsgVersionValues, ParsesThreeDottedNumbersOrLeavesAllUnchanged) {
  int a = -1, b = -1, c = -1;
  EXPECT_EQ((Ints{ulMsgCompVerValues("5.10.0", &a, &b, &c), a, b, c}), (Ints{1, 5, 10, 0}));
  for (const char *bad : {"5.0", "5.0.0.1", "5.0.x", " 5.0.0", "", "5..0", "99999999999.0.0"}) {
    a = b = c = -1;
    EXPECT_EQ((Ints{ulMsgCompVerValues(bad, &a, &b, &c), a, b, c}), (Ints{0, -1, -1, -1})) << bad;
  }
}

TEST_F(MsgTest, MissingNumberIs1021AndLibraryFileFailuresAreFatal) {
  ulMsgHandle h = open(compile("t", kSource));
  for (int missing : {1, 8, -4, 41}) {
    ulErr *e = thrown([&] { text(h, missing); });
    ASSERT_NE(e, nullptr) << missing;
    EXPECT_EQ((Ints{ulExTagV, ulErrNum(e)}), (Ints{ulEX_POSTCOND, 1021}));
    EXPECT_EQ((std::vector<std::string>{ulErrLocation(e), ulErrText(e)}),
              (std::vector<std::string>{
                  "in call to routine ulMsgText()",
                  ulMsgStatic(ulMsgFile(), 1021, missing, (dir / "t.umb").c_str()) + 3}));
    ulErrDestroy(e);
  }
  ulMsgFileClose(h);

  // The library's own file fails with fixed fatal texts.
  ulMsgHandle lib = ulMsgFile();
  EXPECT_EQ(ulMsgFile(), lib);
  const std::pair<std::function<void()>, const char *> cases[] = {
      {[&] { text(lib, 99999); },
       "ULLIB Error 1021: Can't find message #99999 in message file ullib.umb!\n"},
      {[] { ulMsgFileOpen("ullib", nullptr, nullptr, "9.0.0", nullptr); },
       "Trying to use wrong version of message file ullib.umb!\n"},
      {[&] {
         ulMsgFileClose(lib);
         text(lib, 1021);
       },
       "ULLIB Error 1020: Can't access message file ullib.umb!\n"},
  };
  for (auto &[body, expected] : cases) {
    ulErr *e = thrown(body);
    ASSERT_NE(e, nullptr) << expected;
    EXPECT_EQ(ulErrSeverity(e), ulErrFATAL) << expected;
    EXPECT_STREQ(ulErrText(e), expected);
    ulErrDestroy(e);
  }
}

TEST_F(MsgTest, DamagedFilesFailWithTheirNumbers) {
  struct {
    std::string bytes;
    int number;
  } cases[] = {
      {"", 1005},
      {words({0x00010203, 5}), 1005},                        // short header
      {header(60).replace(3, 1, "\x04") + words({0}), 1005}, // marker
      {header(4000) + words({0}), 1005},                     // index past the end
      {header(0x80000000u) + words({0}), 1005},              // negative offset
      {header(60) + words({200001}), 1005},                  // count
      {header(60) + words({0xffffffffu}), 1005},             // negative count
      {header(60) + words({2, 1, 84, 2}), 1006},             // index cut short
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.bytes.size());
    std::string name = writeRaw("bad", c.bytes);
    EXPECT_EQ((Ints{thrownNumber([&] { open(name); }), ulExTagV}), (Ints{c.number, ulEX_POSTCOND}));
  }
  ulErr *e = thrown([&] { open(dir / "none"); });
  EXPECT_EQ(ulErr_String(e, ulErrVERBOSE),
            "ullib: Error 1003: in call to routine ulMsgFileOpen(): Message file " +
                (dir / "none.umb") + " not found on the configuration search path.");
  ulErrDestroy(e);
  EXPECT_EQ(thrownNumber([&] { open(std::string(300, 'x')); }), 1002);

  // Texts outside the file fail on lookup only: a good one, one running past
  // the end, one at a negative offset.
  ulMsgHandle h =
      open(writeRaw("texts", header(60) + words({3, 1, 100, 3, 2, 100, 50, 3, 0xfffffff0u, 2}) +
                                 std::string("ok\0", 3)));
  EXPECT_EQ(text(h, 1), "ok");
  EXPECT_EQ((Ints{thrownNumber([&] { text(h, 2); }), thrownNumber([&] { text(h, 3); })}),
            (Ints{1023, 1022}));
  EXPECT_EQ(text(h, 1), "ok");
  ulMsgFileClose(h);
}

TEST_F(MsgTest, RepeatedLookupsAreCachedAndFormatted) {
  std::string src;
  for (int n = 1; n <= 200; ++n)
    src += std::to_string(n) + " \"text " + std::to_string(n) +
           (n == 2 ? std::string(500, '!') : "") + "\"\n";
  ulMsgHandle h = open(compile("many", src));
  long before = ulMsgFileReads();
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(text(h, 7), "text 7");
  EXPECT_EQ(ulMsgFileReads() - before, 1);

  // 80 texts fit (1 and 129 share a chain); 7, read first, is evicted.
  auto number = [](int n) { return n == 7 ? 129 : n; };
  before = ulMsgFileReads();
  for (int n = 1; n <= 80; ++n)
    text(h, number(n));
  EXPECT_EQ(ulMsgFileReads() - before, 80);
  for (int n = 1; n <= 80; ++n)
    EXPECT_THAT(text(h, number(n)), testing::StartsWith("text " + std::to_string(number(n))));
  EXPECT_EQ(ulMsgFileReads() - before, 80);

  // Touch 1 again; the least recently used is now 2, so 81 takes its place.
  text(h, 1);
  EXPECT_EQ(text(h, 81), "text 81"); // into the buffer that 2 grew
  EXPECT_EQ(ulMsgFileReads() - before, 81);
  text(h, 1);
  EXPECT_EQ(ulMsgFileReads() - before, 81);
  EXPECT_EQ(text(h, 2), "text 2" + std::string(500, '!'));
  EXPECT_EQ(text(h, 3), "text 3"); // 2 took the place of 3
  EXPECT_EQ(ulMsgFileReads() - before, 83);
  ulMsgFileClose(h);

  // The formatting forms.
  h = open(compile("t", kSource));
  EXPECT_STREQ(ulMsgStatic(h, 7, 3, "four"), "[W] Seven 3 of four");
  char *owned = ulMsgAlloc(h, 7, 5, "six");
  EXPECT_STREQ(owned, "[W] Seven 5 of six");
  ulStrFree(owned);
  char buf[12];
  EXPECT_EQ(ulMsgBuffer(buf, sizeof buf, h, 7, 1, "two"), buf);
  EXPECT_STREQ(buf, "[W] Seven 1"); // cut to fit, terminated
  std::string seen;
  EXPECT_STREQ(ulMsgGenerate(h, 7, keep, &seen, 9, "x"), "done");
  EXPECT_EQ(seen, "[W] Seven 9 of x");
  // ulMsgAlloc never throws: a missing message gives a fixed text.
  owned = ulMsgAlloc(h, 12345);
  EXPECT_STREQ(owned, "*** internal message file error; message #12345");
  EXPECT_EQ(ulExErrV, nullptr);
  ulStrFree(owned);
  ulMsgFileClose(h);
}

TEST_F(MsgTest, EditorWrappersPrintReportAndReplaceTheFile) {
  std::string expected = "one\nthree\n";
  expected += ulMsgStatic(get_msg_file(), 2005, "nolib") + std::string("\n");
  expected += ulMsgStatic(get_msg_file(), 1194, "x.1000") + std::string("\n");
  expected += ulMsgStatic(get_msg_file(), 1181) + std::string("\n");
  EXPECT_EQ(testsupport::stdoutOf([] {
              q_put_msg("one", 1);
              q_quiet = 1;
              q_put_msg("two", 1);
              q_put_msg("three", 2);
              q_put_msgid(1017, 0);
              qErrReport(2005, "nolib");
              qPutMsg(1194, "x.1000");
              q_quiet = 0;
              q_put_msgid(1181, 0);
            }),
            expected);

  // Reports build their records from the editor's file.
  testsupport::CapturedReports reports;
  ulErrStream *stream = ulErrStreamCreate();
  // The forms with a location or a stream alone are the same call with the
  // other argument null (a location: tests/e2e/settings_messages).
  sbErrReport(2209, "lib:a");
  sbErrReportStreamLoc(1099, stream, "g", "B[");
  sbErrReportErr(ulErrCreate2("scrib", ulErrNOTE, "plain"));
  EXPECT_EQ(reports.text(),
            "scrib: Error 2209: Cannot read block lib:a: not a valid block file.\n"
            "scrib: Error 1099: g: Net name `B[' has no bus width that can be worked "
            "out.\n"
            "scrib: Note: plain\n");
  int errors = 0;
  ulErrStreamSummary(stream, nullptr, nullptr, &errors, nullptr);
  EXPECT_EQ(errors, 1);
  ulErrStreamDestroy(stream);

  // The editor's file can be replaced; a missing one leaves it as it was.
  ulMsgHandle h = sbOpenMsgFile(compile("ed", "1017 \"mine\"\n").c_str());
  EXPECT_EQ(get_msg_file(), h);
  EXPECT_STREQ(sbMsgBuild(1017), "mine");
  EXPECT_EQ(thrownNumber([&] { sbOpenMsgFile((dir / "missing").c_str()); }), 1003);
  EXPECT_STREQ(sbMsgBuild(1017), "mine");
}

// With exit handlers active (a memory-debugging run), the exit handlers
// close every message file, however often it was opened. The registry reads
// UL_MEMDBG once, so this needs a process that has not used messages yet, as
// when each test runs in its own process.
TEST(MsgExit, ExitHandlersCloseEveryFile) {
  if (ulMsgFileReads() > 0)
    GTEST_SKIP() << "needs a fresh process";
  testsupport::ScopedEnv memdbg("UL_MEMDBG", "1");
  EXPECT_EXIT(
      {
        ulErrLogEnable(0);
        ulMsgHandle h = ulMsgFile();
        ulMsgFileOpen("ullib", nullptr, nullptr, nullptr, nullptr);
        ulMsgHandle ed = get_msg_file();
        ulMsgStatic(h, 1021, 5, "f");
        ulOnExitCall();
        std::fprintf(stderr, "%s %s\n", ulMsgGetFilename(h) ? "open" : "closed",
                     ulMsgGetFilename(ed) ? "open" : "closed");
        ulExit(0);
      },
      ::testing::ExitedWithCode(0), "closed closed");
}

// The rows of cases/msgc.txt.
TEST_F(MsgTest, CompilerRefusesMalformedSourcesWithFileAndLine) {
  for (const auto &row : testsupport::tableRows("util/cases/msgc.txt")) {
    ASSERT_EQ(3u, row.size());
    SCOPED_TRACE(row[0]);
    EXPECT_EQ(compileStatus("in", row[0] + "bogus\n"), 1);
    EXPECT_THAT(errors_, HasSubstr(dir / "in.msg:" + row[1] + ": error: " + row[2]));
    EXPECT_THAT(errors_, HasSubstr(": error: unknown entry `bogus'")); // every error is told
    EXPECT_FALSE(std::filesystem::exists(dir / "in.umb")) << "no output after an error";
  }
  EXPECT_EQ(compileStatus("in", "1 \"tab\tand \x01\"\n"), 1);
  EXPECT_THAT(errors_, HasSubstr("in.msg:1: error: control character in a text"));
  // The continuation lines of a refused entry still belong to it.
  EXPECT_EQ(compileStatus("in", "5 \"b\"\n5 \"c\"\n  \"d\"\n"), 1);
  EXPECT_THAT(errors_, HasSubstr("in.msg:2: error: duplicate message number 5"));
  EXPECT_THAT(errors_, ::testing::Not(HasSubstr("no message entry above it")));
  // A directory opens like a file but every read fails: that must not pass
  // for an empty source.
  std::filesystem::create_directory(dir / "src.msg");
  EXPECT_EQ(run("src"), 1);
  EXPECT_THAT(errors_, HasSubstr(dir / "src.msg:1: error: cannot read"));
  EXPECT_FALSE(std::filesystem::exists(dir / "src.umb"));
}

} // namespace
