// Block access through the programming interface on a real library: the
// load forms and the names they take, the current block, reference counts,
// save and release (and what each leaves on disk: block files,
// backups, lock files), the loaded-symbol sweep and the check counters.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gpi.h"
#include "scrib/ScribFixture.h"
#include "vqRead.h"

namespace {

namespace fs = std::filesystem;
using scribtest::Ints;
using scribtest::stdoutOf;
using Blocks = std::vector<vqBlock *>;

const char *const kAnd2 = "V 50\nD 0 0 100 100\ni 1\nU 0 10 10 0 3 1 PART=7400\n"
                          "P 1 0 50 -20 50 0 0 0\nA -10 50 10 0 3 1 #=1\nE\n";

class Access : public scribtest::Project {
protected:
  std::string sym(const std::string &file) const { return lib + "/sym/" + file; }
  std::string lock(const std::string &file) const { return lib + "/sym/lock/" + file; }
  void writeSymbol(const std::string &file, const char *text = kAnd2) const {
    testsupport::writeFile(sym(file), text);
  }
  // and2 written, loaded and changed (VALUE=1 added): the current Block.
  vqBlock *changedAnd2() {
    writeSymbol("and2.1");
    EXPECT_EQ(1, gpi_load("mylib:and2", 1, 1));
    char text[] = "VALUE=1";
    EXPECT_EQ(1, gpi_a_attribute(text, nullptr, 0));
    return q_get_block();
  }
  // The loaded symbol of that name, or null.
  static vqBlock *loaded(const char *name) {
    for (vqBlock *b = vqBlockListHead(vqBLOCK_SYMBOL); b != nullptr; b = b->next)
      if (ulStrEqu(b->name, name))
        return b;
    return nullptr;
  }
};

TEST_F(Access, LoadFormsLowerCaseTheirOwnCopyOfTheName) {
  writeSymbol("and2.1");
  q_rcancelled = q_canc = q_corrupt_display = q_bad_data = 1;
  const char name[] = "MyLib:AND2";
  ASSERT_EQ(1, gpi_load(name, 1, 1));
  EXPECT_STREQ("MyLib:AND2", name);
  EXPECT_EQ(0, q_rcancelled | q_canc | q_corrupt_display | q_bad_data);
  vqBlock *b = q_get_block();
  ASSERT_NE(nullptr, b);
  EXPECT_STREQ("and2", b->name);
  EXPECT_EQ(1, b->refCount);
  EXPECT_EQ(b->objects, q_get_object_list());
  vqBlock *out = nullptr;
  EXPECT_EQ((Ints{1, 1}), (Ints{q_get_block_ptr(&out), out == b}));

  // Found again among the loaded Blocks: one more reference each time.
  EXPECT_EQ(
      (Ints{1, 1, 1, 1, 5}),
      (Ints{gpi_lib_load("MYLIB", "And2", 1, 1), vgpiLoad(1, "mylib:and2", 1, vqLOAD_EXISTING),
            vgpiLoadBlock(1, "mylib", "AND2", 1, vqLOAD_EXISTING),
            gpi_load_from_dir(lib.c_str(), "AND2", 1, 1), b->refCount}));
  EXPECT_EQ(b, q_get_block());
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(1, gpi_set_block(b) & gpi_unload());
  EXPECT_EQ(nullptr, loaded("and2"));

  // The text is cut to 288 characters, then split (blanks before the
  // library skipped): what lies beyond the cut is not part of the name.
  const std::string padded = std::string(278, ' ') + "mylib:and2";
  ASSERT_EQ(288u, padded.size());
  ASSERT_EQ(1, gpi_load((padded + "xyz").c_str(), 1, 1));
  EXPECT_STREQ("and2", q_get_block()->name);
  EXPECT_EQ(1, gpi_unload());
  EXPECT_EQ(0, vgpiLoad(1, (" " + padded).c_str(), 1, vqLOAD_EXISTING));
  EXPECT_EQ(nullptr, q_get_block());
}

TEST_F(Access, AMissingFileGivesAnEmptyTemporaryBlockAndNoFileUntilItsSave) {
  ASSERT_EQ(0, gpi_load("mylib:new", 1, 2));
  vqBlock *b = q_get_block();
  ASSERT_NE(nullptr, b); // current although the load failed
  EXPECT_EQ((Ints{1, 0, 0}), (Ints{b->temporary, b->objects != nullptr, fs::exists(sym("new.2"))}));

  char text[] = "PART=NEW";
  ASSERT_EQ(1, gpi_a_attribute(text, nullptr, 0));
  ASSERT_EQ(1, gpi_save());
  EXPECT_EQ((Ints{0, 0, 1}), (Ints{b->temporary, q_data_has_changed(b), gpi_unload()}));
  EXPECT_EQ(nullptr, loaded("new"));
  // Saved and kept: the release closes the file instead of deleting it.
  EXPECT_NE(std::string::npos,
            testsupport::readFile(sym("new.2")).find("U 0 10 10 0 3 1 PART=NEW"));
  EXPECT_FALSE(fs::exists(lock("new.2")));

  // Without a save nothing comes into being.
  ASSERT_EQ(0, gpi_load("mylib:other", 1, 1));
  EXPECT_EQ(1, gpi_unload());
  EXPECT_FALSE(fs::exists(sym("other.1")));
}

TEST_F(Access, AChangedSymbolReleasesItsLockOnItsSaveOrAtTheInterfacesEnd) {
  vqBlock *b = changedAnd2();
  EXPECT_EQ((Ints{2, 1}), (Ints{b->refCount, fs::exists(lock("and2.1"))}));

  ASSERT_EQ(1, gpi_save());
  EXPECT_EQ(b, q_get_block());
  EXPECT_EQ((Ints{1, 0}), (Ints{b->refCount, fs::exists(lock("and2.1"))}));
  EXPECT_EQ(kAnd2, testsupport::readFile(sym("and2.1.bac")).substr(0, std::string(kAnd2).size()));
  EXPECT_NE(std::string::npos, testsupport::readFile(sym("and2.1")).find("VALUE=1"));

  EXPECT_EQ(1, gpi_unload());
  EXPECT_EQ((Blocks{nullptr, nullptr}), (Blocks{loaded("and2"), q_get_block()}));
  // Twice in a row: nothing current.
  EXPECT_EQ((Ints{0, 0, 0, 0}), (Ints{gpi_unload(), gpi_save(), gpi_restore(), gpi_check()}));
  EXPECT_EQ(nullptr, q_get_object_list());
  vqBlock *out = b;
  std::string said = stdoutOf([&] { EXPECT_EQ(0, q_get_block_ptr(&out)); });
  EXPECT_EQ("No block is current.\n", said);
  EXPECT_EQ(nullptr, out);

  // A changed symbol released unsaved keeps its lock until the interface ends.
  b = changedAnd2();
  EXPECT_EQ(1, gpi_unload());
  EXPECT_EQ((Blocks{nullptr, b}), (Blocks{q_get_block(), loaded("and2")}));
  EXPECT_EQ((Ints{1, 1}), (Ints{b->refCount, fs::exists(lock("and2.1"))}));
  EXPECT_EQ(kAnd2, testsupport::readFile(sym("and2.1")));

  // A later load finds the changed Block, changes and all.
  ASSERT_EQ(1, gpi_load("mylib:and2", 1, 1));
  EXPECT_EQ(b, q_get_block());
  EXPECT_EQ(1, gpi_unload());

  // The end of the interface closes the project, and the project's close
  // releases every lock the process holds.
  EXPECT_EQ(1, gpi_uninit());
  EXPECT_FALSE(fs::exists(lock("and2.1")));
  EXPECT_EQ(kAnd2, testsupport::readFile(sym("and2.1")));
  ASSERT_EQ(1, vqProjInit(q_get_version())); // for the fixture's end
}

TEST_F(Access, AFailedSaveLeavesTheBlockChangedAndCurrentAndTheFilesAlone) {
  scribtest::writeForeignLock(lock("and2.1"));
  const std::string lockText = testsupport::readFile(lock("and2.1"));
  vqBlock *b = changedAnd2();
  EXPECT_EQ(0, gpi_save());
  EXPECT_EQ(b, q_get_block());
  EXPECT_EQ(1, q_data_has_changed(b));
  EXPECT_EQ(kAnd2, testsupport::readFile(sym("and2.1")));
  EXPECT_FALSE(fs::exists(sym("and2.1.bac")));
  EXPECT_EQ(lockText, testsupport::readFile(lock("and2.1")));
  EXPECT_EQ(1, gpi_unload());
}

TEST_F(Access, ASchematicWithTwoReferencesIsReleasedTwiceASymbolOnce) {
  writeSymbol("and2.1");
  testsupport::writeFile(lib + "/sch/top.1", "V 50\ni 1\nI 1 mylib:and2 1 100 100 0 1 '\n"
                                             "X 1 1\nE\n");
  ASSERT_EQ(1, gpi_load("mylib:top", 0, 1));
  vqBlock *top = q_get_block();
  ASSERT_EQ(1, gpi_load("mylib:top", 0, 1));
  EXPECT_EQ(2, top->refCount);
  // The instance holds its symbol: a reference besides the loads'.
  ASSERT_EQ(1, gpi_load("mylib:and2", 1, 1));
  vqBlock *and2 = q_get_block();
  EXPECT_EQ(2, and2->refCount);
  ASSERT_EQ(1, gpi_load("mylib:and2", 1, 1));
  EXPECT_EQ((Ints{1, 2}), (Ints{gpi_unload(), and2->refCount}));

  gpi_set_block(top);
  EXPECT_EQ((Ints{1, 1}), (Ints{gpi_unload(), and2->refCount}));
  EXPECT_EQ(nullptr, vqBlockListHead(vqBLOCK_SCHEMATIC));
  gpi_set_block(and2);
  EXPECT_EQ(1, gpi_unload());
  EXPECT_EQ(nullptr, loaded("and2"));
}

TEST_F(Access, FreeSymsReleasesTheSymbolsNobodyElseHolds) {
  writeSymbol("and2.1");
  writeSymbol("or2.1");
  writeSymbol("inv.1");
  ASSERT_EQ(1, gpi_load("mylib:and2", 1, 1));
  ASSERT_EQ(1, gpi_load("mylib:or2", 1, 1));
  ASSERT_EQ(1, gpi_load("mylib:or2", 1, 1)); // two references
  vqBlock *or2 = q_get_block();
  ASSERT_EQ(1, gpi_load("mylib:inv", 1, 1));
  gpi_set_block(or2);

  EXPECT_EQ(1, gpi_free_syms());
  // No current Block: it was among the symbols visited.
  EXPECT_EQ((Blocks{nullptr, nullptr, nullptr, or2}),
            (Blocks{q_get_block(), loaded("and2"), loaded("inv"), loaded("or2")}));
  EXPECT_EQ((Ints{2, 1}), (Ints{or2->refCount, q_clr_undone_original()}));
  q_free_block(or2);
  q_free_block(or2);
}

} // namespace
