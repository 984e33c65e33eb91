// The block file reader on block files given as text: records into objects
// and owners, every reader message by number and line, and the finishing
// steps that need no other block.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ScribFixture.h"
#include "qInit.h"
#include "sbMsg.h"
#include "vqName.h"
#include "vqRead.h"

namespace {

using scribtest::stdoutOf;

// One block read from text.
struct Read {
  vqBlock *block = nullptr;
  int result = -1;
  std::string out; // standard output of the read
  ~Read() { q_free_block(block); }

  // The objects of the block's list, in order.
  std::vector<vqObject *> objects() const {
    std::vector<vqObject *> v;
    for (vqObject *o = block->objects; o != nullptr; o = o->next)
      v.push_back(o);
    return v;
  }
  template <class T> T *at(size_t i) const { return static_cast<T *>(objects().at(i)); }
};

std::unique_ptr<Read> readBlock(int kind, const std::string &text) {
  auto r = std::make_unique<Read>();
  r->block = q_alloc_block(kind);
  r->block->name = ulStrCpy("blk");
  r->block->library = ulStrCpy("mylib");
  r->block->number = 1;
  FILE *f = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  r->out = stdoutOf([&] { r->result = vqBlockReadStream(r->block, f); });
  std::fclose(f);
  return r;
}

std::unique_ptr<Read> symbolOf(const std::string &body) {
  return readBlock(vqBLOCK_SYMBOL, "V 50\n" + body);
}
std::unique_ptr<Read> schematicOf(const std::string &body) {
  return readBlock(vqBLOCK_SCHEMATIC, "V 50\n" + body);
}

std::string line(int n) {
  return "(Line number " + std::to_string(n) + ")";
}

// The output line of a reader message about block mylib:blk.1.
template <class... A> std::string msg(int number, A... args) {
  return std::string("mylib:blk.1: ") + sbMsgBuild(number, args...) + "\n";
}
// A message that names the block itself.
template <class... A> std::string alone(int number, A... args) {
  return std::string(sbMsgBuild(number, args...)) + "\n";
}
std::string summary(int warnings, int errors) {
  return alone(2240, "mylib:blk.1", warnings, errors);
}

class Reader : public scribtest::Project {};

// ---- Records into objects -------------------------------------------------------------

TEST_F(Reader, ASymbolReadsIntoItsObjectsAndOwners) {
  auto r = symbolOf("Y 1\nD 0 0 200 100\nZ 10\ni 8\n"
                    "U 10 20 12 0 3 1 SYMTYPE=GATE\n"
                    "P 3 0 50 -20 50 2 0 1\nQ 4 0 2\n"
                    "A 1 2 10 0 1 0 #=1\nL 3 4 10 2 7 1 1 1 CLK\n"
                    "b 0 0 200 100\nc 50 50 20\na 0 0 10 10 20 0\nT 5 6 8 1 5 some text\n"
                    "l 7 0 0 1 1 2 2 3 3 4 4 5 5\n 6 -6\nE\nT 0 0 0 0 1 after the end\n");
  EXPECT_EQ(1, r->result);
  EXPECT_EQ("", r->out);
  EXPECT_EQ(1, r->block->blockType);
  EXPECT_EQ(200, r->block->x2);
  EXPECT_EQ(8u, r->block->lastId);
  ASSERT_EQ(9u, r->objects().size());

  auto *u = r->at<vqText>(0);
  EXPECT_EQ(vqKIND_ATTRIBUTE, u->kind);
  EXPECT_EQ(nullptr, u->owner);
  EXPECT_STREQ("SYMTYPE=GATE", u->text);
  EXPECT_EQ(3, vqPlaceOrigin(u->place));

  auto *pin = r->at<vqPin>(1);
  EXPECT_EQ(3u, pin->id);
  EXPECT_EQ(-20, pin->p2.x);
  EXPECT_EQ(2, pin->type);
  EXPECT_EQ(0, pin->side);
  EXPECT_EQ(1, pin->sense);
  EXPECT_EQ(4, pin->color); // the Q record after the pin
  EXPECT_EQ(2, pin->lineStyle);

  // The A and L records stand in the list and in the pin's chain.
  ASSERT_NE(nullptr, pin->attached);
  EXPECT_EQ(r->at<vqText>(2), pin->attached);
  EXPECT_EQ(r->at<vqText>(3), pin->attached->attNext);
  EXPECT_EQ(pin, pin->attached->owner);
  auto *label = r->at<vqText>(3);
  EXPECT_EQ(vqKIND_LABEL, label->kind);
  EXPECT_STREQ("CLK", label->text);
  EXPECT_EQ(2, vqPlaceOrient(label->place));
  EXPECT_EQ(7, vqPlaceOrigin(label->place));
  EXPECT_EQ(1, vqPlaceScope(label->place));
  EXPECT_EQ(1, vqPlaceVis(label->place));
  EXPECT_EQ(1, vqPlaceSense(label->place));

  EXPECT_EQ(vqKIND_BOX, r->objects()[4]->kind);
  EXPECT_EQ(20, r->at<vqCircle>(5)->radius);
  EXPECT_EQ(20, r->at<vqArc>(6)->p[2].x);
  EXPECT_STREQ("some text", r->at<vqText>(7)->text);
  // A line record takes the points it lacks from the lines after it.
  auto *l = r->at<vqLine>(8);
  ASSERT_EQ(7, l->count);
  EXPECT_EQ(6, l->points[6].x);
  EXPECT_EQ(-6, l->points[6].y);
}

TEST_F(Reader, ContinuationLinesJoinATextWithoutTheirFirstTwoCharacters) {
  auto r = symbolOf("U 0 0 10 0 1 1 DESCRIPTION=a long\n+  description\n+\n"
                    "T 0 0 10 0 1 " +
                    std::string(140, 'x') + "\n");
  ASSERT_EQ(2u, r->objects().size());
  EXPECT_STREQ("DESCRIPTION=a long description", r->at<vqText>(0)->text);
  // Texts are cut to 132 characters.
  EXPECT_EQ(std::string(132, 'x'), r->at<vqText>(1)->text);
  EXPECT_EQ("", r->out);
}

TEST_F(Reader, CarriageReturnsChangeNothing) {
  std::string text = "i 5\nU 0 0 10 0 1 1 REF=U?\nP 1 0 0 10 0 0 0 0\nA 0 0 10 0 1 1 #=\n+ 1\n"
                     "T 1 2 3 4 5 text\n\nZ 11\n";
  std::string crlf;
  for (char c : text)
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  auto plain = symbolOf(text);
  auto dos = symbolOf(crlf);
  EXPECT_EQ(plain->out, dos->out); // the same messages with the same line numbers
  EXPECT_EQ(msg(2216, 11, line(9).c_str()) + summary(0, 1), dos->out);
  ASSERT_EQ(plain->objects().size(), dos->objects().size());
  EXPECT_STREQ("#=1", dos->at<vqText>(2)->text);
  EXPECT_STREQ("REF=U?", dos->at<vqText>(0)->text);
  EXPECT_STREQ("text", dos->at<vqText>(3)->text);
}

TEST_F(Reader, AnInstanceStoresItsTrailingTextUnlessItBeginsWithAQuote) {
  auto r = schematicOf("i 5\nI 1 mylib:AND2 1 100 200 0 1 '\nI 2 OR2 1 0 0 2 2.5 U1 spare\n");
  ASSERT_EQ(2u, r->objects().size());
  auto *a = r->at<vqComp>(0);
  EXPECT_EQ(nullptr, a->trail);
  EXPECT_STREQ("mylib", a->symLibrary);
  EXPECT_STREQ("and2", a->symName); // lower-cased by the symbol's load
  EXPECT_EQ(nullptr, a->symbol);    // no such symbol file
  auto *b = r->at<vqComp>(1);
  EXPECT_STREQ("U1 spare", b->trail);
  EXPECT_STREQ("", b->symLibrary);
  EXPECT_EQ(2, b->orient);
  EXPECT_FLOAT_EQ(2.5F, b->scale);
}

TEST_F(Reader, AnArcOfAnOldFileIsTurnedIntoThreePoints) {
  auto r = readBlock(vqBLOCK_SYMBOL, "V 42\na 0 0 10 0 90\na 5 5 40000 0 90\n");
  EXPECT_EQ(1, r->result);
  ASSERT_EQ(1u, r->objects().size());
  auto *a = r->at<vqArc>(0);
  EXPECT_EQ(10, a->p[0].x);
  EXPECT_EQ(0, a->p[0].y);
  EXPECT_EQ(7, a->p[1].x);
  EXPECT_EQ(7, a->p[1].y);
  EXPECT_EQ(0, a->p[2].x);
  EXPECT_EQ(10, a->p[2].y);
  EXPECT_EQ(msg(2236, 40000, line(3).c_str()) + summary(0, 1), r->out);
}

// ---- Messages by number and line ---------------------------------------------------------

TEST_F(Reader, AFileThatDoesNotBeginWithVIsNotRead) {
  auto r = readBlock(vqBLOCK_SYMBOL, "\nY 1\nT 0 0 10 0 1 text\n");
  EXPECT_EQ(0, r->result);
  EXPECT_EQ(nullptr, r->block->objects);
  EXPECT_EQ(1, r->block->readOnly);
  EXPECT_EQ(alone(2254, "mylib:blk.1"), r->out);
}

TEST_F(Reader, AnEmptyFileIsAnEmptyBlock) {
  auto r = readBlock(vqBLOCK_SYMBOL, "\n\n");
  EXPECT_EQ(1, r->result);
  EXPECT_EQ(nullptr, r->block->objects);
  EXPECT_EQ("", r->out);
}

TEST_F(Reader, OnlyVersions38To51AreAccepted) {
  struct Case {
    const char *first;
    int result;
    std::string out;
  };
  const Case cases[] = {
      {"V 37", 0, alone(2251, "Symbol", "mylib:blk.1", 37, line(1).c_str())},
      {"V 52", 0, alone(2251, "Symbol", "mylib:blk.1", 52, line(1).c_str())},
      {"V", 0,
       msg(2252, line(1).c_str()) + alone(2251, "Symbol", "mylib:blk.1", -1, line(1).c_str()) +
           summary(0, 1)},
      {"V 38", 1, ""},
      {"V 50", 1, ""},
      {"V 51", 1, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.first);
    auto r = readBlock(vqBLOCK_SYMBOL, std::string(c.first) + "\nb 0 0 1 1\n");
    EXPECT_EQ(c.result, r->result);
    EXPECT_EQ(c.out, r->out);
    EXPECT_EQ(c.result == 0, r->block->readOnly == 1);
    EXPECT_EQ(1u, r->objects().size()); // reading goes on
  }
}

TEST_F(Reader, HeaderValuesAreCheckedAndCountedAsErrors) {
  auto r = symbolOf("Z 11\nZ 0\nZ 10\nY 2\nY\nD 40000 -40000 40000 50\ni\n");
  EXPECT_EQ(msg(2216, 11, line(2).c_str()) + msg(2215, 2, line(5).c_str()) +
                msg(2252, line(6).c_str()) + msg(2215, -1, line(6).c_str()) +
                msg(2229, 40000, line(7).c_str()) + msg(2229, -40000, line(7).c_str()) +
                msg(2229, 40000, line(7).c_str()) + msg(2252, line(8).c_str()) + summary(0, 8),
            r->out);
  EXPECT_EQ(8, vqReadErrorCount());
  // An invalid x1 or y1 becomes 0, an invalid x2 the width of the sheet.
  int width = 0, height = 0;
  ASSERT_EQ(1, vqSheetSizeXY(10, &width, &height));
  EXPECT_EQ(0, r->block->x1);
  EXPECT_EQ(0, r->block->y1);
  EXPECT_EQ(width, r->block->x2);
  EXPECT_EQ(50, r->block->y2);
  EXPECT_EQ(0u, r->block->lastId);
}

TEST_F(Reader, OutOfRangeValuesAreKeptCutToTheirFields) {
  auto r = symbolOf("i 9\nT 0 0 -1 9 12 text\nc 0 0 40000\nP 1 0 40000 0 0 5 7 2\n"
                    "U 0 0 10 0 1 6 A=B\n");
  EXPECT_EQ(msg(2227, -1, line(3).c_str()) + msg(2221, 9, line(3).c_str()) +
                msg(2222, 12, line(3).c_str()) + msg(2236, 40000, line(4).c_str()) +
                msg(2229, 40000, line(5).c_str()) + msg(2239, 7, line(5).c_str()) +
                msg(2225, 2, line(5).c_str()) + msg(2223, 6, line(6).c_str()) + summary(0, 8),
            r->out);
  ASSERT_EQ(4u, r->objects().size());
  auto *t = r->at<vqText>(0);
  EXPECT_EQ(-1, t->size);
  EXPECT_EQ(1, vqPlaceOrient(t->place)); // 9 in three bits
  EXPECT_EQ(12, vqPlaceOrigin(t->place));
  EXPECT_EQ(40000, r->at<vqCircle>(1)->radius);
  auto *p = r->at<vqPin>(2);
  EXPECT_EQ(40000, p->p1.y);
  EXPECT_EQ(7, p->side);
  EXPECT_EQ(2, p->sense);
  EXPECT_EQ(2, vqPlaceVis(r->at<vqText>(3)->place)); // 6 in two bits
}

TEST_F(Reader, AStyleOutOfRangeBecomesTheKindsDefault) {
  auto r = symbolOf("T 0 0 10 0 1 text\nQ 20 12 9\nb 0 0 1 1\nQ 3 40 1\na 0 0 1 1 2 0\nQ 3 9 1\n"
                    "T 0 0 10 0 1 kanji\nQ 1 11 1\nU 0 0 10 0 1 1 A=1\nQ 1 11 1\n");
  EXPECT_EQ(msg(2217, 20, line(3).c_str()) + msg(2220, 12, line(3).c_str()) +
                msg(2218, 9, line(3).c_str()) + msg(2219, 40, line(5).c_str()) +
                msg(2220, 11, line(11).c_str()) + summary(0, 5),
            r->out);
  auto *t = r->at<vqText>(0);
  EXPECT_EQ(q_objects[qO_TEXT].color, t->color);
  EXPECT_EQ(q_objects[qO_TEXT].style, t->style);
  EXPECT_EQ(q_objects[qO_TEXT].lineStyle, t->lineStyle);
  auto *box = r->objects()[1];
  EXPECT_EQ(3, box->color);
  EXPECT_EQ(q_objects[qO_BOX].style, box->style);
  EXPECT_EQ(0, r->objects()[2]->style);  // an arc has no style
  EXPECT_EQ(11, r->objects()[3]->style); // the Kanji font of texts
}

TEST_F(Reader, MissingFieldsDropObjectsAndMissingTextsAreWarnings) {
  auto r = symbolOf("b 0 0 1\nc 1 1\nT 0 0 10 0 1\nl 0\nl 5000 0 0\nl 2 0 0 1\n");
  EXPECT_EQ(msg(2252, line(2).c_str()) + msg(2252, line(3).c_str()) + msg(2259, line(4).c_str()) +
                msg(2228, 0, line(5).c_str()) + msg(2228, 5000, line(6).c_str()) +
                msg(2252, line(7).c_str()) + summary(1, 5),
            r->out);
  EXPECT_EQ(1, vqReadWarningCount());
  ASSERT_EQ(1u, r->objects().size());
  EXPECT_STREQ("", r->at<vqText>(0)->text);
}

TEST_F(Reader, LineNumbersCountPhysicalLinesAndCanBeSwitchedOff) {
  auto r = symbolOf("U 0 0 10 0 1 1 A=\n+ 1\n\n|comment\nZ 12\n");
  EXPECT_EQ(msg(2216, 12, line(6).c_str()) + summary(0, 1), r->out);
  EXPECT_EQ(1, vqReadPrintLineNumber(0));
  q_quiet = 1; // problems are printed even when the editor is quiet
  auto quiet = symbolOf("Z 12\n");
  EXPECT_EQ(msg(2216, 12, ""), quiet->out.substr(0, quiet->out.find('\n') + 1));
}

// What a sink receives: "severity line block|text" per message.
void collect(const vqBlock *block, int severity, int line, const char *text, void *user) {
  *static_cast<std::string *>(user) +=
      std::to_string(severity) + " " + std::to_string(line) + " " + block->name + "|" + text + "\n";
}

TEST_F(Reader, ASinkTakesEveryMessageWithItsLineInsteadOfStandardOutput) {
  std::string got;
  EXPECT_EQ(nullptr, vqReadSetSink(collect, &got));
  // A record's line is its last physical line; the finishing steps and the
  // summary are about the whole block (line 0).
  auto r = schematicOf("i 1\nT 0 0 10 0 1\nN 1\nJ 0 0 0\nZ 12\n+ x\n");
  EXPECT_EQ("", r->out);
  EXPECT_EQ("2 3 blk|" + alone(2259, line(3).c_str()) + "3 7 blk|" +
                alone(2216, 12, line(7).c_str()) + "3 0 blk|" + alone(2237, "mylib:blk.1", 1L) +
                "1 0 blk|" + alone(2240, "mylib:blk.1", 1, 2),
            got);
  EXPECT_EQ(1, vqReadWarningCount());
  EXPECT_EQ(2, vqReadErrorCount());
  got.clear();
  auto unread = readBlock(vqBLOCK_SYMBOL, "\nY 1\n");
  EXPECT_EQ("4 2 blk|" + alone(2254, "mylib:blk.1"), got);
  // Without a sink the reader prints again.
  EXPECT_EQ(collect, vqReadSetSink(nullptr, nullptr));
  EXPECT_EQ(msg(2216, 12, line(2).c_str()) + summary(0, 1), symbolOf("Z 12\n")->out);
}

TEST_F(Reader, RecordsOfTheOtherKindOfBlockAreSkipped) {
  auto sch = schematicOf("P 1 0 0 10 0 0 0 0\nA 0 0 10 0 1 1 #=1\n");
  EXPECT_EQ(alone(2247, "Schematic", line(2).c_str(), 'P', "mylib:blk.1") +
                msg(2232, line(3).c_str()) + summary(0, 2),
            sch->out);
  EXPECT_EQ(nullptr, sch->block->objects);
  auto sym = symbolOf("i 1\nP 1 0 0 10 0 0 0 0\nN 1\n%\n");
  EXPECT_EQ(vqKIND_PIN, sym->objects().at(0)->kind);
  EXPECT_EQ(alone(2247, "Symbol", line(4).c_str(), 'N', "mylib:blk.1") +
                alone(2247, "Symbol", line(5).c_str(), '%', "mylib:blk.1") + summary(0, 2),
            sym->out);
}

// ---- Owners ------------------------------------------------------------------------------

TEST_F(Reader, AttachedRecordsNeverLandOnAnEarlierObject) {
  // A pin, then a pin record that is dropped: the A, L and Q after it have
  // no owner and no object, so they are reported and dropped.
  auto r = symbolOf("i 5\nP 1 0 0 10 0 0 0 0\nP 2 0 0\nA 0 0 10 0 1 1 #=2\nL 0 0 10 0 1 0 1 0 B\n"
                    "Q 1 1 1\nT 0 0 10 0 1 free\nA 0 0 10 0 1 1 X=1\n");
  EXPECT_EQ(msg(2252, line(4).c_str()) + msg(2232, line(5).c_str()) + msg(2230, line(6).c_str()) +
                alone(2247, "Symbol", line(7).c_str(), 'Q', "mylib:blk.1") +
                msg(2232, line(9).c_str()) + summary(0, 5),
            r->out);
  auto *pin = r->at<vqPin>(0);
  EXPECT_EQ(nullptr, pin->attached);
  EXPECT_EQ(q_objects[qO_PIN].color, pin->color);
  EXPECT_EQ(2u, r->objects().size());
}

TEST_F(Reader, AQAfterAnAttributeAppliesToTheAttribute) {
  auto r = symbolOf("i 5\nP 1 0 0 10 0 0 0 0\nA 0 0 10 0 1 1 #=1\nQ 5 2 0\nQ 6 2 0\n");
  auto *pin = r->at<vqPin>(0);
  EXPECT_EQ(5, pin->attached->color);
  EXPECT_EQ(q_objects[qO_PIN].color, pin->color);
  // A second Q has nothing created just before it.
  EXPECT_EQ(alone(2247, "Symbol", line(6).c_str(), 'Q', "mylib:blk.1") + summary(0, 1), r->out);
}

TEST_F(Reader, ASchematicReadsIntoNetsInstancesConnectionsAndLabels) {
  auto r =
      schematicOf("i 10\nN 4\nJ 0 0 0\nJ 100 0 0\nJ 100 50 0\nS 1 2\nL 50 0 10 0 1 0 1 0 DATA\n"
                  "B 2 3\nA 100 25 10 0 1 1 PROBE=1\n"
                  "I 7 mylib:nand2 1 0 0 0 1 '\nA 0 0 10 0 1 1 REFDES=U1\n"
                  "C 4 1 2 1\nL 0 0 10 0 1 0 1 0 IN\nX 3 B\nA 0 0 10 0 1 1 SIGNAL=X\n");
  EXPECT_EQ("", r->out);
  auto *net = r->at<vqNet>(0);
  EXPECT_EQ(4u, net->id);
  ASSERT_NE(nullptr, net->segments);
  vqSegment *s1 = net->segments;
  vqSegment *s2 = s1->next;
  ASSERT_NE(nullptr, s2);
  EXPECT_EQ(0, s1->bus);
  EXPECT_EQ(1, s2->bus);
  EXPECT_EQ(0, s1->angle);
  EXPECT_EQ(1, s2->angle);
  EXPECT_EQ(net->joints->next, s2->j1);
  // Labels and attributes of a net stand on the segment read last.
  ASSERT_NE(nullptr, net->attached);
  EXPECT_STREQ("DATA", net->attached->text);
  EXPECT_EQ(s1->id, net->attached->part);
  EXPECT_EQ(s2->id, net->attached->attNext->part);

  auto *comp = r->at<vqComp>(3);
  ASSERT_NE(nullptr, comp->cnts);
  EXPECT_EQ(net, comp->cnts->net);
  EXPECT_EQ(net->joints, comp->cnts->joint);
  EXPECT_EQ(2u, comp->cnts->pinId);
  EXPECT_EQ(1, comp->cnts->pinIndex);
  ASSERT_NE(nullptr, comp->cnts->next);
  EXPECT_EQ(nullptr, comp->cnts->next->net);
  EXPECT_EQ(q_get_pnindex("B"), comp->cnts->next->pinIndex);
  // The instance's A and L: its own, then those tied to each connection.
  vqText *a = comp->attached;
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(0u, a->part);
  EXPECT_EQ(2u, a->attNext->part);
  EXPECT_STREQ("IN", a->attNext->text);
  EXPECT_EQ(3u, a->attNext->attNext->part);
  EXPECT_EQ(1, comp->size);
}

TEST_F(Reader, NetRecordsCheckTheirNetAndJoints) {
  q_bad_data = 0;
  auto r = schematicOf("J 0 0 0\nS 1 2\ni 1\nN 3\nJ 0 0 12\nJ 10 0 0\nS 1 5\nS 2 2\nS 1 2\n"
                       "N 0\nL 0 0 10 0 1 0 1 0 X\nA 0 0 10 0 1 1 P=1\n");
  EXPECT_EQ(msg(2241, line(2).c_str()) + msg(2242, line(3).c_str()) +
                msg(2235, 3L, line(5).c_str()) + msg(2238, 12, line(6).c_str()) +
                msg(2243, 5, line(8).c_str()) + msg(2244, 2, line(9).c_str()) +
                msg(2248, 0L, line(11).c_str()) + msg(2231, line(12).c_str()) +
                msg(2233, line(13).c_str()) + alone(2237, "mylib:blk.1", 0L) + summary(0, 10),
            r->out);
  EXPECT_EQ(1, q_bad_data);
  EXPECT_EQ(3u, r->block->lastId); // raised to the identifier above it
  ASSERT_EQ(1u, r->objects().size());
}

TEST_F(Reader, ANetThatDoesNotHoldTogetherIsRemovedAndItsTextsLoseTheirOwner) {
  auto r = schematicOf("i 9\nN 1\nJ 0 0 0\nJ 9 0 0\nJ 9 9 0\nS 1 2\nL 0 0 10 0 1 0 1 0 A\n"
                       "N 2\nJ 0 0 0\nJ 9 0 0\nS 1 2\n");
  EXPECT_EQ(alone(2237, "mylib:blk.1", 1L) + summary(0, 1), r->out);
  ASSERT_EQ(2u, r->objects().size());
  auto *label = r->at<vqText>(0);
  EXPECT_EQ(nullptr, label->owner);
  EXPECT_EQ(2u, r->at<vqNet>(1)->id);
}

TEST_F(Reader, LabelsMustBeValidNames) {
  auto r = symbolOf("i 1\nP 1 0 0 10 0 0 0 0\nL 0 0 10 0 1 0 1 0 D[0:3\nL 0 0 10 0 1 0 1 0 a`b\n"
                    "L 0 0 10 0 1 0 1 0 D[0:3]\n");
  EXPECT_EQ(msg(2246, "D[0:3", line(4).c_str()) + msg(2246, "a`b", line(5).c_str()) + summary(0, 2),
            r->out);
  EXPECT_STREQ("D[0:3]", r->at<vqPin>(0)->attached->text);
}

TEST_F(Reader, ConnectionsNeedAnInstance) {
  auto r = schematicOf("i 5\nC 1 1 1 1\nX 2 2\nI 1 x 1 0 0 0 1 '\nC 1 1\n");
  EXPECT_EQ(msg(2245, line(3).c_str()) + msg(2245, line(4).c_str()) + msg(2252, line(6).c_str()) +
                summary(0, 3),
            r->out);
  EXPECT_EQ(nullptr, r->at<vqComp>(0)->cnts);
}

TEST_F(Reader, InstanceFieldsAreChecked) {
  auto r = schematicOf("i 5\nI 0 x 1000 0 0 8 0 '\nI 1 y 1 0 0 0\nI 2 z 1 0 0 0 -2\n");
  EXPECT_EQ(msg(2250, 0L, line(3).c_str()) + msg(2234, 1000, line(3).c_str()) +
                msg(2221, 8, line(3).c_str()) + msg(2226, 0.0, line(3).c_str()) +
                msg(2253, line(4).c_str()) + msg(2226, -2.0, line(5).c_str()) +
                msg(2259, line(5).c_str()) + summary(1, 6),
            r->out);
  ASSERT_EQ(3u, r->objects().size());
  for (size_t i = 0; i < 3; ++i)
    EXPECT_FLOAT_EQ(1.0F, r->at<vqComp>(i)->scale) << i;
}

TEST_F(Reader, IdentifiersAboveTheLastIdRaiseIt) {
  auto r = symbolOf("i 2\nP 5 0 0 10 0 0 0 0\nP -1 0 0 10 0 0 0 0\n");
  EXPECT_EQ(msg(2235, 5L, line(3).c_str()) + msg(2249, -1L, line(4).c_str()) + summary(0, 2),
            r->out);
  EXPECT_EQ(5u, r->block->lastId);
}

// ---- Finishing -------------------------------------------------------------------------------

TEST_F(Reader, ARepeatedTextIsRemoved) {
  auto r = symbolOf("T 1 2 10 0 1 same\nT 1 2 10 0 1 same\nT 1 2 10 0 1 other\n"
                    "U 1 2 10 0 1 1 same\nT 1 2 11 0 1 same\n");
  ASSERT_EQ(4u, r->objects().size());
  EXPECT_STREQ("other", r->at<vqText>(1)->text);
  EXPECT_EQ(vqKIND_ATTRIBUTE, r->objects()[2]->kind);
  EXPECT_EQ(11, r->at<vqText>(3)->size);
}

TEST_F(Reader, PinsOfTheSameNameArePassThroughAndSymtypeFubMakesAFub) {
  auto r = symbolOf("i 3\nU 0 0 10 0 1 1 SYMTYPE=FUB\nP 1 0 0 10 0 0 0 0\nL 0 0 10 0 1 0 1 0 A\n"
                    "P 2 0 0 10 0 0 0 0\nL 0 0 10 0 1 0 1 0 B\nP 3 0 0 10 0 0 0 0\n"
                    "A 0 0 10 0 1 1 #=1\nL 0 0 10 0 1 0 1 0 A\n");
  EXPECT_EQ(1, vqBlockIsFub(r->block));
  std::vector<int> passthru;
  for (vqObject *o : r->objects())
    if (o->kind == vqKIND_PIN)
      passthru.push_back((o->flags & vqOBJ_PASSTHRU) != 0);
  EXPECT_EQ((std::vector<int>{1, 0, 1}), passthru);
}

TEST_F(Reader, RipperVersionOfASchematicWithoutRippers) {
  vqIniSettingsV.rippersOn = 0;
  auto off = readBlock(vqBLOCK_SCHEMATIC, "V 51\n");
  EXPECT_EQ(50, off->block->version);
  vqIniSettingsV.rippersOn = 1;
  auto on = readBlock(vqBLOCK_SCHEMATIC, "V 51\n");
  EXPECT_EQ(51, on->block->version);
  auto symbol = readBlock(vqBLOCK_SYMBOL, "V 51\n");
  EXPECT_EQ(51, symbol->block->version);
}

TEST_F(Reader, HiddenMessagesReportJointTypesRecomputed) {
  const std::string net = "i 1\nN 1\nJ 0 0 9\nJ 10 0 1\nS 1 2\n";
  auto quiet = schematicOf(net);
  EXPECT_EQ("", quiet->out);
  EXPECT_EQ(1, quiet->at<vqNet>(0)->joints->type);
  EXPECT_EQ(0, vqReadPrintHiddenMsgs(1));
  auto loud = schematicOf(net);
  vqJoint *j = loud->at<vqNet>(0)->joints;
  EXPECT_EQ(alone(2260, "mylib:blk.1", static_cast<long>(j->id)) + summary(0, 1), loud->out);
}

// ---- Logical lines -----------------------------------------------------------------------------

TEST(vqReadLines, LogicalLinesJoinContinuationsAndCountPhysicalLines) {
  FILE *f = std::tmpfile();
  std::fputs("first\r\n\n\n+ not joined: a blank line came before\nsecond\n+ part\n+\n"
             "+ more\nlast without end",
             f);
  std::rewind(f);
  ulStrBuf *b = ulStrBufCreate(4);
  int lines = 0;
  std::vector<std::pair<std::string, int>> got;
  while (vqReadContLine(b, f, 0, &lines))
    got.emplace_back(ulStrBufString(b), lines);
  EXPECT_EQ(lines, 9);
  std::vector<std::pair<std::string, int>> want = {
      {"first\n", 1},
      {"+ not joined: a blank line came before\n", 4},
      {"secondpartmore\n", 8},
      {"last without end", 9},
  };
  EXPECT_EQ(want, got);
  ulStrBufDestroy(b);
  std::fclose(f);
}

TEST(vqReadLines, RemoveCRAndTrimTrail) {
  const std::pair<std::string, const char *> cr[] = {
      {"text\r\n", "text"}, {"text\r", "text"}, {"te\rxt\n", "te\rxt"}};
  for (auto [in, out] : cr)
    EXPECT_STREQ(out, vqRemoveCR(in.data()));
  std::string d = "a b  ", e = " ";
  EXPECT_STREQ("a b", vqTrimTrail(d.data()));
  EXPECT_STREQ(" ", vqTrimTrail(e.data())); // never the first character
}

} // namespace
