// The body of a block file, byte for byte, from Blocks built by hand: the
// header and its version, every object kind, Q records right after their
// object, attached texts right after their owner, long texts continued at
// column 80, special attributes, and a failed write.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ScribFixture.h"
#include "vqName.h"

using namespace scribtest;

namespace {

template <class T> T *add(vqBlock *b, T *o) {
  vqBlockInsertObject(b, o, vqBlockLastObject(b));
  return o;
}

vqText *text(vqText *t, int x, int y, const std::string &s) {
  t->x = x;
  t->y = y;
  t->text = ulStrCpy(s.c_str());
  return t;
}

void colour(vqObject *o, int color, int style, int lineStyle) {
  o->color = static_cast<uint8_t>(color);
  o->style = static_cast<uint8_t>(style);
  o->lineStyle = static_cast<uint8_t>(lineStyle);
}

TEST(VqWriteBody, ASymbolWithEveryKindItMayHold) {
  vqIniSettingsV.rippersOn = 1; // symbols carry no ripper attribute: V 50
  vqBlock *b = symbol("s");
  b->lastId = 4000000000U;
  add(b, text(q_alloc_attribute(), 1, 2, "SYMTYPE=FUB"));
  vqLine *l = add(b, q_alloc_line(7));
  for (int i = 0; i < 7; ++i)
    l->points[i] = {i, -i};
  add(b, q_alloc_box())->p2 = {-3, 4};
  colour(add(b, q_alloc_box()), 4, 0, 0);
  vqCircle *c = add(b, q_alloc_circle());
  c->radius = 32766;
  colour(c, 3, 0, 2);
  colour(add(b, q_alloc_arc()), 3, 7, 0);
  vqText *t = add(b, text(q_alloc_text(), 7, 8, "hello world"));
  vqPlaceSetOrient(&t->place, 2);
  colour(t, 2, 11, 0);
  vqPin *pin = addPin(b, 3);
  pin->p1 = {0, 10};
  pin->type = -7;
  pin->side = 4;
  pin->sense = 1;
  colour(pin, 1, 0, 0);
  vqText *label = addAttr(b, "CLK", pin, 0, vqKIND_LABEL);
  vqPlaceSetScope(&label->place, 1);
  vqPlaceSetSense(&label->place, 1);
  vqPlaceSetOrigin(&label->place, 9);
  colour(label, 9, 0, 0);
  addAttr(b, "PINTYPE=IN", pin);
  add(b, text(q_alloc_attribute(), 7, 7, "PART=X"));
  vqPlaceSetVis(&addAttr(b, "PINNUM=1", pin)->place, 0); // stands at the end of the list
  add(b, text(q_alloc_label(), 0, 0, "LOST"));           // labels without owner,
  add(b, text(q_alloc_oattribute(), 0, 0, "O=1"));       // occurrence and meta
  add(b, text(q_alloc_meta_attribute(), 0, 0, "M=1"));   // attributes are not written
  // Q records follow their object; attached texts follow their owner.
  EXPECT_EQ(testsupport::readFile(testsupport::sourcePath("scrib/cases/every_kind_symbol.txt")),
            bodyOf(b));
  EXPECT_EQ(1, vqBlockIsFub(b)); // the fub status was brought up to date
  q_free_block(b);
}

// Texts on a segment or pin that their owner does not have follow the last
// segment or stand with the instance's own texts; rippers on make a
// schematic version 51.
TEST(VqWriteBody, TextsOnAPartTheOwnerLacksStayWithTheirOwner) {
  vqIniSettingsV.rippersOn = 1;
  vqBlock *b = q_alloc_block(vqBLOCK_SCHEMATIC);
  vqNet *net = add(b, q_alloc_net());
  net->joints = q_alloc_joint();
  net->joints->next = q_alloc_joint();
  net->segments = q_alloc_segment();
  *net->segments = {nullptr, net->joints->next, net->joints, 4, 1, 0};
  addAttr(b, "STRAY=1", net, 99);
  addAttr(b, "ON=1", net, 4);
  vqComp *c = add(b, q_alloc_comp());
  c->symName = ulStrCpy("and2");
  c->cnts = q_alloc_cnt();
  *c->cnts = {nullptr, nullptr, nullptr, 5, q_get_pnindex("OUT")};
  addAttr(b, "ORPHAN=1", c, 9);
  addAttr(b, "OWN=1", c, 0);
  EXPECT_EQ("V 51\nY 0\nD 0 0 1100 850\nZ 0\ni 0\n"
            "N 0\nJ 0 0 0\nJ 0 0 0\nB 2 1\nA 0 0 10 0 3 1 ON=1\nA 0 0 10 0 3 1 STRAY=1\n"
            "I 0 AND2 0 0 0 0 1 '\nA 0 0 10 0 3 1 ORPHAN=1\nA 0 0 10 0 3 1 OWN=1\nX 5 OUT\nE\n",
            bodyOf(b));
  q_free_block(b);
}

// T and L count their whole prefix, A and U their prefix without the key
// letter plus 1, C and X start at 50; reaching 80 starts a "+ " line. A line
// end inside a text is written as a blank.
TEST(VqWriteBody, LongTextsContinueAtColumnEighty) {
  auto chars = [](size_t n, char first = 'a') {
    std::string s;
    for (size_t i = 0; i < n; ++i)
      s += static_cast<char>(first + i % 26);
    return s;
  };
  const std::string a = chars(132), t = chars(66, 'A');
  struct Case {
    vqText *object;
    std::string expected;
  } cases[] = {
      // " 10 20 10 0 3 1 " is 16 long: the column starts at 17.
      {text(q_alloc_attribute(), 10, 20, a.substr(0, 62)),
       "U 10 20 10 0 3 1 " + a.substr(0, 62) + "\n"},
      {text(q_alloc_attribute(), 10, 20, a.substr(0, 63)),
       "U 10 20 10 0 3 1 " + a.substr(0, 63) + "\n+ \n"},
      {text(q_alloc_attribute(), 10, 20, a),
       "U 10 20 10 0 3 1 " + a.substr(0, 63) + "\n+ " + a.substr(63) + "\n"},
      {text(q_alloc_attribute(), 1, 2, "A=1\rE\nF"), "U 1 2 10 0 3 1 A=1 E F\n"},
      // "T 10 20 10 0 3 " is 15 long.
      {text(q_alloc_text(), 10, 20, t.substr(0, 64)), "T 10 20 10 0 3 " + t.substr(0, 64) + "\n"},
      {text(q_alloc_text(), 10, 20, t),
       "T 10 20 10 0 3 " + t.substr(0, 65) + "\n+ " + t.substr(65) + "\n"},
  };
  for (const Case &c : cases) {
    vqBlock *b = symbol("t");
    add(b, c.object);
    EXPECT_EQ("V 50\nY 0\nD 0 0 100 100\nZ 10\ni 0\n" + c.expected + "E\n", bodyOf(b));
    q_free_block(b);
  }
  // "L 1 2 10 0 3 0 1 0 " is 19 long; "X 4 " gives way to column 50.
  vqBlock *s = q_alloc_block(vqBLOCK_SCHEMATIC);
  vqComp *comp = add(s, q_alloc_comp());
  const std::string pn = chars(75, 'A');
  comp->cnts = q_alloc_cnt();
  *comp->cnts = {q_alloc_cnt(), nullptr, nullptr, 4, q_get_pnindex(pn.c_str())};
  *comp->cnts->next = {nullptr, nullptr, nullptr, 6, q_get_pnindex(pn.substr(1).c_str())};
  vqAttachText(comp, add(s, text(q_alloc_label(), 1, 2, a.substr(0, 70))), 6, 1);
  EXPECT_NE(std::string::npos,
            bodyOf(s).find("X 4 " + pn.substr(0, 30) + "\n+ " + pn.substr(30) + "\n" + "X 6 " +
                           pn.substr(1) + "\n" + "L 1 2 10 0 3 0 1 0 " + a.substr(0, 61) + "\n+ " +
                           a.substr(61, 9) + "\n"));
  q_free_block(s);
}

TEST(VqWriteBody, SpecialAttributesAreRefreshedAsTheyAreWritten) {
  vsTimerFixedV = 951782400L + 13 * 3600 + 5 * 60 + 9; // 29 February 2000, 13:05:09
  vqBlock *b = q_alloc_block(vqBLOCK_SCHEMATIC);
  b->name = ulStrCpy("top");
  b->number = 7;
  add(b, text(q_alloc_attribute(), 0, 0, "@DATETIME=old"));
  add(b, text(q_alloc_attribute(), 0, 0, "@NAME"));
  add(b, text(q_alloc_attribute(), -3, 40, "@XYCOORD=?"));
  vqText *sheet = add(b, text(q_alloc_attribute(), 0, 0, "@SHEET=1"));
  add(b, text(q_alloc_attribute(), 0, 0, "@OTHER=x"));
  vqText *plain = add(b, text(q_alloc_text(), 0, 0, "@NAME"));
  std::string body = bodyOf(b);
  EXPECT_NE(std::string::npos, body.find("i 0\n"
                                         "U 0 0 10 0 3 1 @DATETIME=2-29-2000_13:05\n"
                                         "U 0 0 10 0 3 1 @NAME=top\n"
                                         "U -3 40 10 0 3 1 @XYCOORD=-3,40\n"
                                         "U 0 0 10 0 3 1 @SHEET=7\n"
                                         "U 0 0 10 0 3 1 @OTHER=x\n"
                                         "T 0 0 10 0 3 @NAME\n"))
      << body;
  // The body made its Block current only while it ran: now @SHEET has no
  // Block to take its value from and stays.
  EXPECT_EQ(nullptr, q_get_block());
  ulStrFree(sheet->text);
  sheet->text = ulStrCpy("@SHEET=1");
  EXPECT_EQ(1, q_upd_attr(sheet));
  EXPECT_STREQ("@SHEET=1", sheet->text);
  EXPECT_EQ(0, q_upd_attr(plain));
  q_free_block(b);
}

TEST(VqWriteBody, AFailedWriteGivesMinusOne) {
  vqBlock *b = symbol("f");
  vqBox box{};
  vqCircle circle{};
  vqArc arc{};
  FILE *full = std::fopen("/dev/full", "w");
  ASSERT_NE(nullptr, full);
  std::setvbuf(full, nullptr, _IONBF, 0);
  EXPECT_EQ(-1, vqBlockWriteBody(b, full));
  EXPECT_EQ(-1, q_box_write(full, &box));
  EXPECT_EQ(-1, q_circle_write(full, &circle));
  EXPECT_EQ(-1, q_arc_write(full, &arc));
  std::fclose(full);
  q_free_block(b);
}

} // namespace
