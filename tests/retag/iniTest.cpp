// Reading the configuration file: the accepted lines as records, and the
// lookups of the settings. Warnings and fatal lines are end-to-end scenarios
// (tests/e2e/ini_*), where they are printed.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "retag.h"
#include "support/TestSupport.h"
#include "symlist.h"
#include "ulStr.h"

namespace {

class IniRead : public ::testing::Test {
protected:
  void SetUp() override { vaAMDebugV = 0; }
  void TearDown() override { vaAMFreeINIKeyValues(list); }

  // Reads text as the configuration file, replacing the list; keeps what was
  // printed and returns "NAME=value#id " of every record, newest first.
  std::string read(std::string text, const char *file = "retagcfg.ini") {
    vaAMFreeINIKeyValues(list);
    FILE *fp = fmemopen(text.data(), text.size(), "r");
    KeywordEntry *keywords = vaAMInitINIKeywords();
    out = testsupport::stdoutOf([&] { list = vaAMReadINIFile(fp, keywords, file); });
    vaAMFreeAnyKeywords(keywords);
    std::fclose(fp);
    std::string records;
    for (IniKeyValue *r = list; r != nullptr; r = r->next)
      records +=
          std::string(r->name) + "=" + std::to_string(r->value) + "#" + std::to_string(r->id) + " ";
    return records;
  }

  IniKeyValue *list = nullptr;
  std::string out;
};

TEST_F(IniRead, FourKeywordsNewestFirst) {
  EXPECT_EQ("TEXTORIGIN=-3#4 ORIENTATION=9#3 TEXTSIZE=12#2 NEW_ATTR_VIS=1#1 ",
            read("NEW_ATTR_VIS 1\n\nTEXTSIZE\t12\n  ORIENTATION 9\nTEXTORIGIN -3.7"));
  EXPECT_EQ("", out);
}

TEST(IniLookup, DefaultValueAndOrd) {
  IniKeyValue *list = vaAMAllocateINIKeyword(nullptr);
  vaAMStoreINIKeyValue(vaAMStoreINIKeyword(list, ulStrCpy("orientation"), nullptr), 9);
  EXPECT_EQ(0, list->id); // without a keyword list there is no id
  KeywordEntry *keywords = vaAMInitINIKeywords();
  vaAMStoreINIKeyword(list, ulStrCpy("orientation"), keywords);
  EXPECT_EQ(3, list->id); // looked up ignoring case
  vaAMINIKeywordsV = list;

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(9, vaAMGetDefaultValue(3));
  EXPECT_EQ(1, vaAMGetDefaultValue(2));
  EXPECT_EQ(4, vaAMINIOrd(4));
  EXPECT_EQ(1, vaAMINIOrd(7));
  EXPECT_EQ("WRONG.............\nIllegal enum evaluation.\nIllegal branch.\n",
            ::testing::internal::GetCapturedStdout());
  EXPECT_STREQ("Unexpected value", vaAMErrorBufferV);
  vaAMINIKeywordsV = nullptr;
  vaAMFreeINIKeyValues(list);
  vaAMFreeAnyKeywords(keywords);
}

} // namespace
