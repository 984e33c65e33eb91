#include "ulEx.h"
#include "ulErr.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "vs.h"

namespace {

std::string exePath() {
  char buf[vsMAXPATH];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  buf[n > 0 ? n : 0] = '\0';
  return buf;
}

// Starts the exception layer as a program would (the message file is found
// beside the test executable).
void startExceptions() {
  vsSetexedir(exePath().c_str());
  char name[] = "ulExTest";
  char *argv[] = {name, nullptr};
  int argc = 1;
  ulExInit(&argc, argv);
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

void printNamed(const char *name) {
  std::fprintf(stderr, "<%s>", name);
}
void first() {
  std::fputs("[first]", stderr);
}
void second() {
  std::fputs("[second]", stderr);
}
int third() {
  return std::fputs("[third]", stderr);
}

} // namespace

// ---- Frames and masks ---------------------------------------------------------------

TEST(ulExTry, NormalEndReturnsZeroAndPopsTheFrame) {
  int ran = 0;
  EXPECT_EQ(ulExTry(ulEX_ALL,
                    [&] {
                      EXPECT_NE(ulEx_StackV, nullptr);
                      ++ran;
                    }),
            0);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(ulEx_StackV, nullptr);
}

TEST(ulExTry, CaughtByTheFrameWhoseMaskMatchesThroughOneThatDoesNot) {
  int destroyed = 0;
  int innerCaught = -1;
  int outer = ulExTry(ulEX_USER1 | ulEX_POSTCOND, [&] {
    innerCaught = ulExTry(ulEX_USER2, [&] {
      Witness w{&destroyed};
      ulExThrow2(ulEX_USER1, "app", ulErrERROR, "boom");
    });
    ADD_FAILURE() << "the inner frame must not return";
  });
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(innerCaught, -1);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(ulEx_StackV, nullptr);
  EXPECT_EQ(ulExTagV, ulEX_USER1);
  ASSERT_NE(ulExErrV, nullptr);
  EXPECT_STREQ(ulErr_String(ulExErrV, ulErrVERBOSE), "app: Error: boom");
  releasePending();
}

TEST(ulExTry, RethrowPassesTheSameChainOutward) {
  ulErr *seen = nullptr;
  int outer = ulExTry(ulEX_ALL, [&] {
    if (ulExTry(ulEX_USER3, [&] { ulExThrow2(ulEX_USER3, "a", ulErrNOTE, "once"); })) {
      seen = ulExErrV;
      ulExThrow(ulExTagV, ulExErrV);
    }
  });
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(ulExErrV, seen);
  EXPECT_EQ(ulExErrV->next, nullptr); // not appended to itself
  releasePending();
}

TEST(ulExTry, APendingErrorFollowsTheNewOne) {
  ulExErrV = ulErrCreate2("old", ulErrERROR, "cause");
  EXPECT_EQ(ulExTry(ulEX_USER8, [] { ulExThrow2(ulEX_USER8, "new", ulErrERROR, "effect"); }), 1);
  EXPECT_STREQ(ulErr_String(ulExErrV, ulErrTERSE), "new-E: effect\n+old-E: cause");
  releasePending();
}

TEST(ulExTry, OtherExceptionsPassAndStillPopTheFrame) {
  EXPECT_THROW(ulExTry(ulEX_ALL, [] { throw 7; }), int);
  EXPECT_EQ(ulEx_StackV, nullptr);
}

TEST(ulExTry, PreconditionForms) {
  ulExPrecond(0, "here", nullptr, 0); // a false condition does nothing
  vsSetexedir(exePath().c_str());
  EXPECT_EQ(ulExTry(ulEX_PRECOND, [] { ulExPrecond(1, "here", nullptr, 0); }), 1);
  EXPECT_EQ(ulExTagV, ulEX_PRECOND);
  EXPECT_EQ(ulErrNum(ulExErrV), 1155);
  EXPECT_STREQ(ulErrLocation(ulExErrV), "here");
  releasePending();
  EXPECT_EQ(ulExTry(ulEX_PRECOND, [] { ulEx_PreCond("vsLoop2", ulMsgFile(), 1155); }), 1);
  EXPECT_STREQ(ulErrLocation(ulExErrV), "in call to routine vsLoop2()");
  releasePending();
  EXPECT_EQ(ulExTry(ulEX_POSTCOND, [] { ulEx_PostCond("there", ulMsgFile(), 1155); }), 1);
  EXPECT_EQ(ulExTagV, ulEX_POSTCOND);
  releasePending();
}

TEST(ulExTagString, KnownAndUnknownTags) {
  EXPECT_STREQ(ulExTagString(0x1), "subroutine pre-condition not met");
  EXPECT_STREQ(ulExTagString(0x2), "subroutine failed to fulfill contract");
  EXPECT_STREQ(ulExTagString(0x100), "floating point exception");
  EXPECT_STREQ(ulExTagString(0x800000), "user-defined exception 8");
  EXPECT_STREQ(ulExTagString(0x3), "unknown exception type 3");
}

TEST(ulExDeathTest, UncaughtExceptionCleansUpReportsAndEndsWithStatus3) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ulErrLogEnable(0);
  ulCleanupProcV = [] { std::fputs("cleanup;", stderr); };
  EXPECT_EXIT(ulExTry(ulEX_USER1, [] { ulExThrow2(ulEX_USER2, "retag", ulErrERROR, "lost"); }),
              testing::ExitedWithCode(3), "cleanup;retag: Error: lost\n");
}

// ---- Faults --------------------------------------------------------------------------

TEST(ulExFault, SegvInGuardedCodeReachesTheFrameCatching0x80) {
  ulErrLogEnable(0);
  startExceptions();
  volatile int *bad = reinterpret_cast<volatile int *>(16);
  int inner = -1;
  int caught = ulExTry(ulEX_SEGV, [&] { inner = ulExTry(ulEX_USER1, [&] { *bad = 1; }); });
  EXPECT_EQ(caught, 1);
  EXPECT_EQ(inner, -1);
  EXPECT_EQ(ulEx_StackV, nullptr);
  EXPECT_EQ(ulExTagV, ulEX_SEGV);
  EXPECT_EQ(ulErrNum(ulExErrV), 2001);
  EXPECT_STREQ(ulErrApp(ulExErrV), "ullib");
  EXPECT_EQ(std::string(ulErrText(ulExErrV))
                .rfind("ulExTest - segmentation violation.\n"
                       "Receipt of this message indicates",
                       0),
            0u);
  releasePending();

  // The handler stays installed: a second fault is caught the same way.
  EXPECT_EQ(ulExTry(ulEX_FAULTS, [&] { *bad = 2; }), 1);
  releasePending();
}

TEST(ulExFault, SignalsMapToTheirTags) {
  ulErrLogEnable(0);
  startExceptions();
  EXPECT_EQ(ulExTry(ulEX_FPE, [] { std::raise(SIGFPE); }), 1);
  EXPECT_EQ(ulExTagV, ulEX_FPE);
  releasePending();
  EXPECT_EQ(ulExTry(ulEX_BUS, [] { std::raise(SIGBUS); }), 1);
  EXPECT_EQ(ulExTagV, ulEX_BUS);
  releasePending();
}

TEST(ulExFaultDeathTest, FaultWithoutCatcherReportsAndEndsWithStatus3) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ulErrLogEnable(0);
  startExceptions();
  EXPECT_EXIT(ulExTry(ulEX_USER1, [] { std::raise(SIGSEGV); }), testing::ExitedWithCode(3),
              "ullib: Error 2001: ulExTest - segmentation violation\\.");
}

TEST(ulExInit, CatchSignalsOffLeavesFaultsAlone) {
  vsSetexedir(exePath().c_str());
  char name[] = "prog";
  char off[] = "-ex.catch_signals";
  char other[] = "keep";
  char *argv[] = {name, off, other, nullptr};
  int argc = 3;
  struct sigaction before {
  }, after{};
  sigaction(SIGSEGV, nullptr, &before);
  ulExInit(&argc, argv);
  sigaction(SIGSEGV, nullptr, &after);
  EXPECT_EQ(argc, 2);
  EXPECT_STREQ(argv[1], "keep");
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// ---- Exit handlers and aborting --------------------------------------------------------

TEST(ulExitDeathTest, HandlersRunOnceInOrderAndDuplicatesAreKeptOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("UL_PURIFY", "1", 1);
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
}

TEST(ulExitDeathTest, WithoutMemoryCheckingHandlersAreSkipped) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("UL_PURIFY");
        unsetenv("UL_MEMDBG");
        ulOnExitAdd2(first);
        std::fputs("end", stderr);
        ulGoodbye();
      },
      testing::ExitedWithCode(0), "^end$");
}

TEST(ulExitDeathTest, OnExitCallEmptiesTheRegistry) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("UL_PURIFY", "1", 1);
        ulOnExitAdd2(first);
        ulOnExitCall();
        ulExit(0);
      },
      testing::ExitedWithCode(0), "^\\[first\\]$");
}

TEST(ulAbortDeathTest, CleanupOnceThenFatalHandlersNewestFirst) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("UL_PURIFY", "1", 1);
        ulOnExitAdd2(third); // exit handlers do not run on abort
        ulCleanupProcV = [] { std::fputs("cleanup;", stderr); };
        ulCleanup();
        ulAbortAddHandler(first);
        ulAbortAddHandler(second);
        ulAbort(0);
      },
      testing::ExitedWithCode(3), "^cleanup;\\[second\\]\\[first\\]$");
}
