// Reading the configuration file: accepted lines, every warning and fatal
// message with its line number, and the lookups of the settings.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "retag.h"
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
    ::testing::internal::CaptureStdout();
    list = vaAMReadINIFile(fp, keywords, file);
    out = ::testing::internal::GetCapturedStdout();
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

TEST_F(IniRead, WarningsKeepReading) {
  EXPECT_EQ("ORIENTATION=2#3 TEXTSIZE=12#2 ", read("textsize 12\n"
                                                   "TEXTSIZE=12\n"
                                                   "TEXTSIZE 12 | default size\n"
                                                   "ORIENTATION 2 default\n"
                                                   "TEXTSIZE 14\n"
                                                   "NEW_ATTR_VIS"));
  EXPECT_EQ("Illegal keyword [textsize]..  Skipping line 1\n"
            "Illegal keyword [TEXTSIZE=12]..  Skipping line 2\n"
            "Remainder of line 4 was ignored in RETAGCFG.INI.\n"
            "Keyword [TEXTSIZE] has already been found.. Ignoring keyword on line 5.\n"
            "Missing value for token [NEW_ATTR_VIS] on line 6.\n",
            out);

  // A value line longer than 159 characters leaves its tail to be read as
  // the next word: an illegal keyword on the next line number.
  EXPECT_EQ("TEXTSIZE=5#2 ", read("TEXTSIZE 5" + std::string(160, ' ') + "tail\n"));
  EXPECT_EQ("Illegal keyword [tail]..  Skipping line 2\n", out);

  vaAMDebugV = 1;
  read("TEXTSIZE 12\n");
  EXPECT_EQ("Found keyword [TEXTSIZE] in RETAGCFG.INI\nFound value [12] in RETAGCFG.INI\n", out);
}

TEST_F(IniRead, FatalLinesAndNoAcceptedLineGiveNull) {
  read("TEXTSIZE 12\nORIENTATION\nTEXTORIGIN 1\n");
  EXPECT_EQ(nullptr, list);
  EXPECT_EQ("File parse error at line 2 in file retagcfg.ini\n", std::string(vaAMErrorBufferV));
  EXPECT_EQ("File parse error at line 2 in file retagcfg.ini\n\n", out);

  read("ORIENTATION \n", std::string(120, 'n').c_str());
  EXPECT_EQ(nullptr, list);
  EXPECT_EQ("File parse error\n", std::string(vaAMErrorBufferV));

  read("TEXTSIZE twelve\n");
  EXPECT_EQ(nullptr, list);
  EXPECT_EQ("Illegal or missing value for token [TEXTSIZE]\n", out);

  read("");
  EXPECT_EQ(nullptr, list);
  read("bogus 1\nTEXTSIZE");
  EXPECT_EQ(nullptr, list);
  EXPECT_EQ("Illegal keyword [bogus]..  Skipping line 1\n"
            "Missing value for token [TEXTSIZE] on line 2.\n",
            out);
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
