// Editor initialisation: keyword matching, every line format, the lists, the
// reading of a whole file with its messages and error count, the rewrite
// that attaches the library "builtin", finding the file once per change, and
// the project opened from it.
#include <gtest/gtest.h>

#include <utime.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "qInit.h"
#include "qMsg.h"
#include "qlm.h"
#include "support/TestSupport.h"
#include "ulErr.h"
#include "ulEx.h"
#include "vs.h"

namespace fs = std::filesystem;

namespace {

using testsupport::Ints;
using testsupport::replaced;
using testsupport::stdoutOf;

// q_read_init of a file, with what it printed.
class QInit : public testsupport::ProjectTest {
protected:
  int readInit(const std::string &path, std::string &out) {
    return printed(out, [&] { return q_read_init(path.c_str()); });
  }
};

using Keywords = QInit;

TEST_F(Keywords, ExactMatchesWinAndAbbreviationsMustBeUnique) {
  for (const auto &row : testsupport::tableRows("library/cases/keywords.txt")) {
    const int index = q_find_keyword(row.at(0).c_str());
    EXPECT_EQ(row.at(1), index < 0 ? "status " + std::to_string(index) : q_keyword_name(index))
        << row[0];
  }
  EXPECT_EQ(11, q_find_keyword("grid"));
  EXPECT_STREQ("line", q_keyword_name(0));
  EXPECT_STREQ("auto_ripper_bus_segment_length", q_keyword_name(qKEYWORD_COUNT - 1));
  EXPECT_EQ(nullptr, q_keyword_name(qKEYWORD_COUNT));
}

TEST_F(Keywords, LinesAreMatchedIgnoringCaseCommentsAndVersions) {
  // The errors counted and the grid after a line.
  auto grid = [](const char *line) {
    const int errors = q_read_param(line);
    return std::pair{errors, q_values[qV_GRID].value};
  };
  EXPECT_EQ(std::pair(0, 10.0f), grid("GRID 10"));
  EXPECT_EQ(std::pair(1, 10.0f), grid("gri 5"));
  EXPECT_EQ(0, q_read_param("text_t 7\n"));
  EXPECT_EQ(7.0f, q_values[qV_TEXT_THRESHOLD].value);
  // Unknown words, and "frame" (also as "fr"), are shown and ignored.
  for (const char *ignored : {"nosuchword 3", "fr 3", "design_search_mode anything"})
    EXPECT_EQ(0, q_read_param(ignored)) << ignored;

  // Comments, and lines of other versions, change nothing.
  q_set_defaults();
  for (const char *nothing : {"", "   \r\n", "| grid 3", "|4.0 grid 3", "|5.0 |grid 3"})
    EXPECT_EQ(0, q_read_param(nothing)) << nothing;
  EXPECT_EQ(10.0f, q_values[qV_GRID].value);
  EXPECT_EQ(std::pair(0, 5.0f), grid("|5.0 grid 5 | a note 6"));
  EXPECT_EQ(std::pair(0, 5.0f), grid("grid|6"));
  EXPECT_EQ(std::pair(0, 7.0f), grid("grid 7 | 8"));

  int start, end, start2, end2;
  q_ini_line_text("|5.0 dir [w] /x | c |d", &start, &end);
  q_ini_line_text("dir [w] /x", &start2, &end2);
  EXPECT_EQ((Ints{4, 16, 0, 10}), (Ints{start, end, start2, end2}));
}

using Formats = QInit;

// Colour, style and line style of an object kind or a layer.
template <class T> std::string triple(const T &t, int first) {
  return std::to_string(first) + " " + std::to_string(t.style) + " " + std::to_string(t.lineStyle);
}

TEST_F(Formats, ObjectAndLayerTriplesAreMaskedAndMayBeShort) {
  EXPECT_EQ(0, q_read_param("line 300 40 9"));
  EXPECT_EQ("44 8 1", triple(q_objects[qO_LINE], q_objects[qO_LINE].color));
  EXPECT_EQ(0, q_read_param("oattribute 9 2 3"));
  EXPECT_EQ(9u, q_objects[qO_OATTRIBUTE].color);
  EXPECT_EQ(0, q_read_param("box 12"));
  EXPECT_EQ("12 0 0", triple(q_objects[qO_BOX], q_objects[qO_BOX].color));
  EXPECT_EQ(0, q_read_param("circle 1 x 2")); // reading stops at the first bad value
  EXPECT_EQ("1 0 0", triple(q_objects[qO_CIRCLE], q_objects[qO_CIRCLE].color));
  EXPECT_EQ(0, q_read_param("anno_layer 300 33 15"));
  EXPECT_EQ("300 1 7", triple(q_layers[qL_ANNO], q_layers[qL_ANNO].layer));
}

TEST_F(Formats, RangeChecksCountAsErrorsButKeepTheValue) {
  const std::pair<const char *, int> cases[] = {
      {"textorigin 9.9", 0}, {"textorigin 1e30", 1}, {"textorigin nan", 0},
      {"textorigin", 0}, // no value: nothing to check
      {"blocktype 4", 0},    {"blocktype 5", 1},     {"textorigin 12", 1},
  };
  for (const auto &[line, errors] : cases)
    EXPECT_EQ(errors, q_read_param(line)) << line;
  EXPECT_EQ(12.0f, q_values[qV_TEXTORIGIN].value);
  EXPECT_EQ(5.0f, q_values[qV_BLOCK_TYPE].value);
  EXPECT_EQ((Ints{0, 1}), (Ints{q_read_param("symbol_qualifiers abcdefghijklmnopqrst"),
                                q_read_param("symbol_qualifiers abcdefghijklmnopqrstu")}));
  EXPECT_STREQ("abcdefghijklmnopqrst", vqIniSettingsV.symbolQualifiers);
}

TEST_F(Formats, SheetUndoSwitchesSettingsAndFlags) {
  EXPECT_EQ((Ints{0, 100}),
            (Ints{q_read_param("sheetsize 3 200 300"), vqIniSettingsV.customSheetX}));
  EXPECT_EQ(0, q_read_param("undo 0"));
  EXPECT_EQ(0, vqIniSettingsV.undoOn);
  EXPECT_EQ(0.0f, q_values[qV_UNDO].value);
  for (const char *line :
       {"sheetsize 10.5 200 300", "undo 2", "route 2.9", "borderon 0", "auto_ripper_bus_segment 1",
        "auto_ripper_bus_segment_length 6", "texton 0", "oats 99999999999", "rippers_on 5"})
    EXPECT_EQ(0, q_read_param(line)) << line;
  EXPECT_EQ(10.5f, q_values[qV_SHEETSIZE].value);
  EXPECT_EQ(2.0f, q_values[qV_ROUTE_MODE].value);
  EXPECT_EQ(6.0f, q_values[qV_AUTO_RIPPER_BUS_SEGMENT_LENGTH].value);
  // Sheet extent, undo, border, ripper bus segment, texts, oats, rippers.
  EXPECT_EQ((Ints{200, 300, 1, 0, 1, 0, 2147483647, 1}),
            (Ints{vqIniSettingsV.customSheetX, vqIniSettingsV.customSheetY, vqIniSettingsV.undoOn,
                  q_modes[qM_BORDER].value, q_modes[qM_AUTO_RIPPER_BUS_SEGMENT].value,
                  vqIniSettingsV.textOn, vqIniSettingsV.oats, vqIniSettingsV.rippersOn}));

  q_set_defaults();
  EXPECT_EQ(3.0f, q_values[qV_TEXTORIGIN].value);
  EXPECT_EQ((Ints{1, 100, 0}), (Ints{q_modes[qM_BORDER].value, vqIniSettingsV.customSheetX,
                                     vqIniSettingsV.rippersOn}));
}

using Lists = QInit;

TEST_F(Lists, ResetAndPromotionNamesAreUpperCaseAndUnique) {
  for (const std::string &line :
       {std::string("attr_reset part_no  symbol_value  "), std::string("attr_reset Part_No other"),
        std::string("attr_reset refdes"), "attr_reset " + std::string(140, 'a') + " v",
        std::string("attr_promote cost"), std::string("attr_promote COST")})
    EXPECT_EQ(0, q_read_param(line.c_str())) << line;
  ASSERT_EQ(3, ulDlistSize(q_attr_reset_list));
  const qAttrReset *r = q_attr_reset_find("part_no");
  ASSERT_NE(nullptr, r);
  EXPECT_EQ("PART_NO symbol_value", std::string(r->name) + " " + r->value);
  EXPECT_EQ(nullptr, q_attr_reset_find("REFDES")->value);
  EXPECT_NE(nullptr, q_attr_reset_find(std::string(131, 'A').c_str()));
  EXPECT_EQ(1, ulDlistSize(vqAttrPromoListV));
  EXPECT_STREQ("COST", static_cast<char *>(ulDlistHead(vqAttrPromoListV)));

  q_free_attr_reset_list();
  q_free_attr_promo_list();
  EXPECT_EQ(nullptr, q_attr_reset_find("PART_NO"));
  EXPECT_EQ(0, q_attr_promoted("cost"));
}

TEST_F(Lists, NetNamesNeedABusWidth) {
  for (const auto &[line, errors] : {std::pair{"netname d[7:0]", 0},
                                     {"netname D[7:0]", 0},
                                     {"netname vcc", 0},
                                     {"netname d[7:0", 1},
                                     {"netname", 0}})
    EXPECT_EQ(errors, q_read_param(line)) << line;
  EXPECT_EQ((Ints{2, 1}), (Ints{ulDlistSize(q_netname_list), q_netname_listed("d[7:0]")}));
  EXPECT_STREQ("D[7:0]", static_cast<char *>(ulDlistHead(q_netname_list)));
}

using ReadFile = QInit;

// What these reads show (each message with its file and line, the bad net
// name on standard error) is in the end-to-end scenarios tests/e2e/settings_*.
TEST_F(ReadFile, OnlyDirectoryErrorsLetTheReadSucceedAndEveryLineIsApplied) {
  auto read = [&](const char *text) {
    std::string out;
    return readInit(write("a.ini", text), out);
  };
  EXPECT_EQ(0, read("dir [pw] @\ntextorigin 12\ngrid 4\n"));
  EXPECT_EQ(4.0f, q_values[qV_GRID].value); // applied after the line in error
  EXPECT_EQ(12.0f, q_values[qV_TEXTORIGIN].value);
  EXPECT_EQ(nullptr, qlm_id_next_dir(nullptr)); // the library manager's records are gone
  EXPECT_EQ(0, read("dir [pw] @\nnetname d[7:0\n"));
  EXPECT_EQ(0, read("dir [w] @ (lib)\ngrid 2\n")); // no primary directory
  EXPECT_EQ((Ints{1, 1}), (Ints{read("dir [x] @/a\ndir [pw] @\nattr_reset x\n"),
                                ulDlistSize(q_attr_reset_list)}));
  EXPECT_EQ(1, read("dir [pw] @\nattr_reset y\n")); // the reset list starts afresh
  EXPECT_EQ(nullptr, q_attr_reset_find("X"));
}

TEST_F(ReadFile, MessagesAreCutAndSilencedAndOnlyShownWhileReading) {
  std::string path = write(std::string(140, 'd') + "/a.ini", "dir [pw] @\nbogus\n");
  std::string out;
  EXPECT_EQ(1, readInit(path, out));
  EXPECT_EQ((path + ", line 2:").substr(0, 131) + "\nUnrecognised keyword ignored.\n", out);

  q_quiet = 1;
  EXPECT_EQ(1, readInit(path, out));
  EXPECT_EQ("", out);
  q_quiet = 0;
  EXPECT_EQ(0, q_ini_putmsg("outside", 1));
  EXPECT_EQ(nullptr, q_ini_file());

  EXPECT_EQ(0, readInit(tmp + "/missing.ini", out));
  EXPECT_EQ("Cannot open or examine file " + tmp + "/missing.ini.\n", out);
}

TEST_F(ReadFile, AttachingBuiltinRewritesDirectoryLinesAndKeepsEveryOtherByte) {
  fs::create_directories(dir / "real/BuiltIn");
  fs::create_directories(dir / "v");
  std::string before, after;
  for (const auto &row : testsupport::tableRows("library/cases/builtin_rewrite.txt")) {
    before += (before.empty() ? "" : "\n") + row.at(0);
    after += (after.empty() ? "" : "\n") + row.at(1);
  }
  // The file is a link into another directory, readable by its group only.
  const std::string target = write("real/scribant.ini", before);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string path = tmp + "/a.ini";
  fs::create_symlink(target, path);

  std::string out;
  EXPECT_EQ((Ints{1, 1}), (Ints{readInit(path, out), vqBuiltinAddedKludgeV}));
  EXPECT_NE(std::string::npos, out.find("library builtin attached"));
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_EQ(after, replaced(testsupport::readFile(target), tmp, "@"));
  EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
            fs::status(target).permissions());
  EXPECT_EQ(2u, std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()));

  // Read again: the library exists now, nothing is rewritten.
  vqBuiltinAddedKludgeV = 0;
  // A refused line alone does not fail the read.
  EXPECT_EQ((Ints{1, 0}), (Ints{readInit(path, out), vqBuiltinAddedKludgeV}));
  EXPECT_EQ(std::string::npos, out.find("builtin"));
}

TEST_F(ReadFile, AnswersAreOneWordOfAtMost79Characters) {
  std::string in = write("answers", "yes please\n" + std::string(100, 'x') + "\n");
  ASSERT_NE(nullptr, std::freopen(in.c_str(), "r", stdin));
  EXPECT_STREQ("yes", q_ini_scanf("Go on?"));
  EXPECT_EQ(std::string(79, 'x'), q_ini_scanf("Go on?"));
  EXPECT_STREQ("", q_ini_scanf("Go on?"));
}

using ScribInit = QInit;

TEST_F(ScribInit, TheFileIsReadOncePerPathAndTime) {
  EXPECT_EQ("Initialisation file scribant.ini not found on the search path.\n",
            stdoutOf([] { EXPECT_EQ(-1, q_scrib_init()); }));

  std::string path = write("scribant.ini", "dir [pw] @\ngrid 20\n");
  EXPECT_EQ(541, q_scrib_init());
  EXPECT_EQ(20.0f, q_values[qV_GRID].value);
  // Every call starts from the defaults; the unchanged file is not applied
  // again on top of them.
  EXPECT_EQ(0, q_read_param("grid 99"));
  EXPECT_EQ(541, q_scrib_init());
  EXPECT_EQ(10.0f, q_values[qV_GRID].value);

  write("scribant.ini", "dir [pw] @\ntextsize 7\n");
  struct utimbuf later = {std::time(nullptr) + 100, std::time(nullptr) + 100};
  ASSERT_EQ(0, utime(path.c_str(), &later));
  EXPECT_EQ(541, q_scrib_init());
  EXPECT_EQ(10.0f, q_values[qV_GRID].value); // read afresh from the defaults
  EXPECT_EQ(7.0f, q_values[qV_TEXTSIZE].value);

  // A read with errors is forgotten: the next call reads the file again.
  write("scribant.ini", "dir [pw] @\nblocktype 9\ngrid 5\n");
  ASSERT_EQ(0, utime(path.c_str(), nullptr));
  stdoutOf([] {
    EXPECT_EQ(-1, q_scrib_init());
    EXPECT_EQ(0, q_read_param("grid 99"));
    EXPECT_EQ(-1, q_scrib_init());
  });
  EXPECT_EQ(5.0f, q_values[qV_GRID].value);
}

using Project = QInit;

TEST_F(Project, OpensTheProjectWhereTheFileIsAndFindsThePrimary) {
  EXPECT_EQ(1, ulExTry(ulEX_POSTCOND, [] { vqProjInit(541); })); // no file anywhere yet
  ASSERT_NE(nullptr, ulExErrV);
  EXPECT_STREQ("scribant.ini: Ini file not found", ulErrText(ulExErrV));
  ulErrDestroy(ulExErrV);
  ulExErrV = nullptr;
  vqProjExit();

  for (const char *d : {"proj/60", "a", "b"})
    fs::create_directories(dir / d);
  write("proj/scribant.ini", "DIR [r] @/a (alib)\nDIR [x] @/b (bad)\nDIR [PW] @/b (blib)\n");
  ASSERT_EQ(vsOK, vsSetdef((tmp + "/proj").c_str()));
  EXPECT_EQ(1, vqProjInit(541));
  vfpObjId project = vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT);
  EXPECT_EQ(tmp + "/proj", vfpObjGetPath(project));
  char alias[vfpALIAS_SIZE];
  ASSERT_NE(0, vqPrimaryDirV);
  EXPECT_EQ(0, vfpGetLibInfo2(project, vqPrimaryDirV, nullptr, alias, nullptr, nullptr));
  EXPECT_STREQ("blib", alias);
  EXPECT_EQ(vfpClassLookup("SYMBOL"), vfpClassSYMBOL);
  EXPECT_NE(0, vfpClassDATADES);

  // The versioned directory comes first in the search; re-reading the view
  // follows a changed file.
  write("proj/60/scribant.ini", "DIR [p] @/a (alib)\n");
  write("proj/scribant.ini", "DIR [w] @/b (blib)\n");
  EXPECT_EQ((Ints{0, 0, 0}), (Ints{vqProjReinit(), vqPrimaryDirV, vqProjBuiltinCheck()}));
  vqBuiltinAddedKludgeV = 1;
  write("proj/scribant.ini", "DIR [p] @/b (blib)\n");
  EXPECT_EQ((Ints{1, 0}), (Ints{vqProjBuiltinCheck(), vqBuiltinAddedKludgeV}));
  EXPECT_NE(0, vqPrimaryDirV);

  EXPECT_EQ((Ints{0, 0, 0, 40}),
            (Ints{vqProjExit(), vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT), vfpClassSYMBOL,
                  vqProjReinit()}));

  ASSERT_EQ(1, vqProjInit(541));
  EXPECT_EQ(tmp + "/proj/60", vfpObjGetPath(vfpObjGetCurObj(vfpOvDatabaseID, vfpClassPROJECT)));
  vqProjExit();
}

} // namespace
