// The project database: directory lines (parse, type field, written form,
// reading from a file), status texts, and the project library list as a
// project's view reads it and a caller walks it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "vfp.h"

namespace {

// The parse of one line, every output in one string.
struct Parsed {
  int status;
  std::string path, alias, type, qualifier;
};

Parsed parse(const char *line) {
  char path[vfpPATH_SIZE], alias[vfpALIAS_SIZE], type[vfpTYPE_SIZE], qualifier[vfpALIAS_SIZE];
  const int status = vfpParseDirLine(line, path, alias, type, qualifier);
  return {status, path, alias, type, qualifier};
}

int statusOf(const char *line) {
  return parse(line).status;
}

std::string build(const char *path, const char *alias, int flags, const char *qualifier) {
  char line[vfpLINE_SIZE];
  EXPECT_EQ(0, vfpBuildDirLine(line, path, alias, flags, 0, qualifier));
  return line;
}

// Parses a good line and builds it back from what was parsed.
std::string roundTrip(const char *line) {
  const Parsed p = parse(line);
  EXPECT_EQ(0, p.status) << line;
  int flags = vfpDIR_NOTYPE;
  if (!p.type.empty()) {
    EXPECT_EQ(0, vfpParseDirType(("[" + p.type + "]").c_str(), &flags));
  }
  return build(p.path.c_str(), p.alias.c_str(), flags, p.qualifier.c_str());
}

TEST(VfpDirLine, PrimaryWritableLineReadsAndBuildsBack) {
  const Parsed p = parse("DIR [pw] /proj/lib (mylib)");
  EXPECT_EQ(0, p.status);
  EXPECT_EQ("/proj/lib", p.path);
  EXPECT_EQ("mylib", p.alias);
  EXPECT_EQ("pw", p.type);
  EXPECT_EQ("", p.qualifier);
  EXPECT_EQ("DIR [pw] /proj/lib (mylib)", roundTrip("DIR [pw] /proj/lib (mylib)"));
}

TEST(VfpDirLine, RoundTripsGiveTheCanonicalLine) {
  EXPECT_EQ("DIR [pw] /a (x)", roundTrip("dir [WP] /a (x)"));
  EXPECT_EQ("DIR [rm] /a (x) {q}", roundTrip("  Dir\t[m]   /a/ ( x )  {q} | note"));
  EXPECT_EQ("DIR [r] /a {q}", roundTrip("DIR 6 /a {q}"));
  EXPECT_EQ("DIR [w] /a", roundTrip("DIR 5 /a"));
  EXPECT_EQ("DIR /a/b (x)", roundTrip("DIR \\a\\b\\ (x)"));
  EXPECT_EQ("DIR [pw] /", roundTrip("DIR [p] ///"));
}

TEST(VfpDirLine, TypeLettersAndNumbers) {
  const std::pair<const char *, const char *> good[] = {
      {"[pw]", "pw"}, {"[p]", "pw"}, {"[w]", "w"}, {"[r]", "r"},  {"[m]", "rm"},
      {"[MR]", "rm"}, {"[ww]", "w"}, {"0", "pw"},  {"1", "w"},    {"5", "w"},
      {"6", "r"},     {"20", "r"},   {"007", "r"}, {"000", "pw"},
  };
  for (const auto &[field, letters] : good) {
    const Parsed p = parse((std::string("DIR ") + field + " /x").c_str());
    EXPECT_EQ(0, p.status) << field;
    EXPECT_EQ(letters, p.type) << field;
  }
  for (const char *field : {"[rw]", "[rp]", "[wm]", "[mp]", "[]", "[pwr]", "[wwwr]", "[x]", "[l]",
                            "[pw", "[p]x", "21", "-1", "100", "-0"})
    EXPECT_EQ(32, statusOf((std::string("DIR ") + field + " /x").c_str())) << field;
}

TEST(VfpDirLine, RefusedLinesAndTheirStatuses) {
  const std::string alias32 = "DIR [r] /x (" + std::string(32, 'a') + ")";
  const std::string alias40 = "DIR [r] /x (" + std::string(40, 'a') + ")";
  const std::string qualifier33 = "DIR [r] /x {" + std::string(33, 'q') + "}";
  const std::pair<int, std::string> cases[] = {
      {0, alias32},
      {37, alias40},
      {105, qualifier33},
      {32, "DIR [rw] /x"},
      {32, "DIR 25 /x"},
      {0, "DIR [r] /x (a) | a comment"},
      {0, "DIR [r] /x {q}|c"},
      {30, "DIR [r] /x (a) extra"},
      {30, "DIR [r] /x {q} (a)"},
      {30, ""},
      {30, "LIB [r] /x"},
      {30, "| DIR [r] /x"},
      {29, "DIR"},
      {29, "DIR [pw] | comment"},
      {29, "DIR [pw] (lib)"},
      {29, "DIR {q}"},
      {37, "DIR [r] /x (a"},
      {37, "DIR [r] /x (a (b)"},
      {37, "DIR [r] /x (a))"},
      {105, "DIR [r] /x (a) {q"},
      {105, "DIR [r] /x {q}}"},
  };
  for (const auto &[status, line] : cases)
    EXPECT_EQ(status, statusOf(line.c_str())) << line;
}

TEST(VfpDirLine, TrailingSlashAndPathLength) {
  EXPECT_EQ(parse("DIR [r] /proj/lib").path, parse("DIR [r] /proj/lib/").path);
  const std::string p255 = "/" + std::string(254, 'p');
  EXPECT_EQ(p255, parse(("DIR [r] " + p255).c_str()).path);
  EXPECT_EQ(p255, parse(("DIR [r] " + p255 + "/").c_str()).path);
  EXPECT_EQ(29, statusOf(("DIR [r] " + p255 + "p").c_str()));
  EXPECT_EQ(29, statusOf(("DIR [r] " + p255 + "//").c_str()));
}

TEST(VfpDirLine, RefusedLineKeepsWhatWasReadBeforeTheError) {
  Parsed p = parse(("DIR [r] /x/ (" + std::string(40, 'a') + ")").c_str());
  EXPECT_EQ(37, p.status);
  EXPECT_EQ("/x", p.path);
  EXPECT_EQ("", p.alias);
  EXPECT_EQ("r", p.type);
  p = parse("DIR [rw] /x (a)");
  EXPECT_EQ("", p.path);
  EXPECT_EQ("", p.type);
  p = parse("DIR [w] /x (a) {b} junk");
  EXPECT_EQ(30, p.status);
  EXPECT_EQ("a", p.alias);
  EXPECT_EQ("b", p.qualifier);
}

TEST(VfpDirLine, LineWithoutTypeHasNoLettersAndBuildsBackWithoutBrackets) {
  const Parsed p = parse("DIR /x/y (lib)");
  EXPECT_EQ(0, p.status);
  EXPECT_EQ("/x/y", p.path);
  EXPECT_EQ("", p.type);
  EXPECT_EQ("DIR /x/y (lib)", roundTrip("DIR /x/y (lib)"));
  // A bare path that looks like neither brackets nor a number is the path.
  EXPECT_EQ("+5", parse("DIR +5").path);
}

TEST(VfpDirLine, OptionalOutputsAndMissingTypeBuffer) {
  char type[vfpTYPE_SIZE];
  EXPECT_EQ(0, vfpParseDirLine("DIR [pw] /x (a) {q}", nullptr, nullptr, type, nullptr));
  EXPECT_STREQ("pw", type);
  char path[vfpPATH_SIZE];
  EXPECT_EQ(32, vfpParseDirLine("DIR [pw] /x", path, nullptr, nullptr, nullptr));
  EXPECT_EQ(30, vfpParseDirLine(nullptr, path, nullptr, type, nullptr));
}

TEST(VfpDirType, FieldAlone) {
  int flags = -1;
  EXPECT_EQ(0, vfpParseDirType("[rm]", &flags));
  EXPECT_EQ(vfpDIR_READONLY | vfpDIR_MEGAFILE, flags);
  flags = 77;
  for (const char *bad : {"pw", "[rw]", "", " [w]", "21"})
    EXPECT_EQ(32, vfpParseDirType(bad, &flags)) << bad;
  EXPECT_EQ(77, flags);
  EXPECT_EQ(32, vfpParseDirType(nullptr, &flags));
}

TEST(VfpBuildDirLine, FormsAndLimits) {
  EXPECT_EQ("DIR [pr] /a", build("/a", nullptr, vfpDIR_PRIMARY | vfpDIR_READONLY, nullptr));
  EXPECT_EQ("DIR [w] /a {q}", build("/a", "", 0, "q"));
  EXPECT_EQ("DIR /a (x) {q}", build("/a", "x", vfpDIR_NOTYPE | vfpDIR_READONLY, "q"));
  char line[vfpLINE_SIZE];
  EXPECT_EQ(2, vfpBuildDirLine(line, nullptr, "x", 0, 0, nullptr));
  EXPECT_STREQ("", line);
  EXPECT_EQ(2, vfpBuildDirLine(nullptr, "/a", "x", 0, 0, nullptr));
  // Without a type, a path that is a number would read back as the type.
  EXPECT_EQ(2, vfpBuildDirLine(line, "6", "x", vfpDIR_NOTYPE, 0, nullptr));
  EXPECT_STREQ("DIR 6 (x)", line);
  EXPECT_EQ(29, statusOf(line));
  EXPECT_EQ(0, vfpBuildDirLine(line, "6", "x", vfpDIR_READONLY, 0, nullptr));
  EXPECT_EQ("6", parse(line).path);
  const std::string huge(600, 'p');
  EXPECT_EQ(2, vfpBuildDirLine(line, huge.c_str(), nullptr, 0, 0, nullptr));
  EXPECT_EQ(static_cast<size_t>(vfpLINE_SIZE - 1), std::string(line).size());
}

TEST(VfpStatus, TextsKeepTheirNumbers) {
  // Neighbours of the empty codes, and the ends, stay in place.
  EXPECT_STREQ("Successful completion", vfpStatusText(0));
  EXPECT_STREQ("General Failure", vfpStatusText(12));
  EXPECT_STREQ("Duplicate directory path", vfpStatusText(27));
  EXPECT_STREQ("One or more libraries were not opened due to errors.", vfpStatusText(58));
  EXPECT_STREQ("Test area preparation error", vfpStatusText(60));
  EXPECT_STREQ("Invalid library id", vfpStatusText(63));
  EXPECT_STREQ("Object is already locked by this object.", vfpStatusText(85));
  int nonEmpty = 0;
  for (int i = 0; i <= 85; ++i)
    nonEmpty += *vfpStatusText(i) != '\0';
  EXPECT_EQ(86 - 9, nonEmpty);
  for (int none : {62, 86, 105, -1})
    EXPECT_STREQ("", vfpStatusText(none)) << none;
}

TEST(VfpClass, LookupByNameIgnoresCase) {
  EXPECT_EQ(vfpClassLIBRARY, vfpClassLookup("Library"));
  EXPECT_STREQ("SCH_PAGE_SAV", vfpClassName(vfpClassLookup("sch_page_sav")));
  EXPECT_EQ(0, vfpClassLookup("SYMBOLS"));
  EXPECT_EQ(nullptr, vfpClassName(15));
}

// A file of text, read back through a stream.
FILE *stream(const std::string &text) {
  FILE *fp = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), fp);
  std::rewind(fp);
  return fp;
}

TEST(VfpReadDirLine, SkipsOtherLinesAndCountsEveryLine) {
  const std::string text = "grid 10\n"
                           "| DIR [pw] /commented (no)\n"
                           "\n"
                           "dir [pw] /a (x)\n" +
                           std::string(600, '#') +
                           " DIR [r] /hidden\n"
                           "  Dir [r] /b\\ {q}\r\n"
                           "DIR [rw] /c (bad)\n"
                           "text 5";
  FILE *fp = stream(text);
  char path[vfpPATH_SIZE], alias[vfpALIAS_SIZE], qualifier[vfpALIAS_SIZE];
  int flags = -1, line = 0;
  EXPECT_EQ(0, vfpiReadDirLine(fp, path, alias, &flags, qualifier, &line));
  EXPECT_EQ(4, line);
  EXPECT_STREQ("/a", path);
  EXPECT_STREQ("x", alias);
  EXPECT_EQ(vfpDIR_PRIMARY, flags);
  EXPECT_EQ(0, vfpiReadDirLine(fp, path, alias, &flags, qualifier, &line));
  EXPECT_EQ(6, line);
  EXPECT_STREQ("/b", path);
  EXPECT_STREQ("", alias);
  EXPECT_STREQ("q", qualifier);
  EXPECT_EQ(vfpDIR_READONLY, flags);
  EXPECT_EQ(32, vfpiReadDirLine(fp, path, alias, &flags, qualifier, &line));
  EXPECT_EQ(7, line);
  EXPECT_EQ(62, vfpiReadDirLine(fp, path, alias, &flags, qualifier, &line));
  EXPECT_EQ(8, line);
  EXPECT_EQ(62, vfpiReadDirLine(fp, nullptr, nullptr, nullptr, nullptr, nullptr));
  std::fclose(fp);
}

// A project directory in a fresh temporary directory, with its
// initialisation file, and the database initialised for it.
class VfpProject : public ::testing::Test {
protected:
  void SetUp() override {
    char templ[] = "/tmp/vfpTestXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(templ));
    dir = templ;
    ASSERT_EQ(0, vfpInit(4, "5.41"));
  }
  void TearDown() override {
    vfpExit();
    std::filesystem::remove_all(dir);
  }
  void writeIni(const std::string &text, const char *name = "scribant.ini") {
    std::ofstream(dir + "/" + name) << text;
  }
  vfpObjId open(int expectedStatus = 0) {
    int st = -1;
    const vfpObjId p = vfpOpenProject((dir + "/").c_str(), nullptr, "Scribant", 0, &st);
    EXPECT_EQ(expectedStatus, st);
    return p;
  }
  std::string info(vfpObjId project, LibraryDirId lib) {
    char path[vfpPATH_SIZE], alias[vfpALIAS_SIZE], type[vfpTYPE_SIZE];
    int status = -1;
    if (vfpGetLibInfo2(project, lib, path, alias, type, &status) != 0)
      return "?";
    return std::string(path).substr(dir.size()) + " (" + alias + ") [" + type + "] " +
           std::to_string(status);
  }
  // The aliases matching pattern, in walk order.
  std::string walk(vfpObjId project, const char *pattern) {
    std::string found;
    int st = -1;
    for (LibraryDirId lib = vfpFindNextLib(project, 0, pattern, &st); lib != 0;
         lib = vfpFindNextLib(project, lib, pattern, &st))
      found += std::string(vfpObjGetName(lib)) + " ";
    EXPECT_EQ(12, st);
    return found;
  }
  std::string dir;
};

TEST_F(VfpProject, OpeningReadsTheListAndMakesTheProjectCurrent) {
  writeIni("grid 10\n"
           "DIR [pw] " +
           dir +
           "/lib/ (mylib)\n"
           "DIR [rm] " +
           dir +
           "/mega (mega) {packed}\n"
           "DIR 7 " +
           dir +
           "/ro (ro)\n"
           "DIR " +
           dir + "/plain (plain)\n");
  const vfpObjId p = open();
  ASSERT_NE(0, p);
  EXPECT_EQ(p, vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT));
  EXPECT_EQ(dir, vfpObjGetPath(p));
  EXPECT_EQ(dir.substr(5), vfpObjGetName(p));
  const vfpObjId view = vfpObjGetCurObj(p, vfpClassVIEW);
  EXPECT_STREQ("Scribant", vfpObjGetName(view));
  EXPECT_EQ(dir + "/scribant.ini", vfpObjGetPath(view));

  int st = -1;
  const LibraryDirId lib = vfpFindNextLib(p, 0, "mylib", &st);
  EXPECT_EQ(0, st);
  EXPECT_EQ("/lib (mylib) [pw] 0", info(p, lib));
  EXPECT_EQ(0, vfpObjReadonly(lib));

  const LibraryDirId mega = vfpFindNextLib(p, 0, "MEGA", &st);
  EXPECT_EQ("/mega (mega) [rm] 0", info(p, mega));
  EXPECT_EQ(1, vfpObjMegafile(mega));
  EXPECT_EQ(1, vfpObjReadonly(mega));
  vfpLibEntry e;
  ASSERT_EQ(0, vfpGetLibEntry(p, mega, &e));
  EXPECT_STREQ("packed", e.qualifier);
  EXPECT_EQ(3, e.line);

  const LibraryDirId ro = vfpFindNextLib(p, 0, "Ro", &st);
  EXPECT_EQ("/ro (ro) [r] 0", info(p, ro));
  EXPECT_EQ(0, vfpObjMegafile(ro));
  EXPECT_EQ(1, vfpObjReadonly(ro));
  EXPECT_EQ(1, vfpObjReadonly(vfpFindNextLib(p, 0, "plain", &st)));
}

TEST_F(VfpProject, BadLineIsKeptWithItsStatusAndTheGoodOnesStay) {
  writeIni("DIR [pw] /a (one)\n"
           "DIR [rw] /b (two)\n"
           "DIR [w] /c (three) junk\n"
           "DIR [w] /d (four)\n");
  const vfpObjId p = open(58);
  EXPECT_EQ("one  three four ", walk(p, "*"));
  EXPECT_EQ("one three ", walk(p, "*E*"));
  int st = -1;
  EXPECT_EQ(0, vfpFindNextLib(p, 0, "two", &st));
  EXPECT_EQ(12, st);
  const LibraryDirId three = vfpFindNextLib(p, 0, "three", &st);
  vfpLibEntry e;
  ASSERT_EQ(0, vfpGetLibEntry(p, three, &e));
  EXPECT_EQ(30, e.status);
  EXPECT_EQ(3, e.line);
  EXPECT_EQ(1, vfpObjReadonly(three));
  // The refused type left the second entry without path or alias.
  const LibraryDirId second = vfpFindNextLib(p, vfpFindNextLib(p, 0, "one", &st), "", &st);
  ASSERT_EQ(0, vfpGetLibEntry(p, second, &e));
  EXPECT_EQ(32, e.status);
  EXPECT_STREQ("", e.path);
  EXPECT_STREQ("", e.alias);
}

TEST_F(VfpProject, SameAliasIsFoundInFileOrder) {
  writeIni("DIR [pw] /first (lib)\nDIR [r] /other (x)\nDIR [r] /second (LIB)\n");
  const vfpObjId p = open();
  int st = -1;
  const LibraryDirId first = vfpFindNextLib(p, 0, "Lib", &st);
  EXPECT_EQ("/first", std::string(vfpObjGetPath(first)));
  const LibraryDirId second = vfpFindNextLib(p, first, "lib", &st);
  EXPECT_EQ("/second", std::string(vfpObjGetPath(second)));
  char alias[vfpALIAS_SIZE];
  EXPECT_EQ(0, vfpGetLibInfo2(p, second, nullptr, alias, nullptr, nullptr));
  EXPECT_STREQ("LIB", alias);
  EXPECT_EQ(0, vfpFindNextLib(p, second, "lib", &st));
  EXPECT_EQ(12, st);
  EXPECT_EQ("lib x LIB ", walk(p, ""));
  EXPECT_EQ("lib x LIB ", walk(p, "**"));
  EXPECT_EQ("lib LIB ", walk(p, "l?b"));
  EXPECT_EQ("", walk(p, "li"));
}

TEST_F(VfpProject, FurtherNamesMatchToo) {
  writeIni("DIR [pw] /a (alpha)\nDIR [w] /b (beta)\n");
  const vfpObjId p = open();
  int st = -1;
  const LibraryDirId beta = vfpFindNextLib(p, 0, "beta", &st);
  EXPECT_EQ(0, vfpLibAddName(p, beta, "Second"));
  EXPECT_EQ(37, vfpLibAddName(p, beta, ""));
  EXPECT_EQ(37, vfpLibAddName(p, beta, std::string(33, 'n').c_str()));
  EXPECT_EQ(beta, vfpFindNextLib(p, 0, "second", &st));
  EXPECT_EQ(beta, vfpFindNextLib(p, 0, "sec*", &st));
}

TEST_F(VfpProject, WalkRefusesBadArguments) {
  writeIni("DIR [pw] /a (a)\n");
  int st = -1;
  EXPECT_EQ(0, vfpFindNextLib(12345, 0, "a", &st));
  EXPECT_EQ(74, st);
  EXPECT_EQ(0, vfpFindNextLib(vfpOvDatabaseID, 0, "a", &st));
  EXPECT_EQ(49, st);
  const vfpObjId p = open();
  const LibraryDirId a = vfpFindNextLib(p, 0, "a", &st);
  EXPECT_EQ(0, vfpFindNextLib(p, p, "a", &st));
  EXPECT_EQ(63, st);
  EXPECT_EQ(63, vfpGetLibInfo2(p, p, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(41, vfpGetLibInfo2(a, a, nullptr, nullptr, nullptr, nullptr));

  // Without a view the list is not there; a closed project is no project.
  ASSERT_EQ(0, vfpCloseView(p));
  EXPECT_EQ(66, vfpCloseView(p));
  EXPECT_EQ(0, vfpFindNextLib(p, 0, "a", &st));
  EXPECT_EQ(66, st);
  EXPECT_EQ(0, vfpObjGetClass(a));
  EXPECT_EQ(1, vfpObjReadonly(a));
  ASSERT_EQ(0, vfpCloseProject(p));
  EXPECT_EQ(0, vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT));
  EXPECT_EQ(0, vfpFindNextLib(p, 0, "a", &st));
  EXPECT_EQ(41, st);
  EXPECT_EQ(41, vfpGetLibInfo2(p, a, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(22, vfpCloseProject(p));
}

TEST_F(VfpProject, ReopeningTheViewReadsTheListAgain) {
  writeIni("DIR [pw] /a (a)\n");
  const vfpObjId p = open();
  int st = -1;
  const LibraryDirId before = vfpFindNextLib(p, 0, "a", &st);
  writeIni("DIR [pw] /a (a)\nDIR [r] /b (builtin)\n");
  EXPECT_EQ(0, vfpFindNextLib(p, 0, "builtin", &st));
  // Opening the same project with the view it has open changes nothing.
  EXPECT_EQ(p, open());
  EXPECT_EQ(before, vfpFindNextLib(p, 0, "a", &st));
  ASSERT_EQ(0, vfpCloseView(p));
  ASSERT_NE(0, vfpOpenView(p, "scribant", vfpSchemaORVIK, &st));
  EXPECT_EQ(0, st);
  EXPECT_NE(0, vfpFindNextLib(p, 0, "builtin", &st));
  const LibraryDirId after = vfpFindNextLib(p, 0, "a", &st);
  EXPECT_NE(before, after);
  EXPECT_EQ(nullptr, vfpObjGetName(before));
  EXPECT_EQ(63, vfpGetLibInfo2(p, before, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(VfpProject, OpenFailuresAndMissingFile) {
  int st = -1;
  vfpExit();
  EXPECT_EQ(0, vfpOpenProject(dir.c_str(), nullptr, "Scribant", 0, &st));
  EXPECT_EQ(20, st);
  EXPECT_EQ(20, vfpExit());
  ASSERT_EQ(0, vfpInit(4, "5.41"));
  EXPECT_EQ(70, vfpInit(4, "5.41"));
  EXPECT_EQ(0, vfpOpenProject("", nullptr, "Scribant", 0, &st));
  EXPECT_EQ(42, st);

  // No initialisation file: the project and view are open, the list empty.
  const vfpObjId p = vfpOpenProject(dir.c_str(), "named", "Scribant", 0, &st);
  EXPECT_EQ(71, st);
  EXPECT_STREQ("named", vfpObjGetName(p));
  EXPECT_EQ(0, vfpFindNextLib(p, 0, "", &st));
  EXPECT_EQ(12, st);

  // A project opened without a view has no list yet.
  const vfpObjId q = vfpOpenProject("/", nullptr, nullptr, 0, &st);
  EXPECT_EQ(0, st);
  EXPECT_STREQ("", vfpObjGetName(q));
  EXPECT_EQ(q, vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT));
  EXPECT_EQ(0, vfpFindNextLib(q, 0, "", &st));
  EXPECT_EQ(66, st);
  EXPECT_EQ(0, vfpOpenView(q, "", vfpSchemaORVIK, &st));
  EXPECT_EQ(66, st);
  EXPECT_EQ(0, vfpOpenView(q, "Scribant", 2, &st));
  EXPECT_EQ(50, st);
  EXPECT_EQ(66, vfpiReadOrvikIni(q, vfpObjGetCurObj(p, vfpClassVIEW)));
}

} // namespace
