#include "ulMem.h"

#include "support/TestSupport.h"
#include "ulBase.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

// The out-of-memory tests ask for more than any heap gives; under
// AddressSanitizer such a request must fail with null as it does in a plain
// run, instead of ending the process.
#if defined(__SANITIZE_ADDRESS__)
#define MEMTEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MEMTEST_ASAN 1
#endif
#endif
#ifdef MEMTEST_ASAN
extern "C" const char *__asan_default_options() {
  return "allocator_may_return_null=1";
}
#endif

namespace {

// Modes are read once per process, at the first allocation. Tests that need a
// mode of their own run in a fresh child process that sets the environment
// first; "threadsafe" death tests re-run the test binary for the child.
class MemChild : public ::testing::Test {
protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

bool freeListsOn() {
  // The lists are on exactly when two records freed and taken again come
  // back at the same address; probe with a size no test uses otherwise.
  void *a = ulMemFlAlloc(152, "probe");
  ulMemFlFree(a, 152);
  void *b = ulMemFlAlloc(152, "probe");
  ulMemFlFree(b, 152);
  return a == b && getenv("UL_MEMFLDISABLE") == nullptr;
}

size_t hugeSize() {
  volatile size_t size = SIZE_MAX / 2;
  return size;
}

std::vector<int> attemptsV;

void throwingHook(int attempt) {
  attemptsV.push_back(attempt);
  if (attempt == 2)
    throw std::runtime_error("no memory");
}

void noisyPurge() {
  fputs("purged\n", stderr);
}

std::vector<std::string> printedV;
void collect(const char *text) {
  printedV.emplace_back(text);
}

void freeBlock(void *data, void *block) {
  ++*static_cast<int *>(data);
  ulMemFree(block);
}

} // namespace

TEST(ulMemAlloc, ZeroBytesCallocAndRealloc) {
  // Zero bytes still give a usable, distinct record.
  char *p = static_cast<char *>(ulMemMalloc(0, "zero"));
  char *q = static_cast<char *>(ulMemCalloc(0, 4, "zero"));
  ASSERT_TRUE(p != nullptr && q != nullptr);
  p[0] = 'x';
  EXPECT_EQ(q[0], 0);
  p = static_cast<char *>(ulMemRealloc(p, 0, "zero"));
  ASSERT_NE(p, nullptr);
  ulMemFree(p);
  ulMemFree(q);
  ulMemFree(nullptr);

  auto *z = static_cast<unsigned char *>(ulMemCalloc(10, 7, "calloc"));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(z), 70), std::string(70, '\0'));
  ulMemFree(z);

  p = static_cast<char *>(ulMemRealloc(nullptr, 6, "grow"));
  memcpy(p, "hello", 6);
  p = static_cast<char *>(ulMemRealloc(p, 4000, "grow"));
  EXPECT_STREQ(p, "hello");
  p = static_cast<char *>(ulMemRealloc(p, 3, "grow"));
  EXPECT_EQ(memcmp(p, "hel", 3), 0);
  ulMemFree(p);
}

TEST(ulMemBytes, MoveHandlesOverlapAndRchrFindsTheLastByte) {
  char text[] = "abcdefgh";
  EXPECT_EQ(ulMemMove(text + 2, text, 5), text + 2);
  EXPECT_STREQ(text, "ababcdeh");
  ulMemMove(text, text + 2, 5);
  EXPECT_STREQ(text, "abcdedeh");
  EXPECT_EQ(ulMemMove(text, nullptr, 0), text);

  const char data[] = "a/b/c";
  EXPECT_EQ(ulMemRchr(data, '/', 5), data + 3);
  EXPECT_EQ(ulMemRchr(data, '/', 3), data + 1);
  EXPECT_EQ(ulMemRchr(data, 'a', 5), data);
  EXPECT_EQ(ulMemRchr(data, 'z', 5), nullptr);
  EXPECT_EQ(ulMemRchr(data, 'a', 0), nullptr);
  EXPECT_EQ(ulMemRchr(data, 0, 6), data + 5);
}

TEST(ulMemFl, RecordsDoNotOverlapAndSizesRoundUpToTheSameList) {
  std::vector<std::pair<unsigned char *, size_t>> records;
  for (int round = 0; round < 3; round++)
    for (size_t size = 1; size <= 200; size += 7) {
      auto *r = static_cast<unsigned char *>(ulMemFlAlloc(size, "mixed"));
      ASSERT_EQ(reinterpret_cast<uintptr_t>(r) % 8, 0u);
      memset(r, static_cast<int>(size & 0xFF), size);
      records.emplace_back(r, size);
    }
  for (const auto &[r, size] : records)
    for (size_t i = 0; i < size; i++)
      ASSERT_EQ(r[i], static_cast<unsigned char>(size & 0xFF));
  for (const auto &[r, size] : records)
    ulMemFlFree(r, size);
  ulMemFlFree(nullptr, 8);

  if (!freeListsOn())
    GTEST_SKIP() << "free lists are off";
  void *a = ulMemFlAlloc(12, "twelve");
  ulMemFlFree(a, 12);
  EXPECT_EQ(ulMemFlAlloc(16, "sixteen"), a); // 12 and 16 share the 16-byte list

  void *b = ulMemFlAlloc(0, "zero");
  ulMemFlFree(b, 0);
  EXPECT_EQ(ulMemFlAlloc(8, "eight"), b); // 0 counts as 8
  void *c = ulMemFlAlloc(17, "seventeen");
  EXPECT_TRUE(c != a && c != b);
  ulMemFlFree(c, 17);
  ulMemFlFree(a, 16);
  ulMemFlFree(b, 8);
}

TEST_F(MemChild, TheRestOfABlockGoesToTheListOfItsSize) {
  EXPECT_EXIT(
      {
        setenv("UL_BLOCKSIZE", "200", 1);
        unsetenv("UL_MEMFLDISABLE");
        char *first = static_cast<char *>(ulMemFlAlloc(160, "big"));
        void *second = ulMemFlAlloc(160, "big"); // 40 bytes left: a new block
        void *rest = ulMemFlAlloc(33, "rest");   // the 40-byte rest of the first block
        exit(rest == first + 160 && second != rest ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(ulMemFl, PurgeKeepsLiveRecordsAndObjectsRecycle) {
  // Many blocks' worth of records; one stays alive in the middle.
  std::vector<void *> records;
  for (int i = 0; i < 5000; i++)
    records.push_back(ulMemFlAlloc(40, "purge"));
  auto *live = static_cast<char *>(records[2500]);
  strcpy(live, "still here");
  for (void *r : records)
    if (r != live)
      ulMemFlFree(r, 40);
  ulMemFlPurge();
  ulMemPurge(); // also runs the free lists' purge routine
  // Records of freed blocks must be gone from the lists: reuse every record
  // handed out now (a sanitizer build catches any stale one).
  std::vector<void *> again;
  for (int i = 0; i < 5000; i++) {
    auto *r = static_cast<char *>(ulMemFlAlloc(40, "purge"));
    ASSERT_NE(r, live);
    memset(r, 0x5A, 40);
    again.push_back(r);
  }
  EXPECT_STREQ(live, "still here");
  for (void *r : again)
    ulMemFlFree(r, 40);
  ulMemFlFree(live, 40);

  // A free-list object recycles records and destroys every one.
  ulMemFl list = ulMemFlCreate(20, 100, "objects");
  std::vector<char *> objects;
  for (int i = 0; i < 50; i++) {
    auto *r = static_cast<char *>(ulMemFlAlloc2(list));
    memset(r, i, 20);
    objects.push_back(r);
  }
  for (int i = 0; i < 50; i++)
    for (int j = 0; j < 20; j++)
      ASSERT_EQ(objects[i][j], static_cast<char>(i));
  ulMemFlFree2(list, objects[7]);
  void *reused = ulMemFlAlloc2(list);
  if (freeListsOn()) {
    EXPECT_EQ(reused, objects[7]);
  }
  ulMemFlFree2(list, nullptr);
  ulMemFlDestroy(list); // releases the records still in use
  ulMemFlDestroy(nullptr);
}

TEST_F(MemChild, TheHookSeesEveryAttemptThenPurgesTwiceAndExitsWithStatus3) {
  ulMemOutV = throwingHook;
  EXPECT_THROW(ulMemMalloc(hugeSize(), "huge"), std::runtime_error);
  EXPECT_EQ(attemptsV, (std::vector<int>{0, 1, 2}));
  attemptsV.clear();
  EXPECT_THROW(ulMemCalloc(hugeSize(), 4, "huge"), std::runtime_error);
  EXPECT_EQ(attemptsV.size(), 3u);
  ulMemOutV = ulMemExit;

  // Without a hook of its own: two purges, then the end with status 3.
  EXPECT_EXIT(
      {
        ulAddPurgeRoutine(noisyPurge);
        ulMemMalloc(hugeSize(), "huge");
      },
      ::testing::ExitedWithCode(3), "purged\n.*purged\n.*Out of memory\\.\n$");
}

// The debug mode is set before the death-test child makes its first allocation.
TEST_F(MemChild, DebugModeGuardsCatchDamageDoubleFreesAndHugeRequests) {
  testsupport::ScopedEnv memdbg("UL_MEMDBG", "1");
  EXPECT_EXIT(
      {
        volatile size_t size = SIZE_MAX - 3;
        ulMemMalloc(size, "huge");
      },
      ::testing::ExitedWithCode(3), "Out of memory\\.\n$");

  EXPECT_DEATH(
      {
        char *p = static_cast<char *>(ulMemMalloc(5, "five"));
        memcpy(p, "abcde", 5);
        p[5] = 'X'; // inside the rounded 8 bytes, but behind the request
        ulMemFree(p);
      },
      "memory violation for type five, size=5:\n"
      "    First 2 longs: f0a55a0f 83523b6c should be f0a55a0f 83523b6c\n"
      "     Last 2 longs: [0-9a-f]+ 83523b6c should be f0a55a0f 83523b6c\n"
      "    Ascii dump of first 75 bytes:\n"
      "    abcde\n");

  EXPECT_DEATH(
      {
        void *p = ulMemMalloc(24, "twice");
        ulMemFree(p);
        ulMemFree(p);
      },
      "Attempt to free unallocated space - [0-9A-F]+");

  EXPECT_DEATH(
      {
        char *p = static_cast<char *>(ulMemMalloc(100, "front"));
        memset(p, 1, 100);
        ulMem_DbgTestMemory(); // all intact
        p[-1] = 0;
        ulMem_DbgTestMemory();
      },
      "memory violation for type front, size=100:\n"
      "    First 2 longs: f0a55a0f [0-9a-f]+ should be.*"
      "    \\.{75}\n");

  EXPECT_EXIT(
      {
        char *p = static_cast<char *>(ulMemMalloc(3, "grow"));
        memcpy(p, "ab", 3);
        p = static_cast<char *>(ulMemRealloc(p, 300, "grow"));
        const bool kept = strcmp(p, "ab") == 0;
        p = static_cast<char *>(ulMemCalloc(2, 2, "z"));
        const bool zero = p[0] == 0 && p[3] == 0;
        ulMemFree(p);
        exit(kept && zero ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_DEATH(
      {
        char *p = static_cast<char *>(ulMemMalloc(16, "grow"));
        p[16] = 0;
        ulMemRealloc(p, 32, "grow");
      },
      "memory violation for type grow, size=16");
}

TEST_F(MemChild, DebugModeReportsUsageWatchedTagsStringsAndVisitsBlocks) {
  testsupport::ScopedEnv memdbg("UL_MEMDBG", "1");
  EXPECT_EXIT(
      {
        void *a = ulMemMalloc(300, "alpha");
        void *b = ulMemMalloc(100, "beta");
        void *c = ulMemCalloc(10, 10, "alpha");
        ulMemFree(c);
        ulMemPrintUsage(collect);
        ulMemFree(a);
        ulMemFree(b);
        const bool ok =
            printedV.size() == 2 &&
            printedV[0] == "Maximum memory usage=500, current memory usage=400" &&
            printedV[1] == "               alpha:    300 (75%)                 beta:    100 (25%) ";
        exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");

  EXPECT_EXIT(
      {
        setenv("UL_MEMWATCH", "seen", 1);
        void *other = ulMemMalloc(4, "unseen");
        void *a = ulMemMalloc(10, "seen");
        void *b = ulMemCalloc(2, 3, "seen");
        a = ulMemRealloc(a, 20, "seen");
        ulMemFree(b);
        ulMemFree(other);
        ulMemPrintUsageStdout();
        exit(0);
      },
      ::testing::ExitedWithCode(0),
      "^ulMemWATCH: malloc, 10 \\[1\\] bytes\n"
      "ulMemWATCH: calloc, 6 \\[2\\] bytes\n"
      "ulMemWATCH: realloc, 10 \\[1\\] to 20 \\[3\\] bytes\n"
      "ulMemWATCH: free, 6 \\[2\\] bytes\n$");
  // The usage report lists the unfreed serial numbers on standard output.
  EXPECT_EXIT(
      {
        setenv("UL_MEMWATCH", "seen", 1);
        ulMemMalloc(1, "seen");
        ulMemFree(ulMemMalloc(1, "seen"));
        ulMemMalloc(1, "seen");
        ulMemPrintUsage(collect);
        const bool ok = printedV.size() == 4 && printedV[2] == "ulMemWATCH: unfreed" &&
                        printedV[3] == "[1] [3] ";
        exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");

  EXPECT_EXIT(
      {
        fflush(stdout);
        dup2(2, 1); // the report goes to standard output; match it on stderr
        for (char c : {'a', 'b', 'c'}) {
          auto *s = static_cast<char *>(ulMemMalloc(40, "ulString"));
          memset(s, c, 39);
          s[39] = 0;
        }
        ulMemFree(ulMemMalloc(1, "other"));
        ulMemMalloc(3, "notAString");
        ulMem_DbgPrintStrings();
        exit(0);
      },
      ::testing::ExitedWithCode(0),
      // Two 39-character texts and their blanks fill 80 columns; the third
      // would pass column 80 and starts a new line. The order is free.
      "^\n\nUnfreed strings:\n((a{39}|b{39}|c{39}) ){2}\n(a{39}|b{39}|c{39}) \n$");

  EXPECT_EXIT(
      {
        for (int i = 0; i < 4; i++)
          ulMemMalloc(10, "visit");
        void *other = ulMemMalloc(10, "other");
        int freed = 0;
        ulMem_DbgCallFuncForStr("visit", freeBlock, &freed);
        ulMem_DbgCallFuncForStr("visit", freeBlock, &freed); // none left
        ulMemFree(other);
        ulMemPrintUsage(collect); // nothing in use any more
        exit(printedV.size() == 1 ? freed : 100);
      },
      ::testing::ExitedWithCode(4), "");
}
