// Attribute strings: splitting, lookup by name, the multiples rules, building
// and the attribute reset list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScribFixture.h"

using namespace scribtest;
using Texts = std::vector<vqText *>;
using Strings = std::vector<std::string>;

namespace {

TEST(VqAttr, TextsSplitAtTheFirstEqualsSignElseAtTheFirstBlank) {
  for (const auto &row : testsupport::tableRows("scrib/cases/attrsplit.txt")) {
    ASSERT_EQ(4u, row.size());
    SCOPED_TRACE(row[0]);
    std::string t1 = row[0], t2 = row[0];
    EXPECT_EQ(row[1], q_attr_name(t1.data()));
    EXPECT_EQ(row[2], q_attr_value(t2.data()));
    EXPECT_EQ((Strings{row[3], row[3]}), (Strings{t1.c_str(), t2.c_str()}));
  }
  // Each function keeps its own buffer until its next call.
  char a[] = "N1=V1", b[] = "N2=V2";
  char *n1 = q_attr_name(a);
  char *v1 = q_attr_value(a);
  EXPECT_STREQ("V1", v1);
  q_attr_name(b);
  EXPECT_STREQ("N2", n1);
  // Names are cut to 131 characters.
  std::string longName(140, 'N');
  std::string text = longName + "=v";
  EXPECT_EQ(std::string(131, 'N'), q_attr_name(text.data()));
  EXPECT_STREQ("v", q_attr_value(text.data()));
  EXPECT_STREQ("", q_attr_value(nullptr));
  // A null text to split by name is reported.
  char *name = nullptr;
  EXPECT_EQ("Attribute text missing.\n", stdoutOf([&] { name = q_attr_name(nullptr); }));
  EXPECT_STREQ("", name);
}

TEST(VqAttr, LookupsCompareNamesExactlyAndHonourOwnerAndPart) {
  vqBlock *b = symbol("and2");
  q_set_block(b);
  vqPin *pin = addPin(b, 4);
  vqText *pinType = addAttr(b, "PINTYPE=IN", pin);
  vqText *refdes = addAttr(b, "REFDES=U1");
  vqText *second = addAttr(b, "REFDES=U2");
  vqText *label = addAttr(b, "CLK", pin, 0, vqKIND_LABEL);
  addAttr(b, "CLK=1", pin);

  // The first in list order; case and length count; the pin's only with the pin.
  EXPECT_EQ(
      (Texts{refdes, nullptr, nullptr, nullptr, pinType, nullptr}),
      (Texts{q_get_attribute(b, "REFDES", nullptr), q_get_attribute(b, "refdes", nullptr),
             q_get_attribute(b, "REF", nullptr), q_get_attribute(b, "PINTYPE", nullptr),
             q_get_attribute(b, "PINTYPE", pin), q_get_attribute(nullptr, "REFDES", nullptr)}));
  // A wanted name is compared over its first 131 characters only.
  std::string longName(131, 'L');
  vqText *longAttr = addAttr(b, (longName + "=1").c_str());
  EXPECT_EQ(longAttr, q_get_attribute(b, (longName + "XYZ").c_str(), nullptr));

  // Another part, no owner, an owner without a chain.
  EXPECT_EQ((Texts{pinType, nullptr, nullptr, nullptr}),
            (Texts{q_get_inst_attribute("PINTYPE", pin, 0), q_get_inst_attribute("PINTYPE", pin, 1),
                   q_get_inst_attribute("PINTYPE", nullptr, 0),
                   q_get_inst_attribute("PINTYPE", refdes, 0)}));
  EXPECT_NE(label, q_get_inst_attribute("CLK", pin, 0)); // labels skipped

  // Without owner: a block attribute of the current Block.
  EXPECT_EQ((Ints{1, 0, 1}),
            (Ints{q_attr_exists("PINTYPE", pin, 0), q_attr_exists("PINTYPE", nullptr, 0),
                  q_attr_exists("REFDES", nullptr, 0)}));
  q_set_block(nullptr);
  EXPECT_EQ(0, q_attr_exists("REFDES", nullptr, 0));

  // The symbol lookup compares over the wanted name's length.
  EXPECT_EQ((Texts{refdes, pinType, nullptr, second}),
            (Texts{vqFindSymbolAtt(b->objects, "REF"), vqFindSymbolAtt(b->objects, "PIN"),
                   vqFindSymbolAtt(b->objects, "ref"), vqFindSymbolAtt(refdes->next, "REFDES")}));
  q_free_block(b);
}

TEST(VqAttr, PinOffOnTheSymbolOfAnInstance) {
  vqBlock *sym = symbol("and2");
  vqBlock *sch = q_alloc_block(vqBLOCK_SCHEMATIC);
  vqComp *c = q_alloc_comp();
  vqBlockInsertObject(sch, c, nullptr);
  c->symbol = q_copy_block(sym);
  vqText *onInst = addAttr(sch, "REFDES=U1", c);
  vqText *free = addAttr(sch, "X=1");
  EXPECT_EQ(0, vqIsPinOffOnOwnerOfText(onInst));
  addAttr(sym, "PINOFFSET=2");
  EXPECT_EQ((Ints{1, 0, 0}), (Ints{vqIsPinOffOnOwnerOfText(onInst), vqIsPinOffOnOwnerOfText(free),
                                   vqIsPinOffOnOwnerOfText(nullptr)}));
  q_free_block(sch);
  q_free_block(sym);
}

TEST(VqAttr, QuotesMakeAnAttributeInvalid) {
  struct Case {
    const char *text;
    int valid;
  } cases[] = {{"NAME=X", 1}, {"NAME='X'", 0}, {"NAME=`X", 0}, {"", 1}, {nullptr, 1}};
  for (const Case &c : cases) {
    int r = -1;
    EXPECT_EQ("", stdoutOf([&] { r = q_valid_attr(c.text, 0); }));
    EXPECT_EQ(c.valid, r);
  }
  int r = -1;
  EXPECT_EQ("Attribute `NAME='X'' holds a quote or a backquote.\n",
            stdoutOf([&] { r = q_valid_attr("NAME='X'", 1); }));
  EXPECT_EQ(0, r);
}

TEST(VqAttr, WhichNamesMayRepeatOnWhichOwner) {
  vqComp *plain = q_alloc_comp();
  vqComp *hier = q_alloc_comp();
  hier->child = ulStrCpy("sub");
  vqComp *emptyChild = q_alloc_comp();
  emptyChild->child = ulStrCpy("");
  vqNet *net = q_alloc_net();
  vqPin *pin = q_alloc_pin();
  struct Case {
    const char *name;
    int multiples; // qAttrMultiplesOK on an instance
    int plain, hier, net, pin;
  } cases[] = {
      {"SIGNAL", 1, 1, 0, 0, 0}, {"EQUATE", 1, 1, 0, 0, 0}, {"PINSWAP", 1, 1, 0, 0, 0},
      {"PARAM", 1, 1, 1, 1, 0},  {"PROBE", 0, 0, 0, 1, 0},  {"VALUE", 0, 0, 0, 0, 0},
      {"param", 0, 0, 0, 0, 0},
  };
  for (const Case &c : cases) {
    // By kind; then by owner in mode 0; modes 1 (allows all) and 2.
    EXPECT_EQ((Ints{c.multiples, 0, c.plain, c.plain, c.hier, c.net, c.pin, 0, 1, 1, c.plain}),
              (Ints{qAttrMultiplesOK(c.name, vqKIND_COMPONENT),
                    qAttrMultiplesOK(c.name, vqKIND_NET), q_attr_multi_ok(plain, c.name, 0),
                    q_attr_multi_ok(emptyChild, c.name, 0), q_attr_multi_ok(hier, c.name, 0),
                    q_attr_multi_ok(net, c.name, 0), q_attr_multi_ok(pin, c.name, 0),
                    q_attr_multi_ok(nullptr, c.name, 0), q_attr_multi_ok(nullptr, c.name, 1),
                    q_attr_multi_ok(pin, c.name, 1), q_attr_multi_ok(plain, c.name, 2)}))
        << c.name;
  }
  q_free_comp(plain);
  q_free_comp(hier);
  q_free_comp(emptyChild);
  q_free_net(net);
  q_free_pin(pin);
}

TEST(VqAttr, BuiltStringsOmitAnEmptyValueAndStopAt131Characters) {
  struct Case {
    std::string name;
    const char *value;
    std::string text;
  } cases[] = {
      {"REFDES", "U1", "REFDES=U1"},
      {"REFDES", "", "REFDES"},
      {"REFDES", nullptr, "REFDES"},
      {"A", " spaced ", "A= spaced "},
      {std::string(140, 'n'), "v", std::string(131, 'n')},
      {std::string(129, 'n'), "value", std::string(129, 'n') + "=v"},
  };
  for (const Case &c : cases) {
    char *s = q_build_attr_string(c.name.c_str(), c.value);
    EXPECT_EQ(c.text, s);
    ulStrFree(s);
  }
}

// The reset list and the copies by mode need the settings of a project.
class VqAttrReset : public Project {
protected:
  void SetUp() override {
    open("attr_reset REFDES U?\nattr_reset PARTNO symbol_value\nattr_reset SIGNAL\n"
         "attr_reset VALUE SYMBOL_VALUE\n");
    sym = symbol("and2");
    vqPin *pin = addPin(sym, 3);
    addAttr(sym, "PARTNO=74LS08");
    addAttr(sym, "PINNUM=7", pin);
    sch = q_alloc_block(vqBLOCK_SCHEMATIC);
    inst = q_alloc_comp();
    vqBlockInsertObject(sch, inst, nullptr);
    inst->symbol = q_copy_block(sym);
  }
  void TearDown() override {
    q_free_block(sch);
    q_free_block(sym);
    Project::TearDown();
  }
  // An attribute of the instance with text and part.
  vqText *attr(const char *text, vqId part = 0) { return addAttr(sch, text, inst, part); }
  // q_attr_str_copy as a std::string, with what it printed on standard error.
  std::string copy(vqText *a, int mode, std::string *err = nullptr) {
    char *s = nullptr;
    std::string e = stderrOf([&] { s = q_attr_str_copy(a, mode); });
    if (err != nullptr)
      *err = e;
    std::string out = s;
    ulStrFree(s);
    return out;
  }
  vqBlock *sym = nullptr;
  vqBlock *sch = nullptr;
  vqComp *inst = nullptr;
};

TEST_F(VqAttrReset, CopiesByModeAndTheResetListDecidesPerAttribute) {
  vqText *refdes = attr("refdes=U12");
  vqText *partno = attr("PARTNO=7400");
  vqText *pinnum = attr("PINNUM=1", 3);
  vqText *unknown = attr("COLOR=red");
  std::string err;
  // The copy, then what it printed.
  EXPECT_EQ((Strings{"refdes=U12", ""}), (Strings{copy(refdes, 0, &err), err}));
  // The entry is found ignoring case.
  EXPECT_EQ((Strings{"refdes=U?", ""}), (Strings{copy(refdes, 2, &err), err}));
  EXPECT_EQ("PARTNO=symbol_value", copy(partno, 2));
  EXPECT_EQ((Strings{"COLOR=red", "Internal attribute copy error.\n"}),
            (Strings{copy(unknown, 2, &err), err}));
  EXPECT_EQ("PARTNO=74LS08", copy(partno, 3)); // the symbol's own attribute
  EXPECT_EQ("PINNUM=7", copy(pinnum, 3));      // the attribute of the symbol's pin 3
  EXPECT_EQ("", copy(attr("PINNUM=1", 9), 3)); // no pin 9
  EXPECT_EQ("", copy(unknown, 3));
  EXPECT_EQ((Strings{"COLOR=red", "Internal attribute copy usage error.\n"}),
            (Strings{copy(unknown, 1, &err), err}));
  // A reset entry without value gives the name alone.
  EXPECT_EQ("SIGNAL", copy(attr("SIGNAL=A"), 2));

  vqText *target = q_alloc_attribute();
  EXPECT_EQ(1, q_attr_copy_string(target, partno, 3));
  EXPECT_STREQ("PARTNO=74LS08", target->text);
  q_free_attribute(target);
  EXPECT_EQ(1, q_reset_attribute_string(refdes, 2));
  EXPECT_STREQ("refdes=U?", refdes->text);
  EXPECT_EQ(1, q_reset_attribute_string(unknown, 3)); // an empty text changes nothing
  EXPECT_STREQ("COLOR=red", unknown->text);

  // The reset list decides per attribute.
  vqPin *symPin = static_cast<vqPin *>(sym->objects);
  struct Case {
    const char *text;
    vqObject *owner;
    vqId part;
    int result;
  } cases[] = {
      {"REFDES=U1", nullptr, 0, 0},  // no owner
      {"COLOR=red", inst, 0, 0},     // not listed
      {"SIGNAL=A", inst, 0, 1},      // listed without value
      {"refdes=U1", inst, 0, 2},     // a value of its own
      {"PARTNO=7400", inst, 0, 3},   // symbol_value, and the symbol has it
      {"VALUE=10k", inst, 0, 1},     // symbol_value, the symbol lacks it
      {"PARTNO=7400", symPin, 0, 1}, // symbol_value on no instance
      {"PARTNO=7400", inst, 3, 1},   // the symbol's pin 3 lacks it
  };
  for (const Case &c : cases) {
    std::string text = c.text;
    EXPECT_EQ(c.result, q_attr_reset_check(text.c_str(), c.owner, c.part)) << c.text;
  }
}

} // namespace
