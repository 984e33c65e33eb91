// Reading LTF files: structure, field rules, every parse message and the
// limits of lines, words and the error buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "retag.h"
#include "support/TestSupport.h"
#include "symlist.h"

namespace {

// The records of a list in list order, one line each: "S name sheet",
// "A x y visibility size orientation origin NAME=VALUE used", "P ~name".
std::string attributes(const AttributeInfo *a) {
  std::string text;
  for (; a != nullptr; a = a->next)
    text += "A " + std::to_string(a->x) + " " + std::to_string(a->y) + " " +
            std::to_string(a->visibility) + " " + std::to_string(a->size) + " " +
            std::to_string(a->orientation) + " " + std::to_string(a->origin) + " " + a->name + "=" +
            a->value + " " + std::to_string(a->used) + "\n";
  return text;
}
std::string describe(const SymbolInfo *s) {
  std::string text;
  for (; s != nullptr; s = s->next) {
    text += "S " + std::string(s->name ? s->name : "(null)") + " " + std::to_string(s->sheet) +
            "\n" + attributes(s->attributes);
    for (const PinInfo *p = s->pins; p != nullptr; p = p->next)
      text +=
          std::string("P ") + (p->inverted ? "~" : "") + p->name + "\n" + attributes(p->attributes);
  }
  return text;
}

class LtfRead : public ::testing::Test {
protected:
  void TearDown() override { vaAMFreeSymbolInfo(list); }

  // Reads text as an LTF file named file, replacing the list; keeps what was
  // printed.
  int read(std::string text, const char *file = "t.ltf") {
    vaAMFreeSymbolInfo(list);
    list = nullptr;
    FILE *fp = fmemopen(text.data(), text.size(), "r");
    KeywordEntry *keywords = vaAMInitLTFKeywords();
    vaAMErrorBufferV[0] = '\0';
    int status = 0;
    out = testsupport::stdoutOf([&] { status = vaAMReadLTFFile(fp, &list, keywords, file); });
    vaAMFreeAnyKeywords(keywords);
    std::fclose(fp);
    return status;
  }
  std::string error() const { return vaAMErrorBufferV; }

  SymbolInfo *list = nullptr;
  std::string out;
};

TEST_F(LtfRead, ListsHoldRecordsInReverseOrderOfReading) {
  ASSERT_EQ(0, read(".BL\nS and2 1\nA 0 0 1 10 0 1 REFDES=U?\nA 5 6 0 8 2 3 part=74ls00\n"
                    "A 1 1 1 1 1 1 third=x\nP ~CLK\nA 10 0 1 8 0 1 pintype=in\nP CLK\n"
                    "\nS and2 1\n.EL\n"));
  EXPECT_EQ("\r1 symbol records found...\r2 symbol records found...\n", out);
  EXPECT_EQ("S and2 1\nS and2 1\nA 1 1 1 1 1 1 THIRD=X 0\nA 5 6 0 8 2 3 PART=74LS00 0\n"
            "A 0 0 1 10 0 1 REFDES=U? 0\nP CLK\nP ~CLK\nA 10 0 1 8 0 1 PINTYPE=IN 0\n",
            describe(list));
}

TEST_F(LtfRead, LenientFieldsAndLines) {
  // Numbers are read with atoi, an empty name is accepted, an empty value
  // stays empty (not "$EMPTY_VAL$"), and blanks inside the name go. Words
  // after the ones a record needs are ignored; CR LF ends a line as LF does.
  ASSERT_EQ(0, read(".BL\nS x 1.5 ignored words\nA 0 0 1 10 0 1 part name = 74 ls00\n"
                    "A 0 0 1 10 0 1 NOVALUE=\nA 0 0 1 10 0 1  =bare\ttail after tab\n"
                    "A 1.9 2e3 -1 +4 0 1 A=B=C\nP A extra\n"));
  EXPECT_EQ("S x 1\nA 1 2 -1 4 0 1 A=B=C 0\nA 0 0 1 10 0 1 =BARE 0\nA 0 0 1 10 0 1 NOVALUE= 0\n"
            "A 0 0 1 10 0 1 PARTNAME= 74 LS00 0\nP A\n",
            describe(list));
  ASSERT_EQ(0, read(".BL\r\nS and2 1\r\n\r\nA 0 0 1 10 0 1 R=U1\r\nP ~Q\r\n.EL\r\n"));
  EXPECT_EQ("S and2 1\nA 0 0 1 10 0 1 R=U1 0\nP ~Q\n", describe(list));
}

TEST_F(LtfRead, PreambleAndEndOfList) {
  EXPECT_EQ(0, read("no header here\nS x 1\n"));
  EXPECT_EQ(nullptr, list);
  EXPECT_EQ("\n", out);

  EXPECT_EQ(0, read("a preamble .BL\nS x 1\n.EL\nS y 2\ngarbage\n"));
  ASSERT_NE(nullptr, list);
  EXPECT_STREQ("x", list->name);
  EXPECT_EQ(nullptr, list->next);
}

// The rows of cases/ltfparse.txt.
TEST_F(LtfRead, EveryParseMessage) {
  for (const auto &row : testsupport::tableRows("retag/cases/ltfparse.txt")) {
    ASSERT_EQ(3u, row.size());
    SCOPED_TRACE(row[0]);
    EXPECT_EQ(1, read(row[0]));
    EXPECT_EQ(row[1] == "0"
                  ? row[2]
                  : "File parse error at line " + row[1] + " in file t.ltf: " + row[2] + "\n",
              error());
  }
}

TEST_F(LtfRead, ProgressCountsSymbolLinesUpToTheError) {
  EXPECT_EQ(1, read(".BL\nS a 1\nS b 2\nS c x\nS d 4\n"));
  EXPECT_EQ("\r1 symbol records found...\r2 symbol records found...\r3 symbol records found...",
            out);
  // The records read so far stay in the list, the failed one included.
  EXPECT_EQ("S (null) 0\nS b 2\nS a 1\n", describe(list));
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
  EXPECT_EQ(1, read(".BL\n" + std::string(300, 'w') + "\n"));
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
