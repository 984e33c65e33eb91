// The least design checker and the check counters of the programming
// interface that add up its runs.
#include <gtest/gtest.h>

#include "gpi.h"
#include "scrib/ScribFixture.h"
#include "vqCheck.h"

namespace {

using scribtest::addAttr;

class Check : public scribtest::Project {};

TEST_F(Check, CountsBrokenTextsMissingSymbolsOpenPinsAndRepeatedNames) {
  vqBlock *sym = scribtest::symbol("and2");
  vqBlock *s = q_alloc_block(vqBLOCK_SCHEMATIC);
  vqComp *ok = q_alloc_comp();
  ok->symbol = sym;
  vqBlockInsertObject(s, q_alloc_comp(), nullptr); // no symbol: an error
  vqNet *net = q_alloc_net();                      // no segment: a warning
  vqBlockInsertObject(s, net, nullptr);
  vqBlockInsertObject(s, ok, nullptr);
  ok->cnts = q_alloc_cnt(); // reaches no net: a warning
  ok->cnts->next = q_alloc_cnt();
  ok->cnts->next->net = net; // a net but no joint: an error
  for (const char *t : {"GOOD=1", "BAD='1'", "PARAM=1", "PARAM=2", "VALUE=1", "VALUE=2"})
    addAttr(s, t, ok, 0);       // a quote: an error; VALUE repeated: a warning
  addAttr(s, "VALUE=3", ok, 5); // another part
  addAttr(s, "TOP=1");
  addAttr(s, "TOP=1"); // block attributes never repeat: a warning
  addAttr(s, "TOP=1", nullptr, 0, vqKIND_LABEL);
  vqText *empty = addAttr(s, "X");
  ulStrFree(empty->text);
  empty->text = nullptr; // no text: an error

  EXPECT_EQ(4u, q_check_schematic(s));
  unsigned errors = 0, warnings = 0;
  vqCheckLastCounts(&errors, &warnings);
  EXPECT_EQ(4u, warnings);

  EXPECT_EQ(0, gpi_check());
  gpi_check_init_count();
  q_set_block(s);
  EXPECT_EQ(1, gpi_check());
  EXPECT_EQ(1, gpi_check());
  q_check_schematic(sym); // nothing to find
  EXPECT_EQ(1, gpi_check_inc_count());
  gpi_check_get_count(&errors, &warnings);
  EXPECT_EQ(8u, errors);
  EXPECT_EQ(8u, warnings);
  gpi_check_init_count();
  gpi_check_get_count(&errors, nullptr);
  EXPECT_EQ(0u, errors);
  q_free_block(s);
}

} // namespace
