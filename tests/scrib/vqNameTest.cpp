// Block names: library component names, pin indexes, the names of a Block and
// the validity of block, sheet and symbol names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScribFixture.h"
#include "vqName.h"
#include "vqp.h"

using namespace scribtest;
using Strings = std::vector<std::string>;

namespace {

TEST(VqName, LibraryComponentNamesSplitAtTheFirstColon) {
  struct Case {
    std::string text, library, component;
  } cases[] = {
      {"mylib:and2", "mylib", "and2"},
      {"and2", "", "and2"},
      {"a:b:c", "a", "b:c"},
      {"  and2", "", "and2"},
      {"  lib:x", "lib", "x"},
      {":x", "", "x"},
      {"lib:", "lib", ""},
      {"lib: x", "lib", " x"},
      {"", "", ""},
      {std::string(600, 'l') + ":n", std::string(544, 'l'), "n"},
  };
  for (Case &c : cases) {
    std::string text = c.text;
    EXPECT_EQ(c.library, q_split_lib_comp(text.data())) << c.text;
    EXPECT_EQ(c.component, text.c_str()) << c.text;
  }
  EXPECT_STREQ("", q_split_lib_comp(nullptr));

  struct Join {
    const char *library, *component, *joined;
  } joins[] = {{"", "and2", "and2"},
               {nullptr, "and2", "and2"},
               {"mylib", "and2", "mylib:and2"},
               {"mylib", nullptr, "mylib:"}};
  for (const Join &j : joins) {
    char *merged = q_merge_lib_comp(j.library, j.component);
    EXPECT_STREQ(j.joined, merged);
    ulStrFree(merged);
    EXPECT_STREQ(j.joined, q_combine_lib_comp(j.library, j.component));
  }
  // The combined form cuts the library to 32 and the whole to 544 characters.
  std::string longLib(40, 'L'), longName(600, 'n');
  EXPECT_EQ(std::string(32, 'L') + ":x", q_combine_lib_comp(longLib.c_str(), "x"));
  EXPECT_EQ("a:" + std::string(542, 'n'), q_combine_lib_comp("a", longName.c_str()));
}

TEST(VqName, PinIndexesAreNumbersOrRunWidePositionsOfTexts) {
  struct Step {
    const char *text;
    int index;
  } steps[] = {
      {"12", 12},    {"CLK", -1},  {"OE", -2},  {"CLK", -1}, {"-3", -3},    {"0", 0},   {"1.5", 1},
      {"1e3", 1000}, {"1e20", -4}, {"clk", -5}, {"", -6},    {nullptr, -6}, {"12", 12},
  };
  for (const Step &s : steps)
    EXPECT_EQ(s.index, q_get_pnindex(s.text)) << (s.text ? s.text : "(null)");
  EXPECT_EQ((Strings{"CLK", "-3", "clk", "12", ""}),
            (Strings{vqPnindexText(-1), vqPnindexText(-3), vqPnindexText(-5), vqPnindexText(12),
                     vqPnindexText(-7)}));
}

TEST(VqName, NamesOfABlockWithoutFile) {
  EXPECT_EQ((Strings{"mylib:and2.1", "and2.1", "and2.12"}),
            (Strings{vqBuildBlockName("mylib", "and2", 1), vqBuildBlockName("", "and2", 1),
                     vqBuildBlockName(nullptr, " and2 ", 12)}));
  // A name too long for a path is still named.
  std::string longName(300, 'n');
  EXPECT_EQ(longName + ".3", vqBuildBlockName("", longName.c_str(), 3));

  vqBlock *b = symbol("and2", "mylib");
  b->number = 3;
  struct Form {
    int form;
    const char *name;
  } forms[] = {
      {1, "and2.3"}, {2, "mylib:and2"}, {3, "mylib:and2.3"}, {0, "mylib:and2"}, {9, "mylib:and2"}};
  for (const Form &f : forms)
    EXPECT_STREQ(f.name, vqBlockFullName(b, f.form)) << f.form;
  // The library block name needs no file when the Block has a library.
  EXPECT_EQ((Strings{"mylib:and2", "mylib:and2.3", "mylib:and2.3", "mylib", "3"}),
            (Strings{q_libcomp_name(b), q_libcompext_name(b), q_lib_block_name(b),
                     vqBlockDirName(b), q_file_extension(b)}));
  b->kind = 4;
  EXPECT_STREQ("pin", q_file_extension(b));
  b->kind = vqBLOCK_SYMBOL;
  // Each builder keeps its result until its own next call.
  const char *full = vqBlockFullName(b, 1);
  q_libcomp_name(b);
  vqBuildBlockName("x", "y", 1);
  EXPECT_STREQ("and2.3", full);
  EXPECT_EQ(nullptr, q_libcomp_name(nullptr));
  q_free_block(b);
}

TEST(VqName, SheetAndSymbolNumbersStopAt999) {
  struct Case {
    const char *text;
    int symbol;
  } cases[] = {
      {"and2.1", 1},  {"and2.999", 1},   {"and2.1000", 0}, {"and2", 0},
      {"and 2.1", 0}, {"dir/and2.1", 0}, {"and2.x", 0},    {"a$b_(c).5", 1},
      {"and2.+7", 1}, {"", 0},           {nullptr, 0},     {"mylib:and2.1", 0},
  };
  for (const Case &c : cases) {
    int r = -1;
    EXPECT_EQ("", stdoutOf([&] { r = q_valid_symbol_name(c.text); }));
    EXPECT_EQ(c.symbol, r) << (c.text ? c.text : "(null)");
  }
  struct Sheet {
    const char *text;
    int valid;
    const char *message;
  } sheets[] = {
      {"999", 1, ""},
      {"1000", 0, "Sheet number of `1000' is above 999.\n"},
      {"abc", 1, ""},
      {"", 1, "`' is not a valid file extension.\n"},
  };
  for (const Sheet &s : sheets) {
    int r = -1;
    EXPECT_EQ(s.message, stdoutOf([&] { r = q_valid_sheet_num(s.text); }));
    EXPECT_EQ(s.valid, r) << s.text;
  }
}

// The checks that ask the project for its libraries and files.
class VqNameProject : public Project {};

// The rows of cases/filenames.txt.
TEST_F(VqNameProject, FileNamesAreCheckedPartByPartWithTheirMessages) {
  for (auto row : testsupport::tableRows("scrib/cases/filenames.txt")) {
    SCOPED_TRACE(row[0]);
    row.resize(7);
    char library[vqLIBCOMP_MAX + 1] = "?", name[vsMAXPATH] = "?", extension[vsMAXPATH] = "?";
    int r = -1;
    EXPECT_EQ(row[3], stdoutOf([&] {
                r = vqValidFileName(row[0].c_str(), std::stoi(row[1]), library, name, extension);
              }));
    EXPECT_EQ(std::stoi(row[2]), r);
    if (r == 1) {
      EXPECT_EQ(row[4] + "|" + row[5] + "|" + row[6],
                std::string(library) + "|" + name + "|" + extension);
    }
  }
  // A text beyond 544 characters is cut before the check.
  std::string longText = "and2." + std::string(600, '1');
  int r = -1;
  stdoutOf([&] { r = vqValidFileName(longText.c_str(), 1, nullptr, nullptr, nullptr); });
  EXPECT_EQ(0, r);
}

TEST_F(VqNameProject, BlockNamesAreValidAndTheirFilesFound) {
  // An empty block name is valid only while no symbol is loaded.
  int r = -1;
  EXPECT_EQ("", stdoutOf([&] { r = q_valid_block_name(""); }));
  EXPECT_EQ(1, r);
  vqBlock *b = symbol("and2");
  vqBlockListAdd(b);
  EXPECT_EQ("Block name `' is empty or holds a character that names cannot hold.\n",
            stdoutOf([&] { r = q_valid_block_name(""); }));
  EXPECT_EQ(0, r);
  EXPECT_EQ("", stdoutOf([&] { r = q_valid_block_name("mylib:or2.1"); }));
  EXPECT_EQ(1, r);
  q_free_block(b);

  // Block files are found by their names.
  dir.write("lib/sym/and2.1", "V 50\nE\n");
  dir.write("lib/sym/or2.3", "V 50\nE\n");
  struct Case {
    const char *name;
    int exists;
  } cases[] = {{"mylib:and2.1", 1},
               {"mylib:and2", 1},
               {"mylib:or2.3", 1},
               {"mylib:or2", 0},
               {"mylib:nand.1", 0}};
  for (const Case &c : cases)
    EXPECT_EQ(c.exists, vqFexists(1, c.name)) << c.name;
  EXPECT_EQ("Block name `bad name' is empty or holds a character that names cannot hold.\n",
            stdoutOf([&] { r = vqFexists(1, "bad name"); }));
  EXPECT_EQ(-1, r);
}

TEST_F(VqNameProject, LibraryComponentParsersAcceptNumbersAndQualifiers) {
  struct Case {
    const char *text;
    int symbol, schematic;
  } cases[] = {
      {"and2", 1, 1},       {"mylib:and2.1", 1, 1}, {"MyLib:and2.999", 1, 1}, {"and2.1000", 0, 0},
      {"nolib:and2", 0, 0}, {"and 2", 0, 0},        {"and2.alt", 1, 0},       {"and2.ALT", 1, 0},
      {"and2.xyz", 1, 0},   {"and2.other", 0, 0},   {"and2.-1", 0, 0},        {"", 0, 0},
  };
  for (const Case &c : cases) {
    int r = -1;
    EXPECT_EQ("", stdoutOf([&] { r = q_lib_sym_parse(c.text, "alt, xyz"); }));
    EXPECT_EQ(c.symbol, r) << c.text;
    EXPECT_EQ(c.schematic, q_lib_sch_parse(c.text)) << c.text;
  }
  EXPECT_EQ(0, q_lib_sym_parse(nullptr, "1"));
  // Without configured qualifiers only numbers (and the word "1") pass.
  EXPECT_EQ(0, vqSymbolNameIsValid("and2.alt"));
  EXPECT_EQ(1, vqSymbolNameIsValid("and2.7"));
  EXPECT_EQ(1, vqBlockNameIsValid(0, "and2.7"));
  std::snprintf(vqIniSettingsV.symbolQualifiers, sizeof vqIniSettingsV.symbolQualifiers, "alt");
  EXPECT_EQ(1, vqSymbolNameIsValid("and2.alt"));
  EXPECT_EQ(0, vqBlockNameIsValid(0, "and2.alt"));
}

// A second, writable library "other" beside the primary "mylib".
class VqNameTwoLibraries : public Project {
protected:
  const std::string lib2 = tmp + "/lib2";
  void SetUp() override {
    fs::create_directories(lib2 + "/sym");
    open("DIR [w] " + lib2 + " (other)\n");
  }
};

TEST_F(VqNameTwoLibraries, FileAndDirectoryNamesComeFromTheFileOrThePrimaryLibrary) {
  vqBlock *b = symbol("and2");
  EXPECT_EQ(lib + "/and2.1", q_file_name(b));
  EXPECT_EQ(lib + "/and2.1", vqBlockFullName(b, 5));
  EXPECT_EQ(lib + "/and2.1", vqBlockFullName(b, 7));
  EXPECT_EQ(lib, std::string(vqBlockDirName(b)));

  dir.write("lib2/sym/and2.1", "V 50\nE\n");
  int status = -1;
  b->file = vqpFileOpen(1, "other", "and2", 1, vqpFILE_READ, &status);
  ASSERT_NE(0, b->file);
  EXPECT_EQ(lib2 + "/sym/and2.1", q_file_name(b));
  EXPECT_EQ(lib2 + "/sym/and2.1", q_lib_block_name(b)); // no library of its own
  EXPECT_EQ(lib2, std::string(vqBlockDirName(b)));      // the library directory of its file
  q_free_block(b);                                      // closes the file
}

} // namespace
