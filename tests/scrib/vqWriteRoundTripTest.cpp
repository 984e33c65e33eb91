// Round trips as a property: generated blocks of every object kind are
// written, read back and written again; the reader reports nothing, the two
// files are identical byte for byte, and the block read holds the same
// objects as the one written (every field a file carries, owners, nets and
// attached chains included).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ScribFixture.h"
#include "vqName.h"
#include "vqRead.h"

using namespace scribtest;

namespace {

// A random block that a reader gives back unchanged: values in range, texts
// without outer blanks and never twice the same, nets that are trees with the
// joint types their segments give, identifiers from the block's counters.
class Generator {
public:
  Generator(unsigned seed, int kind) : rng_(seed), b_(q_alloc_block(kind)) {
    b_->name = ulStrCpy("gen");
    static const int types[] = {0, 1, 3, 4};
    b_->blockType = static_cast<uint8_t>(types[pick(0, 3)]);
    b_->sheetSize = static_cast<uint8_t>(pick(0, 10));
    b_->x1 = coord();
    b_->y2 = coord();
  }

  vqBlock *generate(int objects) {
    while (objects-- > 0)
      object();
    b_->lastId = maxId_ + static_cast<vqId>(pick(0, 3));
    return b_;
  }

private:
  std::mt19937 rng_;
  vqBlock *b_;
  vqId maxId_ = 0;
  int unique_ = 0;
  std::vector<vqNet *> nets_;

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool chance(int percent) { return pick(1, 100) <= percent; }
  int coord() { return chance(10) ? (chance(50) ? -32767 : 32767) : pick(-500, 500); }
  vqPoint point() { return {coord(), coord()}; }
  vqId newId() { return maxId_ += static_cast<vqId>(pick(1, 3)); }

  // Printable characters with inner blanks, or for a name (labels, pin
  // numbers) letters, digits and "_"; often long enough to be continued.
  char *text(const char *prefix, bool name = false) {
    static const std::string printable = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                         "0123456789_=-+.,;:()[]{}<>#$%&*/\\|~!?\"^ ";
    const size_t n = name ? 63 : printable.size();
    std::string s = prefix + std::to_string(++unique_);
    for (int i = chance(30) ? pick(60, 120) : pick(0, 20); i > 0; --i)
      s += printable[static_cast<size_t>(pick(0, static_cast<int>(n) - 1))];
    s = s.substr(0, std::min(s.find_last_not_of(' ') + 1, size_t{vqTEXT_MAX}));
    return ulStrCpy(s.c_str());
  }

  template <class T> T *add(T *o) {
    vqBlockInsertObject(b_, o, vqBlockLastObject(b_));
    if (chance(35)) {
      bool font = o->kind == vqKIND_TEXT || o->kind == vqKIND_ATTRIBUTE || o->kind == vqKIND_LABEL;
      o->color = static_cast<uint8_t>(pick(0, 15));
      o->style = static_cast<uint8_t>(o->kind == vqKIND_ARC ? 0 : pick(0, font ? 10 : 31));
      o->lineStyle = static_cast<uint8_t>(pick(0, 7));
    }
    return o;
  }

  vqText *placed(vqText *t, char *s) {
    t->x = coord();
    t->y = coord();
    t->size = pick(0, 40);
    t->text = s;
    vqPlaceSetOrient(&t->place, pick(0, 7));
    vqPlaceSetOrigin(&t->place, pick(1, 9));
    if (t->kind != vqKIND_TEXT)
      vqPlaceSetVis(&t->place, pick(0, 3));
    return add(t);
  }

  // An attribute (A) or label (L) at the tail of owner's chain.
  void attach(vqObject *owner, vqId part) {
    vqText *t;
    if (chance(40)) {
      t = placed(q_alloc_label(),
                 chance(20) ? ulSprintfAlloc("D%d[3:0]", ++unique_) : text("S", true));
      vqPlaceSetScope(&t->place, pick(0, 1));
      vqPlaceSetSense(&t->place, pick(0, 1));
    } else {
      t = placed(q_alloc_attribute(), text("ATT"));
    }
    vqAttachText(owner, t, part, 1);
  }

  void object() {
    switch (pick(0, 8)) {
    case 0: {
      vqLine *l = add(q_alloc_line(chance(30) ? 7 : pick(1, 14)));
      std::generate(l->points, l->points + l->count, [&] { return point(); });
      break;
    }
    case 1: {
      vqBox *x = add(q_alloc_box());
      x->p1 = point();
      x->p2 = point();
      break;
    }
    case 2: {
      vqCircle *c = add(q_alloc_circle());
      c->x = coord();
      c->radius = chance(10) ? 32766 : pick(0, 400);
      break;
    }
    case 3:
      std::generate_n(add(q_alloc_arc())->p, 3, [&] { return point(); });
      break;
    case 4:
      placed(q_alloc_text(), text("T"));
      break;
    case 5:
      placed(q_alloc_attribute(), chance(10) ? ulStrCpy("SYMTYPE=FUB") : text("BLK"));
      break;
    default:
      if (b_->kind == vqBLOCK_SYMBOL)
        pin();
      else if (chance(50))
        net();
      else
        instance();
    }
  }

  void pin() {
    vqPin *p = add(q_alloc_pin());
    p->id = newId();
    p->p1 = point();
    p->p2 = point();
    p->type = pick(-100, 100);
    p->side = static_cast<uint8_t>(pick(0, 4));
    p->sense = static_cast<uint8_t>(pick(0, 1));
    for (int n = pick(0, 3); n > 0; --n)
      attach(p, 0);
  }

  // Joint k (from the second on) is joined to an earlier one.
  void net() {
    vqNet *net = add(q_alloc_net());
    net->id = newId();
    std::vector<vqJoint *> joints;
    const size_t count = static_cast<size_t>(pick(2, 6));
    for (vqJoint **tail = &net->joints; joints.size() < count; tail = &(*tail)->next) {
      joints.push_back(*tail = q_alloc_joint());
      *joints.back() = {nullptr, coord(), coord(), q_get_next_joint_id(b_), 0, 0, nullptr};
    }
    std::vector<int> degree(joints.size(), 0);
    vqSegment **tail = &net->segments;
    for (size_t k = 1; k < joints.size(); ++k, tail = &(*tail)->next) {
      size_t other = static_cast<size_t>(pick(0, static_cast<int>(k) - 1));
      bool flip = chance(50);
      *tail = q_alloc_segment();
      **tail = {nullptr,
                joints[flip ? k : other],
                joints[flip ? other : k],
                q_get_next_segment_id(b_),
                static_cast<uint8_t>(chance(30)),
                0};
      ++degree[k];
      ++degree[other];
      for (int n = pick(0, 2); n > 0; --n)
        attach(net, (*tail)->id);
    }
    for (size_t i = 0; i < joints.size(); ++i)
      joints[i]->type = static_cast<uint8_t>(std::min(degree[i], 3));
    nets_.push_back(net);
  }

  void instance() {
    vqComp *c = add(q_alloc_comp());
    c->id = newId();
    c->symLibrary = ulStrCpy(chance(50) ? "" : "otherlib");
    c->symName = ulSprintfAlloc("part%d", ++unique_);
    c->symNumber = pick(1, 999);
    c->x = coord();
    c->orient = pick(0, 7);
    static const float scales[] = {0.5F, 1.0F, 1.25F, 2.0F, 3.75F};
    c->scale = scales[pick(0, 4)];
    c->trail = chance(50) ? text("trail") : nullptr;
    // A REFDES of bus width 2 makes an arrayed instance, renumbered by the
    // first write.
    if (chance(30)) {
      vqText *r = add(q_alloc_attribute());
      r->text = chance(50) ? ulStrCpy("REFDES=U[1:0]") : ulSprintfAlloc("REFDES=U%d", ++unique_);
      vqAttachText(c, r, 0, 1);
    }
    for (int n = pick(0, 2); n > 0; --n)
      attach(c, 0);
    vqCnt **tail = &c->cnts;
    for (int n = pick(0, 4), pin = 1; n > 0; --n, pin += pick(1, 3), tail = &(*tail)->next) {
      char *number = chance(50) ? ulSprintfAlloc("%d", pick(0, 99)) : text("pn", true);
      *tail = q_alloc_cnt();
      **tail = {nullptr, nullptr, nullptr, static_cast<vqId>(pin), q_get_pnindex(number)};
      ulStrFree(number);
      if (!nets_.empty() && chance(70)) {
        (*tail)->net = nets_[static_cast<size_t>(pick(0, static_cast<int>(nets_.size()) - 1))];
        (*tail)->joint = chance(50) ? (*tail)->net->joints : (*tail)->net->joints->next;
      }
      for (int t = pick(0, 2); t > 0; --t)
        attach(c, (*tail)->pinId);
    }
  }
};

class RoundTrip : public Project {
protected:
  void roundTrips(int kind, unsigned seeds) {
    for (unsigned seed = 1; seed <= seeds && !HasFailure(); ++seed) {
      SCOPED_TRACE("kind " + std::to_string(kind) + " seed " + std::to_string(seed) +
                   (vqIniSettingsV.rippersOn ? " rippers on" : ""));
      vqBlock *written = Generator(seed, kind).generate(static_cast<int>(seed % 40));
      const std::string first = bodyOf(written);
      vqBlock *back = q_alloc_block(kind);
      back->name = ulStrCpy("gen");
      FILE *f = fmemopen(const_cast<char *>(first.data()), first.size(), "r");
      EXPECT_EQ("", stdoutOf([&] { EXPECT_EQ(1, vqBlockReadStream(back, f)); })) << first;
      std::fclose(f);
      EXPECT_EQ(0, vqReadErrorCount() + vqReadWarningCount());
      EXPECT_EQ(first, bodyOf(back));
      EXPECT_EQ(describe(written), describe(back));
      q_free_block(back);
      q_free_block(written);
    }
  }
};

// With rippers on a schematic is written as version 51 and reads back so.
TEST_F(RoundTrip, GeneratedBlocksReadBackAndWriteAgainUnchanged) {
  roundTrips(vqBLOCK_SYMBOL, 300);
  roundTrips(vqBLOCK_SCHEMATIC, 300);
  vqIniSettingsV.rippersOn = 1;
  roundTrips(vqBLOCK_SCHEMATIC, 30);
}

} // namespace
