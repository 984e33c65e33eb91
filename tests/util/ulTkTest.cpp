// The buffered readers: ulDufsFgetsAfter must read exactly what a push back
// of the taken character followed by ulDufsFgets reads, at every buffer size
// and line-end form, and leave the stream in the same place.
#include "ulTk.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// What a reader gets from text after taking its first character c with
// ulTkGetc: the line (or "<null>"), and what is left in the stream.
std::pair<std::string, std::string> readRest(const std::string &text, int size, bool after) {
  FILE *fp = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
  const int c = ulTkGetc(fp);
  char buffer[200] = {};
  char *got;
  if (after) {
    got = ulDufsFgetsAfter(c, buffer, size, fp);
  } else {
    if (c != EOF)
      ungetc(c, fp);
    got = ulDufsFgets(buffer, size, fp);
  }
  std::string line = got != nullptr ? std::string(got) : "<null>";
  std::string rest;
  for (int d; (d = std::fgetc(fp)) != EOF;)
    rest += static_cast<char>(d);
  std::fclose(fp);
  return {line, rest};
}

TEST(ulDufsFgetsAfter, ReadsAsPushBackThenFgets) {
  const std::string texts[] = {"\nnext", "ab\nnext", "a\r\nb\r\n", "x\r\ny", "abc\rdef\n", "tail",
                               "",       "\r\n",     "ab\r",       "a\r\n",  "abcdefgh\n", "\n"};
  for (const std::string &text : texts) {
    for (int size : {2, 3, 4, 160}) {
      SCOPED_TRACE("text \"" + text + "\", size " + std::to_string(size));
      EXPECT_EQ(readRest(text, size, true), readRest(text, size, false));
    }
  }

  // A NUL byte inside the line ends the C string; the line is still consumed.
  const std::string text("a\0b\nc", 5);
  auto [line, rest] = readRest(text, 160, true);
  EXPECT_EQ(line, "a");
  EXPECT_EQ(rest, "c");
}

TEST(ulTkGetc, FoldsCrLfAndKeepsALoneCr) {
  const std::string text = "\r\nx\ry";
  FILE *fp = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
  EXPECT_EQ(
      (std::vector<int>{ulTkGetc(fp), ulTkGetc(fp), ulTkGetc(fp), ulTkGetc(fp), ulTkGetc(fp)}),
      (std::vector<int>{'\n', 'x', '\r', 'y', EOF}));
  std::fclose(fp);
}

} // namespace
