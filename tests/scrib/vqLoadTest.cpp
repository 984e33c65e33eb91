// The block loader on a project's library: statuses, reference counts, the
// modes without a file, symbols shared by instances, and reading a Block
// again from its file or its backup.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ScribFixture.h"
#include "qInit.h"
#include "sbMsg.h"
#include "vqRead.h"
#include "vqp.h"

namespace {

namespace fs = std::filesystem;
using scribtest::Ints;
using scribtest::stderrOf;
using scribtest::stdoutOf;

const char *const kNand2 = "V 50\nY 1\nD -10 -10 10 10\nZ 10\ni 3\nU 0 0 10 0 1 1 SYMTYPE=GATE\n"
                           "P 1 -10 0 0 0 0 0 0\nL 0 0 10 0 1 0 1 0 A\n"
                           "P 2 10 0 0 0 0 2 0\nA 0 0 10 0 1 1 #=2\nL 0 0 10 0 1 0 1 0 Y\n"
                           "P 3 0 10 0 0 0 1 0\nE\n";

class Loader : public scribtest::Project {
protected:
  std::string symbolFile(const std::string &name) const { return lib + "/sym/" + name + ".1"; }

  // Loads kind/library/name with number 1 in mode, keeping the status.
  vqBlock *load(const char *library, std::string name, int mode, int kind = vqBLOCK_SYMBOL) {
    return vqBlockLoad(kind, library, name.data(), 1, mode, &status);
  }

  int status = -1;
};

int countLoaded(int kind) {
  return ulListSize(vqBlockListHead(kind));
}

// A read Block has one reference and each load that finds it one more; it
// is found by name, by its file, or in a directory.
TEST_F(Loader, AReadBlockHasOneReferenceAndAFoundOneGetsAnother) {
  dir.write("lib/sym/nand2.1", kNand2);
  vqBlock *b = load("mylib", "NAND2", vqLOAD_OR_NEW);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(vqLOAD_OK, status);
  EXPECT_EQ("mylib:nand2", std::string(b->library) + ":" + b->name);
  // References, read-only, library from the file, extent.
  EXPECT_EQ((Ints{1, 0, 0, 10}), (Ints{b->refCount, b->readOnly, b->libFromFile, b->x2}));
  EXPECT_EQ(b, vqBlockListHead(vqBLOCK_SYMBOL));
  EXPECT_EQ(b, load("MYLIB", "nand2", vqLOAD_EXISTING));
  EXPECT_EQ((Ints{vqLOAD_OK, 2}), (Ints{status, b->refCount}));
  // An empty library finds only Blocks whose library came from the file;
  // the file itself is open already.
  EXPECT_EQ(b, load("", "nand2", vqLOAD_OR_NEW));
  EXPECT_EQ((Ints{vqLOAD_OPEN_OTHER, 3}), (Ints{status, b->refCount}));
  for (int i = 0; i < 3; ++i)
    q_free_block(b);
  EXPECT_EQ(0, countLoaded(vqBLOCK_SYMBOL));

  // Without library the Block takes its file's library.
  b = load("", "nand2", vqLOAD_OR_NEW);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ((Ints{vqLOAD_OK, 1}), (Ints{status, b->libFromFile}));
  EXPECT_STREQ("mylib", b->library);
  EXPECT_EQ(b, load(nullptr, "nand2", vqLOAD_OR_NEW));
  q_free_block(b);
  q_free_block(b);

  std::string name = "nand2";
  b = vqBlockLoadFromDir(vqBLOCK_SYMBOL, lib.c_str(), name.data(), 1, 0, &status);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(vqLOAD_OK, status);
  EXPECT_STREQ("mylib", b->library);
  EXPECT_EQ(b, vqBlockLoadFromDir(vqBLOCK_SYMBOL, lib.c_str(), name.data(), 1, 0, &status));
  EXPECT_EQ(nullptr, vqBlockLoadFromDir(vqBLOCK_SYMBOL, (tmp + "/elsewhere").c_str(), name.data(),
                                        1, 0, &status));
  EXPECT_EQ(vqLOAD_FILE_ERROR + 63, status);
  q_free_block(b);
  q_free_block(b);

  // The progress note is printed only when switched on.
  EXPECT_EQ("", stdoutOf([&] { q_free_block(load("mylib", "nand2", 0)); }));
  EXPECT_EQ(0, vqReadPrintLoadNotes(1));
  EXPECT_EQ(std::string(sbMsgBuild(1235, "symbol", "mylib:nand2.1")) + "\n",
            stdoutOf([&] { q_free_block(load("mylib", "nand2", 0)); }));
}

TEST_F(Loader, ALoadThatFindsNoFileCreatesNoneAndABadFileIsReported) {
  vqBlock *fresh = load("mylib", "nosuch", vqLOAD_OR_NEW);
  ASSERT_NE(nullptr, fresh);
  EXPECT_EQ(vqLOAD_NOFILE, status);
  EXPECT_TRUE(fresh->temporary && !fresh->readOnly && fresh->file != 0 && !fresh->objects);
  EXPECT_EQ(fresh, vqBlockListHead(vqBLOCK_SYMBOL));
  EXPECT_FALSE(fs::exists(symbolFile("nosuch")));
  q_free_block(fresh);
  EXPECT_FALSE(fs::exists(symbolFile("nosuch")));

  vqBlock *empty = load("mylib", "nosuch", vqLOAD_OR_EMPTY);
  ASSERT_NE(nullptr, empty);
  // Read-only and not listed.
  EXPECT_EQ((Ints{vqLOAD_OK, 1, 0}), (Ints{status, empty->readOnly, countLoaded(vqBLOCK_SYMBOL)}));
  q_free_block(empty);

  EXPECT_EQ(nullptr, load("mylib", "nosuch", vqLOAD_EXISTING));
  EXPECT_EQ(vqLOAD_NOFILE, status);
  // A name that is not lower case is not found, and no lower-case file
  // shadows it.
  dir.write("lib/sym/Mixed.1", kNand2);
  vqBlock *mixed = load("mylib", "Mixed", vqLOAD_OR_NEW);
  EXPECT_EQ(vqLOAD_NOFILE, status);
  q_free_block(mixed);
  EXPECT_FALSE(fs::exists(symbolFile("mixed")));
  EXPECT_TRUE(fs::exists(symbolFile("Mixed")));

  // A file that cannot be read is reported.
  dir.write("lib/sym/bad.1", "Y 1\nb 0 0 1 1\n");
  std::string err;
  vqBlock *b = nullptr;
  std::string out = stdoutOf([&] { err = stderrOf([&] { b = load("mylib", "bad", 0); }); });
  ASSERT_NE(nullptr, b);
  EXPECT_EQ((Ints{vqLOAD_NOFILE, 1}), (Ints{status, b->readOnly}));
  EXPECT_NE(std::string::npos, out.find("mylib:bad.1")) << out;
  std::string report = sbMsgBuild(2209, "mylib:bad");
  EXPECT_NE(std::string::npos, err.find(report.substr(3))) << err;
  q_free_block(b);

  stdoutOf([&] { stderrOf([&] { EXPECT_EQ(nullptr, load("mylib", "bad", vqLOAD_EXISTING)); }); });
  EXPECT_EQ((Ints{vqLOAD_NOFILE, 0}), (Ints{status, countLoaded(vqBLOCK_SYMBOL)}));
}

TEST_F(Loader, InstancesShareTheirSymbolAndTheirJointsMoveToItsPins) {
  dir.write("lib/sym/nand2.1", kNand2);
  dir.write("lib/sch/top.1", "V 50\ni 20\nN 5\nJ 0 0 0\nJ 50 50 0\nS 1 2\n"
                             "I 6 mylib:NAND2 1 100 200 1 1 '\nC 5 1 2 2\n"
                             "I 7 mylib:nand2 1 0 0 4 2 '\nC 5 2 1 1\nX 2 2\nX 3 3\n");
  vqBlock *top = load("mylib", "top", vqLOAD_OR_NEW, vqBLOCK_SCHEMATIC);
  ASSERT_NE(nullptr, top);
  EXPECT_EQ(vqLOAD_OK, status);
  ASSERT_EQ(1, countLoaded(vqBLOCK_SYMBOL));
  vqBlock *sym = vqBlockListHead(vqBLOCK_SYMBOL);
  EXPECT_EQ(2, sym->refCount); // one reference per instance

  auto *net = reinterpret_cast<vqNet *>(top->objects);
  auto *first = reinterpret_cast<vqComp *>(net->next);
  auto *second = reinterpret_cast<vqComp *>(first->next);
  EXPECT_EQ((std::vector{sym, sym}), (std::vector{first->symbol, second->symbol}));
  // Pin 2 (10, 0), side right, turned by 90 degrees around (100, 200).
  // Right turned once is top; on a pin, with one segment.
  vqJoint *j1 = net->joints;
  EXPECT_EQ((Ints{100, 210, 1, 8 | 1}), (Ints{j1->x, j1->y, j1->side, j1->type}));
  // Pin 1 (-10, 0), side left, mirrored and scaled by 2.
  vqJoint *j2 = j1->next;
  EXPECT_EQ((Ints{20, 0, 2}), (Ints{j2->x, j2->y, j2->side}));
  // The first instance lacks two of the three pins: they are added
  // unconnected, the second pin with its pin number.
  EXPECT_EQ((Ints{3, 1, 3}), (Ints{ulListSize(first->cnts), first->cnts->next->pinId,
                                   first->cnts->next->next->pinIndex}));
  EXPECT_EQ(nullptr, first->cnts->next->net);
  // The bounding box is the symbol's extent placed.
  EXPECT_EQ((Ints{90, 210}), (Ints{first->bbox[0].x, first->bbox[1].y}));

  q_free_block(top);
  EXPECT_EQ((Ints{0, 0}), (Ints{countLoaded(vqBLOCK_SYMBOL), countLoaded(vqBLOCK_SCHEMATIC)}));
}

TEST_F(Loader, InstancesDecideTheVersionOfASchematicAndTheirOwnWidth) {
  dir.write("lib/sym/rip.1", "V 50\ni 1\nU 0 0 10 0 1 1 SYMTYPE=RIPPER\nP 1 0 0 1 0 0 0 0\n");
  dir.write("lib/sch/top.1", "V 50\ni 9\nI 1 mylib:rip 1 0 0 0 1 '\n");
  vqIniSettingsV.rippersOn = 0;
  vqBlock *off = nullptr;
  std::string out = stdoutOf([&] { off = load("mylib", "top", 0, vqBLOCK_SCHEMATIC); });
  EXPECT_EQ(std::string(sbMsgBuild(2257, "mylib:top.1")) + "\n", out);
  EXPECT_EQ(50, off->version);
  q_free_block(off);
  vqIniSettingsV.rippersOn = 1;
  vqBlock *on = load("mylib", "top", 0, vqBLOCK_SCHEMATIC);
  EXPECT_EQ(51, on->version);
  q_free_block(on);

  // An arrayed instance takes the width of its reference designator.
  dir.write("lib/sym/nand2.1", kNand2);
  dir.write("lib/sch/top.1", "V 50\ni 9\nI 1 mylib:nand2 1 0 0 0 1 '\n"
                             "A 0 0 10 0 1 1 REFDES=U[1:4]\nI 2 mylib:nand2 1 0 0 0 1 '\n");
  vqBlock *top = load("mylib", "top", 0, vqBLOCK_SCHEMATIC);
  auto *arrayed = reinterpret_cast<vqComp *>(top->objects);
  EXPECT_EQ((Ints{4, 1}),
            (Ints{arrayed->size, reinterpret_cast<vqComp *>(arrayed->next->next)->size}));
  q_free_block(top);
}

TEST_F(Loader, AReadOnlyLibraryGivesAReadOnlyBlock) {
  vqProjExit();
  fs::create_directories(tmp + "/ro/sym");
  dir.write("ro/sym/nand2.1", kNand2);
  open("DIR [r] " + tmp + "/ro (rolib)\n");
  vqBlock *b = load("rolib", "nand2", vqLOAD_OR_NEW);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ((Ints{vqLOAD_READONLY, 1}), (Ints{status, b->readOnly}));
  q_free_block(b);

  vqSetBlockReadOnly(1);
  dir.write("lib/sym/nand2.1", kNand2);
  b = load("mylib", "nand2", vqLOAD_OR_NEW);
  EXPECT_EQ((Ints{vqLOAD_OK, 1}), (Ints{status, b->readOnly}));
  q_free_block(b);
}

// Whether a lock is another process's is the file layer's judgement; here
// the lock of another host is one for sure.
TEST_F(Loader, AnEditLoadOfABlockLockedElsewhereIsReadOnly) {
  dir.write("lib/sym/nand2.1", kNand2);
  scribtest::writeForeignLock(lib + "/sym/lock/nand2.1");
  vqBlock *b = load("mylib", "nand2", vqLOAD_EDIT);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ((Ints{vqLOAD_LOCKED, 1}), (Ints{status, b->readOnly}));
  EXPECT_NE(nullptr, b->objects);
  q_free_block(b);
  // A read for editing in mode 0 does not meet the lock.
  b = load("mylib", "nand2", vqLOAD_OR_NEW);
  EXPECT_EQ(vqLOAD_OK, status);
  q_free_block(b);
}

TEST_F(Loader, ReadingAgainDropsChangesAndRestoringReadsTheBackup) {
  dir.write("lib/sym/nand2.1", kNand2);
  dir.write("lib/sch/top.1", "V 50\ni 9\nI 6 mylib:nand2 1 0 0 0 1 '\n");
  vqBlock *top = load("mylib", "top", 0, vqBLOCK_SCHEMATIC);
  vqBlock *sym = load("mylib", "nand2", 0);
  ASSERT_EQ(sym, reinterpret_cast<vqComp *>(top->objects)->symbol);
  q_set_block(sym);
  q_set_changed_flag(sym);
  vqBlockDeleteObject(sym, sym->objects);
  EXPECT_EQ(3, sym->refCount);
  // Read, unchanged, the change's reference gone, the deleted object back.
  EXPECT_EQ((Ints{1, 0, 2, vqKIND_ATTRIBUTE}),
            (Ints{q_read_block(), q_data_has_changed(sym), sym->refCount, sym->objects->kind}));
  EXPECT_EQ(sym, reinterpret_cast<vqComp *>(top->objects)->symbol);
  q_free_block(sym);
  q_free_block(top);
  EXPECT_EQ(0, countLoaded(vqBLOCK_SYMBOL));

  // Restoring reads the backup and marks the Block changed.
  dir.write("lib/sym/nand2.1.bac", "V 50\ni 1\nb 0 0 5 5\n");
  vqBlock *b = load("mylib", "nand2", 0);
  q_set_block(b);
  // Restored, the backup's one box, changed; the change holds a reference.
  EXPECT_EQ((Ints{1, vqKIND_BOX, 1, 2}),
            (Ints{q_restore_block(), b->objects->kind, q_data_has_changed(b), b->refCount}));
  EXPECT_EQ(nullptr, b->objects->next);
  q_clear_changed_flag(b);
  q_free_block(b);

  vqBlock *fresh = load("mylib", "nosuch", vqLOAD_OR_NEW);
  q_set_block(fresh);
  EXPECT_EQ((Ints{0, 0}), (Ints{q_restore_block(), q_read_block()}));
  q_free_block(fresh);
}

} // namespace
