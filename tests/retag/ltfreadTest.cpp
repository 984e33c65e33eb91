// Reading LTF files: structure, field rules, every parse message and the
// limits of lines, words and the error buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "retag.h"
#include "symlist.h"

namespace {

class LtfRead : public ::testing::Test {
protected:
  void TearDown() override { vaAMFreeSymbolInfo(list); }

  // Reads text as an LTF file named file; keeps what was printed.
  int read(const std::string &text, const char *file = "t.ltf") {
    FILE *fp = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), fp);
    std::rewind(fp);
    KeywordEntry *keywords = vaAMInitLTFKeywords();
    vaAMErrorBufferV[0] = '\0';
    ::testing::internal::CaptureStdout();
    int status = vaAMReadLTFFile(fp, &list, keywords, file);
    out = ::testing::internal::GetCapturedStdout();
    vaAMFreeAnyKeywords(keywords);
    std::fclose(fp);
    return status;
  }
  std::string error() const { return vaAMErrorBufferV; }

  SymbolInfo *list = nullptr;
  std::string out;
};

TEST_F(LtfRead, ListsHoldRecordsInReverseOrderOfReading) {
  ASSERT_EQ(0, read(".BL\n"
                    "S and2 1\n"
                    "A 0 0 1 10 0 1 REFDES=U?\n"
                    "A 5 6 0 8 2 3 part=74ls00\n"
                    "A 1 1 1 1 1 1 third=x\n"
                    "P ~CLK\n"
                    "A 10 0 1 8 0 1 pintype=in\n"
                    "P CLK\n"
                    "\n"
                    "S and2 1\n"
                    ".EL\n"));
  EXPECT_EQ("\r1 symbol records found...\r2 symbol records found...\n", out);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(nullptr, list->attributes); // the second "and2 1" comes first
  SymbolInfo *s = list->next;
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(nullptr, s->next);
  EXPECT_STREQ("and2", s->name);
  EXPECT_EQ(1, s->sheet);

  AttributeInfo *a = s->attributes;
  EXPECT_STREQ("THIRD", a->name);
  a = a->next;
  EXPECT_STREQ("PART", a->name);
  EXPECT_STREQ("74LS00", a->value);
  EXPECT_EQ(5, a->x);
  EXPECT_EQ(6, a->y);
  EXPECT_EQ(0, a->visibility);
  EXPECT_EQ(8, a->size);
  EXPECT_EQ(2, a->orientation);
  EXPECT_EQ(3, a->origin);
  EXPECT_EQ(0, a->used);
  a = a->next;
  EXPECT_STREQ("REFDES", a->name);
  EXPECT_STREQ("U?", a->value);
  EXPECT_EQ(nullptr, a->next);

  PinInfo *p = s->pins;
  EXPECT_STREQ("CLK", p->name);
  EXPECT_EQ(0, p->inverted);
  EXPECT_EQ(nullptr, p->attributes);
  p = p->next;
  EXPECT_STREQ("CLK", p->name);
  EXPECT_EQ(1, p->inverted);
  ASSERT_NE(nullptr, p->attributes);
  EXPECT_STREQ("PINTYPE", p->attributes->name);
  EXPECT_STREQ("IN", p->attributes->value);
}

TEST_F(LtfRead, AttributeStringRules) {
  ASSERT_EQ(0, read(".BL\nS x 1\n"
                    "A 0 0 1 10 0 1 part name = 74 ls00\n"
                    "A 0 0 1 10 0 1 NOVALUE=\n"
                    "A 0 0 1 10 0 1  =bare\ttail after tab\n"
                    "A 1.9 2e3 -1 +4 0 1 A=B=C\n"));
  AttributeInfo *a = list->attributes;
  EXPECT_EQ(1, a->x); // numbers are read with atoi
  EXPECT_EQ(2, a->y);
  EXPECT_EQ(-1, a->visibility);
  EXPECT_EQ(4, a->size);
  EXPECT_STREQ("A", a->name);
  EXPECT_STREQ("B=C", a->value);
  a = a->next;
  EXPECT_STREQ("", a->name); // an empty name is accepted
  EXPECT_STREQ("BARE", a->value);
  a = a->next;
  EXPECT_STREQ("NOVALUE", a->name);
  EXPECT_STREQ("", a->value); // empty, not "$EMPTY_VAL$"
  a = a->next;
  EXPECT_STREQ("PARTNAME", a->name);
  EXPECT_STREQ(" 74 LS00", a->value);
}

TEST_F(LtfRead, SheetNumbersAndWordsBeyondTheFirst) {
  ASSERT_EQ(0, read(".BL\nS nand 1.5 ignored words\nP A extra\n"));
  EXPECT_EQ(1, list->sheet);
  EXPECT_STREQ("A", list->pins->name);
}

TEST_F(LtfRead, PreambleAndEndOfList) {
  EXPECT_EQ(0, read("no header here\nS x 1\n"));
  EXPECT_EQ(nullptr, list);
  EXPECT_EQ("\n", out);

  EXPECT_EQ(0, read("a preamble .BL\nS x 1\n.EL\nS y 2\ngarbage\n"));
  ASSERT_NE(nullptr, list);
  EXPECT_STREQ("x", list->name);
  EXPECT_EQ(nullptr, list->next);

  // Preamble words count as lines: "junk" is word 4.
  EXPECT_EQ(1, read("one two\n.BL\njunk\n"));
  EXPECT_EQ("File parse error at line 4 in file t.ltf: Unrecognized token 'junk'\n", error());
}

TEST_F(LtfRead, CrLfLinesReadAsLf) {
  ASSERT_EQ(0, read(".BL\r\nS and2 1\r\n\r\nA 0 0 1 10 0 1 R=U1\r\nP ~Q\r\n.EL\r\n"));
  EXPECT_STREQ("U1", list->attributes->value);
  EXPECT_STREQ("Q", list->pins->name);
}

// Each case: the file, the status and the message expected.
struct BadCase {
  const char *text;
  const char *message;
};

TEST_F(LtfRead, EveryParseMessage) {
  const BadCase cases[] = {
      {".BL\ns x 1\n", "File parse error at line 2 in file t.ltf: Unrecognized token 's'\n"},
      {".BL junk\n", "File parse error at line 2 in file t.ltf: Unrecognized token 'junk'\n"},
      {".BL\nS x 1\n.BL\n", "File parse error at line 3 in file t.ltf: Multiple file headers\n"},
      {".BL\nS\n", "File parse error at line 2 in file t.ltf: Symbol name not found\n"},
      {".BL\nS x\n", "File parse error at line 2 in file t.ltf: Symbol sheet not found\n"},
      {".BL\nS x x1\n",
       "File parse error at line 2 in file t.ltf: Illegal character in token 'x1'\n"},
      {".BL\nS x 1\nP  \n", "File parse error at line 3 in file t.ltf: Pin name not found\n"},
      {".BL\nS x 1\nA 0 0 1 10 0 REFDES=U1\n",
       "File parse error at line 3 in file t.ltf: Illegal character in token 'REFDES=U1'\n"},
      {".BL\nS x 1\nA 0 0\n",
       "File parse error at line 3 in file t.ltf: No valid attribute string found\n"},
      {".BL\nS x 1\nA 0 0 1 10 0 1\n",
       "File parse error at line 3 in file t.ltf: No valid attribute string found\n"},
      {".BL\nS x 1\nA 0 0 1 10 0 1 NOEQUALS\n",
       "File parse error at line 3 in file t.ltf: No valid attribute string found\n"},
      {".BL\nS x 1\nA 0\n", "File parse error at line 3 in file t.ltf: No more tokens on line\n"},
      {".BL\nS x 1\nA\n", "File parse error at line 3 in file t.ltf: No more tokens on line\n"},
      {".BL\nA 0 0 1 10 0 1 R=1\n",
       "File parse error at line 2 in file t.ltf: Attribute record before any symbol record\n"},
      {".BL\nP CLK\n", "Unexpected null pointer"},
      {".BL\nS", "File read error"},
      {".BL\nS x 1\nA", "File read error"},
  };
  for (const BadCase &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(1, read(c.text));
    EXPECT_EQ(c.message, error());
    vaAMFreeSymbolInfo(list);
    list = nullptr;
  }
}

TEST_F(LtfRead, ProgressCountsSymbolLinesUpToTheError) {
  EXPECT_EQ(1, read(".BL\nS a 1\nS b 2\nS c x\nS d 4\n"));
  EXPECT_EQ("\r1 symbol records found...\r2 symbol records found...\r3 symbol records found...",
            out);
  // The records read so far stay in the list, the failed one included.
  EXPECT_EQ(nullptr, list->name);
  EXPECT_STREQ("b", list->next->name);
}

TEST_F(LtfRead, LongLineLeavesItsTailAsTheNextRecord) {
  const std::string value(200, 'X');
  EXPECT_EQ(1, read(".BL\nS x 1\nA 0 0 1 10 0 1 NAME=" + value + "\n"));
  // 159 characters were read after "A": 19 before the X's, 140 X's.
  EXPECT_EQ(std::string(140, 'X'), list->attributes->value);
  EXPECT_EQ("File parse error at line 4 in file t.ltf: Unrecognized token '" +
                std::string(60, 'X') + "'\n",
            error());
}

TEST_F(LtfRead, MessagesAreShortenedToFitTheErrorBuffer) {
  const std::string word(300, 'w');
  EXPECT_EQ(1, read(".BL\n" + word + "\n"));
  std::string e = error();
  EXPECT_LE(e.size(), 127u);
  EXPECT_EQ(0u, e.find("File parse error at line 2 in file t.ltf: Unrecognized token 'www"));
  EXPECT_EQ("...'\n", e.substr(e.size() - 5));

  const std::string longName = "/very/long/directory/" + std::string(150, 'd') + "/parts.ltf";
  EXPECT_EQ(1, read(".BL\nS\n", longName.c_str()));
  e = error();
  EXPECT_LE(e.size(), 127u);
  EXPECT_EQ(0u, e.find("File parse error at line 2 in file ..."));
  EXPECT_EQ("/parts.ltf: Symbol name not found\n", e.substr(e.size() - 34));

  EXPECT_EQ(1, read(".BL\nS x " + std::string(150, 'w') + "\n", longName.c_str()));
  e = error();
  EXPECT_LE(e.size(), 127u);
  EXPECT_NE(std::string::npos, e.find("parts.ltf: Illegal character in token 'www")) << e;

  // The header message has its own fallback.
  EXPECT_EQ(1, read(".BL\n.BL\n", longName.c_str()));
  EXPECT_EQ("File parse error\n", error());
}

} // namespace
