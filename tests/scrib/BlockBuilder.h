// BlockBuilder.h: builds a schematic Block of n objects of every kind, as a
// reader would, for the leak test and the benchmark of the block model.
// Needs only the block model (no test framework).
#pragma once

#include <vector>

#include "ulDlist.h"
#include "ulStr.h"
#include "vqBlock.h"

namespace blockbuilder {

// The records of a built Block, in the order they were taken.
using Records = std::vector<const void *>;

// A schematic Block of count objects, the kinds in turn: line of three
// points, box, text, circle, arc, net (two joints, one segment), attribute
// and label (attached to the last instance and the last net), instance (two
// connections, a trailing text) and pin. Every record's address is added to
// records when one is given.
inline vqBlock *build(int count, Records *records = nullptr) {
  auto note = [records](const void *p) {
    if (records != nullptr)
      records->push_back(p);
  };
  vqBlock *b = q_alloc_block(vqBLOCK_SCHEMATIC);
  note(b);
  b->name = ulStrCpy("bench");
  b->library = ulStrCpy("lib");
  vqObject *tail = nullptr;
  vqComp *lastComp = nullptr;
  vqNet *lastNet = nullptr;
  for (int i = 0; i < count; ++i) {
    vqObject *o = nullptr;
    switch (i % 10) {
    case 0: {
      vqLine *l = q_alloc_line(3);
      for (int k = 0; k < 3; ++k)
        l->points[k] = {i, k};
      o = l;
      break;
    }
    case 1:
      o = q_alloc_box();
      break;
    case 2: {
      vqText *t = q_alloc_text();
      t->text = ulStrCpy("a free text");
      o = t;
      break;
    }
    case 3:
      o = q_alloc_circle();
      break;
    case 4:
      o = q_alloc_arc();
      break;
    case 5: {
      vqNet *n = q_alloc_net();
      vqSegment *s = n->segments = q_alloc_segment();
      s->j1 = n->joints = q_alloc_joint();
      s->j2 = n->joints->next = q_alloc_joint();
      for (vqJoint *j : {s->j1, s->j2}) {
        j->segments = ulCellAdd(s, nullptr);
        note(j);
      }
      note(s);
      o = lastNet = n;
      break;
    }
    case 6:
    case 8: {
      vqText *t = i % 10 == 6 ? q_alloc_attribute() : q_alloc_label();
      t->text = ulStrCpy(i % 10 == 6 ? "REFDES=U1" : "NET1");
      vqObject *owner = i % 10 == 6 ? static_cast<vqObject *>(lastComp) : lastNet;
      if (owner != nullptr)
        vqAttachText(owner, t, 0, 1);
      o = t;
      break;
    }
    case 7: {
      vqComp *c = q_alloc_comp();
      c->symName = ulStrCpy("and2");
      c->trail = ulStrCpy("'x");
      for (int k = 0; k < 2; ++k) {
        vqCnt *cnt = q_alloc_cnt();
        note(cnt);
        cnt->next = c->cnts;
        c->cnts = cnt;
      }
      o = lastComp = c;
      break;
    }
    default:
      o = q_alloc_pin();
      break;
    }
    note(o);
    vqBlockInsertObject(b, o, tail);
    tail = o;
  }
  return b;
}

} // namespace blockbuilder
