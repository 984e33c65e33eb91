// The preference set "err" of the error layer's start-up, set from the
// command line, its defaults, and what a later start-up resets
// ("ex.catch_signals" is in ulExTest.cpp).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/TestSupport.h"
#include "ulErr.h"
#include "ulMsg.h"
#include "ulPref.h"
#include "ulStr.h"

namespace {

using testsupport::Argv;
using testsupport::Ints;
using Words = std::vector<std::string>;

// Each test finds the error layer and the preference module as a fresh
// process has them, and leaves them so.
class ulPrefErr : public ::testing::Test {
protected:
  testsupport::FreshStartUp fresh;
};

} // namespace

TEST_F(ulPrefErr, ErrInitTakesItsArgumentsAndReadsThem) {
  Argv a({"retag", "-err.logging", "lib.ltf", "-err.keep_logfiles", "3", "-nosuch.option",
          "-err.style_stderr", "terse", "-err.action_error", "disabled", "+err.stdout",
          "-ex.catch_signals", "-err.bogus", "LIB"});
  ulErrInit(&a.argc, a.argv.data());
  EXPECT_EQ(a.left(), (Words{"retag", "lib.ltf", "-nosuch.option", "-ex.catch_signals",
                             "-err.bogus", "LIB"}));
  ulPrefDB *err = ulPrefFind("err");
  ASSERT_NE(err, nullptr);
  // The status action keeps its default.
  EXPECT_EQ(
      (Ints{ulPrefIntVal(err, "keep_logfiles"), ulErrLogIsEnabled(), ulErrStyleV[ulErrCNTX_STDERR],
            ulErrActionV[ulErrERROR], ulErrActionV[ulErrSTATUS]}),
      (Ints{3, 0, ulErrTERSE, ulErrACT_DISABLED, ulErrACT_STATUSLINE}));
  EXPECT_EQ(ulErrFileV, stdout);
  ulErrInit(nullptr, nullptr); // later calls only reset the report stream
  EXPECT_EQ(ulErrFileV, stderr);
  EXPECT_EQ(ulErrStyleV[ulErrCNTX_STDERR], ulErrTERSE);

  // The descriptions are the library's messages 1144 to 1153.
  const char *names[] = {"action_status", "action_note",      "action_warning", "action_error",
                         "style_stderr",  "style_statusLine", "style_alertBox", "stdout",
                         "logging",       "keep_logfiles"};
  for (int i = 0; i < 10; i++) {
    char *description = ulPrefDescriptionAlloc(err, names[i]);
    char *message = ulMsgAlloc(ulMsgFile(), 1144 + i);
    EXPECT_STREQ(description, message) << names[i];
    ulStrFree(description);
    ulStrFree(message);
  }
}

TEST_F(ulPrefErr, DefaultsWithoutArguments) {
  Argv a({"retag", "-err.keep_logfiles"});
  ulErrInit(&a.argc, a.argv.data());
  EXPECT_EQ(a.argc, 2); // no value follows: left for the command
  ulPrefDB *err = ulPrefFind("err");
  EXPECT_EQ(ulErrFileV, stderr);
  EXPECT_EQ((Ints{ulPrefIntVal(err, "keep_logfiles"), ulPrefIntVal(err, "logging"),
                  ulErrLogIsEnabled(), ulErrStyleV[ulErrCNTX_STDERR],
                  ulErrStyleV[ulErrCNTX_STATUSLINE], ulErrActionV[ulErrERROR]}),
            (Ints{0, 1, 1, ulErrVERBOSE, ulErrTERSE, ulErrACT_ALERTBOX}));
}

TEST_F(ulPrefErr, KeepCountNamesTheLogAfterTheProcess) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv logDir("UL_LOGDIR", dir.path());
  Argv a({"retag", "+err.logging", "-err.keep_logfiles", "2"});
  ulErrInit(&a.argc, a.argv.data());
  EXPECT_EQ(a.argc, 1);
  ulErrReport2("retag", ulErrWARNING, "logged");
  std::string log = dir / ("retag-" + std::to_string(getpid()) + ".err");
  EXPECT_EQ(access(log.c_str(), F_OK), 0) << log;
}

TEST_F(ulPrefErr, UnreadableValueEndsTheProgram) {
  testsupport::TempDir dir; // takes the error log
  testsupport::ScopedEnv logDir("UL_LOGDIR", dir.path());
  EXPECT_EXIT(
      {
        Argv a({"retag", "-err.style_stderr", "loud"});
        ulErrInit(&a.argc, a.argv.data());
      },
      testing::ExitedWithCode(3),
      "1501: Value `loud' cannot be read for preference err\\.style_stderr\\.");
}
