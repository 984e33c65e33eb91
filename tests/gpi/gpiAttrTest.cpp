// The attribute edits of the programming interface on hand-built Blocks:
// names compared exactly, the may-add rule, where a new attribute lands (in
// the lists and on the drawing) for each kind of owner, deletion from both
// lists, and an instance's reference designator and pin numbers. Every edit
// but the rewrite marks the Block changed; a refusal leaves it as it was.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "gpi.h"
#include "scrib/ScribFixture.h"
#include "vqName.h"

namespace {

using scribtest::addAttr;
using scribtest::addPin;
using Texts = std::vector<std::string>;
using XY = std::pair<int, int>;
using testsupport::Ints;

class Edit : public scribtest::Project {
protected:
  vqBlock *block = nullptr;

  // A current Block in mylib, released at the end with what its edits took.
  void make(int kind) {
    block = q_alloc_block(kind);
    block->name = ulStrCpy(kind == vqBLOCK_SYMBOL ? "and2" : "top");
    block->library = ulStrCpy("mylib");
    block->number = 1;
    q_set_block(block);
  }
  void TearDown() override {
    q_clear_changed_flag(block);
    q_free_block(block);
    Project::TearDown();
  }
  Texts texts() const { return chainOrList(block->objects, false); }
  static Texts chain(const vqText *t) { return chainOrList(t, true); }
  static Texts chainOrList(const vqObject *o, bool chain) {
    Texts out;
    for (; o != nullptr; o = chain ? static_cast<const vqText *>(o)->attNext : o->next)
      if (o->kind == vqKIND_ATTRIBUTE || o->kind == vqKIND_LABEL)
        out.push_back(static_cast<const vqText *>(o)->text);
    return out;
  }
  // The edits on a copy of text, which they may trim.
  static int mAttr(std::string text, vqObject *a) { return gpi_m_attr(text.data(), a); }
  static int aAttr(std::string text, vqObject *owner, vqId part) {
    return gpi_a_attribute(text.data(), owner, part);
  }
  vqText *last() const { return static_cast<vqText *>(block->objects); } // the newest
  XY lastAt() const { return {last()->x, last()->y}; }
  // Adds text to owner (part) and gives where it landed; a refusal gives
  // (-9999, -9999).
  XY added(const char *text, vqObject *owner, vqId part) {
    return aAttr(text, owner, part) == 1 ? lastAt() : XY(-9999, -9999);
  }
  vqComp *addComp(vqBlock *symbol, int x, int y, int orient, std::vector<vqId> pins = {}) {
    vqComp *c = q_alloc_comp();
    c->x = x, c->y = y, c->orient = orient;
    c->symbol = symbol;
    for (vqId id : pins) {
      vqCnt *cnt = q_alloc_cnt();
      cnt->pinId = id;
      cnt->next = c->cnts;
      c->cnts = cnt;
    }
    vqBlockInsertObject(block, c, vqBlockLastObject(block));
    return c;
  }
  vqNet *addNet(std::vector<std::pair<int, std::pair<XY, XY>>> segments) {
    vqNet *n = q_alloc_net();
    vqId id = 0;
    for (auto &[angle, ends] : segments) {
      vqSegment *s = q_alloc_segment();
      s->id = ++id, s->angle = static_cast<uint8_t>(angle);
      s->j1 = q_alloc_joint(), s->j2 = q_alloc_joint();
      s->j1->x = ends.first.first, s->j1->y = ends.first.second;
      s->j2->x = ends.second.first, s->j2->y = ends.second.second;
      s->j2->next = n->joints, s->j1->next = s->j2, n->joints = s->j1;
      s->next = n->segments, n->segments = s;
    }
    vqBlockInsertObject(block, n, vqBlockLastObject(block));
    return n;
  }
};

TEST_F(Edit, RewriteKeepsPlaceAndChangedStateAndComparesNamesExactly) {
  make(vqBLOCK_SYMBOL);
  vqText *a = addAttr(block, "REFDES=U?");
  a->x = 7, a->size = 12;
  vqPlaceSetOrient(&a->place, 3);
  const vqPlace place = a->place;
  EXPECT_EQ(1, mAttr("REFDES=U5  ", a));
  EXPECT_STREQ("REFDES=U5", a->text);
  // Position, size, placement word, changed state and references.
  EXPECT_EQ((Ints{7, 12, place, 0, 1}),
            (Ints{a->x, a->size, a->place, q_data_has_changed(block), block->refCount}));
  // Another name, another case; no "=": split at the blank.
  EXPECT_EQ((Ints{0, 0, 1}),
            (Ints{mAttr("VALUE=U5", a), mAttr("Refdes=U6", a), mAttr("REFDES U7", a)}));
  // Inner blanks belong to the name: "PIN TYPE" is not "PINTYPE".
  vqText *pinType = addAttr(block, "PIN TYPE=IN");
  EXPECT_EQ((Ints{0, 1}), (Ints{mAttr("PINTYPE=OUT", pinType), mAttr("PIN TYPE=OUT", pinType)}));
  vqText *label = addAttr(block, "REFDES=U1", nullptr, 0, vqKIND_LABEL);
  EXPECT_EQ((Ints{0, 0, 0}), (Ints{mAttr("REFDES=U2", label), mAttr("REFDES=U2", nullptr),
                                   q_data_has_changed(block)}));
}

TEST_F(Edit, TheCallersTextLosesItsTrailingBlanksSoItEqualsTheAttributes) {
  make(vqBLOCK_SYMBOL);
  vqText *a = addAttr(block, "VENDOR=X");
  char rewrite[] = "VENDOR=ACME  ", add[] = "PART=7400 ", blanks[] = "NOTE=   ";
  EXPECT_EQ((Ints{1, 1, 1}), (Ints{gpi_m_attr(rewrite, a), gpi_a_attribute(add, nullptr, 0),
                                   gpi_a_attribute(blanks, nullptr, 0)}));
  EXPECT_EQ((Texts{"VENDOR=ACME", "PART=7400", "NOTE="}), (Texts{rewrite, add, blanks}));
  EXPECT_EQ((Texts{"NOTE=", "PART=7400", "VENDOR=ACME"}), texts());
}

TEST_F(Edit, BlockAttributesStackUpFromTheExtentAndEachStandsFirstInTheList) {
  make(vqBLOCK_SYMBOL);
  addAttr(block, "OTHER=1");
  for (int i = 1; i <= 3; ++i) // in a symbol any name repeats
    EXPECT_EQ(XY(0, 10 * i), added("PART=7400", nullptr, 0));
  EXPECT_EQ(nullptr, last()->owner);
  EXPECT_EQ((Ints{10, 5, 3, 1, 1}),
            (Ints{last()->size, last()->color, vqPlaceOrigin(last()->place),
                  vqPlaceVis(last()->place), vqPlaceDisplayed(last()->place)}));
  EXPECT_EQ((Texts{"PART=7400", "PART=7400", "PART=7400", "OTHER=1"}), texts());
  // The first change took a reference.
  EXPECT_EQ((Ints{3, 2}), (Ints{block->changeCount, block->refCount}));

  // Each step truncates; an extent off the axis is the first place.
  q_values[qV_ADISTANCE].value = 7.5f;
  q_values[qV_NEW_ATTR_VIS].value = 0;
  block->x1 = 5, block->y1 = -40;
  for (int y : {-40, -32, -24}) // -32.5 and -24.5 truncated towards 0
    EXPECT_EQ(XY(5, y), added("B=1", nullptr, 0));
  EXPECT_EQ(0, vqPlaceVis(last()->place));
  block->y1 = 0;
  block->x1 = 6;
  EXPECT_EQ(XY(6, 7), added("C=1", nullptr, 0)); // 0 plus the spacing
}

TEST_F(Edit, PinAttributesStackAtThePinsEndAndGoBeforeItsLabel) {
  make(vqBLOCK_SYMBOL);
  vqPin *pin = addPin(block, 4);
  pin->p1 = {30, 0};
  addAttr(block, "CLK", pin, 0, vqKIND_LABEL);
  addAttr(block, "#=3", pin, 0);                      // both at x 0, outside the pin's column
  EXPECT_EQ(XY(30, 10), added("PINTYPE=IN", pin, 5)); // the pin lies on the axis: one spacing up
  EXPECT_EQ(pin, last()->owner);
  EXPECT_EQ(0u, last()->part); // a pin's texts have no part
  EXPECT_EQ(XY(30, 20), added("PINTYPE=IN", pin, 0));
  EXPECT_EQ((Texts{"PINTYPE=IN", "PINTYPE=IN", "CLK", "#=3"}), chain(pin->attached));
  vqPin *high = addPin(block, 5);
  high->p1 = {0, 60};
  EXPECT_EQ(XY(0, 60), added("X=1", high, 0));
}

TEST_F(Edit, InSchematicsOnlyTheListedNamesRepeatAndRefusalsChangeNothing) {
  vqBlock *sym = scribtest::symbol("and2", "mylib");
  addPin(sym, 2);
  make(vqBLOCK_SCHEMATIC);
  vqComp *c = addComp(sym, 0, 0, 0, {2});
  vqNet *net = addNet({{2, {{0, 0}, {10, 10}}}});
  for (const char *t : {"PARAM=a", "VALUE=1", "SIGNAL=s", "EQUATE=e"})
    addAttr(block, t, c, 0);
  addAttr(block, "SIGNAL=s", c, 2);
  addAttr(block, "PROBE=p", net, 1);
  addAttr(block, "NAME=n", net, 1);
  addAttr(block, "TOP=1");
  vqPin *pin = addPin(block, 7);
  addAttr(block, "PINTYPE=IN", pin, 0);
  const Texts before = texts();
  c->refdes = ulStrCpy("U1");
  c->cnts->pinIndex = 3;
  vqBox *box = q_alloc_box();
  vqBlockInsertObject(block, box, vqBlockLastObject(block));
  using Add = std::tuple<const char *, vqObject *, vqId>; // text, owner, part
  // Refused: a name that may not repeat where it stands, a reference
  // designator or pin number already set, an owner without texts, a pin's
  // part other than 0.
  for (auto [text, owner, part] :
       {Add{"VALUE=2", c, 0}, Add{"SIGNAL=t", c, 2}, Add{"NAME=m", net, 1},
        Add{"TOP=2", nullptr, 0}, Add{"REFDES=U2", c, 0}, Add{"#=4", c, 2}, Add{"X=1", box, 0},
        Add{"PINTYPE=OUT", pin, 5}})
    EXPECT_EQ(0, aAttr(text, owner, part)) << text;
  EXPECT_EQ(before, texts());
  EXPECT_EQ(0, q_data_has_changed(block));
  for (auto [text, owner, part] :
       {Add{"PARAM=b", c, 0}, Add{"PARAM=c", net, 1}, Add{"PARAM=d", nullptr, 0},
        Add{"SIGNAL=t", c, 0}, Add{"EQUATE=f", c, 0}, Add{"PROBE=q", net, 1},
        Add{"NEW=1", nullptr, 0}})
    EXPECT_EQ(1, aAttr(text, owner, part)) << text;
  EXPECT_EQ(nullptr, last()->owner); // without owner: a block attribute
  // The two new-name rules of an instance, once nothing is in the way.
  ulStrFree(c->refdes);
  c->refdes = nullptr;
  c->cnts->pinIndex = 0;
  EXPECT_EQ((Ints{1, 1, 2}),
            (Ints{aAttr("REFDES=U2", c, 0), aAttr("#=4", c, 2), c->attached->part}));
}

TEST_F(Edit, InstanceAttributesStackAtTheColumnOrThePlacedSymbolPin) {
  vqBlock *sym = scribtest::symbol("and2", "mylib");
  addPin(sym, 2)->p1 = {20, 0};
  make(vqBLOCK_SCHEMATIC);
  vqComp *c = addComp(sym, 100, 200, 1, {2}); // turned by 90 degrees
  c->attrX = 140, c->attrY = 180;
  // Added and where it landed; the pin end (20, 0) placed for the pin's.
  for (const auto &[text, part, at] : {std::tuple{"VALUE=1", 0, XY(140, 180)},
                                       {"PART=1", 0, XY(140, 190)},
                                       {"#=5", 2, XY(100, 220)},
                                       {"PINSWAP=1", 2, XY(100, 230)}})
    EXPECT_EQ(at, added(text, c, part)) << text;
  const Texts before = texts();
  EXPECT_EQ(0, aAttr("X=1", c, 9)); // no such pin: no place
  EXPECT_EQ(before, texts());
  EXPECT_EQ((Texts{"PINSWAP=1", "#=5", "PART=1", "VALUE=1"}), chain(c->attached));
}

TEST_F(Edit, AnInstanceAttributeTakesTheLookAndPlacedPositionOfTheSymbolsOwn) {
  vqBlock *sym = scribtest::symbol("and2", "mylib");
  vqText *sa = addAttr(sym, "VALUE=sym");
  sa->x = 10, sa->y = 3, sa->size = 25, sa->color = 9, sa->style = 4, sa->lineStyle = 2;
  vqPlaceSetOrigin(&sa->place, 7);
  vqPlaceSetOrient(&sa->place, 2);
  vqPlaceSetVis(&sa->place, 0);
  vqText *spa = addAttr(sym, "#=1", addPin(sym, 2), 0);
  spa->x = -4, spa->y = 6;
  make(vqBLOCK_SCHEMATIC);
  vqComp *c = addComp(sym, 50, 50, 4, {2}); // mirrored: x becomes -x
  EXPECT_EQ(XY(40, 53), added("VALUE=inst", c, 0));
  // Size, colour, style, line style, origin, orientation; visibility is not copied.
  EXPECT_EQ((Ints{25, 9, 4, 2, 7, 2, 1}),
            (Ints{last()->size, last()->color, last()->style, last()->lineStyle,
                  vqPlaceOrigin(last()->place), vqPlaceOrient(last()->place),
                  vqPlaceVis(last()->place)}));
  EXPECT_EQ(XY(54, 56), added("#=8", c, 2));
}

TEST_F(Edit, NetAttributesFollowTheirSegmentsAngle) {
  make(vqBLOCK_SCHEMATIC);
  vqNet *net =
      addNet({{0, {{0, 40}, {30, 40}}}, {1, {{70, 10}, {70, 31}}}, {2, {{80, 80}, {90, 95}}}});
  EXPECT_EQ(XY(15, 40), added("A=1", net, 1)); // horizontal: centred above
  EXPECT_EQ(6, vqPlaceOrigin(last()->place));
  EXPECT_EQ(XY(15, 50), added("B=1", net, 1));
  EXPECT_EQ(XY(80, 20), added("C=1", net, 2)); // vertical: beside
  EXPECT_EQ(2, vqPlaceOrigin(last()->place));
  vqText *other = addAttr(block, "D=1", net, 3);
  other->x = 90, other->y = 500;
  EXPECT_EQ(XY(90, 510), added("E=1", net, 3)); // oblique: any origin counts
  other->x = 15; // origin 3 in the column of segment 1: not counted there
  EXPECT_EQ(XY(15, 60), added("F=1", net, 1));
  EXPECT_EQ(net, last()->owner);
  EXPECT_EQ(1u, last()->part);

  const Texts before = texts();
  int r = 1;
  for (const char *shown : {"Can not add attribute\n", ""}) { // the second one quiet
    EXPECT_EQ(shown, scribtest::stdoutOf([&] { r = aAttr("A=1", net, 7); }));
    EXPECT_EQ(0, r);
    q_quiet = 1;
  }
  EXPECT_EQ(before, texts());
  EXPECT_EQ(before, chain(net->attached));
}

TEST_F(Edit, DeletingAnAttributeTakesItOutOfBothLists) {
  make(vqBLOCK_SYMBOL);
  vqPin *pin = addPin(block, 1);
  vqText *a1 = addAttr(block, "A=1", pin, 0);
  vqText *a2 = addAttr(block, "B=1", pin, 0);
  vqText *label = addAttr(block, "L", pin, 0, vqKIND_LABEL);
  vqBlock *other = scribtest::symbol("or2");
  EXPECT_EQ(0, gpi_d_attr(addAttr(other, "F=1"))); // not the current block's
  q_free_block(other);
  EXPECT_EQ((Ints{0, 0, 0, 1}),
            (Ints{gpi_d_attr(label), gpi_d_attr(pin), q_data_has_changed(block), gpi_d_attr(a2)}));
  EXPECT_EQ((Texts{"A=1", "L"}), texts());
  EXPECT_EQ((Texts{"A=1", "L"}), chain(pin->attached));
  EXPECT_EQ(1, gpi_d_attr(a1));
  EXPECT_EQ((Texts{"L"}), chain(pin->attached));
  EXPECT_EQ(2, block->changeCount);
}

TEST_F(Edit, ReferenceDesignatorAndPinNumbersOfAnInstance) {
  vqBlock *sym = scribtest::symbol("and2", "mylib");
  addPin(sym, 3)->p1 = {8, 9};
  make(vqBLOCK_SCHEMATIC);
  vqComp *c = addComp(sym, 0, 0, 0, {3});
  c->attrX = 5;
  vqCnt *cnt = c->cnts;
  vqObject *pin = addPin(block, 3);
  EXPECT_EQ(0, gpi_m_refdes("U1", pin) + gpi_d_refdes(pin) + gpi_m_pnum("12", pin, 3) +
                   gpi_m_pnum("12", c, 4) + gpi_d_pnum(c, 4) + gpi_d_pnum(c, 0) +
                   gpi_a_refdes("VALUE=U1", c) + gpi_a_pinnum("#=1", c, 4) +
                   gpi_a_pinnum("PIN=1", c, 3));
  EXPECT_EQ(0, q_data_has_changed(block));
  EXPECT_EQ(1, gpi_m_refdes("U1", c) & gpi_m_pnum("CLK", c, 3));
  EXPECT_STREQ("U1", c->refdes);
  EXPECT_EQ(-1, cnt->pinIndex); // the first non-numeric pin number of the run
  EXPECT_EQ(1, gpi_d_refdes(c) & gpi_d_pnum(c, 3));
  EXPECT_EQ(nullptr, c->refdes);
  EXPECT_EQ((Ints{0, 4}), (Ints{cnt->pinIndex, block->changeCount}));

  // The attribute forms write the attribute (once) and the instance's field.
  EXPECT_EQ(1, gpi_a_refdes("REFDES=U7", c) & gpi_a_refdes("REFDES=U8", c));
  EXPECT_STREQ("U8", c->refdes);
  EXPECT_EQ(XY(5, 0), XY(c->attached->x, c->attached->y));
  EXPECT_EQ((Ints{1, 15}),
            (Ints{gpi_a_pinnum("#=14", c, 3) & gpi_a_pinnum("#=15", c, 3), cnt->pinIndex}));
  EXPECT_EQ((Texts{"#=15", "REFDES=U8"}), chain(c->attached));
  EXPECT_EQ((Ints{8, 9, 3}), (Ints{c->attached->x, c->attached->y, c->attached->part}));
}

} // namespace
