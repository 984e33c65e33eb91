// Tokenisers, the scanner, string buffers and escapes. That quoted tokens
// written back and escaped texts read back give what they came from, on any
// text, is checked by the fuzz targets ulStrTokQuote_fuzz and ulStrEscape_fuzz.
#include "ulStr.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

struct BufGuard {
  ulStrBuf *b = ulStrBufCreate(4);
  ~BufGuard() { ulStrBufDestroy(b); }
};

// Every token of s, read with ulStrTokQuote into a token of size bytes.
std::vector<std::string> quoteTokens(const char *s, int size, const char *delimiters = " ") {
  std::vector<std::string> out;
  std::vector<char> token(static_cast<size_t>(size));
  while ((s = ulStrTokQuote(s, token.data(), size, delimiters)) != nullptr)
    out.emplace_back(token.data());
  return out;
}

using Tokens = std::vector<std::string>;
using testsupport::Ints;

TEST(ulStrTok, PlainTokensStopAtTheDelimiter) {
  const char *s = ",,alpha,beta,";
  char token[4];
  const char *p = ulStrTok(s, token, sizeof token, ",");
  EXPECT_STREQ(token, "alp"); // cut to size - 1; the rest of the token is skipped
  EXPECT_EQ(p, s + 7);        // at the delimiter that ended it
  p = ulStrTok(p, token, sizeof token, ",");
  EXPECT_STREQ(token, "bet");
  EXPECT_EQ(ulStrTok(p, token, sizeof token, ","), nullptr);
  EXPECT_STREQ(token, "");
  EXPECT_EQ(ulStrTok(nullptr, token, sizeof token, ","), nullptr);
  // A null delimiter set: the whole rest is one token.
  BufGuard g;
  EXPECT_NE(ulStrBufTok(" a b", g.b, nullptr), nullptr);
  EXPECT_STREQ(ulStrBufString(g.b), " a b");
}

// The rows of cases/tokquote.txt, then where a token leaves the text.
TEST(ulStrTokQuote, QuotesEscapesAndCutTokens) {
  for (const auto &row : testsupport::tableRows("util/cases/tokquote.txt"))
    EXPECT_EQ(quoteTokens(row.at(1).c_str(), std::stoi(row[0])), Tokens(row.begin() + 2, row.end()))
        << row[1];
  const char *s = "one  two";
  char token[16];
  EXPECT_EQ(ulStrTokQuote(s, token, sizeof token, " "), s + 5); // start of the next token
  EXPECT_EQ(*ulStrTokQuote(s + 5, token, sizeof token, " "), '\0');
  EXPECT_EQ(ulStrTokQuote(nullptr, token, sizeof token, " "), nullptr);

  // The buffer form is unbounded.
  std::string word(1000, 'w');
  std::string text = "\"" + word + " " + word + "\" tail";
  BufGuard g;
  const char *p = ulStrBufTokQuote(text.c_str(), g.b, " ");
  EXPECT_EQ(std::string(ulStrBufString(g.b)), word + " " + word);
  p = ulStrBufTokQuote(p, g.b, " ");
  EXPECT_STREQ(ulStrBufString(g.b), "tail");
  EXPECT_EQ(ulStrBufTokQuote(p, g.b, " "), nullptr);
  EXPECT_EQ(ulStrBufLength(g.b), 0);
}

TEST(ulStrBufUntokQuote, QuotingEscapingAndDollars) {
  BufGuard g;
  // The buffer's text after writing back each of texts into it, emptied first.
  auto written = [&g](std::initializer_list<const char *> texts, int flags, const char *delims) {
    ulStrBufClear(g.b);
    for (const char *t : texts)
      ulStrBufUntokQuote(t, g.b, flags, delims);
    return std::string(ulStrBufString(g.b));
  };
  EXPECT_STREQ(ulStrBufUntokQuote("", g.b, ulStrUNTOK_QUOTE, " "), "");
  EXPECT_STREQ(ulStrBufString(g.b), "\"\"");
  EXPECT_EQ(written({"plain", "a,b", R"(q"\)"}, ulStrUNTOK_QUOTE, " ,"), R"(plain "a,b" q\"\\)");
  // No quoting without the quote flag.
  EXPECT_EQ(written({"$x y\""}, ulStrUNTOK_DOLLAR, " "), "$$x y\"");
  EXPECT_EQ(written({"$a b"}, ulStrUNTOK_DOLLAR | ulStrUNTOK_QUOTE, " "), "\"$$a b\"");
  ulStrBufClear(g.b);
  ulStrBufAppend(g.b, "cmd ");
  ulStrBufUntokQuote("arg", g.b, 0, " "); // the buffer already ends in a delimiter
  EXPECT_STREQ(ulStrBufString(g.b), "cmd arg");
}

TEST(ulStrLex, ScannerWithCursor) {
  char token[4];
  EXPECT_EQ(ulStrLex(nullptr, token, sizeof token, " ", " "), nullptr); // nothing scanned yet
  EXPECT_EQ(ulStrUnlexdelim(' '), 0);
  std::string text = "  key = value,x";
  EXPECT_STREQ(ulStrLex(text.c_str(), token, sizeof token, "=, ", " "), "key");
  text.assign("clobbered"); // the scan runs over its own copy
  EXPECT_STREQ(ulStrLex(nullptr, token, sizeof token, "=, ", " "), "=");
  EXPECT_STREQ(ulStrLex(nullptr, token, sizeof token, "=, ", " "), "val"); // cut ...
  EXPECT_STREQ(ulStrLex(nullptr, token, sizeof token, "=, ", " "), "ue");  // ... rest next
  EXPECT_STREQ(ulStrLex(nullptr, token, sizeof token, "=, ", " "), ",");
  EXPECT_EQ(ulStrUnlexdelim(';'), 0);
  EXPECT_EQ(ulStrUnlexdelim(','), 1);
  EXPECT_STREQ(ulStrLex(nullptr, nullptr, 0, "=, ", " "), ","); // layer's own buffer
  EXPECT_STREQ(ulStrLex(nullptr, nullptr, 0, "=, ", " "), "x");
  EXPECT_EQ(ulStrLex(nullptr, token, sizeof token, "=, ", " "), nullptr);
  EXPECT_EQ(ulStrLex(nullptr, token, sizeof token, "=, ", " "), nullptr);
  EXPECT_STREQ(ulStrLex("again", token, 1, "", ""), ""); // no room: still moves on
  EXPECT_STREQ(ulStrLex(nullptr, nullptr, 0, "", ""), "gain");
}

TEST(ulStrBuf, GrowsToTwiceTheNeededLengthAppendsAndRemoves) {
  ulStrBuf *b = ulStrBufCreate(3);
  EXPECT_EQ(b->capacity, 3);
  ulStrBufAppend(b, "abc");
  EXPECT_EQ(b->capacity, 3);
  ulStrBufAppendChar(b, 'd');
  EXPECT_EQ(b->capacity, 8);
  ulStrBufAppend(b, ulStrBufString(b)); // its own text
  EXPECT_STREQ(ulStrBufString(b), "abcdabcd");
  EXPECT_EQ(b->capacity, 8);
  ulStrBufAppend(b, ulStrBufString(b) + 4); // its own text, while growing
  EXPECT_STREQ(ulStrBufString(b), "abcdabcdabcd");
  EXPECT_EQ(b->capacity, 24);
  EXPECT_EQ(ulStrBufLength(b), 12);
  ulStrBufDestroy(b);
  ulStrBufDestroy(nullptr);

  BufGuard g;
  ulStrBufAppendN(g.b, "12345", 3);
  ulStrBufAppendN(g.b, "xy", 10);
  ulStrBufAppendN(g.b, "zz", 0);
  ulStrBufAppend(g.b, nullptr);
  ulStrBufAppendChar(g.b, 0);
  ulStrBufAppendStrings(g.b, "-", "a", "", "b", nullptr);
  EXPECT_STREQ(ulStrBufString(g.b), "123xy-ab");
  ulStrBufRemoveN(g.b, 0);
  ulStrBufRemoveN(g.b, -2);
  EXPECT_EQ(ulStrBufLength(g.b), 8);
  ulStrBufRemoveN(g.b, 3);
  EXPECT_STREQ(ulStrBufString(g.b), "123xy");
  ulStrBufRemoveN(g.b, 5);
  EXPECT_STREQ(ulStrBufString(g.b), "");
  ulStrBufAppend(g.b, "again");
  ulStrBufRemoveN(g.b, 99);
  EXPECT_EQ(ulStrBufLength(g.b), 0);
  ulStrBufAppend(g.b, "x");
  ulStrBufClear(g.b);
  EXPECT_STREQ(ulStrBufString(g.b), "");
}

TEST(ulStrCvt, EscapesAndReadsBack) {
  char dst[64];
  EXPECT_STREQ(ulStrCvtToAscii("\b\t\n\v\f\r\"\\", dst, sizeof dst), R"(\b\t\n\v\f\r\"\\)");
  EXPECT_STREQ(ulStrCvtToAscii("\x01\x7f\xc8 ~", dst, sizeof dst), R"(\001\177\310 ~)");
  EXPECT_EQ((Ints{ulStrCvtChrset(3), ulStrCvtChrset(2)}), (Ints{0, 1}));
  EXPECT_STREQ(ulStrCvtToAscii("\xe9\x9f", dst, sizeof dst), "\xe9\\237");
  EXPECT_EQ(ulStrCvtChrset(1), 1);
  EXPECT_STREQ(ulStrCvtToAscii("\xe9", dst, sizeof dst), R"(\351)");
  // An escape that does not fit whole ends the text.
  EXPECT_STREQ(ulStrCvtToAscii("ab\x01", dst, 6), "ab");
  EXPECT_STREQ(ulStrCvtToAscii("ab\x01", dst, 7), R"(ab\001)");
  EXPECT_STREQ(ulStrCvtToAscii("a\n", dst, 3), "a");
  EXPECT_EQ(ulStrCvtToAscii("a", dst, 0), nullptr);
  EXPECT_EQ(ulStrCvtToAscii(nullptr, dst, 4), nullptr);
  char *a = ulStrCvtToAsciiAlloc("x\ty");
  EXPECT_STREQ(a, R"(x\ty)");
  ulStrFree(a);

  // Reading back follows rules beyond the escaper.
  EXPECT_STREQ(ulStrCvtFromLiteral(R"("a\tb")", dst, sizeof dst), "a\tb");
  EXPECT_STREQ(ulStrCvtFromLiteral(R"(\x41\x4a\xg\a)", dst, sizeof dst), "AJ\\xg\a");
  EXPECT_STREQ(ulStrCvtFromLiteral(R"(\101\7z\q)", dst, sizeof dst), "A\az\\q");
  EXPECT_STREQ(ulStrCvtFromLiteral(R"(end\)", dst, sizeof dst), R"(end\)");
  EXPECT_STREQ(ulStrCvtFromLiteral(R"(cut\000here)", dst, sizeof dst), "cut");
  EXPECT_STREQ(ulStrCvtFromLiteral(R"(\501)", dst, sizeof dst), "A"); // low eight bits
  EXPECT_STREQ(ulStrCvtFromLiteral("abcdef", dst, 4), "abc");
  EXPECT_EQ(ulStrCvtFromLiteral("x", nullptr, 4), nullptr);
  EXPECT_EQ(ulStrCvtFromLiteralAlloc(nullptr), nullptr);
}

} // namespace
