// The project database: directory lines (parse, most of them rows of
// cases/dirlines.txt, type field, written form, reading from a file),
// status texts, and the project library list as a project's view reads it
// and a caller walks it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "ulErr.h"
#include "vfp.h"

namespace {

using testsupport::Ints;
using Strings = std::vector<std::string>;

// The parse of one line, every output in one string:
// "status path (alias) [type] {qualifier}".
struct Parsed {
  int status;
  std::string path, alias, type, qualifier;
  std::string all() const {
    return std::to_string(status) + " " + path + " (" + alias + ") [" + type + "] {" + qualifier +
           "}";
  }
};

Parsed parse(const std::string &line) {
  char path[vfpPATH_SIZE], alias[vfpALIAS_SIZE], type[vfpTYPE_SIZE], qualifier[vfpALIAS_SIZE];
  const int status = vfpParseDirLine(line.c_str(), path, alias, type, qualifier);
  return {status, path, alias, type, qualifier};
}

int statusOf(const std::string &line) {
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
  if (!p.type.empty() && vfpParseDirType(("[" + p.type + "]").c_str(), &flags) != 0)
    ADD_FAILURE() << "type of " << line;
  return build(p.path.c_str(), p.alias.c_str(), flags, p.qualifier.c_str());
}

// The lines of cases/dirlines.txt. Every accepted line builds back into
// one that parses the same (vfpParseDirLine_fuzz); the table pins the
// canonical form.
TEST(VfpDirLine, LinesParseAndBuildBackAsTheTableGivesThem) {
  for (const auto &row : testsupport::tableRows("project/cases/dirlines.txt")) {
    ASSERT_LE(2u, row.size());
    const std::string got = parse(row[0]).all();
    EXPECT_EQ(row[1], row[1].find(' ') == std::string::npos ? got.substr(0, got.find(' ')) : got)
        << row[0];
    if (row.size() > 2 && !row[2].empty()) {
      EXPECT_EQ(row[2], roundTrip(row[0].c_str())) << row[0];
    }
  }
  // Paths of up to 255 characters; the trailing "/" goes, also from the
  // longest.
  const std::string p255 = "/" + std::string(254, 'p');
  EXPECT_EQ((Strings{p255, p255}),
            (Strings{parse("DIR [r] " + p255).path, parse("DIR [r] " + p255 + "/").path}));
  EXPECT_EQ((Ints{29, 29}),
            (Ints{statusOf("DIR [r] " + p255 + "p"), statusOf("DIR [r] " + p255 + "//")}));
}

TEST(VfpDirLine, TheTypeFieldAloneAndOptionalOutputs) {
  int flags = -1;
  EXPECT_EQ((Ints{0, vfpDIR_READONLY | vfpDIR_MEGAFILE}),
            (Ints{vfpParseDirType("[rm]", &flags), flags}));
  flags = 77;
  for (const char *bad : {"pw", "[rw]", "", " [w]", "21"})
    EXPECT_EQ(32, vfpParseDirType(bad, &flags)) << bad;
  EXPECT_EQ((Ints{77, 32}), (Ints{flags, vfpParseDirType(nullptr, &flags)}));

  char type[vfpTYPE_SIZE], path[vfpPATH_SIZE];
  EXPECT_EQ(0, vfpParseDirLine("DIR [pw] /x (a) {q}", nullptr, nullptr, type, nullptr));
  EXPECT_STREQ("pw", type);
  EXPECT_EQ(32, vfpParseDirLine("DIR [pw] /x", path, nullptr, nullptr, nullptr)); // no type buffer
  EXPECT_EQ(30, vfpParseDirLine(nullptr, path, nullptr, type, nullptr));
}

TEST(VfpBuildDirLine, FormsAndLimits) {
  EXPECT_EQ(
      (Strings{"DIR [pr] /a", "DIR [w] /a {q}", "DIR /a (x) {q}"}),
      (Strings{build("/a", nullptr, vfpDIR_PRIMARY | vfpDIR_READONLY, nullptr),
               build("/a", "", 0, "q"), build("/a", "x", vfpDIR_NOTYPE | vfpDIR_READONLY, "q")}));
  char line[vfpLINE_SIZE];
  EXPECT_EQ((Ints{2, 0, 2}),
            (Ints{vfpBuildDirLine(line, nullptr, "x", 0, 0, nullptr), long(std::strlen(line)),
                  vfpBuildDirLine(nullptr, "/a", "x", 0, 0, nullptr)}));
  // Without a type, a path that is a number would read back as the type.
  EXPECT_EQ((Ints{2, 29}),
            (Ints{vfpBuildDirLine(line, "6", "x", vfpDIR_NOTYPE, 0, nullptr), statusOf(line)}));
  EXPECT_STREQ("DIR 6 (x)", line);
  EXPECT_EQ(0, vfpBuildDirLine(line, "6", "x", vfpDIR_READONLY, 0, nullptr));
  EXPECT_EQ("6", parse(line).path);
  const std::string huge(600, 'p');
  EXPECT_EQ(
      (Ints{2, vfpLINE_SIZE - 1}),
      (Ints{vfpBuildDirLine(line, huge.c_str(), nullptr, 0, 0, nullptr), long(std::strlen(line))}));
}

TEST(VfpStatus, TextsKeepTheirNumbersAndClassesTheirNames) {
  // The ends and a neighbour of each run of empty codes stay in place.
  EXPECT_EQ(
      (Strings{"Successful completion", "One or more libraries were not opened due to errors.",
               "Invalid library id", "Object is already locked by this object."}),
      (Strings{vfpStatusText(0), vfpStatusText(58), vfpStatusText(63), vfpStatusText(85)}));
  int nonEmpty = 0;
  for (int i = 0; i <= 85; ++i)
    nonEmpty += *vfpStatusText(i) != '\0';
  EXPECT_EQ(86 - 9, nonEmpty);
  for (int none : {62, 86, 105, -1})
    EXPECT_STREQ("", vfpStatusText(none)) << none;

  EXPECT_EQ((Ints{vfpClassLIBRARY, 0}),
            (Ints{vfpClassLookup("Library"), vfpClassLookup("SYMBOLS")}));
  EXPECT_STREQ("SCH_PAGE_SAV", vfpClassName(vfpClassLookup("sch_page_sav")));
  EXPECT_EQ(nullptr, vfpClassName(15));
}

TEST(VfpReadDirLine, SkipsOtherLinesAndCountsEveryLine) {
  // Line 8 holds a zero byte: refused whole, not read as "DIR [w] /l".
  const std::string text = "grid 10\n| DIR [pw] /commented (no)\n\ndir [pw] /a (x)\n" +
                           std::string(600, '#') +
                           " DIR [r] /hidden\n  Dir [r] /b\\ {q}\r\nDIR [rw] /c (bad)\n" +
                           std::string("DIR [w] /l\0ib (cut)\n", 21) + "text 5";
  FILE *fp = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), fp);
  std::rewind(fp);
  // The next directory line as "status line path (alias) flags {qualifier}".
  auto next = [fp, line = 0]() mutable {
    char path[vfpPATH_SIZE] = "", alias[vfpALIAS_SIZE] = "", qualifier[vfpALIAS_SIZE] = "";
    int flags = -1;
    const int st = vfpiReadDirLine(fp, path, alias, &flags, qualifier, &line);
    return std::to_string(st) + " " + std::to_string(line) + " " + path + " (" + alias + ") " +
           std::to_string(flags) + " {" + qualifier + "}";
  };
  EXPECT_EQ((Strings{"0 4 /a (x) " + std::to_string(vfpDIR_PRIMARY) + " {}",
                     "0 6 /b () " + std::to_string(vfpDIR_READONLY) + " {q}", "32 7 ",
                     "29 8  () " + std::to_string(vfpDIR_NOTYPE) + " {}", "62 9 "}),
            (Strings{next(), next(), next().substr(0, 5), next(), next().substr(0, 5)}));
  EXPECT_EQ(62, vfpiReadDirLine(fp, nullptr, nullptr, nullptr, nullptr, nullptr));
  std::fclose(fp);
}

// A project directory in a fresh temporary directory, with its
// initialisation file, and the database initialised for it (with the
// layers its start-up starts put back after).
class VfpProject : public ::testing::Test {
protected:
  testsupport::FreshStartUp fresh;
  testsupport::TempDir tmp;
  const std::string dir = tmp.path();

  void SetUp() override { ASSERT_EQ(0, vfpInit(4, "5.41")); }
  void TearDown() override { vfpExit(); }
  // Writes the initialisation file, "@" standing for the project directory.
  void writeIni(std::string text) {
    for (size_t i; (i = text.find('@')) != std::string::npos;)
      text.replace(i, 1, dir);
    tmp.write("scribant.ini", text);
  }
  vfpObjId open(int expectedStatus = 0) {
    int st = -1;
    const vfpObjId p = vfpOpenProject((dir + "/").c_str(), nullptr, "Scribant", 0, &st);
    EXPECT_EQ(expectedStatus, st);
    return p;
  }
  LibraryDirId find(vfpObjId project, const char *pattern, LibraryDirId after = 0) {
    int st = -1;
    return vfpFindNextLib(project, after, pattern, &st);
  }
  // The status of a search that finds nothing, or -1 when it finds a library.
  static int notFound(vfpObjId project, const char *pattern, LibraryDirId after = 0) {
    int st = -1;
    return vfpFindNextLib(project, after, pattern, &st) == 0 ? st : -1;
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
};

TEST_F(VfpProject, OpeningReadsTheListAndMakesTheProjectCurrent) {
  writeIni("grid 10\nDIR [pw] @/lib/ (mylib)\nDIR [rm] @/mega (mega) {packed}\n"
           "DIR 7 @/ro (ro)\nDIR @/plain (plain)\n");
  const vfpObjId p = open();
  ASSERT_NE(0, p);
  EXPECT_EQ(p, vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT));
  const vfpObjId view = vfpObjGetCurObj(p, vfpClassVIEW);
  EXPECT_EQ(
      (Strings{dir, dir.substr(5), "Scribant", dir + "/scribant.ini"}),
      (Strings{vfpObjGetPath(p), vfpObjGetName(p), vfpObjGetName(view), vfpObjGetPath(view)}));

  int st = -1;
  const LibraryDirId lib = vfpFindNextLib(p, 0, "mylib", &st);
  EXPECT_EQ(0, st);
  const LibraryDirId mega = find(p, "MEGA"), ro = find(p, "Ro");
  EXPECT_EQ((Strings{"/lib (mylib) [pw] 0", "/mega (mega) [rm] 0", "/ro (ro) [r] 0"}),
            (Strings{info(p, lib), info(p, mega), info(p, ro)}));
  // Megafile and read-only of mylib, mega, ro and plain.
  EXPECT_EQ(
      (Ints{0, 0, 1, 1, 0, 1, 1}),
      (Ints{vfpObjMegafile(lib), vfpObjReadonly(lib), vfpObjMegafile(mega), vfpObjReadonly(mega),
            vfpObjMegafile(ro), vfpObjReadonly(ro), vfpObjReadonly(find(p, "plain"))}));
  vfpLibEntry e;
  ASSERT_EQ(0, vfpGetLibEntry(p, mega, &e));
  EXPECT_EQ("packed 3", std::string(e.qualifier) + " " + std::to_string(e.line));
}

TEST_F(VfpProject, BadLineIsKeptWithItsStatusAndTheGoodOnesStay) {
  writeIni("DIR [pw] /a (one)\nDIR [rw] /b (two)\nDIR [w] /c (three) junk\nDIR [w] /d (four)\n");
  const vfpObjId p = open(58);
  EXPECT_EQ((Strings{"one  three four ", "one three "}), (Strings{walk(p, "*"), walk(p, "*E*")}));
  EXPECT_EQ(12, notFound(p, "two"));
  const LibraryDirId three = find(p, "three");
  vfpLibEntry e;
  ASSERT_EQ(0, vfpGetLibEntry(p, three, &e));
  EXPECT_EQ((Ints{30, 3, 1}), (Ints{e.status, e.line, vfpObjReadonly(three)}));
  // The refused type left the second entry without path or alias.
  ASSERT_EQ(0, vfpGetLibEntry(p, find(p, "", find(p, "one")), &e));
  EXPECT_EQ("32  ", std::to_string(e.status) + " " + e.path + " " + e.alias);
}

TEST_F(VfpProject, SameAliasIsFoundInFileOrderAndFurtherNamesMatchToo) {
  writeIni("DIR [pw] /first (lib)\nDIR [r] /other (x)\nDIR [r] /second (LIB)\n");
  const vfpObjId p = open();
  const LibraryDirId first = find(p, "Lib");
  const LibraryDirId second = find(p, "lib", first);
  EXPECT_EQ((Strings{"/first", "/second"}), (Strings{vfpObjGetPath(first), vfpObjGetPath(second)}));
  char alias[vfpALIAS_SIZE];
  EXPECT_EQ((Ints{0, 12}), (Ints{vfpGetLibInfo2(p, second, nullptr, alias, nullptr, nullptr),
                                 notFound(p, "lib", second)}));
  EXPECT_STREQ("LIB", alias);
  EXPECT_EQ((Strings{"lib x LIB ", "lib x LIB ", "lib LIB ", ""}),
            (Strings{walk(p, ""), walk(p, "**"), walk(p, "l?b"), walk(p, "li")}));

  const LibraryDirId other = find(p, "x");
  EXPECT_EQ((Ints{0, 37, 37}), (Ints{vfpLibAddName(p, other, "Second"), vfpLibAddName(p, other, ""),
                                     vfpLibAddName(p, other, std::string(33, 'n').c_str())}));
  EXPECT_EQ((Ints{other, other}), (Ints{find(p, "second"), find(p, "sec*")}));
}

TEST_F(VfpProject, WalkRefusesBadArguments) {
  writeIni("DIR [pw] /a (a)\n");
  EXPECT_EQ((Ints{74, 49}), (Ints{notFound(12345, "a"), notFound(vfpOvDatabaseID, "a")}));
  const vfpObjId p = open();
  const LibraryDirId a = find(p, "a");
  EXPECT_EQ((Ints{63, 63, 41}),
            (Ints{notFound(p, "a", p), vfpGetLibInfo2(p, p, nullptr, nullptr, nullptr, nullptr),
                  vfpGetLibInfo2(a, a, nullptr, nullptr, nullptr, nullptr)}));

  // Without a view the list is not there; a closed project is no project.
  ASSERT_EQ(0, vfpCloseView(p));
  EXPECT_EQ((Ints{66, 66, 0, 1}),
            (Ints{vfpCloseView(p), notFound(p, "a"), vfpObjGetClass(a), vfpObjReadonly(a)}));
  ASSERT_EQ(0, vfpCloseProject(p));
  EXPECT_EQ((Ints{0, 41, 41, 22}),
            (Ints{vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT), notFound(p, "a"),
                  vfpGetLibInfo2(p, a, nullptr, nullptr, nullptr, nullptr), vfpCloseProject(p)}));
}

TEST_F(VfpProject, ReopeningTheViewReadsTheListAgain) {
  writeIni("DIR [pw] /a (a)\n");
  const vfpObjId p = open();
  const LibraryDirId before = find(p, "a");
  writeIni("DIR [pw] /a (a)\nDIR [r] /b (builtin)\n");
  // Opening the same project with the view it has open changes nothing.
  EXPECT_EQ((Ints{0, p, before}), (Ints{find(p, "builtin"), open(), find(p, "a")}));
  ASSERT_EQ(0, vfpCloseView(p));
  int st = -1;
  ASSERT_NE(0, vfpOpenView(p, "scribant", vfpSchemaORVIK, &st));
  EXPECT_EQ(0, st);
  EXPECT_NE(0, find(p, "builtin"));
  EXPECT_NE(before, find(p, "a"));
  EXPECT_EQ(nullptr, vfpObjGetName(before));
  EXPECT_EQ(63, vfpGetLibInfo2(p, before, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(VfpProject, OpenFailuresAndMissingFile) {
  int st = -1;
  vfpExit();
  EXPECT_EQ((Ints{0, 20, 20}),
            (Ints{vfpOpenProject(dir.c_str(), nullptr, "Scribant", 0, &st), st, vfpExit()}));
  ASSERT_EQ(0, vfpInit(4, "5.41"));
  EXPECT_EQ((Ints{70, 0, 42}),
            (Ints{vfpInit(4, "5.41"), vfpOpenProject("", nullptr, "Scribant", 0, &st), st}));

  // No initialisation file: the project and view are open, the list empty.
  const vfpObjId p = vfpOpenProject(dir.c_str(), "named", "Scribant", 0, &st);
  EXPECT_EQ((Ints{71, 12}), (Ints{st, notFound(p, "")}));
  EXPECT_STREQ("named", vfpObjGetName(p));

  // A project opened without a view has no list yet.
  const vfpObjId q = vfpOpenProject("/", nullptr, nullptr, 0, &st);
  EXPECT_STREQ("", vfpObjGetName(q));
  EXPECT_EQ((Ints{0, q, 66}),
            (Ints{st, vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT), notFound(q, "")}));
  EXPECT_EQ((Ints{0, 66, 0, 50}), (Ints{vfpOpenView(q, "", vfpSchemaORVIK, &st), st,
                                        vfpOpenView(q, "Scribant", 2, &st), st}));
  EXPECT_EQ(66, vfpiReadOrvikIni(q, vfpObjGetCurObj(p, vfpClassVIEW)));
}

} // namespace

// Starting the database starts the error layer under the program's name:
// an error logged afterwards goes into <program>.err in UL_LOGDIR.
class VfpInit : public ::testing::Test {
protected:
  testsupport::FreshStartUp fresh;
};

TEST_F(VfpInit, StartsTheErrorLayerUnderTheProgramName) {
  testsupport::TempDir logs;
  testsupport::ScopedEnv logDir("UL_LOGDIR", logs.path());
  ASSERT_EQ(vfpInit(4, "5.41"), vfpOK);
  testing::internal::CaptureStderr();
  ulErrReport2("vfpTest", ulErrERROR, "logged after start-up");
  testing::internal::GetCapturedStderr();
  EXPECT_NE(testsupport::readFile(logs / "vfpTest.err").find("logged after start-up"),
            std::string::npos);
  vfpExit();
}
