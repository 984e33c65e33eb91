// The string pool, concatenation, formatting, comparison and matching.
// Each pool test starts from an empty pool (ulStrRestart); tests that look at
// header bytes or slot reuse only run while the pool is on (a run with
// UL_STRDISABLE=1 checks the same calls on plain heap strings).
#include "ulStr.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "ulErr.h"
#include "ulMem.h"

namespace {

struct StrFree {
  void operator()(char *p) const { ulStrFree(p); }
};
using Owned = std::unique_ptr<char, StrFree>;
using testsupport::Ints;
using Strings = std::vector<std::string>;

// Where p stands in s, or -1 for null.
long at(const char *s, const char *p) {
  return p != nullptr ? p - s : -1;
}

int header(const char *s) {
  return static_cast<unsigned char>(s[-1]);
}

// The pool tests start from a fresh layer and leave one behind, whatever
// an earlier test (or ulStrTerminate in one) did to it.
class ulStrPool : public ::testing::Test {
protected:
  void SetUp() override { ulStrRestart(); }
  void TearDown() override { ulStrRestart(); }
};

#define REQUIRE_POOL()                                                                             \
  if (!ulStrPoolIsOn())                                                                            \
  GTEST_SKIP() << "string pool switched off"

TEST_F(ulStrPool, EmptyStringIsSharedAndNeverFreed) {
  Owned a(ulStrCpy(""));
  Owned b(ulStrAlloc(1));
  Owned c(ulStrCatAlloc(nullptr, ""));
  EXPECT_EQ((Strings{a.get(), c.get()}), (Strings{"", ""}));
  EXPECT_EQ(ulStrCpy(nullptr), nullptr);
  REQUIRE_POOL();
  EXPECT_TRUE(a.get() == b.get() && a.get() == c.get());
  EXPECT_EQ(header(a.get()), 1);
  ulStrFree(a.get()); // twice: still the same constant
  EXPECT_EQ(ulStrAlloc(0), a.get());
}

TEST_F(ulStrPool, SixtyOneCharactersArePooledSixtyTwoAreLarge) {
  std::string s61(61, 'x'), s62(62, 'y');
  Owned a(ulStrCpy(s61.c_str()));
  Owned b(ulStrCpy(s62.c_str()));
  Owned one(ulStrCpy("z"));
  Owned three(ulStrCpy("abc"));
  Owned sized(ulStrAlloc(63)); // 62 characters of room
  EXPECT_EQ((Strings{a.get(), b.get()}), (Strings{s61, s62}));
  REQUIRE_POOL();
  // Slots are never smaller than a link: one character takes 4 bytes.
  EXPECT_EQ((Ints{63, 0, 0, 4, 5}), (Ints{header(a.get()), header(b.get()), header(sized.get()),
                                          header(one.get()), header(three.get())}));
}

TEST_F(ulStrPool, FreedSlotIsReusedOnlyBySameSize) {
  REQUIRE_POOL();
  char *p = ulStrCpy("ten chars!");
  long before = ulStrPoolFreeBytes();
  ulStrFree(p);
  EXPECT_EQ(ulStrPoolFreeBytes(), before + 12);
  Owned other(ulStrCpy("eleven char"));
  Owned same(ulStrCpy("0123456789"));
  EXPECT_TRUE(other.get() != p && same.get() == p);
  EXPECT_EQ(ulStrPoolFreeBytes(), before);
}

// Counts on a fresh pool: the first block is empty.
TEST_F(ulStrPool, RestOfAFullBlockGoesToItsFreeList) {
  REQUIRE_POOL();
  ASSERT_EQ(ulStrPoolFreeBytes(), 0);
  std::string s61(61, 'q');
  std::vector<Owned> held;
  // 64 slots of 63 bytes fill 4032 of a block's 4080; the 65th starts a new
  // block and leaves 48 bytes behind.
  for (int i = 0; i < 65; ++i)
    held.emplace_back(ulStrCpy(s61.c_str()));
  EXPECT_EQ(ulStrPoolFreeBytes(), 48);
  Owned rest(ulStrCpy(std::string(46, 'r').c_str()));
  EXPECT_EQ(rest.get(), held[63].get() + 63);
  EXPECT_EQ(ulStrPoolFreeBytes(), 0);
}

TEST_F(ulStrPool, TerminateSwitchesToPlainHeapStrings) {
  Owned keep(ulStrCpy("before"));
  keep.reset();
  char *empty = ulStrCpy("");
  EXPECT_STREQ(ulStrCat("a", "b"), "ab");
  ulStrTerminate();
  ulStrFree(empty); // the shared empty string is never given to the heap
  EXPECT_EQ((Ints{ulStrPoolIsOn(), ulStrPoolFreeBytes()}), (Ints{0, 0}));
  Owned after(ulStrCpy("after"));
  EXPECT_EQ((Strings{after.get(), ulStrCat("c", "d"), ulSprintfStatic("%d", 5)}),
            (Strings{"after", "cd", "5"}));
}

TEST_F(ulStrPool, EnvironmentSwitchesThePoolOff) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const char *variable : {"UL_STRDISABLE", "UL_PURIFY"})
    EXPECT_EXIT(
        {
          setenv(variable, "1", 1);
          ulStrRestart(); // the layer reads the environment when it is set up
          char *s = ulStrCpy("plain");
          bool ok = ulStrPoolIsOn() == 0 && std::strcmp(s, "plain") == 0;
          ulStrFree(s);
          std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "")
        << variable;
}

// With memory debugging the exit handlers run: the concatenation buffers are
// released once by their handler, and not again by ulStrTerminate (a second
// free would end the run with an Internal Error report instead of status 0).
TEST_F(ulStrPool, ExitReleasesTheLayerOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("UL_MEMDBG", "1", 1);
        ulStrCat("a", std::string(400, 'b').c_str());
        ulSprintfStatic("%s", "x");
        char token[8];
        ulStrLex("a b", token, sizeof token, " ", " ");
        ulExit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(ulStrCopy, OldCopyAndBoundedCopy) {
  char *old = ulStrOldCopy("heap");
  EXPECT_STREQ(old, "heap");
  ulMemFree(old);
  EXPECT_EQ(ulStrOldCopy(nullptr), nullptr);

  char dst[6];
  std::memset(dst, '#', sizeof dst);
  EXPECT_STREQ(ulStrncpyNullTerm(dst, "abcdefgh", 6), "abcde");
  EXPECT_STREQ(ulStrncpyNullTerm(dst, "ab", 6), "ab");
  EXPECT_EQ(dst[5], '\0');
  EXPECT_STREQ(ulStrncpyNullTerm(dst, nullptr, 6), "");
  dst[0] = 'k';
  ulStrncpyNullTerm(dst, "x", 0);
  EXPECT_EQ(dst[0], 'k');
}

TEST(ulStrCat, NestedCallsAndOwnResultAsArgument) {
  EXPECT_STREQ(ulStrCat(ulStrCat("a", "b"), "c"), "abc");
  char *r = ulStrCat("xy", nullptr);
  EXPECT_STREQ(ulStrCat(r, r), "xyxy");
  EXPECT_STREQ(ulStrCat(nullptr, ulStrCat("q", nullptr)), "q");
  EXPECT_STREQ(ulStrCat(nullptr, nullptr), "");
  // Past the buffers' first capacity, still fed its own result.
  std::string big(300, 'b');
  r = ulStrCat(big.c_str(), "!");
  EXPECT_EQ(std::string(ulStrCat(r, r)), big + "!" + big + "!");
  Owned owned(ulStrCatAlloc("own", "ed"));
  EXPECT_STREQ(owned.get(), "owned");
}

int measure(const char *format, ...) __attribute__((format(printf, 1, 2)));
int measure(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char buf[4];
  int needed = -5;
  int n = ulSprintfVa2(buf, sizeof buf, format, arguments, &needed);
  va_end(arguments);
  return n < 0 ? -needed : needed;
}

TEST(ulSprintf, SizeNeededCutsAndTheGrowingForms) {
  char buf[6];
  EXPECT_EQ(ulSprintf(buf, sizeof buf, "%s", "hello"), 5);
  EXPECT_STREQ(buf, "hello");
  EXPECT_EQ(ulSprintf(buf, sizeof buf, "%s!", "hello"), -1);
  EXPECT_STREQ(buf, "hello"); // cut, terminated
  EXPECT_EQ(ulSprintf(nullptr, 0, "%d", 1234), -1);
  EXPECT_EQ(ulSprintf(buf, sizeof buf, nullptr), 0);
  EXPECT_STREQ(buf, "");

  // Fits exactly; one too many (-1, needs 5); needs 7.
  EXPECT_EQ((Ints{measure("%d", 123), measure("%d", 1234), measure("%5.1f|", 2.25)}),
            (Ints{4, -5, -7}));

  // The static form grows and accepts its previous result.
  std::string big(1500, 'w');
  char *r = ulSprintfStatic("<%s>", big.c_str());
  EXPECT_EQ(std::string(r), "<" + big + ">");
  r = ulSprintfStatic("[%s|%s]", r, r);
  EXPECT_EQ(std::string(r), "[<" + big + ">|<" + big + ">]");
  EXPECT_STREQ(ulSprintfStatic("%d-%s", 7, "x"), "7-x");
  EXPECT_EQ(ulSprintfStatic(nullptr), nullptr);

  Owned a(ulSprintfAlloc("%s=%d", "n", 42));
  EXPECT_STREQ(a.get(), "n=42");
  Owned large(ulSprintfAlloc("%s%s", big.c_str(), "!"));
  EXPECT_EQ(std::string(large.get()), big + "!");
}

TEST(ulSpFmt, SplitsWhatTheEngineFormatsAndNothingElse) {
  ulSpFmt *f = ulSpFmtParse("x%-08.3ld|%2$*3$s|%%|%hhx|%.*f|%'llu");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(ulSpFmtCount(f), 6);
  // Each conversion as "offset length flags position width precision
  // modifier conversion"; -1 stands for "not there", -2 for "from an argument".
  auto describe = [f](int i) {
    std::string d;
    for (int v : {ulSpFmtOffset(f, i), ulSpFmtLength(f, i), ulSpFmtFlags(f, i),
                  ulSpFmtPosition(f, i), ulSpFmtWidth(f, i), ulSpFmtPrecision(f, i),
                  ulSpFmtModifier(f, i), ulSpFmtConversion(f, i)})
      d += (v > ' ' ? std::string(1, static_cast<char>(v)) : std::to_string(v)) + " ";
    return d;
  };
  EXPECT_EQ(
      (Strings{describe(0), describe(1), describe(2), describe(3), describe(4), describe(5)}),
      (Strings{"1 8 " + std::to_string(ulSpFmtMINUS | ulSpFmtZERO) + " 0 8 3 l d ",
               "10 7 0 2 -2 -1 0 s ", "18 2 0 0 -1 -1 0 % ", "21 4 0 0 -1 -1 H x ",
               "26 4 0 0 -1 -2 0 f ", "31 5 " + std::to_string(ulSpFmtQUOTE) + " 0 -1 -1 q u "}));
  EXPECT_EQ(ulSpFmtConversion(f, 6), -1);
  ulSpFmtFree(f);
  // Arguments count from 1: position 0 would read as "no position".
  for (const char *bad : {"50%", "%y", "%0$d", "%1$*0$d"})
    EXPECT_EQ(ulSpFmtParse(bad), nullptr) << bad;
  EXPECT_EQ(ulSpFmtParse(nullptr), nullptr);

  // The wide-character letters and the error-text conversion are formatted
  // by the engine, so the parser must know them too.
  f = ulSpFmtParse("%C|%5S|%m");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(ulSpFmtCount(f), 3);
  EXPECT_EQ((Ints{'C', 5, 'm'}),
            (Ints{ulSpFmtConversion(f, 0), ulSpFmtWidth(f, 1), ulSpFmtConversion(f, 2)}));
  ulSpFmtFree(f);
}

TEST(ulStrCompare, IgnoringCaseAndSearchingWithNulls) {
  auto sign = [](int v) { return v < 0 ? -1L : v > 0 ? 1L : 0L; };
  EXPECT_EQ((Ints{sign(ulStrIcmp("Abc", "aBC")), sign(ulStrIcmp("abc", "abd")),
                  sign(ulStrIcmp(nullptr, nullptr)), sign(ulStrIcmp(nullptr, "")),
                  sign(ulStrIcmp("", nullptr))}),
            (Ints{0, -1, 0, -1, 1}));
  EXPECT_EQ(ulStrIcmp("b", "A"), 'B' - 'A');
  EXPECT_EQ((Ints{ulStrNicmp("abcX", "ABCy", 3), ulStrNicmp("ab", "abc", 5),
                  ulStrNicmp("abc", "AB", 5), ulStrNicmp("abc", "AB", 2)}),
            (Ints{0, -1, 1, 0}));
  EXPECT_EQ((Ints{ulStrEqu(nullptr, nullptr), ulStrEqu("a", nullptr), ulStrEqu("a", "A"),
                  ulStrIequ("a", "A")}),
            (Ints{1, 0, 0, 1}));

  const char *s = "a.b.c";
  EXPECT_EQ(
      (Ints{at(s, ulStrChr(s, '.')), at(s, ulStrRch(s, '.')), at(s, ulStrRch(s, 0)),
            at(s, ulStrChr(nullptr, 'a')), at(s, ulStrBrk(s, "cb")), at(s, ulStrBrk(s, nullptr))}),
      (Ints{1, 3, 5, -1, 2, -1}));
  const char *h = "HeLLo";
  EXPECT_EQ((Ints{at(h, ulStrSearch(h, "ll")), at(h, ulStrISearch(h, "ll")),
                  at(h, ulStrSearch(h, "HeLLo!")), at(h, ulStrSearch(h, "")),
                  at(h, ulStrISearch(nullptr, "a"))}),
            (Ints{-1, 2, -1, 0, -1}));
}

TEST(ulStrIndex, AbbreviationsAndWildcards) {
  const char *table[] = {"verbose", "versions", "version", "quiet"};
  // Ambiguous; unique; exact beats the earlier longer entry; the key is
  // lower-cased; longer than any; beyond n; no key.
  EXPECT_EQ((Ints{ulStrIndex("ver", table, 4), ulStrIndex("verb", table, 4),
                  ulStrIndex("version", table, 4), ulStrIndex("VERB", table, 4),
                  ulStrIndex("verbosely", table, 4), ulStrIndex("q", table, 3),
                  ulStrIndex(nullptr, table, 4)}),
            (Ints{-2, 0, 2, 0, -1, -1, -1}));
  const char *early[] = {"alpha", nullptr, "alps"};
  EXPECT_EQ(ulStrIndex("al", early, 3), 0); // a null entry ends the table
  const char *upper[] = {"Debug", "Dump"};
  EXPECT_EQ(
      (Ints{ulStrIndex("deb", upper, 2), ulStrIindex("DEB", upper, 2), ulStrIindex("d", upper, 2)}),
      (Ints{-1, 0, -2}));

  // The rows of cases/wildcards.txt, and null arguments.
  for (const auto &row : testsupport::tableRows("util/cases/wildcards.txt"))
    EXPECT_EQ(std::stoi(row.at(2)), ulStrMat(row[0].c_str(), row[1].c_str()))
        << row[0] << " " << row[1];
  EXPECT_EQ((Ints{1, 0, 0}),
            (Ints{ulStrMat(nullptr, nullptr), ulStrMat(nullptr, "a"), ulStrMat("*", nullptr)}));
  EXPECT_EQ(ulStrIMat("*.Sym", "X.SYM"), 1);
  EXPECT_EQ(ulStrIMat("A?", "ab"), 1);
  // A pattern that makes naive backtracking explode still answers at once.
  std::string pattern, text(3000, 'a');
  for (int i = 0; i < 40; ++i)
    pattern += "*a";
  EXPECT_EQ(ulStrMat((pattern + "b").c_str(), text.c_str()), 0);
}

TEST(ulStrCase, InPlaceTrimmingAndNumbers) {
  char s[] = "MiXeD 1";
  EXPECT_STREQ(ulStrLoc(s), "mixed 1");
  EXPECT_STREQ(ulStrUpc(s), "MIXED 1");
  EXPECT_EQ(ulStrLoc(nullptr), nullptr);
  EXPECT_STREQ(ulStrBlk(" \t\r\n\v\fx "), "x ");

  char t[] = "  word \t\n";
  char *first = ulStrTrim(t);
  EXPECT_STREQ(t, "  word");
  EXPECT_EQ(first, t + 2);
  char blanks[] = "   ", empty[] = "";
  EXPECT_EQ(at(blanks, ulStrTrim(blanks)), 1); // at the end of what is left
  EXPECT_STREQ(blanks, " ");                   // the first character is never removed
  EXPECT_EQ((Ints{at(empty, ulStrTrim(empty)), at(empty, ulStrTrim(nullptr))}), (Ints{0, -1}));

  Owned trimmed(ulStrTrimAlloc("  in the middle \n")), none(ulStrTrimAlloc(" \t "));
  EXPECT_EQ((Strings{trimmed.get(), none.get()}), (Strings{"in the middle", ""}));

  // Which texts read as numbers.
  for (const char *yes : {"0", "-1.5e+3", ".5", ".", "+7", "1.", "2E-4", "1e5", "-."})
    EXPECT_EQ(ulStrIsnum(yes), 1) << yes;
  for (const char *no : {"", "1e", "e5", "1-2", "+", "-", "1.2.3", "1e5.0", "1e2e3", "--1", "1e+",
                         "12a", " 1", "1.5e3.", "+-1"})
    EXPECT_EQ(ulStrIsnum(no), 0) << no;
  EXPECT_EQ(ulStrIsnum(nullptr), 0);
}

} // namespace
