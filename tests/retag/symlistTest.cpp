// The symbol list records, keyword lists, hash index, attribute splitting,
// the LTF writer and dump. The writer's format here and the reader's field
// order, list reversal and case (ltfreadTest.cpp) pin both sides of a
// written and re-read list.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "retag.h"
#include "support/TestSupport.h"
#include "symlist.h"
#include "ulStr.h"

namespace {

using testsupport::Ints;
using testsupport::stdoutOf;

std::string error() {
  return vaAMErrorBufferV;
}

std::string writeToString(SymbolInfo *list, int *status) {
  char *buffer = nullptr;
  size_t length = 0;
  FILE *fp = open_memstream(&buffer, &length);
  *status = vaAMWriteLTFFile(fp, list);
  std::fclose(fp);
  std::string text(buffer, length);
  std::free(buffer);
  return text;
}

SymbolInfo *addSymbol(SymbolInfo *list, const char *name, int sheet) {
  SymbolInfo *s = vaAMAllocateSymbolInfo(list);
  vaAMStoreSymName(s, name, sheet);
  return s;
}
// Prepends an attribute whose location and display fields derive from n.
AttributeInfo *addAttribute(AttributeInfo *&head, const char *name, const char *value, int n) {
  head = vaAMAllocateAnyAttribute(head);
  vaAMStoreAttLocation(head, n, -n);
  vaAMStoreAttOrigin(
      vaAMStoreAttOrientation(vaAMStoreAttSize(vaAMStoreAttVisibility(head, n % 4), n + 1), n % 8),
      n % 16);
  return vaAMStoreAnyAttribute(head, name, value);
}

TEST(SymList, StoringIntoRecords) {
  auto expectNull = [](const void *result) {
    EXPECT_EQ(nullptr, result);
    EXPECT_EQ("Unexpected null pointer", error());
    vaAMErrorBufferV[0] = '\0';
  };
  expectNull(vaAMAllocatePin(nullptr));
  expectNull(vaAMStoreSymName(nullptr, "x", 1));
  expectNull(vaAMStoreAttSize(nullptr, 1));
  expectNull(vaAMStoreAnyAttribute(nullptr, "N", "V"));
  SymbolInfo *s = vaAMAllocateSymbolInfo(nullptr);
  expectNull(vaAMStoreSymName(s, nullptr, 1));
  expectNull(vaAMStorePinName(s, "CLK")); // the symbol has no pin yet
  expectNull(vaAMStorePinInversion(s, 1));

  // Storing again replaces; a missing value is stored as a literal.
  vaAMAllocatePin(vaAMAllocatePin(s));
  EXPECT_EQ(s, vaAMStorePinName(vaAMStorePinName(s, "first"), "second"));
  EXPECT_STREQ("second", s->pins->name);
  EXPECT_EQ(nullptr, s->pins->next->name);
  addAttribute(s->attributes, "N", nullptr, 1);
  EXPECT_STREQ("$EMPTY_VAL$", s->attributes->value);
  addAttribute(s->pins->attributes, "PINTYPE", "IN", 2);
  vaAMFreeSymbolInfo(s); // LeakSanitizer checks that everything went
}

TEST(SymList, KeywordListsHoldReverseTableOrder) {
  KeywordEntry *ini = nullptr;
  KeywordEntry *ltf = nullptr;
  ASSERT_EQ(1, vaAMInitAllKeywords(&ini, &ltf));
  auto names = [](const KeywordEntry *k) {
    std::string text;
    for (; k != nullptr; k = k->next)
      text += std::string(k->name) + "#" + std::to_string(k->id) + "/" + std::to_string(k->length) +
              " ";
    return text;
  };
  EXPECT_EQ(".EL#5/3 A#4/1 P#3/1 S#2/1 .BL#1/3 ", names(ltf));
  EXPECT_EQ("TEXTORIGIN#4/10 ORIENTATION#3/11 TEXTSIZE#2/8 NEW_ATTR_VIS#1/12 ", names(ini));

  // The token reader matches whole words only, in exact case.
  char text[] = ".BLX S\tA\n.bl .EL";
  FILE *fp = fmemopen(text, sizeof text - 1, "r");
  char word[160];
  std::vector<int> ids;
  for (int id; (id = ulTklex(fp, word, sizeof word, "\n\t ", " \n\t", ltf)) != -1;)
    ids.push_back(id);
  EXPECT_EQ((std::vector<int>{0, 2, 4, 0, 5}), ids);
  std::fclose(fp);
  vaAMFreeAllKeywords(ini, ltf);
}

TEST(SymList, HashCodes) {
  EXPECT_EQ((Ints{0, 65, 96}),
            (Ints{vaAMGetHashCode(""), vaAMGetHashCode("A"), vaAMGetHashCode("AB")}));
  // Signed characters: 0xFF counts as -1, so the sum wraps to 2^32 - 1.
  EXPECT_EQ(static_cast<int>(0xFFFFFFFFu % 101), vaAMGetHashCode("\xff"));
  // The shift restarts every eight characters: position 8 adds unshifted.
  EXPECT_EQ((1 + 2 + 4 + 8 + 16 + 32 + 64 + 128 + 1) * 'a' % 101, vaAMGetHashCode("aaaaaaaaa"));

  SymbolInfo *list = addSymbol(addSymbol(nullptr, "and", 21), "and2", 1);
  EXPECT_EQ(0, vaAMTransList(list));
  HashEntry *e = vaAMHashTableV[vaAMGetHashCode("and21")];
  ASSERT_NE(nullptr, e); // same key "and21": the later entry is the second symbol
  EXPECT_EQ(list->next, e->symbol);
  ASSERT_NE(nullptr, e->next);
  EXPECT_EQ(list, e->next->symbol);
  EXPECT_EQ(0, e->used);
  vaAMFreeSymbolInfo(list);
}

TEST(SymList, ParseAttribute) {
  // "name|value" from the splitter, "!" on failure; frees what it returned.
  auto parse = [](const char *text) {
    char *name = nullptr;
    char *value = nullptr;
    if (vaAMParseAttribute(text, &name, &value) != 0)
      return std::string("!") + (name == nullptr ? "" : "name set");
    std::string result = std::string(name) + "|" + (value == nullptr ? "(null)" : value);
    ulStrFree(name);
    ulStrFree(value);
    return result;
  };
  EXPECT_EQ("partname| 74 ls00 ", parse(" part\tname = 74 ls00 "));
  EXPECT_EQ("NOEQUALS|(null)", parse("NOEQUALS"));
  // Only the first 159 characters reach the work buffer.
  EXPECT_EQ("N|" + std::string(157, 'v'), parse(("N=" + std::string(300, 'v')).c_str()));
  EXPECT_EQ((std::vector<std::string>{"!", "Empty attribute string"}),
            (std::vector<std::string>{parse(""), error()})); // in this order
  EXPECT_EQ("!", parse(nullptr));

  char blanks[] = " a b\tc ";
  EXPECT_STREQ("abc", vaAMRemoveBlanks(blanks));
  char *stripped = vaAMStripLeadingSpaces(ulStrCpy(" \t x y "));
  EXPECT_STREQ("x y ", stripped);
  ulStrFree(stripped);
  EXPECT_EQ(nullptr, vaAMStripLeadingSpaces(nullptr));
}

TEST(SymList, WriterFormatAndEmptyValues) {
  SymbolInfo *s = addSymbol(nullptr, "and2", 1);
  addAttribute(s->attributes, "REFDES", "U?", 1);
  s->attributes->value = (ulStrFree(s->attributes->value), nullptr);
  vaAMAllocatePin(s);
  vaAMStorePinInversion(vaAMStorePinName(s, "CLK"), 1);
  addAttribute(s->pins->attributes, "PINTYPE", "IN", 2);
  int status = -1;
  EXPECT_EQ(".BL\nS and2 1\nA 1 -1 1 2 1 1 REFDES=$EMPTY_VAL$\nP ~CLK\nA 2 -2 2 3 2 2 PINTYPE=IN\n"
            ".EL\n",
            writeToString(s, &status));
  EXPECT_EQ(0, status);
  EXPECT_STREQ("$EMPTY_VAL$", s->attributes->value); // replaced in the record

  EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(0, vaAMDumpSymbolList(s)); }),
            "Symbol = and2  Sheet = 1\nSymbol Attributes:\n"
            "X = 1  Y = -1  VIS = 1  SIZE = 2  ORIEN = 1  ORIGIN = 1  REFDES=$EMPTY_VAL$\n"
            "Pins and Attributes:\n~CLK\n"
            "X = 2  Y = -2  VIS = 2  SIZE = 3  ORIEN = 2  ORIGIN = 2  PINTYPE=IN\n");

  // A nameless pin attribute stops the writer after what it has written, and
  // the dump reports it as a fatal error and stops there.
  ulStrFree(s->pins->attributes->name);
  s->pins->attributes->name = nullptr;
  EXPECT_EQ(".BL\nS and2 1\nA 1 -1 1 2 1 1 REFDES=$EMPTY_VAL$\nP ~CLK\n",
            writeToString(s, &status));
  EXPECT_EQ("1 Empty attribute name field", std::to_string(status) + " " + error());
  std::string out = stdoutOf([&] { EXPECT_EQ(0, vaAMDumpSymbolList(s)); });
  EXPECT_EQ("~CLK\n\nEmpty attribute name field\n", out.substr(out.size() - 33));
  vaAMFreeSymbolInfo(s);
}

} // namespace
