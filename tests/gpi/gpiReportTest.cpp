// The console output of the programming interface: the report of the
// current block, byte for byte, and the line printers and the prompt, all
// silenced by q_quiet.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gpi.h"
#include "scrib/ScribFixture.h"

namespace {

using scribtest::addAttr;
using scribtest::addPin;
using scribtest::stdoutOf;

class Report : public scribtest::Project {};

template <class T> T *append(vqBlock *b, T *o) {
  vqBlockInsertObject(b, o, vqBlockLastObject(b));
  return o;
}

TEST_F(Report, OneGroupPerObjectOfEveryKindInListOrder) {
  vqBlock *b = scribtest::symbol("and2", "mylib");
  b->y1 = -5;
  vqLine *line = append(b, q_alloc_line(2));
  line->points[1] = {10, 5};
  line->lineStyle = 2;
  vqBox *box = append(b, q_alloc_box());
  box->p1 = {1, 2};
  box->p2 = {3, 4};
  box->style = 31;
  vqText *text = append(b, q_alloc_text());
  text->text = ulStrCpy("hello world");
  text->x = 5, text->y = 6;
  vqCircle *circle = append(b, q_alloc_circle());
  circle->radius = 7;
  vqArc *arc = append(b, q_alloc_arc());
  arc->p[0] = {0, 10}, arc->p[1] = {7, 7}, arc->p[2] = {10, 0};
  vqNet *net = append(b, q_alloc_net());
  net->id = 4000000000u;
  vqJoint *j1 = q_alloc_joint();
  vqJoint *j2 = q_alloc_joint();
  j1->x = 1, j1->y = 1, j1->type = 2, j1->side = 3, j1->next = j2;
  j2->x = 9, j2->y = 1, j2->type = 11;
  net->joints = j1;
  vqSegment *seg = q_alloc_segment();
  seg->j1 = j1, seg->j2 = j2;
  net->segments = seg;
  vqPin *pin = addPin(b, 9);
  pin->side = 2, pin->type = 5, pin->flags = 0x80;
  pin->p1 = {0, 10}, pin->p2 = {-20, 10};
  vqText *attr = addAttr(b, "REFDES=U?", pin, 0);
  attr->x = 3, attr->y = -4, attr->size = 12, attr->color = 15;
  vqPlaceSetOrient(&attr->place, 2);
  vqPlaceSetOrigin(&attr->place, 9);
  vqPlaceSetVis(&attr->place, 3);
  vqPlaceSetDisplayed(&attr->place, 1);
  vqComp *comp = append(b, q_alloc_comp());
  comp->symName = ulStrCpy("or2");
  comp->orient = 1, comp->scale = 1.5f, comp->x = 20, comp->y = 30;
  vqText *label = addAttr(b, "CLK", nullptr, 0, vqKIND_LABEL);
  vqPlaceSetSense(&label->place, 1);
  vqText *oattr = append(b, q_alloc_oattribute());
  oattr->x = 11, oattr->y = 12;
  append(b, q_alloc_generic(12));
  q_set_block(b);

  int r = 0;
  const std::string out = stdoutOf([&] { r = gpi_report(); });
  EXPECT_EQ(1, r);
  // One group per object, as cases/report.txt shows.
  EXPECT_EQ(testsupport::readFile(testsupport::sourcePath("gpi/cases/report.txt")), out);

  // A schematic's type word; the instance names the symbol it holds.
  vqBlock *s = q_alloc_block(vqBLOCK_SCHEMATIC);
  s->name = ulStrCpy("top");
  vqComp *c = append(s, q_alloc_comp());
  c->symbol = q_copy_block(b);
  c->symName = ulStrCpy("as read");
  q_set_block(s);
  EXPECT_EQ("top (SCHEMATIC) MBB = 0 0 1100 850\n"
            "component C=1  F=0 L=0\nBlock: and2\nOrientation: 0\nScale: 1.000000\n"
            "Position: 0 0\n\n",
            stdoutOf([] { gpi_report(); }));

  q_quiet = 1;
  EXPECT_EQ("", stdoutOf([&] { r = gpi_report(); }));
  EXPECT_EQ(1, r);
  q_free_block(s);
  q_free_block(b);
  EXPECT_EQ(nullptr, q_get_block());
  EXPECT_EQ(0, gpi_report());
}

TEST_F(Report, LinePrintersAndThePromptFallSilentWhenQuiet) {
  const auto all = [] {
    EXPECT_EQ(1, q_putmsg("one"));
    EXPECT_EQ(1, q_putline("two"));
    ov_text("three");
    EXPECT_EQ(1, q_putmsgid(1017));
    EXPECT_EQ(1, q_putlineid(1017));
    EXPECT_EQ(1, qPutLine(1213, "f", 3));
  };
  EXPECT_EQ("one\ntwo\nthree\nNo block is current.\nNo block is current.\nf, line 3:\n",
            stdoutOf(all));

  // The prompt keeps the first word of at most 79 characters.
  const std::string input =
      dir.write("input", "first word\n" + std::string(100, 'x') + "\n" + "\ttabbed\nlast");
  ASSERT_NE(nullptr, std::freopen(input.c_str(), "r", stdin));
  std::string answer;
  const auto ask = [&](const char *prompt) {
    return stdoutOf([&] { answer = q_get_string(prompt); });
  };
  EXPECT_EQ("Name ? ", ask("Name"));
  EXPECT_EQ("first", answer);
  // A longer line is consumed whole; the next answer is the next line.
  ask("x");
  EXPECT_EQ(std::string(79, 'x'), answer);
  q_quiet = 1;
  EXPECT_EQ("", ask("y"));
  EXPECT_EQ("", answer); // cut at the leading tab
  ask("z");
  EXPECT_EQ("last", answer);
  ask("z");
  EXPECT_EQ("", answer); // end of input
  EXPECT_EQ("", stdoutOf(all));
}

} // namespace
