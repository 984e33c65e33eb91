// The block model: defaults at allocation, the placement word, the object
// list with its attached chains, identifiers, the changed state with its lock
// and references, fub status and the loaded-block lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>

#include "BlockBuilder.h"
#include "ScribFixture.h"
#include "vqName.h"
#include "vqp.h"

using namespace scribtest;
using Blocks = std::vector<vqBlock *>;

namespace {

// The loaded-block lists and the name released last start and end empty.
class VqBlock : public ::testing::Test {
protected:
  void SetUp() override { vqBlockReleaseAll(); }
  void TearDown() override { vqBlockReleaseAll(); }
};

TEST_F(VqBlock, NewBlocksAndObjectsTakeTheirDefaultsFromTheSettings) {
  q_set_defaults();
  q_values[qV_BLOCK_TYPE].value = 3;
  vqIniSettingsV.customSheetX = 300;
  vqIniSettingsV.customSheetY = 200;
  struct Case {
    int kind;
    float sheetSetting;
    int sheet, type, x2, y2;
  } cases[] = {
      {vqBLOCK_SYMBOL, 2, 10, 3, 100, 100}, // a symbol ignores SHEETSIZE
      {vqBLOCK_SCHEMATIC, 0, 0, 0, 1100, 850},
      {vqBLOCK_SCHEMATIC, 4, 4, 0, 4400, 3400},
      {vqBLOCK_SCHEMATIC, 10, 10, 0, 300, 200}, // the custom sheet
  };
  for (const Case &c : cases) {
    q_values[qV_SHEETSIZE].value = c.sheetSetting;
    vqBlock *b = q_alloc_block(c.kind);
    SCOPED_TRACE(c.kind * 100 + c.sheet);
    // Version, references, kind, sheet, type, extent, display default, flags.
    EXPECT_EQ((Ints{50, 1, c.kind, c.sheet, c.type, 0, 0, c.x2, c.y2, 1, 0}),
              (Ints{b->version, b->refCount, b->kind, b->sheetSize, b->blockType, b->x1, b->y1,
                    b->x2, b->y2, b->displayDefault,
                    b->changed | b->readOnly | b->temporary | b->libFromFile | b->fub}));
    EXPECT_EQ(nullptr, b->objects);
    q_free_block(b);
  }
  int w = -1, h = -1;
  EXPECT_EQ((Ints{0, -1}), (Ints{vqSheetSizeXY(11, &w, &h), w})); // left to right
  vqIniSettingsV.attrOn = 0;
  vqBlock *b = q_alloc_block(vqBLOCK_SYMBOL);
  EXPECT_EQ(0U, b->displayDefault);
  q_free_block(b);

  // Every object takes the defaults of its kind.
  for (int slot = 0; slot < qOBJECT_COUNT; ++slot) {
    q_objects[slot].color = static_cast<unsigned>(slot + 1);
    q_objects[slot].style = static_cast<unsigned>(slot + 10);
    q_objects[slot].lineStyle = static_cast<unsigned>(slot % 8);
  }
  q_values[qV_TEXTSIZE].value = 12;
  q_values[qV_TEXTORIGIN].value = 7;
  q_values[qV_SCOPE].value = 1;
  struct ObjectCase {
    std::function<vqObject *()> alloc;
    int kind;
    int slot; // the defaults entry
    bool text;
  } objects[] = {
      {[] { return q_alloc_line(3); }, vqKIND_LINE, 0, false},
      {q_alloc_box, vqKIND_BOX, 1, false},
      {q_alloc_text, vqKIND_TEXT, 2, true},
      {q_alloc_circle, vqKIND_CIRCLE, 3, false},
      {q_alloc_arc, vqKIND_ARC, 4, false},
      {q_alloc_net, vqKIND_NET, 5, false},
      {q_alloc_attribute, vqKIND_ATTRIBUTE, 6, true},
      {q_alloc_comp, vqKIND_COMPONENT, 7, false},
      {q_alloc_label, vqKIND_LABEL, 8, true},
      {q_alloc_pin, vqKIND_PIN, 9, false},
      {q_alloc_oattribute, vqKIND_OATTRIBUTE, 10, true},
      {q_alloc_meta_attribute, vqKIND_META_ATTRIBUTE, 10, true},
      {[] { return q_alloc_generic(4); }, 4, 4, false},
      {[] { return q_alloc_generic(40); }, 40, -1, false},
  };
  for (const ObjectCase &c : objects) {
    SCOPED_TRACE(c.kind);
    vqObject *o = c.alloc();
    EXPECT_EQ(nullptr, o->next);
    // Kind, flags, colour, style and line style.
    EXPECT_EQ(
        (Ints{c.kind, 0, c.slot + 1, c.slot < 0 ? 0 : c.slot + 10, c.slot < 0 ? 0 : c.slot % 8}),
        (Ints{o->kind, o->flags, o->color, o->style, o->lineStyle}));
    if (c.text) {
      auto *t = static_cast<vqText *>(o);
      // Size, origin, scope, orientation, visibility.
      EXPECT_EQ((Ints{12, 7, 1, 0, 1}),
                (Ints{t->size, vqPlaceOrigin(t->place), vqPlaceScope(t->place),
                      vqPlaceOrient(t->place), vqPlaceVis(t->place)}));
      EXPECT_TRUE(t->text == nullptr && t->owner == nullptr);
    }
    q_free_generic(o);
  }
  vqComp *c = q_alloc_comp();
  EXPECT_EQ(1.0F, c->scale);
  EXPECT_EQ(1, c->size);
  q_free_comp(c);
  vqLine *l = q_alloc_line(0);
  EXPECT_EQ(1, l->count);
  q_free_generic(l);
  l = q_alloc_line(7);
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(0, l->points[i].x + l->points[i].y);
  l->points[6] = {-32767, 32767};
  q_free_generic(l);
}

TEST_F(VqBlock, PlacementWordFieldsStandFromTheTopBitDownAndKeepTheirWidth) {
  struct Case {
    void (*set)(vqPlace *, int);
    int (*get)(vqPlace);
    vqPlace field; // the bits of the field
  } cases[] = {
      {vqPlaceSetOrient, vqPlaceOrient, 0xE000}, {vqPlaceSetOrigin, vqPlaceOrigin, 0x1E00},
      {vqPlaceSetSense, vqPlaceSense, 0x0100},   {vqPlaceSetScope, vqPlaceScope, 0x00C0},
      {vqPlaceSetVis, vqPlaceVis, 0x0030},       {vqPlaceSetDisplayed, vqPlaceDisplayed, 0x0008},
  };
  for (const Case &c : cases) {
    const int shift = __builtin_ctz(c.field);
    const int max = c.field >> shift;
    vqPlace w = 0;
    c.set(&w, max);
    EXPECT_EQ(c.field, w);
    EXPECT_EQ(max, c.get(w));
    // The other fields are kept; a value too wide keeps its lowest bits.
    w = 0xFFFF;
    c.set(&w, 0);
    EXPECT_EQ(static_cast<vqPlace>(~c.field), w);
    c.set(&w, max + 2);
    EXPECT_EQ(1, c.get(w));
  }
  vqPlace w = 0;
  vqPlaceSetOrigin(&w, 9);
  vqPlaceSetVis(&w, 2);
  EXPECT_EQ(0x1220, w);
}

// The object list holds every object in file order; attached texts also
// stand in their owner's chain; removal unlinks both.
TEST_F(VqBlock, AttachedTextsStandInTheObjectListAndInTheirOwnersChain) {
  vqBlock *b = symbol("and2");
  vqPin *pin = addPin(b, 1);
  vqText *a1 = addAttr(b, "PINTYPE=IN", pin);
  vqText *label = addAttr(b, "CLK", pin, 0, vqKIND_LABEL);
  vqText *u = addAttr(b, "REFDES=U?");
  vqText *a2 = addAttr(b, "PINNUM=3", pin);
  auto list = [b] {
    std::vector<vqObject *> v;
    for (vqObject *o = b->objects; o != nullptr; o = o->next)
      v.push_back(o);
    return v;
  };
  auto chain = [pin] {
    std::vector<vqObject *> v;
    for (vqText *t = pin->attached; t != nullptr; t = t->attNext)
      v.push_back(t);
    return v;
  };
  using V = std::vector<vqObject *>;
  EXPECT_EQ((V{pin, a1, label, u, a2}), list());
  EXPECT_EQ((V{a1, label, a2}), chain());
  EXPECT_EQ((V{pin, nullptr}), (V{a2->owner, u->owner}));

  // A new attribute goes to the head of both, as the programming interface
  // adds them.
  vqText *n = q_alloc_attribute();
  vqBlockInsertObject(b, n, nullptr);
  ASSERT_EQ(1, vqAttachText(pin, n, 0, 0));
  EXPECT_EQ((V{n, pin, a1, label, u, a2}), list());
  EXPECT_EQ((V{n, a1, label, a2}), chain());

  EXPECT_EQ(1, vqBlockRemoveObject(b, a1));
  EXPECT_EQ((V{n, pin, label, u, a2}), list());
  EXPECT_EQ((V{n, label, a2}), chain());
  EXPECT_EQ(nullptr, a1->owner);
  EXPECT_EQ(0, vqBlockRemoveObject(b, a1)); // no longer there
  q_free_attribute(a1);

  vqBlockDeleteObject(b, a2); // the tail of both
  EXPECT_EQ((V{n, pin, label, u}), list());
  EXPECT_EQ((V{n, label}), chain());

  // Removing the owner leaves its texts in the list, without owner.
  EXPECT_EQ(1, vqBlockRemoveObject(b, pin));
  EXPECT_EQ((V{n, label, u}), list());
  EXPECT_EQ((V{nullptr, nullptr, nullptr, nullptr}),
            (V{pin->attached, n->owner, label->owner, n->attNext}));
  q_free_pin(pin);

  // Only instances, pins and nets have chains.
  EXPECT_EQ(0, vqAttachText(u, n, 0, 0));
  EXPECT_EQ(nullptr, vqObjectAttachedChain(nullptr));
  EXPECT_EQ(0, vqDetachText(n));
  q_free_block(b); // frees what the list holds, each once
}

TEST_F(VqBlock, NetsAndInstancesOwnTheirJointsSegmentsAndConnections) {
  vqBlock *sch = q_alloc_block(vqBLOCK_SCHEMATIC);
  vqNet *net = q_alloc_net();
  vqBlockInsertObject(sch, net, nullptr);
  vqJoint *j1 = q_alloc_joint();
  vqJoint *j2 = q_alloc_joint();
  j1->next = j2;
  net->joints = j1;
  vqSegment *s = q_alloc_segment();
  s->j1 = j1;
  s->j2 = j2;
  net->segments = s;
  j1->segments = ulCellAdd(s, nullptr);
  j2->segments = ulCellAdd(s, nullptr);
  EXPECT_EQ((Ints{0, 0, 0}), (Ints{j2->id, j2->type, j2->side}));

  vqComp *c = q_alloc_comp();
  vqBlockInsertObject(sch, c, net);
  vqBlock *sym = symbol("and2");
  c->symbol = q_copy_block(sym);
  c->symName = ulStrCpy("and2");
  c->trail = ulStrCpy("trailing");
  vqCnt *cnt = q_alloc_cnt();
  cnt->net = net;
  cnt->joint = j1;
  c->cnts = cnt;
  addAttr(sch, "SIGNAL=A", c, 7);
  EXPECT_EQ(2, sym->refCount);

  q_free_net_data(net);
  EXPECT_EQ(nullptr, net->joints);
  EXPECT_EQ(nullptr, net->segments);
  q_free_block(sch); // drops the instance's reference on its symbol
  EXPECT_EQ(1, sym->refCount);
  q_free_block(sym);
  q_free_garbage();
}

TEST_F(VqBlock, IdentifiersCountUpAndStayAtTheLimitWithAMessage) {
  // No current Block.
  EXPECT_EQ((Ints{0, 0, 0}),
            (Ints{q_get_next_id(), q_get_next_joint_id(nullptr), q_get_next_segment_id(nullptr)}));
  vqBlock *b = symbol("and2");
  q_set_block(b);
  b->lastId = 5;
  EXPECT_EQ((Ints{6, 6}), (Ints{q_get_next_id(), b->lastId}));
  const vqId max = std::numeric_limits<vqId>::max();
  struct Case {
    vqId *counter;
    std::function<vqId()> next;
    const char *message;
  } cases[] = {
      {&b->lastId, q_get_next_id, "ERROR:  Out of ID Numbers.\n"},
      {&b->lastJointId, [] { return q_get_next_joint_id(nullptr); }, "Out of joint ids\n"},
      {&b->lastSegmentId, [b] { return q_get_next_segment_id(b); }, "Out of segment ids\n"},
  };
  for (const Case &c : cases) {
    *c.counter = max - 2;
    vqId id = 0;
    EXPECT_EQ("", stderrOf([&] { id = c.next(); }));
    EXPECT_EQ(max - 1, id);
    EXPECT_EQ(c.message, stderrOf([&] { id = c.next(); }));
    EXPECT_EQ(max, id);
    EXPECT_EQ(c.message, stderrOf([&] { id = c.next(); }));
    EXPECT_EQ(max, id);
  }
  vqBlock *other = symbol("or2");
  // The given Block, not the current one.
  EXPECT_EQ((Ints{1, 1}), (Ints{q_get_next_joint_id(other), q_get_next_segment_id(other)}));
  q_free_block(other);
  q_free_block(b); // stops being current
  EXPECT_EQ(nullptr, q_get_block());
}

TEST_F(VqBlock, FubStatusFollowsTheSymtypeAttributeOfSymbolsOnly) {
  struct Case {
    const char *text; // the block attribute, or null for none
    bool onPin;       // attached to a pin instead
    unsigned fub;
  } cases[] = {
      {"SYMTYPE=FUB", false, 1}, {"SYMTYPE = FUB ", false, 1}, {"SYMTYPE FUB", false, 1},
      {"SYMTYPE=fub", false, 0}, {"symtype=FUB", false, 0},    {"SYMTYPE=FUBS", false, 0},
      {"SYMTYPE=FUB", true, 0},  {nullptr, false, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(none)");
    vqBlock *b = symbol("f");
    b->fub = 1; // cleared first
    vqPin *pin = addPin(b, 1);
    if (c.text != nullptr)
      addAttr(b, c.text, c.onPin ? pin : nullptr);
    vqBlockUpdateFubStatus(b);
    EXPECT_EQ(c.fub, b->fub);
    EXPECT_EQ(static_cast<int>(c.fub), vqBlockIsFub(b));
    q_free_block(b);
  }
  vqBlock *sch = q_alloc_block(vqBLOCK_SCHEMATIC);
  EXPECT_EQ(1, vqBlockMakeFub(sch));
  vqBlockUpdateFubStatus(sch); // schematics are left alone
  EXPECT_EQ((Ints{1, 0}), (Ints{sch->fub, vqBlockIsFub(sch)}));
  EXPECT_EQ((Ints{1, 0}), (Ints{vqBlockMakeNonFub(sch), sch->fub}));
  EXPECT_EQ(0, vqBlockMakeFub(nullptr) + vqBlockMakeNonFub(nullptr) + vqBlockIsFub(nullptr));
  q_free_block(sch);
}

TEST_F(VqBlock, LoadedBlocksAreFoundByNameNumberAndLibrary) {
  EXPECT_STREQ("", vqBlockLastReleasedName());
  vqBlock *mine = symbol("and2", "mylib");
  vqBlock *fromFile = symbol("and2", "other");
  fromFile->libFromFile = 1;
  vqBlock *second = symbol("and2", "mylib");
  second->number = 2;
  vqBlock *sheet = q_alloc_block(vqBLOCK_SCHEMATIC);
  sheet->name = ulStrCpy("and2");
  sheet->number = 1;
  for (vqBlock *b : {mine, fromFile, second, sheet})
    vqBlockListAdd(b);
  vqBlockListAdd(mine); // already listed: no second entry
  EXPECT_EQ((Blocks{second, sheet, nullptr, nullptr}),
            (Blocks{vqBlockListHead(vqBLOCK_SYMBOL), vqBlockListHead(vqBLOCK_SCHEMATIC),
                    vqBlockListHead(vqBLOCK_KINDS), vqBlockListHead(-1)}));
  EXPECT_EQ(3, ulListSize(vqBlockListHead(vqBLOCK_SYMBOL)));

  struct Case {
    int kind;
    const char *library, *name;
    int number;
    vqBlock *found;
  } cases[] = {
      {1, "mylib", "and2", 1, mine},     {1, "MyLib", "and2", 1, mine},
      {1, "mylib", "and2", 2, second},   {1, "", "and2", 1, fromFile},
      {1, nullptr, "and2", 1, fromFile}, {1, "", "and2", 2, nullptr},
      {1, "mylib", "AND2", 1, nullptr},  {1, "other", "and2", 1, fromFile},
      {0, "", "and2", 1, nullptr},       {1, "nolib", "and2", 1, nullptr},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.found, vqBlockListFind(c.kind, c.library, c.name, c.number))
        << c.kind << " " << (c.library ? c.library : "(null)") << ":" << c.name << "." << c.number;

  EXPECT_EQ((Ints{1, 0}), (Ints{vqBlockListRemove(fromFile), vqBlockListRemove(fromFile)}));
  EXPECT_EQ((Blocks{nullptr, mine}),
            (Blocks{vqBlockListFind(1, "", "and2", 1), vqBlockListFind(1, "mylib", "and2", 1)}));
  q_free_block(fromFile);
  // Release takes a Block off its list and remembers its name.
  EXPECT_STREQ("other:and2", vqBlockLastReleasedName());
  q_free_block(mine);
  EXPECT_STREQ("mylib:and2", vqBlockLastReleasedName());
  EXPECT_EQ(nullptr, vqBlockListFind(1, "mylib", "and2", 1));
  EXPECT_EQ(second, vqBlockListHead(vqBLOCK_SYMBOL));
  q_free_block(sheet);
  EXPECT_STREQ("and2", vqBlockLastReleasedName());
  EXPECT_EQ(nullptr, vqBlockListHead(vqBLOCK_SCHEMATIC));
  q_free_block(second);
  EXPECT_EQ(nullptr, vqBlockListHead(vqBLOCK_SYMBOL));
}

// ---- Changed state, with a project and real lock files --------------------------------

class VqBlockChanges : public Project {
protected:
  // Lock files of the symbol directory.
  std::vector<std::string> locks() {
    return fs::exists(lib + "/sym/lock") ? testsupport::entries(lib + "/sym/lock")
                                         : std::vector<std::string>{};
  }
  vqBlock *listedSymbol() {
    dir.write("lib/sym/and2.1", "V 50\nE\n");
    vqBlock *b = symbol("and2", "mylib");
    vqBlockListAdd(b);
    return b;
  }
};

TEST_F(VqBlockChanges, ChangesLockTheFileOnceAndPinTheBlockUnlessItIsReadOnly) {
  vqBlock *b = listedSymbol();
  EXPECT_EQ(0, q_data_has_changed(b));
  EXPECT_EQ((Ints{1, 1}), (Ints{q_set_changed_flag(b), b->locked}));
  EXPECT_EQ((std::vector<std::string>{"and2.1"}), locks());
  q_set_block(b);
  EXPECT_EQ(1, q_set_changed_flag(nullptr)); // the current Block
  EXPECT_EQ((Ints{2, 2, 1}), (Ints{b->changeCount, b->refCount, b->changed}));
  EXPECT_EQ(1, q_data_has_changed(nullptr));
  EXPECT_EQ((std::vector<std::string>{"and2.1"}), locks());

  EXPECT_EQ(1, q_clear_changed_flag(b));
  EXPECT_EQ((Ints{0, 0, 1}), (Ints{q_data_has_changed(b), b->changeCount, b->refCount}));
  // Clearing an unchanged Block changes nothing.
  EXPECT_EQ((Ints{1, 1}), (Ints{q_clear_changed_flag(b), b->refCount}));
  EXPECT_EQ(b, vqBlockListHead(vqBLOCK_SYMBOL));
  // The lock stays until the writer releases it.
  EXPECT_EQ((std::vector<std::string>{"and2.1"}), locks());
  EXPECT_EQ(1, vqpFileUnlock(1, "mylib", "and2", 1));
  EXPECT_TRUE(locks().empty());
  q_free_block(b);
  EXPECT_EQ((Blocks{nullptr, nullptr}), (Blocks{vqBlockListHead(vqBLOCK_SYMBOL), q_get_block()}));

  // Clearing the last reference releases the Block.
  b = listedSymbol();
  q_set_block(b);
  q_set_changed_flag(b);
  q_free_block(b); // the loader's reference: the change still pins it
  EXPECT_EQ(b, vqBlockListHead(vqBLOCK_SYMBOL));
  EXPECT_EQ(1, b->refCount);
  EXPECT_EQ(1, q_clear_changed_flag(b));
  EXPECT_EQ((Blocks{nullptr, nullptr}), (Blocks{vqBlockListHead(vqBLOCK_SYMBOL), q_get_block()}));
  EXPECT_STREQ("mylib:and2", vqBlockLastReleasedName());
  vqpFileUnlock(1, "mylib", "and2", 1);

  // A read-only Block is never locked, nor reopened for writing.
  b = listedSymbol();
  b->readOnly = 1;
  EXPECT_EQ(-1, vqBlockReopen(b, 2)); // refused before the file layer is asked
  EXPECT_EQ(0, vqBlockReopen(b, 3));  // no file: the file layer says 0
  q_set_changed_flag(b);
  EXPECT_EQ((Ints{2, 0}), (Ints{b->refCount, b->locked}));
  EXPECT_TRUE(locks().empty());
  q_clear_changed_flag(b);
  q_free_block(b);
  // No Block at all: nothing.
  EXPECT_EQ((Ints{1, 0, 1}), (Ints{q_set_changed_flag(nullptr), q_data_has_changed(nullptr),
                                   q_clear_changed_flag(nullptr)}));
}

// Built and freed whole (the sanitizer run with the pools off sees every
// record); with the free lists on, a second Block of the same size is made of
// exactly the records the first one gave back.
TEST_F(VqBlock, ATenThousandObjectBlockIsFreedWholeAndItsRecordsReused) {
  blockbuilder::Records first, second;
  vqBlock *b = blockbuilder::build(10000, &first);
  EXPECT_EQ(10000, ulListSize(b->objects));
  q_free_block(b);
  b = blockbuilder::build(10000, &second);
  q_free_block(b);
  q_free_garbage();
  if (std::getenv("UL_MEMFLDISABLE") || std::getenv("UL_MEMDBG") || std::getenv("UL_PURIFY"))
    return;
  std::sort(first.begin(), first.end());
  std::sort(second.begin(), second.end());
  EXPECT_EQ(first, second);
}

} // namespace
