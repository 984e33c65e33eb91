// Fuzz target: arbitrary bytes as a block file. The first byte chooses the
// kind of block (even: symbol, odd: schematic); the rest is the file. The
// reader must read anything without crashing, overrunning or leaking, and
// leave a Block whose lists hold together: every attached text stands in
// its owner's chain and in the object list, every segment joins two joints
// of its net, every connection reaches a joint of the net it names. A Block
// the reader accepts is a fixed point after one read: written, read back and
// written again, it gives the same bytes both times. A project with one
// library holding the symbol mylib:nand2 lets schematics load and share a
// symbol, so that the finishing steps run on real pins.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unordered_set>

#include "FuzzSupport.h"
#include "qInit.h"
#include "ulStr.h"
#include "vqRead.h"
#include "vqWrite.h"
#include "vs.h"

namespace {

using fuzzsupport::check;

// True when x stands in the list that starts at head and goes on by next.
template <class T> bool inList(const T *head, const T *x, T *T::*next) {
  for (; head != nullptr; head = head->*next)
    if (head == x)
      return true;
  return false;
}

void checkBlock(vqBlock *b) {
  std::unordered_set<const vqObject *> listed;
  for (vqObject *o = b->objects; o != nullptr; o = o->next)
    check(listed.insert(o).second && o->kind <= vqKIND_PIN);
  for (vqObject *o = b->objects; o != nullptr; o = o->next) {
    if (o->kind == vqKIND_TEXT || o->kind == vqKIND_ATTRIBUTE || o->kind == vqKIND_LABEL) {
      auto *t = static_cast<vqText *>(o);
      check(t->text != nullptr && std::char_traits<char>::length(t->text) <= vqTEXT_MAX);
      if (t->owner != nullptr)
        check(listed.count(t->owner) == 1 &&
              inList(*vqObjectAttachedChain(t->owner), t, &vqText::attNext));
    } else if (o->kind == vqKIND_NET) {
      const vqJoint *joints = static_cast<vqNet *>(o)->joints;
      for (vqSegment *s = static_cast<vqNet *>(o)->segments; s != nullptr; s = s->next)
        check(inList(joints, s->j1, &vqJoint::next) && inList(joints, s->j2, &vqJoint::next) &&
              s->j1 != s->j2);
    } else if (o->kind == vqKIND_COMPONENT) {
      for (vqCnt *c = static_cast<vqComp *>(o)->cnts; c != nullptr; c = c->next) {
        check((c->net == nullptr) == (c->joint == nullptr));
        if (c->net != nullptr)
          check(listed.count(c->net) == 1 && inList(c->net->joints, c->joint, &vqJoint::next));
      }
    }
    if (vqText **chain = vqObjectAttachedChain(o))
      for (vqText *t = *chain; t != nullptr; t = t->attNext)
        check(t->owner == o && listed.count(t) == 1);
  }
}

// A new Block of kind, named mylib:fuzz.1 like every Block the target reads.
vqBlock *newBlock(int kind) {
  vqBlock *b = q_alloc_block(kind);
  b->name = ulStrCpy("fuzz");
  b->library = ulStrCpy("mylib");
  b->number = 1;
  return b;
}

// The body the writer gives for b.
std::string bodyOf(vqBlock *b) {
  char *data = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&data, &size);
  check(out != nullptr);
  check(vqBlockWriteBody(b, out) == 0);
  check(std::fclose(out) == 0);
  std::string body(data, size);
  std::free(data);
  return body;
}

// Reads bytes into a new Block of kind; its result, the Block in *b.
int readInto(int kind, const std::string &bytes, vqBlock **b) {
  *b = newBlock(kind);
  int result = -1;
  fuzzsupport::InputFile in(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
  check(fuzzsupport::finishes(ulEX_PRECOND | ulEX_POSTCOND,
                              [&] { result = vqBlockReadStream(*b, in.get()); }));
  check(result == 0 || result == 1);
  check(result == 1 || (*b)->readOnly == 1);
  return result;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzzsupport::discardOutput();
  fuzzsupport::plainHeap();
  static const fuzzsupport::ScratchDir dir;
  const std::string lib = dir.path() + "/lib";
  std::filesystem::create_directories(lib + "/sch");
  dir.write("scribant.ini", "DIR [pw] " + lib + " (mylib)\n");
  dir.write("lib/sym/nand2.1",
            "V 50\nY 1\nD -10 -10 10 10\nZ 10\ni 3\nU 0 0 10 0 1 1 SYMTYPE=GATE\n"
            "P 1 -10 0 0 0 0 0 0\nL 0 0 10 0 1 0 1 0 A\nP 2 10 0 0 0 0 2 0\n"
            "A 0 0 10 0 1 1 #=2\nL 0 0 10 0 1 0 1 0 Y\nP 3 0 10 0 0 0 1 0\nE\n");
  check(vsSetdef(dir.path().c_str()) == vsOK);
  check(vqProjInit(q_get_version()) == 1);
  check(q_scrib_init() == 541);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const int kind = (data[0] & 1) ? vqBLOCK_SCHEMATIC : vqBLOCK_SYMBOL;
  vqBlock *b = nullptr;
  const int result = readInto(kind, fuzzsupport::text(data + 1, size - 1), &b);
  checkBlock(b);
  if (result == 1) {
    const std::string first = bodyOf(b);
    vqBlock *again = nullptr;
    check(readInto(kind, first, &again) == 1);
    check(bodyOf(again) == first);
    q_free_block(again);
  }
  q_free_block(b);
  // Every symbol that an instance loaded went with the schematic.
  check(vqBlockListHead(vqBLOCK_SYMBOL) == nullptr);
  return 0;
}
