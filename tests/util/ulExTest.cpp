#include "ulEx.h"
#include "ulErr.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"
#include "ulPref.h"

using testsupport::Ints;
using testsupport::ScopedEnv;

namespace {

// Starts the exception layer as a program named ulExTest would.
void startExceptions() {
  testsupport::Argv args({"ulExTest"});
  ulExInit(&args.argc, args.argv.data());
}

// Counts its own destruction, to see what unwinding runs.
struct Witness {
  int *count;
  ~Witness() { ++*count; }
};

void releasePending() {
  ulErrDestroy(ulExErrV);
  ulExErrV = nullptr;
}

char a[] = "a";
char b[] = "b";

// Exit and fatal handlers that say when they run.
void (*const printNamed)(const char *) = [](const char *name) {
  std::fprintf(stderr, "<%s>", name);
};
void (*const first)() = [] { std::fputs("[first]", stderr); };
void (*const second)() = [] { std::fputs("[second]", stderr); };
int (*const third)() = [] { return std::fputs("[third]", stderr); };

// The fault handlers and the error layer as a fresh process has them, before
// and after each test that starts the layers.
class FreshLayers : public ::testing::Test {
protected:
  testsupport::FreshStartUp fresh;
};

} // namespace

using ulExFault = FreshLayers;
using ulExStartUp = FreshLayers;
using ulExDeathTest = FreshLayers;

TEST(ulExTry, FramesPopCatchByMaskAndChainPendingErrors) {
  int ran = 0;
  EXPECT_EQ((Ints{ulExTry(ulEX_ALL, [&] { ran += ulEx_StackV != nullptr; }), ran}), (Ints{0, 1}));
  EXPECT_EQ(ulEx_StackV, nullptr);
  // Other C++ exceptions pass through untouched.
  EXPECT_THROW(ulExTry(ulEX_ALL, [] { throw 7; }), int);
  EXPECT_EQ(ulEx_StackV, nullptr);

  // Caught by the frame whose mask matches, through one that does not.
  int destroyed = 0;
  int innerCaught = -1;
  int outer = ulExTry(ulEX_USER1 | ulEX_POSTCOND, [&] {
    innerCaught = ulExTry(ulEX_USER2, [&] {
      Witness w{&destroyed};
      ulExThrow2(ulEX_USER1, "app", ulErrERROR, "boom");
    });
    ADD_FAILURE() << "the inner frame must not return";
  });
  EXPECT_EQ((Ints{outer, innerCaught, destroyed, ulExTagV}), (Ints{1, -1, 1, ulEX_USER1}));
  EXPECT_EQ(ulEx_StackV, nullptr);
  ASSERT_NE(ulExErrV, nullptr);
  EXPECT_STREQ(ulErr_String(ulExErrV, ulErrVERBOSE), "app: Error: boom");
  releasePending();

  // Pending errors chain, but a rethrow is not appended to itself.
  ulErr *seen = nullptr;
  outer = ulExTry(ulEX_ALL, [&] {
    if (ulExTry(ulEX_USER3, [&] { ulExThrow2(ulEX_USER3, "a", ulErrNOTE, "once"); })) {
      seen = ulExErrV;
      ulExThrow(ulExTagV, ulExErrV);
    }
  });
  EXPECT_EQ(outer, 1);
  EXPECT_TRUE(ulExErrV == seen && ulExErrV->next == nullptr);

  // A new exception while an error is pending puts the old one behind it.
  EXPECT_EQ(ulExTry(ulEX_USER8, [] { ulExThrow2(ulEX_USER8, "new", ulErrERROR, "effect"); }), 1);
  EXPECT_STREQ(ulErr_String(ulExErrV, ulErrTERSE), "new-E: effect\n+a-I: once");
  releasePending();
}

TEST(ulExTry, PreconditionFormsAndTagNames) {
  ulExPrecond(0, "here", nullptr, 0); // a false condition does nothing
  EXPECT_EQ(ulExTry(ulEX_PRECOND, [] { ulExPrecond(1, "here", nullptr, 0); }), 1);
  EXPECT_EQ((Ints{ulExTagV, ulErrNum(ulExErrV)}), (Ints{ulEX_PRECOND, 1155}));
  EXPECT_STREQ(ulErrLocation(ulExErrV), "here");
  releasePending();
  EXPECT_EQ(ulExTry(ulEX_PRECOND, [] { ulEx_PreCond("vsLoop2", ulMsgFile(), 1155); }), 1);
  EXPECT_STREQ(ulErrLocation(ulExErrV), "in call to routine vsLoop2()");
  releasePending();
  EXPECT_EQ(ulExTry(ulEX_POSTCOND, [] { ulEx_PostCond("there", ulMsgFile(), 1155); }), 1);
  EXPECT_EQ(ulExTagV, ulEX_POSTCOND);
  releasePending();

  // Tags name themselves, known or not.
  EXPECT_EQ(
      (std::vector<std::string>{ulExTagString(0x1), ulExTagString(0x2), ulExTagString(0x100),
                                ulExTagString(0x800000), ulExTagString(0x3)}),
      (std::vector<std::string>{"subroutine pre-condition not met",
                                "subroutine failed to fulfill contract", "floating point exception",
                                "user-defined exception 8", "unknown exception type 3"}));
}

TEST_F(ulExFault, SegvInGuardedCodeReachesTheFrameCatching0x80) {
  ulErrLogEnable(0);
  startExceptions();
  volatile int *bad = reinterpret_cast<volatile int *>(16);
  int inner = -1;
  int caught = ulExTry(ulEX_SEGV, [&] { inner = ulExTry(ulEX_USER1, [&] { *bad = 1; }); });
  EXPECT_EQ((Ints{caught, inner, ulExTagV, ulErrNum(ulExErrV)}), (Ints{1, -1, ulEX_SEGV, 2001}));
  EXPECT_EQ(ulEx_StackV, nullptr);
  EXPECT_STREQ(ulErrApp(ulExErrV), "ullib");
  EXPECT_THAT(ulErrText(ulExErrV), testing::StartsWith("ulExTest - segmentation violation.\n"
                                                       "Receipt of this message indicates"));
  releasePending();

  // The handler stays installed: a second fault is caught the same way, and
  // the other signals map to their own tags.
  EXPECT_EQ(ulExTry(ulEX_FAULTS, [&] { *bad = 2; }), 1);
  releasePending();
  for (auto [sig, tag] : {std::pair{SIGFPE, ulEX_FPE}, {SIGBUS, ulEX_BUS}}) {
    EXPECT_EQ((Ints{ulExTry(tag, [s = sig] { std::raise(s); }), ulExTagV}), (Ints{1, tag})) << sig;
    releasePending();
  }
}

TEST_F(ulExStartUp, CatchSignalsOffLeavesFaultsAlone) {
  testsupport::Argv args({"prog", "-ex.catch_signals", "keep"});
  struct sigaction before = {}, after = {};
  sigaction(SIGSEGV, nullptr, &before);
  ulExInit(&args.argc, args.argv.data());
  sigaction(SIGSEGV, nullptr, &after);
  EXPECT_EQ(args.left(), (std::vector<std::string>{"prog", "keep"}));
  EXPECT_EQ(after.sa_handler, before.sa_handler);
  EXPECT_EQ(ulPrefFind("ex"), nullptr); // its preference set is read once and destroyed
}

TEST_F(ulExDeathTest, UncaughtExceptionsAndFaultsReportAndEndWithStatus3) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ulErrLogEnable(0);
  ulCleanupProcV = [] { std::fputs("cleanup;", stderr); };
  EXPECT_EXIT(ulExTry(ulEX_USER1, [] { ulExThrow2(ulEX_USER2, "retag", ulErrERROR, "lost"); }),
              testing::ExitedWithCode(3), "cleanup;retag: Error: lost\n");
  startExceptions();
  EXPECT_EXIT(ulExTry(ulEX_USER1, [] { std::raise(SIGSEGV); }), testing::ExitedWithCode(3),
              "ullib: Error 2001: ulExTest - segmentation violation\\.");
}

TEST(ulExitDeathTest, HandlersRunOnceInOrderAndDuplicatesAreKeptOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScopedEnv purify("UL_PURIFY", "1");
  EXPECT_EXIT(
      {
        ulOnExitAdd(printNamed, a);
        ulOnExitAdd(printNamed, b);
        ulOnExitAdd(printNamed, a); // the same entry again
        ulOnExitAdd2(first);
        ulOnExitAdd2(second);
        ulOnExitAdd2(third);
        ulOnExitSetOrder(second, -5);
        ulOnExitSetOrder(printNamed, 10);
        ulOnExitRemove(printNamed, b);
        ulOnExitRemove2(third);
        ulExit(7);
      },
      testing::ExitedWithCode(7), "^\\[second\\]\\[first\\]<a>$");
  // Handlers called before the exit are not called again.
  EXPECT_EXIT(
      {
        ulOnExitAdd2(first);
        ulOnExitCall();
        ulExit(0);
      },
      testing::ExitedWithCode(0), "^\\[first\\]$");
  // Exit handlers do not run on abort; the cleanup runs once, then the fatal
  // handlers, newest first.
  EXPECT_EXIT(
      {
        ulOnExitAdd2(third);
        ulCleanupProcV = [] { std::fputs("cleanup;", stderr); };
        ulCleanup();
        ulAbortAddHandler(first);
        ulAbortAddHandler(second);
        ulAbort(0);
      },
      testing::ExitedWithCode(3), "^cleanup;\\[second\\]\\[first\\]$");
}

TEST(ulExitDeathTest, WithoutMemoryCheckingHandlersAreSkipped) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScopedEnv purify("UL_PURIFY", std::nullopt), memdbg("UL_MEMDBG", std::nullopt);
  EXPECT_EXIT(
      {
        ulOnExitAdd2(first);
        std::fputs("end", stderr);
        ulGoodbye();
      },
      testing::ExitedWithCode(0), "^end$");
}
