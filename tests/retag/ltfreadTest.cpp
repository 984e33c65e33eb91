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

// The rows of cases/ltfread.txt.
TEST_F(LtfRead, ListsHoldWhatTheFileSays) {
  for (auto row : testsupport::tableRows("retag/cases/ltfread.txt")) {
    SCOPED_TRACE(row[0]);
    row.resize(4);
    EXPECT_EQ(std::stoi(row[1]), read(row[0]));
    EXPECT_EQ(row[2], out);
    EXPECT_EQ(row[3], describe(list));
  }
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

// A long line leaves its tail as the next record.
TEST_F(LtfRead, LongLinesAndLongMessagesAreCut) {
  const std::string value(200, 'X');
  EXPECT_EQ(1, read(".BL\nS x 1\nA 0 0 1 10 0 1 NAME=" + value + "\n"));
  // 159 characters were read after "A": 19 before the X's, 140 X's.
  EXPECT_EQ(std::string(140, 'X'), list->attributes->value);
  EXPECT_EQ("File parse error at line 4 in file t.ltf: Unrecognized token '" +
                std::string(60, 'X') + "'\n",
            error());

  // Messages are shortened to fit the error buffer.
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
