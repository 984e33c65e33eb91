// The symbol list records, keyword lists, hash index, attribute splitting,
// the LTF writer and dump, and write-then-read round trips.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "retag.h"
#include "symlist.h"
#include "ulStr.h"

namespace {

std::string error() {
  return vaAMErrorBufferV;
}

std::string writeToString(SymbolInfo *list, int *status) {
  FILE *fp = std::tmpfile();
  *status = vaAMWriteLTFFile(fp, list);
  std::string text(static_cast<size_t>(std::ftell(fp)), '\0');
  std::rewind(fp);
  EXPECT_EQ(text.size(), std::fread(text.data(), 1, text.size(), fp));
  std::fclose(fp);
  return text;
}

// A symbol with the given attributes (added in order, so stored reversed).
SymbolInfo *addSymbol(SymbolInfo *list, const char *name, int sheet) {
  SymbolInfo *s = vaAMAllocateSymbolInfo(list);
  vaAMStoreSymName(s, name, sheet);
  return s;
}
AttributeInfo *addAttribute(AttributeInfo *&head, const char *name, const char *value, int n) {
  head = vaAMAllocateAnyAttribute(head);
  vaAMStoreAttLocation(head, n, -n);
  vaAMStoreAttOrigin(
      vaAMStoreAttOrientation(vaAMStoreAttSize(vaAMStoreAttVisibility(head, n % 4), n + 1), n % 8),
      n % 16);
  return vaAMStoreAnyAttribute(head, name, value);
}

TEST(SymList, NullArgumentsGiveUnexpectedNullPointer) {
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
  vaAMFreeSymbolInfo(s);
}

TEST(SymList, StoringReplacesAndEmptyValueIsLiteral) {
  SymbolInfo *s = vaAMAllocatePin(vaAMAllocatePin(addSymbol(nullptr, "and2", 3)));
  EXPECT_EQ(s, vaAMStorePinName(vaAMStorePinName(s, "first"), "second"));
  EXPECT_STREQ("second", s->pins->name);
  EXPECT_EQ(nullptr, s->pins->next->name);
  AttributeInfo *a = nullptr;
  addAttribute(a, "N", nullptr, 1);
  EXPECT_STREQ("$EMPTY_VAL$", a->value);
  addAttribute(s->pins->attributes, "PINTYPE", "IN", 2);
  s->attributes = a;
  vaAMFreeSymbolInfo(s); // LeakSanitizer checks that everything went
}

TEST(SymList, KeywordListsHoldReverseTableOrder) {
  KeywordEntry *ini = nullptr;
  KeywordEntry *ltf = nullptr;
  ASSERT_EQ(1, vaAMInitAllKeywords(&ini, &ltf));
  std::vector<std::string> names;
  for (KeywordEntry *k = ltf; k != nullptr; k = k->next) {
    names.push_back(k->name);
    EXPECT_EQ(static_cast<int>(names.back().size()), k->length);
  }
  EXPECT_EQ((std::vector<std::string>{".EL", "A", "P", "S", ".BL"}), names);
  EXPECT_EQ(5, ltf->id);
  EXPECT_STREQ("TEXTORIGIN", ini->name);
  EXPECT_EQ(4, ini->id);
  EXPECT_STREQ("NEW_ATTR_VIS", ini->next->next->next->name);
  EXPECT_EQ(1, ini->next->next->next->id);

  // The token reader matches whole words only, in exact case.
  FILE *fp = std::tmpfile();
  std::fputs(".BLX S\tA\n.bl .EL", fp);
  std::rewind(fp);
  char word[160];
  std::vector<int> ids;
  for (int id; (id = ulTklex(fp, word, sizeof word, "\n\t ", " \n\t", ltf)) != -1;)
    ids.push_back(id);
  EXPECT_EQ((std::vector<int>{0, 2, 4, 0, 5}), ids);
  std::fclose(fp);
  vaAMFreeAllKeywords(ini, ltf);
}

TEST(SymList, HashCodes) {
  EXPECT_EQ(0, vaAMGetHashCode(""));
  EXPECT_EQ(65, vaAMGetHashCode("A"));
  EXPECT_EQ(96, vaAMGetHashCode("AB"));
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
  char *name = nullptr;
  char *value = nullptr;
  EXPECT_EQ(0, vaAMParseAttribute(" part\tname = 74 ls00 ", &name, &value));
  EXPECT_STREQ("partname", name);
  EXPECT_STREQ(" 74 ls00 ", value);
  ulStrFree(name);
  ulStrFree(value);

  EXPECT_EQ(0, vaAMParseAttribute("NOEQUALS", &name, &value));
  EXPECT_STREQ("NOEQUALS", name);
  EXPECT_EQ(nullptr, value);
  ulStrFree(name);

  // Only the first 159 characters reach the work buffer.
  const std::string longText = "N=" + std::string(300, 'v');
  EXPECT_EQ(0, vaAMParseAttribute(longText.c_str(), &name, &value));
  EXPECT_EQ(std::string(157, 'v'), value);
  ulStrFree(name);
  ulStrFree(value);

  EXPECT_EQ(1, vaAMParseAttribute("", &name, &value));
  EXPECT_EQ("Empty attribute string", error());
  EXPECT_EQ(1, vaAMParseAttribute(nullptr, &name, &value));
  EXPECT_EQ(nullptr, name);

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
  EXPECT_EQ(".BL\n"
            "S and2 1\n"
            "A 1 -1 1 2 1 1 REFDES=$EMPTY_VAL$\n"
            "P ~CLK\n"
            "A 2 -2 2 3 2 2 PINTYPE=IN\n"
            ".EL\n",
            writeToString(s, &status));
  EXPECT_EQ(0, status);
  EXPECT_STREQ("$EMPTY_VAL$", s->attributes->value); // replaced in the record

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(0, vaAMDumpSymbolList(s));
  EXPECT_EQ("Symbol = and2  Sheet = 1\n"
            "Symbol Attributes:\n"
            "X = 1  Y = -1  VIS = 1  SIZE = 2  ORIEN = 1  ORIGIN = 1  REFDES=$EMPTY_VAL$\n"
            "Pins and Attributes:\n"
            "~CLK\n"
            "X = 2  Y = -2  VIS = 2  SIZE = 3  ORIEN = 2  ORIGIN = 2  PINTYPE=IN\n",
            ::testing::internal::GetCapturedStdout());

  // A nameless pin attribute stops the writer after what it has written.
  ulStrFree(s->pins->attributes->name);
  s->pins->attributes->name = nullptr;
  std::string text = writeToString(s, &status);
  EXPECT_EQ(1, status);
  EXPECT_EQ("Empty attribute name field", error());
  EXPECT_EQ("P ~CLK\n", text.substr(text.size() - 7));

  // The dump reports it as a fatal error and stops there.
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(0, vaAMDumpSymbolList(s));
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ("~CLK\n\nEmpty attribute name field\n", out.substr(out.size() - 33));
  vaAMFreeSymbolInfo(s);
}

// Builds a list of n symbols with mixed-case names and values, some without
// value, and pins both plain and inverted.
SymbolInfo *generate(int n) {
  SymbolInfo *list = nullptr;
  for (int i = 0; i < n; ++i) {
    std::string id = std::to_string(i);
    list = addSymbol(list, ("sym" + id).c_str(), i);
    for (int a = 0; a < i % 4; ++a)
      addAttribute(list->attributes, ("Att" + std::to_string(a)).c_str(),
                   a == 1 ? nullptr : ("v al" + id).c_str(), i + a);
    for (int p = 0; p < i % 3; ++p) {
      vaAMAllocatePin(list);
      vaAMStorePinInversion(vaAMStorePinName(list, ("Pin" + std::to_string(p)).c_str()), p % 2);
      addAttribute(list->pins->attributes, "PinType", p ? "out" : "", -p);
    }
  }
  return list;
}

// One line per record, each list in its own order or reversed, with
// attribute names and values upper-cased when asked: a list read back from
// a written one must describe the same as the written list reversed.
template <class T> std::vector<T *> ordered(T *head, bool reversed) {
  std::vector<T *> records;
  for (; head != nullptr; head = head->next)
    records.insert(reversed ? records.begin() : records.end(), head);
  return records;
}
std::string describe(AttributeInfo *a, bool reversed, bool upper) {
  std::string text;
  for (AttributeInfo *r : ordered(a, reversed)) {
    std::string nv = std::string(r->name) + "=" + r->value;
    for (char &c : nv)
      c = upper ? static_cast<char>(std::toupper(c)) : c;
    text += " A " + std::to_string(r->x) + " " + std::to_string(r->y) + " " +
            std::to_string(r->visibility) + " " + std::to_string(r->size) + " " +
            std::to_string(r->orientation) + " " + std::to_string(r->origin) + " " + nv + "\n";
  }
  return text;
}
std::string describe(SymbolInfo *list, bool reversed, bool upper) {
  std::string text;
  for (SymbolInfo *s : ordered(list, reversed)) {
    text += "S " + std::string(s->name) + " " + std::to_string(s->sheet) + "\n" +
            describe(s->attributes, reversed, upper);
    for (PinInfo *p : ordered(s->pins, reversed))
      text += " P " + std::to_string(p->inverted) + p->name + "\n" +
              describe(p->attributes, reversed, upper);
  }
  return text;
}

TEST(SymList, WriteThenReadReversesAndUpperCases) {
  SymbolInfo *written = generate(30);
  FILE *fp = std::tmpfile();
  ASSERT_EQ(0, vaAMWriteLTFFile(fp, written));
  std::rewind(fp);
  KeywordEntry *keywords = vaAMInitLTFKeywords();
  SymbolInfo *read = nullptr;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(0, vaAMReadLTFFile(fp, &read, keywords, "round.ltf"));
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ("\r10 symbol records found...", out.substr(out.find("\r10 "), 27));
  EXPECT_EQ("\r30 symbol records found...\n", out.substr(out.size() - 28));
  std::fclose(fp);

  // Values without value were written as "$EMPTY_VAL$" (the writer stored
  // it into the records); symbol and pin names keep their case.
  const std::string expected = describe(written, true, true);
  EXPECT_NE(std::string::npos, expected.find("ATT1=$EMPTY_VAL$"));
  EXPECT_NE(std::string::npos, expected.find("V AL3"));
  EXPECT_EQ(expected, describe(read, false, false));
  vaAMFreeSymbolInfo(read);
  vaAMFreeSymbolInfo(written);
  vaAMFreeAnyKeywords(keywords);
}

} // namespace
