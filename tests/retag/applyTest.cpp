// Attribute application: the text-settings rule, the associated pin, the
// placement of a new attribute (also the paths that a well-formed block
// never reaches), the symbol index across lists, and the progress line.
// Whole runs over block files are the e2e scenarios apply_*.
#include "apply.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <string>
#include <unistd.h>

#include "gpi.h"
#include "retag.h"
#include "retagInternal.h"
#include "support/TestSupport.h"
#include "ulStr.h"
#include "vfpFile.h"
#include "vs.h"

namespace {

using testsupport::Ints;
using testsupport::stderrOf;
using testsupport::stdoutOf;
using testsupport::TempDir;

// A symbol Block built in memory, freed at the end.
struct Symbol {
  vqBlock *block = q_alloc_block(vqBLOCK_SYMBOL);
  ~Symbol() { q_free_block(block); }

  // Appends a pin to the object list.
  vqPin *pin() {
    vqPin *p = q_alloc_pin();
    vqBlockInsertObject(block, p, vqBlockLastObject(block));
    return p;
  }
  // Appends a text of kind (attribute or label) with owner (null: none).
  vqText *text(bool label, const char *s, vqObject *owner = nullptr, int sense = 0) {
    vqText *t = label ? q_alloc_label() : q_alloc_attribute();
    t->text = ulStrCpy(s);
    vqPlaceSetSense(&t->place, sense);
    vqBlockInsertObject(block, t, vqBlockLastObject(block));
    if (owner != nullptr)
      vqAttachText(owner, t, 0, 1);
    return t;
  }
  // Puts an attribute at the head of the list, as an addition does.
  vqText *added(const char *s, vqObject *owner) {
    vqText *t = q_alloc_attribute();
    t->text = ulStrCpy(s);
    vqBlockInsertObject(block, t, nullptr);
    if (owner != nullptr)
      vqAttachText(owner, t, 0, 0);
    return t;
  }
};

std::string settings(const vqText *t) {
  return std::to_string(t->x) + " " + std::to_string(t->y) + " size " + std::to_string(t->size) +
         " orient " + std::to_string(vqPlaceOrient(t->place)) + " origin " +
         std::to_string(vqPlaceOrigin(t->place)) + " vis " + std::to_string(vqPlaceVis(t->place));
}

TEST(ApplyTextSettings, TakenFromTheListWithTheirLowBitsOrFromTheConfiguration) {
  Symbol s;
  vqText *t = s.text(false, "A=1");
  // x, y, visibility, size, orientation, origin.
  AttributeInfo a{nullptr, nullptr, nullptr, 100, -200, 6, -3, 9, 17, 0};
  vaAMOverrideFlagV = 0;
  // Coordinates unset, then set, then checked again.
  EXPECT_EQ((Ints{0, 0, 1}),
            (Ints{vaAMCheckCoords(t, &a), vaAMSetAttValues(t, &a), vaAMCheckCoords(t, &a)}));
  EXPECT_EQ(settings(t), "100 -200 size -3 orient 1 origin 1 vis 2");

  // With override the configuration decides; each missing setting is 1 and
  // says so once.
  IniKeyValue orientation{nullptr, nullptr, 12, vaAM_INI_ORIENTATION};
  vaAMINIKeywordsV = &orientation;
  vaAMOverrideFlagV = 1;
  EXPECT_EQ(stdoutOf([&] { vaAMSetAttValues(t, &a); }),
            "WRONG.............\nWRONG.............\nWRONG.............\n");
  EXPECT_EQ(settings(t), "100 -200 size 1 orient 4 origin 1 vis 1");
  EXPECT_STREQ(vaAMErrorBufferV, "Unexpected value");
  vaAMINIKeywordsV = nullptr;
}

TEST(ApplyAssociatedPin, FirstLabelOfTheFirstPinFromTheOwnerOn) {
  Symbol s;
  vqPin *clk = s.pin();
  clk->sense = 0; // the pin's own sense does not count, the label's does
  s.text(false, "PINTYPE=?", clk);
  s.text(true, "CLK", clk, 1);
  s.text(true, "CLOCK", clk, 0);
  vqPin *bare = s.pin();
  vqText *onClk = s.text(false, "PINNUMBER=?", clk);
  vqText *onBare = s.text(false, "PINNUMBER=?", bare);

  int sense = -1;
  EXPECT_STREQ(vaAMGetAssociatedPin(onClk, &sense), "CLK");
  EXPECT_EQ(sense, 1);
  EXPECT_EQ(vaAMGetAssociatedPin(onBare, &sense), nullptr);
  EXPECT_EQ(sense, 0);

  // An owner that is no pin leads to the next pin of the object list.
  vqNet *net = q_alloc_net();
  vqBlockInsertObject(s.block, net, nullptr);
  vqText *onNet = s.added("X=1", net);
  EXPECT_STREQ(vaAMGetAssociatedPin(onNet, &sense), "CLK");
}

TEST(ApplyNewAttribute, PlacedWhenFirstAndOfTheExpectedKind) {
  AttributeInfo a{nullptr, nullptr, nullptr, 5, 6, 1, 8, 2, 3, 0};
  vaAMOverrideFlagV = 0;
  {
    Symbol s;
    vqPin *p = s.pin();
    s.text(true, "A", p);
    s.text(false, "OLD=1");
    vqText *pinAttr = s.added("pintype=in", p);
    EXPECT_EQ(vaAMChangeNewAttPosition(s.block, "PINTYPE=IN", &a, 1), 0);
    EXPECT_EQ(settings(pinAttr), "5 6 size 8 orient 2 origin 3 vis 1");
    vqText *symAttr = s.added("NEW=2", nullptr);
    EXPECT_EQ(vaAMChangeNewAttPosition(s.block, "NEW=2", &a, 0), 0);
    EXPECT_EQ(settings(symAttr), "5 6 size 8 orient 2 origin 3 vis 1");
  }
  // An attribute of the other kind met first ends the walk with 1.
  struct Case {
    int mode;
    bool headHasOwner;
    bool ownerIsPin;
    const char *printed;
  };
  for (const Case &c :
       {Case{1, false, true, "Illegal addition.\n"}, Case{0, true, true, "Illegal addition 2.\n"},
        Case{1, true, false, "Could not find pin.\n"}}) {
    Symbol s;
    vqObject *owner = nullptr;
    if (c.headHasOwner) {
      owner = c.ownerIsPin ? static_cast<vqObject *>(s.pin()) : q_alloc_net();
      if (!c.ownerIsPin)
        vqBlockInsertObject(s.block, owner, nullptr);
    }
    vqText *t = s.added("X=1", owner);
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(vaAMChangeNewAttPosition(s.block, "X=1", &a, c.mode), 1); }),
              c.printed);
    EXPECT_EQ(t->x, 0) << "left where it was";
  }
  // No attribute of that text: nothing placed, and no failure.
  Symbol s;
  vqText *other = s.added("Y=1", nullptr);
  EXPECT_EQ(vaAMChangeNewAttPosition(s.block, "X=1", &a, 0), 0);
  EXPECT_EQ(other->x, 0);
}

// A library "mylib" in a temporary project directory, with GPI started and
// the run state of a command run; the log goes to a file.
class Visit : public ::testing::Test {
protected:
  testsupport::ScopedPathLayer pathLayer;
  TempDir dir;
  testsupport::ScopedDefaultDir cwd{dir.path()};
  std::string log = dir / "run.log";

  void SetUp() override {
    dir.write("scribant.ini", "DIR [pw] ./lib (mylib)\n");
    for (const char *name : {"and2.1", "and2.2", "or2.1"})
      dir.write(std::string("lib/sym/") + name,
                "V 50\nY 1\nD 0 0 100 100\nZ 10\ni 0\nU 0 -40 10 0 1 1 PARTNAME=?\nE\n");
    vsResetWdirCache();
    stdoutOf([] { ASSERT_EQ(gpi_init(), 1); });
    vaAMResetRunState();
    vaAMOverrideFlagV = 0;
    AliasName = const_cast<char *>("mylib");
    vaAMLogFileFpV = std::fopen(log.c_str(), "w");
  }
  void TearDown() override {
    std::fclose(vaAMLogFileFpV);
    vaAMLogFileFpV = nullptr;
    AliasName = nullptr;
    gpi_uninit();
  }
  // A list of one symbol with one attribute PARTNAME=value.
  static SymbolInfo *list(const char *name, int sheet, const char *value) {
    SymbolInfo *s = vaAMStoreSymName(vaAMAllocateSymbolInfo(nullptr), name, sheet);
    s->attributes = vaAMStoreAnyAttribute(vaAMAllocateAnyAttribute(nullptr), "PARTNAME", value);
    vaAMStoreAttOrigin(vaAMStoreAttSize(s->attributes, 10), 1);
    return s;
  }
  int visit(SymbolInfo *symbols) {
    return vsLoop2((dir / "lib/sym/*.*").c_str(), vsFILE, vaAMApplyAttributes, symbols);
  }
  std::string logged() {
    std::fflush(vaAMLogFileFpV);
    return testsupport::readFile(log);
  }
};

TEST_F(Visit, EachListIsMatchedOnItsOwnEvenAtTheAddressOfAFreedOne) {
  SymbolInfo *first = list("AND2", 1, "FIRST");
  ASSERT_EQ(visit(first), vsOK);
  EXPECT_EQ(first->attributes->used, 1);
  vaAMFreeSymbolInfo(first);
  // The next list's records may reuse the freed ones: the index must not.
  SymbolInfo *second = list("or2", 1, "SECOND");
  ASSERT_EQ(visit(second), vsOK);
  EXPECT_EQ(second->attributes->used, 1);
  EXPECT_NE(testsupport::readFile(dir / "lib/sym/or2.1").find("PARTNAME=SECOND"),
            std::string::npos);
  std::string missed;
  for (const char *name : {"and2.2", "or2.1", "and2.1", "and2.2"})
    missed += std::string("SYMBOL mylib:") + name +
              " was not found in the LTF file. Continuing to next symbol.\n";
  EXPECT_EQ(logged(), missed);
  EXPECT_EQ((Ints{2, 4}), (Ints{vaAMSymbolCountV, vaAMErrorCountV}));
  vaAMFreeSymbolInfo(second);
}

TEST_F(Visit, NoProgressWhenStandardErrorIsNoTerminal) {
  SymbolInfo *symbols = list("and2", 1, "X");
  EXPECT_EQ(stderrOf([&] {
              ASSERT_EQ(visit(symbols), vsOK);
              vaAMProgressEnd();
            }),
            "");
  vaAMFreeSymbolInfo(symbols);
}

// Grouped saves: the log lines wait for the commit, and a save that fails
// there has its "Could not save" line at its own place, counted once.
TEST_F(Visit, ASaveThatFailsAtItsGroupsCommitIsLoggedAtItsPlace) {
  SymbolInfo *symbols = list("or2", 1, "NEW");
  SymbolInfo *first = list("and2", 1, "NEW");
  first->next = symbols;
  vfpSetSaveGrouping(1);
  ASSERT_EQ(visit(first), vsOK);
  EXPECT_EQ(logged(), "");
  // and2.1 turns into a directory before the commit: its rename fails.
  std::filesystem::remove(dir / "lib/sym/and2.1");
  std::filesystem::create_directory(dir / "lib/sym/and2.1");
  vaam::commitSaves();
  vfpSetSaveGrouping(0);
  EXPECT_EQ(logged(), "Could not save SYMBOL mylib:and2.1\n"
                      "SYMBOL mylib:and2.2 was not found in the LTF file. Continuing to next "
                      "symbol.\n");
  EXPECT_EQ((Ints{vaAMSymbolCountV, vaAMErrorCountV}), (Ints{2, 2}));
  EXPECT_NE(testsupport::readFile(dir / "lib/sym/or2.1").find("PARTNAME=NEW"), std::string::npos);
  vaAMFreeSymbolInfo(first);
}

TEST_F(Visit, ProgressLineOnATerminal) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const int saved = dup(STDERR_FILENO);
  dup2(slave, STDERR_FILENO);
  SymbolInfo *symbols = list("and2", 1, "X");
  const int result = visit(symbols);
  vaAMProgressEnd();
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  close(slave);
  ASSERT_EQ(result, vsOK);

  std::string screen;
  char buffer[512];
  fcntl(master, F_SETFL, O_NONBLOCK);
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;)
    screen.append(buffer, static_cast<size_t>(n));
  close(master);
  // The first symbol draws the line at once; the next ones come within the
  // redraw interval; the end covers it with blanks.
  const std::string line = "1 symbols visited, 0 errors so far";
  EXPECT_EQ(screen, "\r" + line + "\r" + std::string(line.size(), ' ') + "\r");
  vaAMFreeSymbolInfo(symbols);
}

} // namespace
