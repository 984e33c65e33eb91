#include "ulSym.h"

#include "support/TestSupport.h"
#include "ulBase.h"
#include "ulMem.h"
#include "ulStr.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using testsupport::Ints;

// Keys and values are small numbers stored as pointers.
void *word(uintptr_t n) {
  return reinterpret_cast<void *>(n);
}
long num(const void *p) {
  return static_cast<long>(reinterpret_cast<uintptr_t>(p));
}

ulSym stringTable(unsigned int buckets) {
  return ulSymCreate(buckets, ulSymStHash, ulStrEqu, ulSymStCpy, ulSymStFree);
}

ulSym pointerTable(unsigned int buckets) {
  return ulSymCreate(buckets, ulSymPtrHash, ulSymPtrCmp, ulSymReturn, ulSymDummy);
}

// Stores small integers as pointer keys, each with a value of key * 10.
void fill(ulSym t, std::initializer_list<uintptr_t> keys) {
  for (uintptr_t k : keys)
    ulSymStore(t, word(k), word(k * 10));
}

int collectKeys(void *, void *key, void *data1, void *) {
  static_cast<std::vector<uintptr_t> *>(data1)->push_back(reinterpret_cast<uintptr_t>(key));
  return 1;
}

int stopAt(void *value, void *key, void *data1, void *data2) {
  collectKeys(value, key, data1, data2);
  return num(key) != num(data2);
}

std::vector<uintptr_t> loopKeys(ulSym t) {
  std::vector<uintptr_t> keys;
  EXPECT_EQ(ulSymLoop(t, collectKeys, &keys, nullptr), 1);
  return keys;
}

int freedV = 0;
void countFree(void *) {
  freedV++;
}
void countFreeAddr(void **value) {
  freedV++;
  *value = nullptr;
}

std::vector<std::string> releasedKeysV;
void releaseKey(void *key) {
  releasedKeysV.emplace_back(static_cast<char *>(key));
  ulSymStFree(key);
}

// The counts of the release callbacks start at zero.
class ulSymStoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    freedV = 0;
    releasedKeysV.clear();
  }
};

} // namespace

TEST(ulSymHash, StringHashesFollowTheirFormulas) {
  // Position 3 shifts by 21 mod 16 = 5; high bytes count as unsigned.
  EXPECT_EQ((Ints{ulSymStHash(nullptr), ulSymStHash(""), ulSymStHash("A"), ulSymStHash("ab"),
                  ulSymStHash("\xff\x01\x01\x01")}),
            (Ints{0, 0, 65, 97 + (98 << 7), 255 + (1 << 7) + (1 << 14) + (1 << 5)}));
  // Case is ignored; position 8 shifts by 0 again; bytes above 127 count as
  // negative.
  EXPECT_EQ((Ints{ulSymStIhash(nullptr), ulSymStIhash("A"), ulSymStIhash("aaaaaaaab"),
                  ulSymStIhash("\xff")}),
            (Ints{0, 97, 97 * (1 + 2 + 4 + 8 + 16 + 32 + 64 + 128) + 98, UINT_MAX}));
  EXPECT_EQ(ulSymStIhash("Name_Of_Block"), ulSymStIhash("nAME_oF_bLOCK"));
  EXPECT_EQ(ulSymStIhash("abcdefghi"), ulSymStIhash("ABCDEFGHI"));
  EXPECT_NE(ulSymStIhash("ab"), ulSymStIhash("ba"));
}

TEST_F(ulSymStoreTest, StoreFetchReplaceRemoveAndClear) {
  ulSym t = stringTable(5);
  char key[] = "alpha";
  EXPECT_EQ(ulSymStore(t, key, word(1)), nullptr);
  strcpy(key, "ALPHA"); // the table holds its own copy of the key
  EXPECT_EQ((Ints{num(ulSymFetch(t, "alpha")), num(ulSymFetch(t, "ALPHA")),
                  num(ulSymStore(t, "alpha", word(2))), num(ulSymFetch(t, "alpha")), ulSymSize(t)}),
            (Ints{1, 0, 1, 2, 1}));

  void **slot = ulSymFetchAddr(t, "alpha");
  ASSERT_NE(slot, nullptr);
  *slot = word(3);
  EXPECT_EQ(ulSymFetch(t, "alpha"), word(3));
  EXPECT_EQ(ulSymFetchAddr(t, "beta"), nullptr);

  EXPECT_EQ((Ints{num(ulSymRemove(t, "alpha")), ulSymSize(t), num(ulSymFetch(t, "alpha"))}),
            (Ints{3, 0, 0}));
  ulSymDestroy(t, nullptr);
  ulSymDestroy(nullptr, nullptr);

  // Absent keys yield the not-found value.
  t = pointerTable(11);
  ulSymNotFoundValue(t, word(99));
  // Storing a new key also answers the not-found value.
  EXPECT_EQ(
      (Ints{num(ulSymFetch(t, word(1))), num(ulSymRemove(t, word(1))),
            num(ulSymStore(t, word(1), word(5))), num(ulSymRemove(t, word(2))), ulSymSize(t)}),
      (Ints{99, 99, 99, 99, 1}));
  ulSymDestroy(t, nullptr);

  // Replacing a key releases the old stored key.
  t = ulSymCreate(7, ulSymStIhash, ulStrIequ, ulSymStCpy, releaseKey);
  ulSymStore(t, "Name", word(1));
  EXPECT_EQ(ulSymStore(t, "NAME", word(2)), word(1)); // same key, ignoring case
  EXPECT_EQ(releasedKeysV, std::vector<std::string>{"Name"});
  EXPECT_EQ(ulSymSize(t), 1u);
  // Storing with the stored key itself must not read a released key.
  char *stored = nullptr;
  ulSymLoopAddr2(
      t,
      [](void **, void **k, void *out, void *) {
        *static_cast<char **>(out) = static_cast<char *>(*k);
        return 1;
      },
      &stored, nullptr);
  EXPECT_EQ((Ints{num(ulSymStore(t, stored, word(3))), num(ulSymFetch(t, "name")),
                  num(ulSymRemove(t, "nAmE")), static_cast<long>(releasedKeysV.size())}),
            (Ints{2, 3, 3, 3}));
  ulSymDestroy(t, nullptr);

  // Clear and destroy release keys and values.
  t = stringTable(3);
  for (int i = 0; i < 20; i++)
    ulSymStore(t, std::to_string(i).c_str(), ulMemMalloc(16, "value"));
  ulSymClear(t, ulMemFree);
  EXPECT_TRUE(ulSymSize(t) == 0 && ulSymFetch(t, "3") == nullptr);

  ulSymStore(t, "a", word(1));
  ulSymStore(t, "b", word(2));
  ulSymClearAddr(t, countFreeAddr);
  EXPECT_EQ(freedV, 2);
  ulSymStore(t, "c", word(3));
  ulSymClear(t, nullptr); // values untouched
  ulSymStore(t, "d", word(4));
  ulSymDestroy(t, countFree);
  EXPECT_EQ(freedV, 3);
}

// The entry that passes buckets x ratio grows the table to entries x factor,
// made odd, then to the next odd number without a divisor up to its square
// root (divisors above 511 are not tried).
TEST(ulSymGrowth, TheNextOddNumberWithoutADivisorOrTheCountGiven) {
  struct Case {
    unsigned int buckets;
    double ratio, factor;
    uintptr_t entries;
    unsigned int grown;
  };
  const Case cases[] = {
      {401, 2.0, 2.0, 803, 1607},    // 1606 made odd is prime
      {11, 1.0, 2.0, 12, 29},        // 25 = 5 x 5, 27 = 3 x 9
      {1, 0.5, 272482.0, 1, 272483}, // 521 x 523: both above the cap
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.buckets);
    ulSym t = pointerTable(c.buckets);
    ulSymDynamic(t, c.ratio, c.factor);
    for (uintptr_t k = 1; k < c.entries; k++)
      ulSymStore(t, word(k), word(k));
    EXPECT_EQ(ulSymBuckets(t), c.buckets);
    ulSymStore(t, word(c.entries), word(c.entries));
    EXPECT_EQ(ulSymBuckets(t), c.grown);
    for (uintptr_t k = 1; k <= c.entries; k++)
      ASSERT_EQ(ulSymFetch(t, word(k)), word(k));
    // Replacing a value adds no entry and does not grow.
    ulSymStore(t, word(1), word(6));
    EXPECT_EQ(ulSymBuckets(t), c.grown);
    ulSymDestroy(t, nullptr);
  }

  // Setting the rule applies it at once; resize takes the count as given.
  ulSym t = pointerTable(3);
  fill(t, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  ulSymDynamic(t, 2.0, 2.0); // 6 < 10: 20 -> 21 = 3 x 7 -> 23
  EXPECT_EQ(ulSymBuckets(t), 23u);
  ulSymDynamic(t, 2.0, 3.0); // 46 >= 10: no change
  EXPECT_EQ(ulSymBuckets(t), 23u);
  ulSymResize(t, 100);
  EXPECT_EQ(ulSymBuckets(t), 100u);
  ulSymResize(t, 0); // refused
  EXPECT_EQ(ulSymBuckets(t), 100u);
  for (uintptr_t k = 1; k <= 10; k++)
    EXPECT_EQ(ulSymFetch(t, word(k)), word(k * 10));
  ulSymDestroy(t, nullptr);
}

TEST(ulSymLoops, VisitInBucketOrderNewestFirstAndMoveOrCopyAll) {
  ulSym t = pointerTable(5);
  fill(t, {1, 6, 2, 11, 8});
  // Buckets: 1 -> [11, 6, 1], 2 -> [2], 3 -> [8].
  EXPECT_EQ(loopKeys(t), (std::vector<uintptr_t>{11, 6, 1, 2, 8}));

  std::vector<uintptr_t> seen;
  EXPECT_EQ(ulSymLoop(t, stopAt, &seen, word(1)), 0);
  EXPECT_EQ(seen, (std::vector<uintptr_t>{11, 6, 1}));

  seen.clear();
  EXPECT_EQ(ulSymLoopResume(t, collectKeys, word(6), &seen, nullptr), 1);
  EXPECT_EQ(seen, (std::vector<uintptr_t>{1, 2, 8}));
  seen.clear();
  EXPECT_EQ(ulSymLoopResume(t, collectKeys, word(4), &seen, nullptr), 1);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(ulSymLoopResume(t, stopAt, word(11), &seen, word(2)), 0);
  EXPECT_EQ(seen, (std::vector<uintptr_t>{6, 1, 2}));

  // Growth moves each entry to the head of its new chain in loop order.
  ulSymResize(t, 5);
  EXPECT_EQ(loopKeys(t), (std::vector<uintptr_t>{1, 6, 11, 2, 8}));
  ulSymDestroy(t, nullptr);

  // Moving and copying all entries stores every one.
  ulSym a = stringTable(5);
  ulSym b = stringTable(7);
  ulSymStore(a, "x", word(1));
  ulSymStore(a, "y", word(2));
  ulSymStore(b, "y", word(20));
  ulSymStore(b, "z", word(30));

  freedV = 0;
  ulSymCopyAll(b, a, countFree); // y's value 20 is replaced
  EXPECT_EQ((Ints{freedV, ulSymSize(a), ulSymSize(b), num(ulSymFetch(b, "y"))}),
            (Ints{1, 2, 3, 2}));

  ulSym c = stringTable(3);
  ulSymStore(c, "x", word(100));
  ulSymMoveAll(c, a, nullptr);
  EXPECT_EQ((Ints{ulSymSize(a), num(ulSymFetch(c, "x")), num(ulSymFetch(c, "y"))}),
            (Ints{0, 1, 2}));
  ulSymDestroy(a, nullptr);
  ulSymDestroy(b, nullptr);
  ulSymDestroy(c, nullptr);
}

TEST(ulSymWhole, TableToArrayAndDump) {
  ulSym t = stringTable(3);
  const char *names[] = {"delta", "Alpha", "charlie", "bravo"};
  for (const char *n : names)
    ulSymStore(t, n, const_cast<char *>(n));

  void **sorted = ulSymTableToArray(t, nullptr, ulStrIcmp);
  std::vector<std::string> got;
  for (void **p = sorted; *p != nullptr; p++)
    got.emplace_back(static_cast<char *>(*p));
  EXPECT_EQ(got, (std::vector<std::string>{"Alpha", "bravo", "charlie", "delta"}));
  ulMemFree(sorted);

  void *array[5];
  ulSymTableToArray(t, array, reinterpret_cast<ulSymCompareFunc>(ulDummyProc));
  std::vector<void *> loop;
  ulSymLoop(
      t,
      [](void *value, void *, void *out, void *) {
        static_cast<std::vector<void *> *>(out)->push_back(value);
        return 1;
      },
      &loop, nullptr);
  EXPECT_EQ(std::vector<void *>(array, array + 4), loop);
  EXPECT_EQ(array[4], nullptr);
  ulSymDestroy(t, nullptr);

  ulSym empty = pointerTable(3);
  void **none = ulSymTableToArray(empty, nullptr, static_cast<ulSymCompareFunc>(nullptr));
  EXPECT_EQ(none[0], nullptr);
  ulMemFree(none);
  ulSymDestroy(empty, nullptr);

  // The dump shows one star per entry of each used bucket.
  t = pointerTable(5);
  fill(t, {1, 6, 3});
  EXPECT_EQ(testsupport::stdoutOf([&] { ulSymDump(t); }), "\n1:\t**\n3:\t*\n");
  ulSymDestroy(t, nullptr);
}
