// The least design checker: what it counts as errors and warnings, and that
// its latest counts are those of the last run.
#include <gtest/gtest.h>

#include "scrib/ScribFixture.h"
#include "vqCheck.h"

namespace {

using scribtest::addAttr;

class Check : public scribtest::Project {};

TEST_F(Check, CountsBrokenTextsMissingSymbolsOpenPinsAndRepeatedNames) {
  vqBlock *sym = scribtest::symbol("and2");
  vqBlock *s = q_alloc_block(vqBLOCK_SCHEMATIC);
  vqComp *ok = q_alloc_comp();
  ok->symbol = q_copy_block(sym);
  vqBlockInsertObject(s, ok, nullptr);
  vqComp *lost = q_alloc_comp(); // no symbol: an error
  vqBlockInsertObject(s, lost, nullptr);
  vqNet *net = q_alloc_net(); // no segment: a warning
  vqBlockInsertObject(s, net, nullptr);
  vqCnt *open = q_alloc_cnt(); // reaches no net: a warning
  vqCnt *broken = q_alloc_cnt(); // a net but no joint: an error
  broken->net = net;
  open->next = broken;
  ok->cnts = open;
  addAttr(s, "GOOD=1", ok, 0);
  addAttr(s, "BAD='1'", ok, 0); // a quote: an error
  addAttr(s, "PARAM=1", ok, 0);
  addAttr(s, "PARAM=2", ok, 0);   // may repeat
  addAttr(s, "VALUE=1", ok, 0);
  addAttr(s, "VALUE=2", ok, 0);   // may not: a warning
  addAttr(s, "VALUE=3", ok, 5);   // another part: fine
  addAttr(s, "TOP=1");
  addAttr(s, "TOP=1");            // block attributes never repeat: a warning
  addAttr(s, "TOP=1", nullptr, 0, vqKIND_LABEL); // labels are not attributes
  vqText *empty = addAttr(s, "X");
  ulStrFree(empty->text);
  empty->text = nullptr; // no text: an error

  EXPECT_EQ(4u, q_check_schematic(s));
  unsigned errors = 0, warnings = 0;
  vqCheckLastCounts(&errors, &warnings);
  EXPECT_EQ(4u, errors);
  EXPECT_EQ(4u, warnings);

  EXPECT_EQ(0u, q_check_schematic(sym));
  vqCheckLastCounts(&errors, &warnings);
  EXPECT_EQ(0u, errors + warnings);
  EXPECT_EQ(0u, q_check_schematic(nullptr));
  vqCheckLastCounts(nullptr, nullptr);
  q_free_block(s);
  q_free_block(sym);
}

} // namespace
