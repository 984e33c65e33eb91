// ltfextract's list of one symbol: what is listed, in which order, and what
// is left out with which warning. Whole libraries, retag applying the lists
// and the second extraction are the e2e scenarios ltfextract_*.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "companion.h"
#include "retag.h"
#include "support/TestSupport.h"
#include "ulStr.h"
#include "vqRead.h"

namespace {

// The list ltfextract makes of the symbol read from text, as the LTF writer
// writes it, and the warnings it printed.
struct Extracted {
  std::string list;
  std::string warnings;
  vaAMExtractCounts counts{};
};

Extracted extract(const std::string &text) {
  vqBlock *block = q_alloc_block(vqBLOCK_SYMBOL);
  block->name = ulStrCpy("gate");
  block->library = ulStrCpy("lib");
  block->number = 2;
  FILE *in = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
  EXPECT_EQ(1, vqBlockReadStream(block, in));
  std::fclose(in);
  Extracted e;
  SymbolInfo *list = nullptr;
  e.warnings =
      testsupport::stdoutOf([&] { EXPECT_EQ(0, vaAMExtractSymbol(block, &list, &e.counts)); });
  char *buffer = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&buffer, &size);
  EXPECT_EQ(0, vaAMWriteLTFFile(out, list));
  std::fclose(out);
  e.list.assign(buffer, size);
  std::free(buffer);
  vaAMFreeSymbolInfo(list);
  q_free_block(block);
  return e;
}

const std::string kHeader = "V 50\nY 1\nD 0 0 100 100\nZ 10\ni 4\n";

TEST(Extract, ListsEachAttributeInTheOrderRetagMatchesThem) {
  // Symbol attributes of one name go in reverse, each into a place one of
  // them had; the pins of one name and sense (case aside) are one pin of
  // the list, with the first attribute of each name.
  Extracted e = extract(kHeader + "U 0 -40 10 0 1 1 PARAM=A\n"
                                  "U 0 -50 12 2 3 0 X=1\n"
                                  "U 0 -60 10 0 1 1 PARAM=B\n"
                                  "U 0 -70 10 0 1 1 NOCONNECT\n"
                                  "U 0 -80 10 0 1 1 EMPTY=\n"
                                  "P 1 -10 0 0 0 0 1 0\nL -8 1 8 0 1 0 1 0 A\n"
                                  "A -10 0 8 0 1 0 PINNUMBER=1\nA -10 5 8 0 1 0 PINTYPE=IN\n"
                                  "A -10 9 8 0 1 0 PINNUMBER=9\n"
                                  "P 2 40 0 30 0 0 3 0\nL 28 1 8 0 1 0 1 1 Y\n"
                                  "A 40 0 8 0 1 0 PINNUMBER=3\n"
                                  "P 3 -10 20 0 20 0 1 0\nL -8 21 8 0 1 0 1 0 a\n"
                                  "A -10 20 8 0 1 0 PINNUMBER=4\nA -10 25 8 0 1 0 NEW=1\nE\n");
  EXPECT_EQ(".BL\nS gate 2\n"
            "A 0 -60 1 10 0 1 PARAM=B\n"
            "A 0 -50 0 12 2 3 X=1\n"
            "A 0 -40 1 10 0 1 PARAM=A\n"
            "A 0 -70 1 10 0 1 NOCONNECT=$EMPTY_VAL$\n"
            "A 0 -80 1 10 0 1 EMPTY=\n"
            "P A\nA -10 0 0 8 0 1 PINNUMBER=1\nA -10 5 0 8 0 1 PINTYPE=IN\n"
            "A -10 25 0 8 0 1 NEW=1\n"
            "P ~Y\nA 40 0 0 8 0 1 PINNUMBER=3\n.EL\n",
            e.list);
  EXPECT_EQ("SYMBOL gate.2 attribute PINNUMBER=9 on pin A is not listed: retag sets only the "
            "first PINNUMBER of that pin\n"
            "SYMBOL gate.2 attribute PINNUMBER=4 on pin a is not listed: retag sets only the "
            "first PINNUMBER of that pin\n",
            e.warnings);
  EXPECT_EQ(1, e.counts.symbols);
  EXPECT_EQ(2, e.counts.warnings);
}

TEST(Extract, LeavesOutWhatTheListCannotGiveBackWithEveryAttributeOfItsName) {
  // The longest text a block holds (132 characters) after the widest
  // numbers: one character more than an LTF line takes.
  const std::string longValue(127, 'V');
  Extracted e = extract(kHeader +
                        "U 0 -40 10 0 1 1 DESC=XYZ\n"
                        "U 0 -50 10 0 1 1 DESC=abc\n"
                        "U 0 -55 10 0 1 1 Desc=ABC\n"
                        "U 0 -60 10 0 1 1 Part No=7\n"
                        "U 0 -70 10 0 1 1 Refdes=U?\n"
                        "U 0 -80 10 0 1 1 TAB=A\tB\n"
                        "U -32000 -32000 32000 0 1 1 LONG=" +
                        longValue +
                        "\n"
                        "U 0 -99 10 0 1 1 KEPT=1\n"
                        "P 1 -10 0 0 0 0 1 0\nL -8 1 8 0 1 0 1 0 A\n"
                        "A -10 0 8 0 1 0 PinType=in\nA -10 3 8 0 1 0 Pin Number=1\n"
                        "A -10 5 8 0 1 0 Side=L\n"
                        "P 2 40 0 30 0 0 3 0\nA 40 0 8 0 1 0 PINNUMBER=3\nE\n");
  EXPECT_EQ(".BL\nS gate 2\nA 0 -99 1 10 0 1 KEPT=1\nP A\nA -10 5 0 8 0 1 SIDE=L\n.EL\n", e.list);
  EXPECT_EQ(
      "SYMBOL gate.2 attribute DESC=abc is left out: retag would write it as DESC=ABC\n"
      "SYMBOL gate.2 attribute Desc=ABC is left out: retag would write its name as DESC and "
      "refuse the rewrite\n"
      "SYMBOL gate.2 attribute Part No=7 is left out: retag would write its name as PARTNO and "
      "refuse the rewrite\n"
      "SYMBOL gate.2 attribute Refdes=U? is left out: retag would write its name as REFDES and "
      "refuse the rewrite\n"
      "SYMBOL gate.2 attribute TAB=A\tB is left out: its value holds a tab\n"
      "SYMBOL gate.2 attribute LONG=" +
          longValue +
          " is left out: its line in the list would "
          "be longer than 159 characters\n"
          "SYMBOL gate.2 attribute DESC=XYZ is left out: retag would match it with DESC=abc\n"
          "SYMBOL gate.2 attribute PinType=in on pin A is left out: retag would write it as "
          "PinType=IN\n"
          "SYMBOL gate.2 attribute Pin Number=1 on pin A is left out: retag would write its name "
          "as "
          "PinNumber and refuse the rewrite\n"
          "SYMBOL gate.2 attribute PINNUMBER=3 has no pin name: retag cannot apply a list to this "
          "symbol\n",
      e.warnings);
  EXPECT_EQ(10, e.counts.warnings);
}

} // namespace
