// ScribFixture.h: what the tests of the editor database share: a project in a
// fresh directory (scribant.ini with one primary library "mylib"), the
// settings read from it, small builders of Blocks and objects, a lock of
// another host, and a text description of a Block that tests compare.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "qInit.h"
#include "sbMsg.h"
#include "support/TestSupport.h"
#include "ulStr.h"
#include "vfpFile.h"
#include "vqAttr.h"
#include "vqBlock.h"
#include "vqRead.h"
#include "vqWrite.h"
#include "vs.h"

namespace scribtest {

namespace fs = std::filesystem;

// A project in a temporary directory with the library "mylib" at lib/ (its
// symbols in lib/sym). extraIni is appended to scribant.ini. Each test ends
// as a run ends: the project closed, every loaded Block released, and the
// console quiet flag, the bad-data mark and the reader's message switches
// back at their start values.
class Project : public testsupport::ProjectTest {
protected:
  const std::string lib = tmp + "/lib";

  void SetUp() override { open(""); }
  void TearDown() override {
    vqProjExit();
    vqBlockReleaseAll();
    q_quiet = 0;
    q_bad_data = 0;
    vqReadPrintLineNumber(1);
    vqReadPrintHiddenMsgs(0);
    vqReadPrintLoadNotes(0);
  }

  void open(const std::string &extraIni) {
    fs::create_directories(lib + "/sym");
    fs::create_directories(lib + "/sch");
    ASSERT_NO_FATAL_FAILURE(testsupport::useProjectDir(dir));
    dir.write("scribant.ini", "DIR [pw] " + lib + " (mylib)\n" + extraIni);
    ASSERT_EQ(1, vqProjInit(q_get_version()));
    ASSERT_EQ(541, q_scrib_init());
  }
};

using testsupport::Ints;
using testsupport::stderrOf;
using testsupport::stdoutOf;

// The body of block as the writer writes it (vqBlockWriteBody must succeed).
inline std::string bodyOf(vqBlock *block) {
  char *data = nullptr;
  size_t size = 0;
  FILE *f = open_memstream(&data, &size);
  EXPECT_EQ(0, vqBlockWriteBody(block, f));
  std::fclose(f);
  std::string s(data, size);
  std::free(data);
  return s;
}

// Writes a symbol lock file at path as this user's process on another host
// would hold it: this host never judges it orphaned.
inline void writeForeignLock(const std::string &path) {
  LockInfo own;
  vfpGetOwnLockInfo(&own);
  testsupport::writeFile(path, testsupport::lockText(vfpLOCK_OPEN, own.owner, own.created, own.pid,
                                                     "elsewhere.example"));
}

// A symbol Block named name (number 1, library lib), owned by the test.
inline vqBlock *symbol(const char *name, const char *library = "") {
  vqBlock *b = q_alloc_block(vqBLOCK_SYMBOL);
  b->name = ulStrCpy(name);
  b->library = ulStrCpy(library);
  b->number = 1;
  return b;
}

// Appends an attribute with text to block's object list, attached to owner
// (with part) when one is given.
inline vqText *addAttr(vqBlock *block, const char *text, vqObject *owner = nullptr, vqId part = 0,
                       int kind = vqKIND_ATTRIBUTE) {
  vqText *a = kind == vqKIND_LABEL ? q_alloc_label() : q_alloc_attribute();
  a->text = ulStrCpy(text);
  vqBlockInsertObject(block, a, vqBlockLastObject(block));
  if (owner != nullptr)
    vqAttachText(owner, a, part, 1);
  return a;
}

// Appends a pin with identifier id.
inline vqPin *addPin(vqBlock *block, vqId id) {
  vqPin *p = q_alloc_pin();
  p->id = id;
  vqBlockInsertObject(block, p, vqBlockLastObject(block));
  return p;
}

// Every field of a Block that a file carries, one object per line; owners,
// nets and attached chains by their place in the object list. The first
// line: block type, sheet size, extent, "i" and the last identifier, "fub"
// and the fub status. Then each object: its place, kind code and
// colour/style/line style, then by kind: the points (line, box, arc); centre
// and radius (circle); position, size, placement word, "owner" place/part
// and [text] (texts); "id", type, side, sense and both ends (pin); "id", the
// joints as J x,y,type and the segments as S (B: bus) joint,joint#id (net);
// "id", position, orientation, scale, library:name.number, "size", [trailing
// text] and the connections as C net place,joint,pin id,pin index
// (instance). Owners end with their chain of attached texts, place/part.
inline std::string describe(const vqBlock *b) {
  std::map<const void *, int> at{{nullptr, -1}};
  for (const vqObject *o = b->objects; o != nullptr; o = o->next)
    at.emplace(o, static_cast<int>(at.size()) - 1);
  auto jointAt = [](const vqNet *n, const vqJoint *j) {
    int i = 1;
    for (const vqJoint *k = n != nullptr ? n->joints : nullptr; k != nullptr; k = k->next, ++i)
      if (k == j)
        return i;
    return 0;
  };
  std::ostringstream o;
  auto chain = [&](const vqText *t) {
    for (o << " chain"; t != nullptr; t = t->attNext)
      o << ' ' << at[t] << '/' << t->part;
  };
  auto pt = [&](vqPoint p) { o << ' ' << p.x << ',' << p.y; };
  o << int(b->blockType) << ' ' << int(b->sheetSize) << ' ' << b->x1 << ' ' << b->y1 << ' ' << b->x2
    << ' ' << b->y2 << " i" << b->lastId << " fub" << vqBlockIsFub(b) << '\n';
  for (const vqObject *x = b->objects; x != nullptr; x = x->next) {
    o << at[x] << ": " << int(x->kind) << ' ' << int(x->color) << '/' << int(x->style) << '/'
      << int(x->lineStyle);
    switch (x->kind) {
    case vqKIND_LINE: {
      auto *l = static_cast<const vqLine *>(x);
      std::for_each(l->points, l->points + l->count, pt);
      break;
    }
    case vqKIND_BOX:
      pt(static_cast<const vqBox *>(x)->p1);
      pt(static_cast<const vqBox *>(x)->p2);
      break;
    case vqKIND_CIRCLE: {
      auto *c = static_cast<const vqCircle *>(x);
      o << ' ' << c->x << ',' << c->y << ' ' << c->radius;
      break;
    }
    case vqKIND_ARC:
      std::for_each(static_cast<const vqArc *>(x)->p, static_cast<const vqArc *>(x)->p + 3, pt);
      break;
    case vqKIND_TEXT:
    case vqKIND_ATTRIBUTE:
    case vqKIND_LABEL: {
      auto *t = static_cast<const vqText *>(x);
      o << ' ' << t->x << ',' << t->y << ' ' << t->size << ' ' << t->place << " owner "
        << at[t->owner] << '/' << t->part << " [" << t->text << ']';
      break;
    }
    case vqKIND_PIN: {
      auto *p = static_cast<const vqPin *>(x);
      o << " id" << p->id << ' ' << p->type << ' ' << int(p->side) << ' ' << int(p->sense);
      pt(p->p1);
      pt(p->p2);
      chain(p->attached);
      break;
    }
    case vqKIND_NET: {
      auto *n = static_cast<const vqNet *>(x);
      o << " id" << n->id;
      for (const vqJoint *j = n->joints; j != nullptr; j = j->next)
        o << " J" << j->x << ',' << j->y << ',' << int(j->type);
      for (const vqSegment *s = n->segments; s != nullptr; s = s->next)
        o << (s->bus ? " B" : " S") << jointAt(n, s->j1) << ',' << jointAt(n, s->j2) << '#'
          << s->id;
      chain(n->attached);
      break;
    }
    case vqKIND_COMPONENT: {
      auto *c = static_cast<const vqComp *>(x);
      o << " id" << c->id << ' ' << c->x << ',' << c->y << ' ' << c->orient << ' ' << c->scale
        << ' ' << c->symLibrary << ':' << c->symName << '.' << c->symNumber << " size" << c->size
        << " [" << (c->trail != nullptr ? c->trail : "(none)") << ']';
      for (const vqCnt *k = c->cnts; k != nullptr; k = k->next)
        o << " C" << at[k->net] << ',' << jointAt(k->net, k->joint) << ',' << k->pinId << ','
          << k->pinIndex;
      chain(c->attached);
      break;
    }
    }
    o << '\n';
  }
  return o.str();
}

} // namespace scribtest
