// The attribute edits of the programming interface on hand-built Blocks:
// rewriting (names compared exactly), the may-add rule, where a new
// attribute lands in the lists and on the drawing for each kind of owner,
// deletion from both lists, and the instance's reference designator and pin
// numbers. Every edit but the rewrite marks the Block changed; a refusal
// leaves it as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gpi.h"
#include "scrib/ScribFixture.h"
#include "vqName.h"

namespace {

using scribtest::addAttr;
using scribtest::addPin;
using scribtest::stdoutOf;

// A current Block of the given kind in the library mylib, released at the
// end of the test with whatever references its edits took.
class Edit : public scribtest::Project {
protected:
  vqBlock *block = nullptr;

  void make(int kind) {
    block = q_alloc_block(kind);
    block->name = ulStrCpy(kind == vqBLOCK_SYMBOL ? "and2" : "top");
    block->library = ulStrCpy("mylib");
    block->number = 1;
    q_set_block(block);
  }
  void TearDown() override {
    if (block != nullptr) {
      q_clear_changed_flag(block);
      q_free_block(block);
    }
    Project::TearDown();
  }
  // The texts of the object list, in order.
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const vqObject *o = block->objects; o != nullptr; o = o->next)
      if (o->kind == vqKIND_ATTRIBUTE || o->kind == vqKIND_LABEL)
        out.push_back(static_cast<const vqText *>(o)->text);
    return out;
  }
  static std::vector<std::string> chain(const vqText *t) {
    std::vector<std::string> out;
    for (; t != nullptr; t = t->attNext)
      out.push_back(t->text);
    return out;
  }
  static vqText *head(vqBlock *b) { return static_cast<vqText *>(b->objects); }
  vqComp *addComp(vqBlock *symbol, int x, int y, int orient) {
    vqComp *c = q_alloc_comp();
    c->x = x;
    c->y = y;
    c->orient = orient;
    c->symbol = symbol != nullptr ? q_copy_block(symbol) : nullptr;
    vqBlockInsertObject(block, c, vqBlockLastObject(block));
    return c;
  }
  static vqCnt *addCnt(vqComp *c, vqId pinId) {
    vqCnt *cnt = q_alloc_cnt();
    cnt->pinId = pinId;
    cnt->next = c->cnts;
    c->cnts = cnt;
    return cnt;
  }
  vqNet *addNet() {
    vqNet *n = q_alloc_net();
    vqBlockInsertObject(block, n, vqBlockLastObject(block));
    return n;
  }
  static void addSegment(vqNet *n, vqId id, int angle, vqPoint a, vqPoint b) {
    vqJoint *j1 = q_alloc_joint();
    vqJoint *j2 = q_alloc_joint();
    j1->x = a.x, j1->y = a.y, j2->x = b.x, j2->y = b.y;
    j2->next = n->joints;
    j1->next = j2;
    n->joints = j1;
    vqSegment *s = q_alloc_segment();
    s->id = id;
    s->angle = static_cast<uint8_t>(angle);
    s->j1 = j1;
    s->j2 = j2;
    s->next = n->segments;
    n->segments = s;
  }
};

TEST_F(Edit, RewriteKeepsPlaceAndChangedStateAndComparesNamesExactly) {
  make(vqBLOCK_SYMBOL);
  vqText *a = addAttr(block, "REFDES=U?");
  a->x = 7;
  a->y = 9;
  a->size = 12;
  vqPlaceSetOrient(&a->place, 3);
  const vqPlace place = a->place;

  EXPECT_EQ(1, gpi_m_attr("REFDES=U5  ", a));
  EXPECT_STREQ("REFDES=U5", a->text);
  EXPECT_EQ(7, a->x);
  EXPECT_EQ(9, a->y);
  EXPECT_EQ(12, a->size);
  EXPECT_EQ(place, a->place);
  EXPECT_EQ(0, q_data_has_changed(block));
  EXPECT_EQ(1, block->refCount);

  // Another name, a name in another case, or a name that differs only by
  // the blank that the other split drops.
  EXPECT_EQ(0, gpi_m_attr("VALUE=U5", a));
  EXPECT_EQ(0, gpi_m_attr("Refdes=U6", a));
  vqText *pinType = addAttr(block, "PIN TYPE=IN");
  EXPECT_EQ(0, gpi_m_attr("PINTYPE=OUT", pinType));
  EXPECT_EQ(1, gpi_m_attr("PIN TYPE=OUT", pinType));
  // A text without "=" splits at its first blank.
  EXPECT_EQ(1, gpi_m_attr("REFDES U7", a));
  EXPECT_STREQ("REFDES U7", a->text);

  // Only attributes are rewritten.
  vqText *label = addAttr(block, "REFDES=U1", nullptr, 0, vqKIND_LABEL);
  EXPECT_EQ(0, gpi_m_attr("REFDES=U2", label));
  EXPECT_STREQ("REFDES=U1", label->text);
  EXPECT_EQ(0, gpi_m_attr("REFDES=U2", nullptr));
  EXPECT_EQ(0, q_data_has_changed(block));
}

TEST_F(Edit, BlockAttributesStackUpFromTheExtentAndEachStandsFirstInTheList) {
  make(vqBLOCK_SYMBOL);
  addAttr(block, "OTHER=1");
  // In a symbol a name may be added any number of times.
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(1, gpi_a_attribute("PART=7400", nullptr, 0));
    vqText *a = head(block);
    EXPECT_STREQ("PART=7400", a->text);
    EXPECT_EQ(nullptr, a->owner);
    EXPECT_EQ(0, a->x);
    EXPECT_EQ(10 * (i + 1), a->y) << i;
  }
  vqText *a = head(block);
  EXPECT_EQ(10, a->size);
  EXPECT_EQ(5, a->color);
  EXPECT_EQ(3, vqPlaceOrigin(a->place));
  EXPECT_EQ(0, vqPlaceOrient(a->place));
  EXPECT_EQ(1, vqPlaceVis(a->place));
  EXPECT_EQ(1, vqPlaceDisplayed(a->place));
  EXPECT_EQ((std::vector<std::string>{"PART=7400", "PART=7400", "PART=7400", "OTHER=1"}), texts());
  // Every addition is a change; the first took the Block's extra reference.
  EXPECT_EQ(1, block->changed);
  EXPECT_EQ(3, block->changeCount);
  EXPECT_EQ(2, block->refCount);
  EXPECT_EQ(0, gpi_a_attribute(nullptr, nullptr, 0));
}

class Spacing : public Edit {
protected:
  void SetUp() override { open("adistance 7.5\nnew_attr_vis 0\n"); }
};

TEST_F(Spacing, EachStepTruncatesAndAnExtentOffTheAxisIsTheFirstPlace) {
  make(vqBLOCK_SYMBOL);
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(1, gpi_a_attribute("A=1", nullptr, 0));
  std::vector<int> ys;
  for (vqObject *o = block->objects; o != nullptr; o = o->next)
    ys.push_back(static_cast<vqText *>(o)->y);
  EXPECT_EQ((std::vector<int>{21, 14, 7}), ys);
  EXPECT_EQ(0, vqPlaceVis(head(block)->place));

  // Texts of another column and attached texts do not count; the first text
  // of a column stands at the extent's corner when that is not on the axis.
  block->x1 = 5;
  block->y1 = -40;
  ASSERT_EQ(1, gpi_a_attribute("B=1", nullptr, 0));
  EXPECT_EQ(5, head(block)->x);
  EXPECT_EQ(-40, head(block)->y);
  ASSERT_EQ(1, gpi_a_attribute("B=2", nullptr, 0));
  EXPECT_EQ(-32, head(block)->y); // -32.5 truncated towards 0
}

TEST_F(Edit, PinAttributesStackAtThePinsConnectingEndAndHeadItsChain) {
  make(vqBLOCK_SYMBOL);
  vqPin *pin = addPin(block, 4);
  pin->p1 = {30, 0};
  pin->p2 = {50, 0};
  addAttr(block, "CLK", pin, 0, vqKIND_LABEL);
  addAttr(block, "#=3", pin, 0); // both at x 0, outside the pin's column

  ASSERT_EQ(1, gpi_a_attribute("PINTYPE=IN", pin, 5));
  vqText *a = head(block);
  EXPECT_EQ(pin, a->owner);
  EXPECT_EQ(0u, a->part); // a pin's texts have no part
  EXPECT_EQ(30, a->x);
  EXPECT_EQ(10, a->y); // the pin lies on the axis: one spacing up
  ASSERT_EQ(1, gpi_a_attribute("PINTYPE=IN", pin, 0));
  EXPECT_EQ(20, head(block)->y);
  // New attributes go before the pin's label, which stays the first label.
  EXPECT_EQ((std::vector<std::string>{"PINTYPE=IN", "PINTYPE=IN", "CLK", "#=3"}),
            chain(pin->attached));

  vqPin *high = addPin(block, 5);
  high->p1 = {0, 60};
  ASSERT_EQ(1, gpi_a_attribute("X=1", high, 0));
  EXPECT_EQ(60, head(block)->y);
}

TEST_F(Edit, InSchematicsOnlyTheListedNamesRepeatAndRefusalsChangeNothing) {
  vqBlock *sym = scribtest::symbol("and2", "mylib");
  addPin(sym, 2);
  make(vqBLOCK_SCHEMATIC);
  vqComp *c = addComp(sym, 0, 0, 0);
  q_free_block(sym);
  vqCnt *cnt = addCnt(c, 2);
  vqNet *net = addNet();
  addSegment(net, 1, 2, {0, 0}, {10, 10});
  for (const char *t : {"PARAM=a", "VALUE=1", "SIGNAL=s", "EQUATE=e"})
    addAttr(block, t, c, 0);
  addAttr(block, "SIGNAL=s", c, 2);
  addAttr(block, "PROBE=p", net, 1);
  addAttr(block, "NAME=n", net, 1);
  addAttr(block, "TOP=1");
  const std::vector<std::string> before = texts();
  const std::vector<std::string> chainBefore = chain(c->attached);

  EXPECT_EQ(0, gpi_a_attribute("VALUE=2", c, 0));
  EXPECT_EQ(0, gpi_a_attribute("SIGNAL=t", c, 2));
  EXPECT_EQ(0, gpi_a_attribute("NAME=m", net, 1));
  EXPECT_EQ(0, gpi_a_attribute("TOP=2", nullptr, 0));
  c->refdes = ulStrCpy("U1");
  EXPECT_EQ(0, gpi_a_attribute("REFDES=U2", c, 0));
  cnt->pinIndex = 3;
  EXPECT_EQ(0, gpi_a_attribute("#=4", c, 2));
  vqBox *box = q_alloc_box();
  vqBlockInsertObject(block, box, nullptr);
  EXPECT_EQ(0, gpi_a_attribute("X=1", box, 0));
  EXPECT_EQ(before, texts());
  EXPECT_EQ(chainBefore, chain(c->attached));
  EXPECT_EQ(0, q_data_has_changed(block));

  EXPECT_EQ(1, gpi_a_attribute("PARAM=b", c, 0));
  EXPECT_EQ(1, gpi_a_attribute("PARAM=c", net, 1));
  EXPECT_EQ(1, gpi_a_attribute("SIGNAL=t", c, 0));
  EXPECT_EQ(1, gpi_a_attribute("EQUATE=f", c, 0));
  EXPECT_EQ(1, gpi_a_attribute("PROBE=q", net, 1));
  // A block attribute without owner in a schematic, and the two "new name"
  // cases once nothing is in the way.
  EXPECT_EQ(1, gpi_a_attribute("NEW=1", nullptr, 0));
  EXPECT_EQ(nullptr, head(block)->owner);
  ulStrFree(c->refdes);
  c->refdes = nullptr;
  EXPECT_EQ(1, gpi_a_attribute("REFDES=U2", c, 0));
  cnt->pinIndex = 0;
  EXPECT_EQ(1, gpi_a_attribute("#=4", c, 2));
  EXPECT_EQ(2u, c->attached->part);
  EXPECT_EQ(c, c->attached->owner);
  EXPECT_EQ(1, block->changed);
}

TEST_F(Edit, InstanceAttributesStackAtTheColumnOrAtThePlacedSymbolPin) {
  vqBlock *sym = scribtest::symbol("and2", "mylib");
  vqPin *sp = addPin(sym, 2);
  sp->p1 = {20, 0};
  make(vqBLOCK_SCHEMATIC);
  // Turned by 90 degrees and moved to (100, 200): the pin's end (20, 0)
  // lands at (100, 220).
  vqComp *c = addComp(sym, 100, 200, 1);
  q_free_block(sym);
  addCnt(c, 2);
  c->attrX = 140;
  c->attrY = 180;

  ASSERT_EQ(1, gpi_a_attribute("VALUE=1", c, 0));
  EXPECT_EQ(140, head(block)->x);
  EXPECT_EQ(180, head(block)->y);
  ASSERT_EQ(1, gpi_a_attribute("PART=1", c, 0));
  EXPECT_EQ(190, head(block)->y);
  ASSERT_EQ(1, gpi_a_attribute("#=5", c, 2));
  EXPECT_EQ(100, head(block)->x);
  EXPECT_EQ(220, head(block)->y);
  EXPECT_EQ(2u, head(block)->part);
  ASSERT_EQ(1, gpi_a_attribute("PINSWAP=1", c, 2));
  EXPECT_EQ(230, head(block)->y);
  // A part that the symbol has no pin for gives no place: refused.
  const size_t before = texts().size();
  EXPECT_EQ(0, gpi_a_attribute("X=1", c, 9));
  EXPECT_EQ(before, texts().size());
  EXPECT_EQ((std::vector<std::string>{"PINSWAP=1", "#=5", "PART=1", "VALUE=1"}), chain(c->attached));
}

TEST_F(Edit, AnInstanceAttributeTakesTheLookAndPlacedPositionOfTheSymbolsOwn) {
  vqBlock *sym = scribtest::symbol("and2", "mylib");
  vqText *sa = addAttr(sym, "VALUE=sym");
  sa->x = 10, sa->y = 3, sa->size = 25, sa->color = 9, sa->style = 4, sa->lineStyle = 2;
  vqPlaceSetOrigin(&sa->place, 7);
  vqPlaceSetOrient(&sa->place, 2);
  vqPlaceSetVis(&sa->place, 0);
  vqPin *sp = addPin(sym, 2);
  vqText *spa = addAttr(sym, "#=1", sp, 0);
  spa->x = -4, spa->y = 6;
  make(vqBLOCK_SCHEMATIC);
  // Mirrored (x becomes -x), not turned, at (50, 50).
  vqComp *c = addComp(sym, 50, 50, 4);
  q_free_block(sym);
  addCnt(c, 2);

  ASSERT_EQ(1, gpi_a_attribute("VALUE=inst", c, 0));
  vqText *a = head(block);
  EXPECT_EQ(40, a->x);
  EXPECT_EQ(53, a->y);
  EXPECT_EQ(25, a->size);
  EXPECT_EQ(9, a->color);
  EXPECT_EQ(4, a->style);
  EXPECT_EQ(2, a->lineStyle);
  EXPECT_EQ(7, vqPlaceOrigin(a->place));
  EXPECT_EQ(2, vqPlaceOrient(a->place));
  EXPECT_EQ(1, vqPlaceVis(a->place)); // not copied
  ASSERT_EQ(1, gpi_a_attribute("#=8", c, 2));
  EXPECT_EQ(54, head(block)->x);
  EXPECT_EQ(56, head(block)->y);
}

TEST_F(Edit, NetAttributesFollowTheirSegmentsAngle) {
  make(vqBLOCK_SCHEMATIC);
  vqNet *net = addNet();
  addSegment(net, 1, 0, {0, 40}, {30, 40});   // horizontal
  addSegment(net, 2, 1, {70, 10}, {70, 31});  // vertical
  addSegment(net, 3, 2, {80, 80}, {90, 95});  // oblique

  ASSERT_EQ(1, gpi_a_attribute("A=1", net, 1));
  EXPECT_EQ(15, head(block)->x);
  EXPECT_EQ(40, head(block)->y);
  EXPECT_EQ(6, vqPlaceOrigin(head(block)->place));
  ASSERT_EQ(1, gpi_a_attribute("B=1", net, 1));
  EXPECT_EQ(50, head(block)->y);

  ASSERT_EQ(1, gpi_a_attribute("C=1", net, 2));
  EXPECT_EQ(80, head(block)->x);
  EXPECT_EQ(20, head(block)->y);
  EXPECT_EQ(2, vqPlaceOrigin(head(block)->place));

  // Only texts of the column's origin count: one of origin 3 stands higher
  // in the same column.
  vqText *other = addAttr(block, "D=1", net, 3);
  other->x = 90;
  other->y = 500;
  vqPlaceSetOrigin(&other->place, 3);
  ASSERT_EQ(1, gpi_a_attribute("E=1", net, 3));
  EXPECT_EQ(90, head(block)->x);
  EXPECT_EQ(510, head(block)->y); // any origin counts on an oblique segment
  vqPlaceSetOrigin(&other->place, 6);
  other->x = 15;
  ASSERT_EQ(1, gpi_a_attribute("F=1", net, 1));
  EXPECT_EQ(510, head(block)->y);
  EXPECT_EQ(net, head(block)->owner);
  EXPECT_EQ(1u, head(block)->part);
}

TEST_F(Edit, ANetWithoutTheSegmentRefusesAndSaysSoUnlessQuiet) {
  make(vqBLOCK_SCHEMATIC);
  vqNet *net = addNet();
  addSegment(net, 1, 0, {0, 0}, {10, 0});
  const std::vector<std::string> before = texts();
  int r = 1;
  EXPECT_EQ("Can not add attribute\n", stdoutOf([&] { r = gpi_a_attribute("A=1", net, 2); }));
  EXPECT_EQ(0, r);
  q_quiet = 1;
  EXPECT_EQ("", stdoutOf([&] { r = gpi_a_attribute("A=1", net, 7); }));
  EXPECT_EQ(0, r);
  EXPECT_EQ(before, texts());
  EXPECT_EQ(nullptr, net->attached);
  EXPECT_EQ(0, q_data_has_changed(block));
}

TEST_F(Edit, DeletingAnAttributeTakesItOutOfBothListsAndIsAChange) {
  make(vqBLOCK_SYMBOL);
  vqPin *pin = addPin(block, 1);
  vqText *a1 = addAttr(block, "A=1", pin, 0);
  vqText *a2 = addAttr(block, "B=1", pin, 0);
  addAttr(block, "C=1", pin, 0);
  vqText *label = addAttr(block, "L", pin, 0, vqKIND_LABEL);

  EXPECT_EQ(0, gpi_d_attr(label));
  EXPECT_EQ(0, gpi_d_attr(pin));
  EXPECT_EQ(0, q_data_has_changed(block));
  // An attribute of another Block is not ours to free.
  vqBlock *other = scribtest::symbol("or2");
  vqText *foreign = addAttr(other, "F=1");
  EXPECT_EQ(0, gpi_d_attr(foreign));
  q_free_block(other);

  EXPECT_EQ(1, gpi_d_attr(a2));
  EXPECT_EQ((std::vector<std::string>{"A=1", "C=1", "L"}), texts());
  EXPECT_EQ((std::vector<std::string>{"A=1", "C=1", "L"}), chain(pin->attached));
  EXPECT_EQ(1, gpi_d_attr(a1));
  EXPECT_EQ((std::vector<std::string>{"C=1", "L"}), chain(pin->attached));
  EXPECT_EQ(1, block->changed);
  EXPECT_EQ(2, block->changeCount);
}

TEST_F(Edit, ReferenceDesignatorAndPinNumbersOfAnInstance) {
  vqBlock *sym = scribtest::symbol("and2", "mylib");
  addPin(sym, 3)->p1 = {8, 9};
  make(vqBLOCK_SCHEMATIC);
  vqComp *c = addComp(sym, 0, 0, 0);
  q_free_block(sym);
  c->attrX = 5;
  c->attrY = 6;
  vqCnt *cnt = addCnt(c, 3);
  vqPin *pin = addPin(block, 3);

  EXPECT_EQ(0, gpi_m_refdes("U1", pin));
  EXPECT_EQ(0, gpi_d_refdes(pin));
  EXPECT_EQ(0, gpi_m_pnum("12", pin, 3));
  EXPECT_EQ(0, gpi_m_pnum("12", c, 4));
  EXPECT_EQ(0, gpi_d_pnum(c, 4));
  EXPECT_EQ(0, gpi_d_pnum(c, 0));
  EXPECT_EQ(0, gpi_a_refdes("VALUE=U1", c));
  EXPECT_EQ(0, gpi_a_pinnum("#=1", c, 4));
  EXPECT_EQ(0, gpi_a_pinnum("PIN=1", c, 3));
  EXPECT_EQ(0, q_data_has_changed(block));

  EXPECT_EQ(1, gpi_m_refdes("U1", c));
  EXPECT_STREQ("U1", c->refdes);
  EXPECT_EQ(1, gpi_d_refdes(c));
  EXPECT_EQ(nullptr, c->refdes);
  EXPECT_EQ(1, gpi_m_pnum("12", c, 3));
  EXPECT_EQ(12, cnt->pinIndex);
  EXPECT_EQ(1, gpi_m_pnum("CLK", c, 3));
  EXPECT_EQ(q_get_pnindex("CLK"), cnt->pinIndex);
  EXPECT_GT(0, cnt->pinIndex);
  EXPECT_EQ(1, gpi_d_pnum(c, 3));
  EXPECT_EQ(0, cnt->pinIndex);
  EXPECT_EQ(5, block->changeCount);

  // The attribute forms write the attribute (once) and the instance's field.
  EXPECT_EQ(1, gpi_a_refdes("REFDES=U7", c));
  EXPECT_EQ(1, gpi_a_refdes("REFDES=U8", c));
  EXPECT_STREQ("U8", c->refdes);
  EXPECT_EQ((std::vector<std::string>{"REFDES=U8"}), chain(c->attached));
  EXPECT_EQ(5, c->attached->x);
  EXPECT_EQ(1, gpi_a_pinnum("#=14", c, 3));
  EXPECT_EQ(1, gpi_a_pinnum("#=15", c, 3));
  EXPECT_EQ(15, cnt->pinIndex);
  EXPECT_EQ((std::vector<std::string>{"#=15", "REFDES=U8"}), chain(c->attached));
  EXPECT_EQ(3u, c->attached->part);
  EXPECT_EQ(8, c->attached->x);
  EXPECT_EQ(9, c->attached->y);
}

} // namespace
